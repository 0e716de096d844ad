// Per-record synchronisation: a one-word reader-writer lock and intrusive
// reference counting. Both are sized so that a cell record stays small.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

namespace vorlix {

// Reader-writer lock in one 32-bit word: the low 31 bits count readers, the
// top bit marks a writer. Writers are not preferred; the workloads here are
// short critical sections, so a brief spin is followed by a futex wait.
class RwLock {
public:
    RwLock() = default;
    RwLock(const RwLock&) = delete;
    RwLock& operator=(const RwLock&) = delete;

    void lock_shared() noexcept {
        for (int spins = 0;; ++spins) {
            uint32_t s = state_.load(std::memory_order_relaxed);
            if (!(s & kWriter)) {
                if (state_.compare_exchange_weak(s, s + 1, std::memory_order_acquire,
                                                 std::memory_order_relaxed))
                    return;
                continue;
            }
            if (spins > 64) state_.wait(s, std::memory_order_relaxed);
        }
    }
    void unlock_shared() noexcept {
        uint32_t prev = state_.fetch_sub(1, std::memory_order_release);
        if (prev == 1) state_.notify_all();
    }
    void lock() noexcept {
        for (int spins = 0;; ++spins) {
            uint32_t expected = 0;
            if (state_.compare_exchange_weak(expected, kWriter, std::memory_order_acquire,
                                             std::memory_order_relaxed))
                return;
            // A weak CAS may fail spuriously with the word still 0: never sleep on 0.
            if (spins > 64 && expected != 0) state_.wait(expected, std::memory_order_relaxed);
        }
    }
    void unlock() noexcept {
        state_.store(0, std::memory_order_release);
        state_.notify_all();
    }

private:
    static constexpr uint32_t kWriter = 0x80000000u;
    std::atomic<uint32_t> state_{0};
};

class SharedGuard {
public:
    explicit SharedGuard(RwLock& l) noexcept : l_(&l) { l_->lock_shared(); }
    ~SharedGuard() { if (l_) l_->unlock_shared(); }
    SharedGuard(const SharedGuard&) = delete;
    SharedGuard& operator=(const SharedGuard&) = delete;
    void release() noexcept { if (l_) { l_->unlock_shared(); l_ = nullptr; } }
private:
    RwLock* l_;
};

class ExclusiveGuard {
public:
    explicit ExclusiveGuard(RwLock& l) noexcept : l_(&l) { l_->lock(); }
    ~ExclusiveGuard() { if (l_) l_->unlock(); }
    ExclusiveGuard(const ExclusiveGuard&) = delete;
    ExclusiveGuard& operator=(const ExclusiveGuard&) = delete;
    void release() noexcept { if (l_) { l_->unlock(); l_ = nullptr; } }
private:
    RwLock* l_;
};

// Intrusive atomic reference count. A record starts with a count of zero;
// the first Ref taking it raises it to one.
class RefCounted {
public:
    void retain() const noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
    // Returns true when this was the last reference.
    bool release_ref() const noexcept {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) return true;
        return false;
    }
    uint32_t ref_count() const noexcept { return refs_.load(std::memory_order_relaxed); }

protected:
    RefCounted() = default;
    RefCounted(const RefCounted&) : refs_(0) {}
    RefCounted& operator=(const RefCounted&) { return *this; }

private:
    mutable std::atomic<uint32_t> refs_{0};
};

// Smart pointer over a RefCounted record; no control block.
template <class T>
class Ref {
public:
    Ref() noexcept = default;
    Ref(std::nullptr_t) noexcept {}
    explicit Ref(T* p) noexcept : p_(p) { if (p_) p_->retain(); }
    Ref(const Ref& o) noexcept : p_(o.p_) { if (p_) p_->retain(); }
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ~Ref() { reset(); }
    Ref& operator=(Ref o) noexcept { std::swap(p_, o.p_); return *this; }

    template <class... Args>
    static Ref make(Args&&... args) { return Ref(new T(std::forward<Args>(args)...)); }

    // Adopts a pointer whose count was already raised for this Ref.
    static Ref adopt(T* p) noexcept { Ref r; r.p_ = p; return r; }
    // Gives up ownership without lowering the count.
    T* leak() noexcept { return std::exchange(p_, nullptr); }

    void reset() noexcept {
        if (p_) {
            T* p = std::exchange(p_, nullptr);
            if (p->release_ref()) delete p;
        }
    }
    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    bool operator==(const Ref& o) const noexcept { return p_ == o.p_; }

private:
    T* p_ = nullptr;
};

}  // namespace vorlix
