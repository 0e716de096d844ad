#include "cell_pool.hpp"

#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#include <pthread.h>

#if defined(__SANITIZE_ADDRESS__)
#define VORLIX_PLAIN_ALLOCATION 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORLIX_PLAIN_ALLOCATION 1
#endif
#endif

namespace vorlix::cell_pool {

#ifdef VORLIX_PLAIN_ALLOCATION

// Under AddressSanitizer every block is its own allocation, so that misuse is seen.
void* allocate() { return ::operator new(kBlockSize); }
void deallocate(void* p) noexcept { ::operator delete(p); }

#else

namespace {

struct FreeNode {
    FreeNode* next;
};

// Free blocks move between threads in batches of up to this many.
constexpr size_t kBatch = 2048;

struct Batch {
    FreeNode* head = nullptr;
    size_t count = 0;
};

// Batches handed back by threads. Chunks are never returned to the system:
// their blocks are reused.
std::mutex store_mutex;
std::vector<Batch>* store = new std::vector<Batch>();  // never destroyed: used until exit

Batch take_batch() {
    {
        std::lock_guard<std::mutex> g(store_mutex);
        if (!store->empty()) {
            Batch b = store->back();
            store->pop_back();
            return b;
        }
    }
    char* chunk = static_cast<char*>(std::malloc(kBatch * kBlockSize));
    if (!chunk) throw std::bad_alloc();
    Batch b;
    for (size_t i = kBatch; i-- > 0;) {
        auto* n = reinterpret_cast<FreeNode*>(chunk + i * kBlockSize);
        n->next = b.head;
        b.head = n;
    }
    b.count = kBatch;
    return b;
}

// Never fails: a batch that cannot be recorded stays with its caller.
bool give_batch(Batch b) noexcept {
    try {
        std::lock_guard<std::mutex> g(store_mutex);
        store->push_back(b);
        return true;
    } catch (...) {
        return false;
    }
}

// Splits the first n nodes (n <= count) off the list.
Batch split(FreeNode*& head, size_t& count, size_t n) noexcept {
    Batch b{head, n};
    FreeNode* last = head;
    for (size_t i = 1; i < n; ++i) last = last->next;
    head = last->next;
    last->next = nullptr;
    count -= n;
    return b;
}

// Each thread keeps up to two batches of free blocks of its own.
struct Local {
    FreeNode* head = nullptr;
    size_t count = 0;
    bool ended = false;
    ~Local() {
        // An ending thread hands its blocks back.
        while (count) {
            Batch b = split(head, count, count < kBatch ? count : kBatch);
            if (!give_batch(b)) break;
        }
        ended = true;
    }
};

thread_local Local local;

// A forked child has only the forking thread: a lock held elsewhere at the
// fork would never be released.
void reset_after_fork() noexcept { new (&store_mutex) std::mutex(); }
[[maybe_unused]] const bool fork_handler = pthread_atfork(nullptr, nullptr, reset_after_fork) == 0;

}  // namespace

void* allocate() {
    Local& l = local;
    if (l.ended) return ::operator new(kBlockSize);  // only during this thread's own teardown
    if (!l.head) {
        Batch b = take_batch();
        l.head = b.head;
        l.count = b.count;
    }
    FreeNode* n = l.head;
    l.head = n->next;
    --l.count;
    return n;
}

void deallocate(void* p) noexcept {
    Local& l = local;
    auto* n = static_cast<FreeNode*>(p);
    if (l.ended) {
        // This thread has handed its blocks back already; pass this one on alone.
        n->next = nullptr;
        if (give_batch(Batch{n, 1})) return;
    }
    n->next = l.head;
    l.head = n;
    ++l.count;
    if (l.count >= 2 * kBatch && !l.ended) {
        // Let other threads reuse what this one frees.
        Batch b = split(l.head, l.count, kBatch);
        if (!give_batch(b)) {
            b.count = 0;
            FreeNode* last = b.head;
            while (last->next) last = last->next;
            last->next = l.head;
            l.head = b.head;
            l.count += kBatch;
        }
    }
}

#endif

}  // namespace vorlix::cell_pool
