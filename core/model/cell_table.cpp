#include "cell_table.hpp"

#include <bit>
#include <random>

#include "records.hpp"

namespace vorlix {

namespace {

uint64_t next_table_seed() {
    // One random base per process, then a distinct odd multiplier per table.
    static const uint64_t base = [] {
        std::random_device rd;
        return (uint64_t(rd()) << 32) ^ rd();
    }();
    static std::atomic<uint64_t> counter{0};
    uint64_t x = base + counter.fetch_add(0x9E3779B97F4A7C15ull, std::memory_order_relaxed);
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 29;
    return x | 1;
}

inline uint64_t key_of(const Cell* c) noexcept { return pack_key(c->row, c->column); }

}  // namespace

CellTable::CellTable() : seed_(next_table_seed()) {}

CellTable::~CellTable() {
    for (Cell* c : slots_)
        if (c) Ref<Cell>::adopt(c);  // drops the slot's reference
}

size_t CellTable::slot_of(uint64_t key) const noexcept {
    // Blocks of 16 neighbouring columns of one row hash to one random home
    // and sit side by side from there: row-major work (filling, copying,
    // scanning a row) then touches a few cache lines per row instead of one
    // per cell, while a run never grows past 16 slots on its own.
    const uint64_t block = key >> 4;
    uint64_t h = (block ^ (block >> 29)) * seed_;
    return (size_t(h >> 32) + size_t(key & 15)) & (slots_.size() - 1);
}

Cell* CellTable::find(uint32_t row, uint16_t column) const noexcept {
    if (slots_.empty()) return nullptr;
    const uint64_t key = pack_key(row, column);
    const size_t mask = slots_.size() - 1;
    for (size_t i = slot_of(key);; i = (i + 1) & mask) {
        Cell* c = slots_[i];
        if (!c) return nullptr;
        if (key_of(c) == key) return c;
    }
}

void CellTable::place(Cell* c) noexcept {
    const size_t mask = slots_.size() - 1;
    size_t i = slot_of(key_of(c));
    while (slots_[i]) i = (i + 1) & mask;
    slots_[i] = c;
}

void CellTable::grow(size_t min_capacity) {
    size_t cap = slots_.empty() ? 16 : slots_.size();
    // Keep the load at or below 3/4.
    while (cap * 3 < min_capacity * 4) cap *= 2;
    if (cap == slots_.size()) return;
    std::vector<Cell*> old(cap, nullptr);
    old.swap(slots_);
    for (Cell* c : old)
        if (c) place(c);
}

void CellTable::reserve(size_t n) { grow(n); }

void CellTable::forget_all() noexcept {
    std::vector<Cell*>().swap(slots_);
    size_ = 0;
}

void CellTable::insert(Ref<Cell> cell) {
    if ((size_ + 1) * 4 > slots_.size() * 3) grow(size_ + 1);
    place(cell.leak());
    ++size_;
}

Ref<Cell> CellTable::erase(uint32_t row, uint16_t column) noexcept {
    if (slots_.empty()) return {};
    const uint64_t key = pack_key(row, column);
    const size_t mask = slots_.size() - 1;
    size_t i = slot_of(key);
    for (;; i = (i + 1) & mask) {
        if (!slots_[i]) return {};
        if (key_of(slots_[i]) == key) break;
    }
    Ref<Cell> out = Ref<Cell>::adopt(slots_[i]);
    slots_[i] = nullptr;
    --size_;
    // Backward-shift deletion keeps every probe chain unbroken.
    size_t hole = i;
    for (size_t j = (i + 1) & mask; slots_[j]; j = (j + 1) & mask) {
        size_t home = slot_of(key_of(slots_[j]));
        // Move slots_[j] into the hole when its home lies cyclically outside (hole, j].
        bool between = hole <= j ? (hole < home && home <= j) : (hole < home || home <= j);
        if (!between) {
            slots_[hole] = slots_[j];
            slots_[j] = nullptr;
            hole = j;
        }
    }
    return out;
}

std::vector<Ref<Cell>> CellTable::take_all() {
    std::vector<Ref<Cell>> out;
    out.reserve(size_);
    for (Cell*& c : slots_) {
        if (c) out.push_back(Ref<Cell>::adopt(std::exchange(c, nullptr)));
    }
    size_ = 0;
    return out;
}

}  // namespace vorlix
