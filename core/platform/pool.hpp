// The process-wide data-parallel pool and the scans built on it.
//
// All searches share one oneTBB arena, created on first use with the
// platform's default concurrency. Inputs below kSerialGrain elements run on
// the calling thread: waking workers costs more than it saves there.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <iterator>
#include <utility>
#include <vector>

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/task_arena.h>

namespace vorlix {

class Cell;

namespace pool {

// Measured with a throwaway scan benchmark (2-core Xeon VM, g++ 12 -O3):
// reading a short text under the cell's lock and testing it costs about
// 14 ns per cell on one thread, and waking idle workers for a parallel_for
// about 3-7 us. Split over the pool, 2,048 cells gained nothing, 4,096 cells
// took 32-66 us against 59-64 us serially, and from 8,192 cells on the pool
// was ahead in every run (74-98 us against 118-128 us).
inline constexpr size_t kSerialGrain = 4096;

// The shared arena; created (and its workers started) on first use.
oneapi::tbb::task_arena& arena();

// False in a process forked from one that had started the pool: the child
// inherits the scheduler's locks in whatever state the parent's other threads
// left them, so it never enters the scheduler and scans on its own thread.
bool usable() noexcept;

// Whether a pass over n elements goes to the pool.
inline bool worth_it(size_t n) noexcept { return n >= kSerialGrain && usable(); }

// Elements per chunk when a parallel pass splits n elements: small enough
// for load balancing, large enough that per-chunk overhead stays negligible.
size_t chunk_size(size_t n) noexcept;

template <class F>
void run(F&& f) {
    arena().execute(std::forward<F>(f));
}

}  // namespace pool

// Lowest index i in [0, n) with pred(i), or n when there is none. The answer
// does not depend on the number of workers or on timing; indices above a
// match already found may be skipped.
template <class Pred>
size_t first_match(size_t n, Pred&& pred) {
    // Matches near the front are common (headers, labels); a serial prefix
    // answers those without waking the pool.
    const size_t prefix = std::min(n, pool::kSerialGrain);
    for (size_t i = 0; i < prefix; ++i)
        if (pred(i)) return i;
    if (prefix == n) return n;
    if (!pool::usable()) {
        for (size_t i = prefix; i < n; ++i)
            if (pred(i)) return i;
        return n;
    }

    std::atomic<size_t> best{n};
    pool::run([&] {
        oneapi::tbb::parallel_for(
            oneapi::tbb::blocked_range<size_t>(prefix, n, pool::chunk_size(n - prefix)),
            [&](const oneapi::tbb::blocked_range<size_t>& r) {
                for (size_t i = r.begin(); i != r.end(); ++i) {
                    if (i >= best.load(std::memory_order_relaxed)) return;
                    if (pred(i)) {
                        size_t cur = best.load(std::memory_order_relaxed);
                        while (i < cur && !best.compare_exchange_weak(cur, i, std::memory_order_relaxed)) {
                        }
                        return;  // everything after i in this range is worse
                    }
                }
            });
    });
    return best.load(std::memory_order_relaxed);
}

// Runs emit(i, out) for every i in [0, n), in parallel; out is a vector<T>
// that emit appends zero or more results to. The concatenated results keep
// index order regardless of scheduling.
template <class T, class Emit>
std::vector<T> ordered_collect(size_t n, Emit&& emit) {
    std::vector<T> out;
    if (!pool::worth_it(n)) {
        for (size_t i = 0; i < n; ++i) emit(i, out);
        return out;
    }
    const size_t chunk = pool::chunk_size(n);
    const size_t chunks = (n + chunk - 1) / chunk;
    std::vector<std::vector<T>> parts(chunks);
    pool::run([&] {
        oneapi::tbb::parallel_for(
            oneapi::tbb::blocked_range<size_t>(0, chunks, 1),
            [&](const oneapi::tbb::blocked_range<size_t>& r) {
                for (size_t c = r.begin(); c != r.end(); ++c) {
                    std::vector<T>& part = parts[c];
                    const size_t end = std::min(n, (c + 1) * chunk);
                    for (size_t i = c * chunk; i < end; ++i) emit(i, part);
                }
            });
    });
    size_t total = 0;
    for (const auto& p : parts) total += p.size();
    out.reserve(total);
    for (auto& p : parts) std::move(p.begin(), p.end(), std::back_inserter(out));
    return out;
}

// Every index in [0, n) with pred(i), ascending.
template <class Pred>
std::vector<size_t> ordered_filter(size_t n, Pred&& pred) {
    return ordered_collect<size_t>(n, [&](size_t i, std::vector<size_t>& out) {
        if (pred(i)) out.push_back(i);
    });
}

// Sorts cell records ascending by (row, column), reading each record's
// coordinates once under its shared lock. Keys are unique within one sheet's
// table; records with equal keys (possible only in a hand-made list) are
// ordered by address.
void sort_cells_by_coordinate(std::vector<Cell*>& cells);

}  // namespace vorlix
