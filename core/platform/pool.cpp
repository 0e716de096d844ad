#include "platform/pool.hpp"

#include <algorithm>
#include <cstdint>
#include <functional>

#include <oneapi/tbb/parallel_sort.h>

#include "model/records.hpp"

namespace vorlix {

namespace pool {

oneapi::tbb::task_arena& arena() {
    // Never destroyed: searches may still run while static objects of other
    // translation units are torn down at exit.
    static oneapi::tbb::task_arena* const shared = [] {
        auto* a = new oneapi::tbb::task_arena();
        a->initialize();
        return a;
    }();
    return *shared;
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
    if (n < pool::kSerialGrain) {
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
