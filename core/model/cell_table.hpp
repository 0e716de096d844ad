// Open-addressing hash table of a sheet's cells, keyed by (row, column).
// Slots hold one counted reference each; the key is read from the record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sync.hpp"

namespace vorlix {

class Cell;

class CellTable {
public:
    CellTable();
    ~CellTable();
    CellTable(const CellTable&) = delete;
    CellTable& operator=(const CellTable&) = delete;

    Cell* find(uint32_t row, uint16_t column) const noexcept;
    // The record's key must not be in the table yet.
    void insert(Ref<Cell> cell);
    Ref<Cell> erase(uint32_t row, uint16_t column) noexcept;
    // Removes every record and hands the references over.
    std::vector<Ref<Cell>> take_all();
    void reserve(size_t n);
    // Empties the table without releasing the records: the caller has
    // already released the references the slots held.
    void forget_all() noexcept;

    size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }

    template <class F>
    void for_each(F&& f) const {
        for (Cell* c : slots_)
            if (c) f(c);
    }

private:
    size_t slot_of(uint64_t key) const noexcept;
    void grow(size_t min_capacity);
    void place(Cell* c) noexcept;

    std::vector<Cell*> slots_;
    size_t size_ = 0;
    uint64_t seed_;
};

}  // namespace vorlix
