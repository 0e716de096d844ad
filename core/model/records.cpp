#include "records.hpp"

#include "platform/pool.hpp"

namespace vorlix {

static_assert(sizeof(Cell) <= cell_pool::kBlockSize && alignof(Cell) <= 8, "cell blocks hold one record");

void* Cell::operator new(size_t) { return cell_pool::allocate(); }

void Cell::operator delete(void* p) noexcept { cell_pool::deallocate(p); }

Cell::Cell(const Cell& o)
    : RefCounted(), row(o.row), column(o.column), dtype(o.dtype), value(o.value),
      extra(o.extra ? std::make_unique<CellExtra>(*o.extra) : nullptr) {}

void Cell::set_data_type_text(std::string_view t) {
    dtype = data_type_from_name(t);
    if (dtype == DataType::Other) {
        ensure_extra().data_type.assign(t);
    } else if (extra) {
        extra->data_type.clear();
        drop_extra_if_empty();
    }
}

void Cell::assign_value(CellValue v) {
    value = std::move(v);
    dtype = data_type_of(value.kind());
    if (extra) {
        extra->formula.reset();
        extra->data_type.clear();
        drop_extra_if_empty();
    }
}

void Cell::set_formula(std::string f) {
    CellExtra& e = ensure_extra();
    e.formula = std::move(f);
    e.data_type.clear();
    dtype = DataType::F;
}

void Cell::add_table_hold() noexcept {
    uint8_t v = tables.load(std::memory_order_relaxed);
    if (v == 0) {
        // A record no table holds yet is not reachable from another sheet.
        tables.store(1, std::memory_order_release);
        return;
    }
    while (v != 255 && !tables.compare_exchange_weak(v, uint8_t(v + 1), std::memory_order_acq_rel)) {
    }
}

void Cell::drop_table_hold() noexcept {
    uint8_t v = tables.load(std::memory_order_relaxed);
    // A saturated count stays saturated: the record is treated as shared for good.
    while (v != 255 && v != 0 && !tables.compare_exchange_weak(v, uint8_t(v - 1), std::memory_order_acq_rel)) {
    }
}

Sheet::~Sheet() {
    // The kept order is close to allocation order: releasing along it walks
    // memory front to back instead of hopping around the table.
    if (order_valid_.load(std::memory_order_acquire) && ordered_.size() == cells.size()) {
        for (Cell* c : ordered_) {
            c->drop_table_hold();
            Ref<Cell>::adopt(c);
        }
        cells.forget_all();
    } else {
        cells.for_each([](Cell* c) { c->drop_table_hold(); });
    }
}

const std::vector<Cell*>& Sheet::ordered_cells() const {
    if (order_valid_.load(std::memory_order_acquire)) return ordered_;
    std::lock_guard<std::mutex> g(order_mutex_);
    if (!order_valid_.load(std::memory_order_relaxed)) {
        ordered_.clear();
        ordered_.reserve(cells.size());
        cells.for_each([this](Cell* c) { ordered_.push_back(c); });
        sort_cells_by_coordinate(ordered_);
        order_valid_.store(true, std::memory_order_release);
    }
    return ordered_;
}

void Sheet::insert_cell(Ref<Cell> cell) {
    Cell* c = cell.get();
    c->add_table_hold();
    cells.insert(std::move(cell));
    if (order_valid_.load(std::memory_order_relaxed)) {
        // Row-major appends extend the kept order; anything else makes it stale.
        if (ordered_.empty() || pack_key(ordered_.back()->row, ordered_.back()->column) < pack_key(c->row, c->column)) {
            ordered_.push_back(c);
        } else {
            invalidate_order();
        }
    }
}

Ref<Cell> Sheet::remove_cell(uint64_t key) {
    Ref<Cell> removed = cells.erase(uint32_t(key >> 16), uint16_t(key & 0xFFFF));
    if (removed) {
        removed->drop_table_hold();
        invalidate_order();
    }
    return removed;
}

}  // namespace vorlix

namespace vorlix {

void Sheet::delete_band(bool rows, uint32_t idx, uint32_t amount) {
    if (amount == 0) return;
    const uint64_t end = uint64_t(idx) + amount;  // may pass the last row/column
    const bool was_ordered = order_valid_.load(std::memory_order_acquire);
    // Walking the kept order (when there is one) lets the survivors stay in
    // order: the shift preserves (row, column) order.
    std::vector<Cell*> seq;
    if (was_ordered) {
        seq = ordered_;
    } else {
        seq.reserve(cells.size());
        cells.for_each([&](Cell* c) { seq.push_back(c); });
    }

    std::vector<Ref<Cell>> survivors;
    survivors.reserve(seq.size());
    std::vector<Cell*> dropped;     // leave this table: their hold goes
    std::vector<Cell*> fresh;       // copies made for this table: their hold comes
    for (Cell* c : seq) {
        uint32_t v;
        {
            SharedGuard cg(c->lock);
            v = rows ? c->row : c->column;
        }
        if (v >= idx && v < end) {
            dropped.push_back(c);
            continue;
        }
        if (v > idx) {
            const uint32_t moved = v - amount;
            if (c->held_by_other_tables()) {
                // Another sheet files this record under its old coordinate.
                Ref<Cell> own;
                {
                    SharedGuard cg(c->lock);
                    own = Ref<Cell>::make(*c);
                }
                if (rows) own->row = moved; else own->column = uint16_t(moved);
                dropped.push_back(c);
                fresh.push_back(own.get());
                survivors.push_back(std::move(own));
                continue;
            }
            ExclusiveGuard cg(c->lock);
            if (rows) c->row = moved; else c->column = uint16_t(moved);
        }
        survivors.emplace_back(c);
    }
    // Rebuild the table from the survivors (keys have changed).
    std::vector<Ref<Cell>> old = cells.take_all();
    cells.reserve(survivors.size());
    for (Cell* c : fresh) c->add_table_hold();
    for (Cell* c : dropped) c->drop_table_hold();
    for (const Ref<Cell>& c : survivors) cells.insert(c);
    if (was_ordered) {
        ordered_.clear();
        for (const Ref<Cell>& c : survivors) ordered_.push_back(c.get());
    } else {
        invalidate_order();
    }
    // `old` releases the table's former references here; `survivors` keeps
    // the records that stay alive until the new table holds them.
}

}  // namespace vorlix
