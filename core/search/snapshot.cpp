#include "search/snapshot.hpp"

#include "model/cell_text.hpp"
#include "platform/pool.hpp"

namespace vorlix {

namespace {

bool is_text_code(std::string_view data_type) noexcept { return data_type == "s"; }

CellValue value_from_text(std::string_view text, std::string_view data_type) {
    return is_text_code(data_type) ? CellValue::text(text) : parse_cell_text(text);
}

// The snapshot record of one live cell. Re-classifying a Bool's or an
// Integer's text gives the same value back, and a Text with code "s" is kept
// as it is, so only the other cases go through the text.
Ref<Cell> snapshot_cell(const Cell& src) {
    SharedGuard g(src.lock);
    const std::string_view data_type = src.data_type();
    const bool as_text = is_text_code(data_type);
    CellValue value;
    switch (src.value.kind()) {
        case ValueKind::Text:
            value = as_text ? src.value : parse_cell_text(src.value.text());
            break;
        case ValueKind::Bool:
        case ValueKind::Integer:
            if (!as_text) {
                value = src.value;
                break;
            }
            [[fallthrough]];
        default: {
            char buf[kValueTextBuffer];
            value = value_from_text(value_text_view(src.value, buf), data_type);
        }
    }
    Ref<Cell> cell = Ref<Cell>::make(src.row, src.column, std::move(value), DataType::General);
    if (src.has_formula()) cell->ensure_extra().formula = *src.formula();
    cell->set_data_type_text(data_type);
    return cell;
}

// Builds make(i) for every i in [0, n) on the pool, in place.
template <class Make>
std::vector<Ref<Cell>> make_cells(size_t n, Make&& make) {
    std::vector<Ref<Cell>> out(n);
    if (!pool::worth_it(n)) {
        for (size_t i = 0; i < n; ++i) out[i] = make(i);
        return out;
    }
    pool::run([&] {
        using Range = oneapi::tbb::blocked_range<size_t>;
        oneapi::tbb::parallel_for(Range(0, n, pool::chunk_size(n)), [&](const Range& r) {
            for (size_t i = r.begin(); i != r.end(); ++i) out[i] = make(i);
        });
    });
    return out;
}

// Inserts in order; a later record replaces an earlier one at its key.
// Cells copied from one table have distinct keys and skip the lookup.
void fill_table(Sheet& sheet, std::vector<Ref<Cell>>&& cells, bool keys_may_repeat) {
    ExclusiveGuard g(sheet.lock);
    sheet.cells.reserve(cells.size());
    for (Ref<Cell>& c : cells) {
        if (keys_may_repeat && sheet.cells.find(c->row, c->column))
            sheet.remove_cell(pack_key(c->row, c->column));
        sheet.insert_cell(std::move(c));
    }
}

}  // namespace

CellValue snapshot_value(const std::optional<std::string>& text, std::string_view data_type) {
    if (!text) return CellValue::empty();
    return value_from_text(*text, data_type);
}

Ref<Sheet> build_snapshot(std::string name, std::string state, std::vector<MergeCell> merges,
                          std::vector<SnapshotCellSource>&& sources) {
    std::vector<Ref<Cell>> cells = make_cells(sources.size(), [&](size_t i) {
        SnapshotCellSource& s = sources[i];
        Ref<Cell> c = Ref<Cell>::make(s.row, s.column, snapshot_value(s.value, s.data_type), DataType::General);
        if (s.formula) c->ensure_extra().formula = std::move(s.formula);
        c->set_data_type_text(s.data_type);
        return c;
    });
    Ref<Sheet> sheet = Ref<Sheet>::make(std::move(name), std::move(state));
    sheet->merge_cells = std::move(merges);
    fill_table(*sheet, std::move(cells), true);
    return sheet;
}

Ref<Sheet> snapshot_of_sheet(const Sheet& live) {
    const std::vector<Cell*>& seq = live.ordered_cells();
    std::vector<Ref<Cell>> cells = make_cells(seq.size(), [&](size_t i) { return snapshot_cell(*seq[i]); });
    Ref<Sheet> sheet = Ref<Sheet>::make(live.name, live.sheet_state);
    sheet->merge_cells = live.merge_cells;
    fill_table(*sheet, std::move(cells), false);
    return sheet;
}

}  // namespace vorlix
