// The records of a workbook: books, sheets, cells, comments, merged ranges
// and row/column dimensions. Shared records carry their own lock and count.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "cell_pool.hpp"
#include "cell_table.hpp"
#include "coordinates.hpp"
#include "sync.hpp"
#include "value.hpp"

namespace vorlix {

// Rarely used cell fields, kept behind one pointer so that plain cells stay small.
struct CellExtra {
    std::optional<std::string> formula;
    std::optional<std::string> style;
    std::optional<std::string> hidden_value;
    std::string data_type;  // only meaningful when the cell's code is DataType::Other
    bool empty() const noexcept {
        return !formula && !style && !hidden_value && data_type.empty();
    }
};

class Cell : public RefCounted {
public:
    Cell(uint32_t r, uint16_t c, CellValue v, DataType t) noexcept
        : row(r), column(c), dtype(t), value(std::move(v)) {}
    Cell(const Cell& o);  // copies fields, not lock or counts

    static void* operator new(size_t size);
    static void operator delete(void* p) noexcept;

    mutable RwLock lock;
    uint32_t row;
    uint16_t column;
    DataType dtype;
    // How many sheet tables hold this record; saturates (a saturated count
    // means "treat as shared" for good).
    std::atomic<uint8_t> tables{0};
    CellValue value;
    std::unique_ptr<CellExtra> extra;

    // Field access; callers hold the lock as appropriate.
    const std::optional<std::string>* formula() const noexcept { return extra ? &extra->formula : nullptr; }
    const std::optional<std::string>* style() const noexcept { return extra ? &extra->style : nullptr; }
    const std::optional<std::string>* hidden_value() const noexcept { return extra ? &extra->hidden_value : nullptr; }
    bool has_formula() const noexcept { return extra && extra->formula.has_value(); }
    std::string_view data_type() const noexcept {
        return dtype == DataType::Other ? std::string_view(extra->data_type) : data_type_name(dtype);
    }
    CellExtra& ensure_extra() {
        if (!extra) extra = std::make_unique<CellExtra>();
        return *extra;
    }
    void set_data_type_text(std::string_view t);
    // New value with its kind's code; removes the formula.
    void assign_value(CellValue v);
    void set_formula(std::string f);
    void drop_extra_if_empty() noexcept { if (extra && extra->empty()) extra.reset(); }

    void add_table_hold() noexcept;
    void drop_table_hold() noexcept;
    bool held_by_other_tables() const noexcept { return tables.load(std::memory_order_acquire) > 1; }
};

class Comment : public RefCounted {
public:
    Comment(uint32_t r, uint16_t c, std::string a, std::string t)
        : row(r), column(c), author(std::move(a)), text(std::move(t)) {}
    mutable RwLock lock;
    const uint32_t row;
    const uint16_t column;
    std::string author;
    std::string text;
};

struct MergeCell {
    uint32_t start_row = 0, end_row = 0;
    uint16_t start_col = 0, end_col = 0;
    bool operator==(const MergeCell&) const = default;
};

inline constexpr double kDefaultRowHeight = 20.0;
inline constexpr double kDefaultColumnWidth = 22.5;

struct RowDimension {
    uint32_t row_num = 0;
    double height = kDefaultRowHeight;
    bool hidden = false;
};

struct ColumnDimension {
    uint16_t col_num = 0;
    double width = kDefaultColumnWidth;
    bool hidden = false;
};

// A small keyed table that iterates in insertion order (the document leaves
// the order open; insertion order keeps it stable and readable).
template <class Key, class Entry>
class DimensionTable {
public:
    const Entry* find(Key k) const {
        auto it = index_.find(k);
        return it == index_.end() ? nullptr : &entries_[it->second];
    }
    Entry& find_or_insert(Key k, const Entry& fresh) {
        auto [it, inserted] = index_.try_emplace(k, entries_.size());
        if (inserted) entries_.push_back(fresh);
        return entries_[it->second];
    }
    const std::vector<Entry>& entries() const noexcept { return entries_; }
    size_t size() const noexcept { return entries_.size(); }

private:
    std::vector<Entry> entries_;
    std::unordered_map<Key, size_t> index_;
};

struct RowDimensions {
    DimensionTable<uint32_t, RowDimension> rows;
    double default_height = kDefaultRowHeight;
};

struct ColumnDimensions {
    DimensionTable<uint16_t, ColumnDimension> columns;
    double default_width = kDefaultColumnWidth;
};

class Sheet : public RefCounted {
public:
    Sheet(std::string n, std::string state) : name(std::move(n)), sheet_state(std::move(state)) {}
    ~Sheet();

    mutable RwLock lock;
    std::string name;
    std::string sheet_state;
    std::vector<MergeCell> merge_cells;
    CellTable cells;
    RowDimensions row_dimensions;
    ColumnDimensions column_dimensions;
    std::vector<Ref<Comment>> comments;
    // blank_value is always Empty; get_value_cell answers "" for a missing cell.

    // Cells in (row, column) order. Kept between searches: appends in
    // row-major order extend it, other changes mark it stale and the next
    // reader rebuilds it. Callers hold the sheet's lock (shared or exclusive).
    const std::vector<Cell*>& ordered_cells() const;

    // Table edits that keep the ordered sequence and the table holds right.
    // Callers hold the sheet's lock exclusively.
    void insert_cell(Ref<Cell> cell);           // key must be free
    Ref<Cell> remove_cell(uint64_t key);          // returns the removed record
    void invalidate_order() noexcept { order_valid_.store(false, std::memory_order_release); }
    // Removes the band [idx, idx + amount) of rows (or columns) and moves the
    // cells beyond it back by amount. Caller holds the lock exclusively.
    void delete_band(bool rows, uint32_t idx, uint32_t amount);

private:
    mutable std::vector<Cell*> ordered_;
    mutable std::atomic<bool> order_valid_{true};
    mutable std::mutex order_mutex_;
};

class Book : public RefCounted {
public:
    mutable RwLock lock;
    std::vector<Ref<Sheet>> sheets;
};

}  // namespace vorlix
