#include "platform/pool.hpp"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <mutex>
#include <new>

#include <pthread.h>

#include <oneapi/tbb/parallel_sort.h>

#include "model/records.hpp"

namespace vorlix {

namespace pool {

namespace {

std::mutex arena_mutex;  // guards creation only
std::atomic<oneapi::tbb::task_arena*> current_arena{nullptr};
std::atomic<bool> scheduler_started{false};
std::atomic<bool> forked_after_start{false};

// A forked child has only the thread that forked. Once the parent has
// started the scheduler, its internal locks may have been held by threads
// that do not exist in the child (making a fresh arena still waits on them),
// so such a child keeps away from the scheduler for good.
void after_fork_in_child() noexcept {
    if (scheduler_started.load(std::memory_order_relaxed)) forked_after_start.store(true, std::memory_order_relaxed);
    new (&arena_mutex) std::mutex();  // a thread that held it does not exist here
}

[[maybe_unused]] const bool watching_forks = pthread_atfork(nullptr, nullptr, after_fork_in_child) == 0;

}  // namespace

bool usable() noexcept { return !forked_after_start.load(std::memory_order_relaxed); }

oneapi::tbb::task_arena& arena() {
    if (auto* a = current_arena.load(std::memory_order_acquire)) return *a;
    std::lock_guard<std::mutex> g(arena_mutex);
    if (auto* a = current_arena.load(std::memory_order_relaxed)) return *a;
    scheduler_started.store(true, std::memory_order_relaxed);
    // Never destroyed: searches may still run while static objects of other
    // translation units are torn down at exit.
    auto* a = new oneapi::tbb::task_arena();
    a->initialize();
    current_arena.store(a, std::memory_order_release);
    return *a;
}

size_t chunk_size(size_t n) noexcept {
    // About 16 chunks per worker, never below 1024 elements.
    const size_t workers = size_t(std::max(1, arena().max_concurrency()));
    return std::max<size_t>(1024, n / (workers * 16));
}

}  // namespace pool

namespace {

struct KeyedCell {
    uint64_t key;
    Cell* cell;
    bool operator<(const KeyedCell& o) const noexcept {
        return key != o.key ? key < o.key : std::less<Cell*>()(cell, o.cell);
    }
};

inline KeyedCell keyed(Cell* c) noexcept {
    SharedGuard g(c->lock);
    return {pack_key(c->row, c->column), c};
}

}  // namespace

void sort_cells_by_coordinate(std::vector<Cell*>& cells) {
    const size_t n = cells.size();
    std::vector<KeyedCell> keys(n);
    if (!pool::worth_it(n)) {
        for (size_t i = 0; i < n; ++i) keys[i] = keyed(cells[i]);
        std::sort(keys.begin(), keys.end());
        for (size_t i = 0; i < n; ++i) cells[i] = keys[i].cell;
        return;
    }
    pool::run([&] {
        using Range = oneapi::tbb::blocked_range<size_t>;
        const size_t grain = pool::chunk_size(n);
        oneapi::tbb::parallel_for(Range(0, n, grain), [&](const Range& r) {
            for (size_t i = r.begin(); i != r.end(); ++i) keys[i] = keyed(cells[i]);
        });
        // parallel_sort checks for already sorted input first, which is the
        // common case of cells added row by row.
        oneapi::tbb::parallel_sort(keys.begin(), keys.end());
        oneapi::tbb::parallel_for(Range(0, n, grain), [&](const Range& r) {
            for (size_t i = r.begin(); i != r.end(); ++i) cells[i] = keys[i].cell;
        });
    });
}

}  // namespace vorlix
