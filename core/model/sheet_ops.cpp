#include "sheet_ops.hpp"

#include <algorithm>

#include "cell_text.hpp"

namespace vorlix {

Ref<Cell> sheet_cell(Sheet& sheet, uint32_t row, uint16_t col, const std::string_view* value) {
    // Classify before taking the lock: the text does not depend on the sheet.
    std::optional<CellValue> parsed;
    if (value) parsed = parse_cell_text(*value);
    ExclusiveGuard g(sheet.lock);
    if (Cell* existing = sheet.cells.find(row, col)) {
        ExclusiveGuard cg(existing->lock);
        if (parsed) {
            existing->assign_value(std::move(*parsed));
        } else {
            existing->dtype = DataType::General;
            if (existing->extra) existing->extra->data_type.clear();
        }
        return Ref<Cell>(existing);
    }
    CellValue v = parsed ? std::move(*parsed) : CellValue::empty();
    DataType t = data_type_of(v.kind());
    auto cell = Ref<Cell>::make(row, col, std::move(v), t);
    sheet.insert_cell(cell);
    return cell;
}

std::string sheet_name(const Sheet& sheet) {
    SharedGuard g(sheet.lock);
    return sheet.name;
}

void set_sheet_name(Sheet& sheet, std::string name) {
    ExclusiveGuard g(sheet.lock);
    sheet.name = std::move(name);
}

std::string sheet_state(const Sheet& sheet) {
    SharedGuard g(sheet.lock);
    return sheet.sheet_state;
}

void set_sheet_state(Sheet& sheet, std::string state) {
    ExclusiveGuard g(sheet.lock);
    sheet.sheet_state = std::move(state);
}

uint32_t sheet_max_row(const Sheet& sheet) {
    SharedGuard g(sheet.lock);
    uint32_t m = 0;
    sheet.cells.for_each([&](const Cell* c) {
        SharedGuard cg(c->lock);
        m = std::max(m, c->row);
    });
    return m;
}

uint16_t sheet_max_column(const Sheet& sheet) {
    SharedGuard g(sheet.lock);
    uint16_t m = 0;
    sheet.cells.for_each([&](const Cell* c) {
        SharedGuard cg(c->lock);
        m = std::max(m, c->column);
    });
    return m;
}

size_t sheet_cell_count(const Sheet& sheet) {
    SharedGuard g(sheet.lock);
    return sheet.cells.size();
}

std::vector<Ref<Cell>> sheet_cells(const Sheet& sheet) {
    SharedGuard g(sheet.lock);
    const auto& order = sheet.ordered_cells();
    std::vector<Ref<Cell>> out;
    out.reserve(order.size());
    for (Cell* c : order) out.emplace_back(c);
    return out;
}

std::vector<MergeCell> sheet_merge_cells(const Sheet& sheet) {
    SharedGuard g(sheet.lock);
    return sheet.merge_cells;
}

void add_merge_cells(Sheet& sheet, MergeCell m) {
    ExclusiveGuard g(sheet.lock);
    sheet.merge_cells.push_back(m);
}

void add_comment(Sheet& sheet, uint32_t row, uint16_t col, std::string text, std::string author) {
    auto c = Ref<Comment>::make(row, col, std::move(author), std::move(text));
    ExclusiveGuard g(sheet.lock);
    sheet.comments.push_back(std::move(c));
}

std::vector<Ref<Comment>> sheet_comments(const Sheet& sheet) {
    SharedGuard g(sheet.lock);
    return sheet.comments;
}

void set_height_row(Sheet& sheet, uint32_t row, double height) {
    ExclusiveGuard g(sheet.lock);
    sheet.row_dimensions.rows.find_or_insert(row, RowDimension{row}).height = height;
}

void set_hidden_row(Sheet& sheet, uint32_t row, bool hidden) {
    ExclusiveGuard g(sheet.lock);
    sheet.row_dimensions.rows.find_or_insert(row, RowDimension{row}).hidden = hidden;
}

void set_width_column(Sheet& sheet, uint16_t col, double width) {
    ExclusiveGuard g(sheet.lock);
    sheet.column_dimensions.columns.find_or_insert(col, ColumnDimension{col}).width = width;
}

void set_hidden_column(Sheet& sheet, uint16_t col, bool hidden) {
    ExclusiveGuard g(sheet.lock);
    sheet.column_dimensions.columns.find_or_insert(col, ColumnDimension{col}).hidden = hidden;
}

double get_height_by_row(const Sheet& sheet, uint32_t row) {
    SharedGuard g(sheet.lock);
    const RowDimension* r = sheet.row_dimensions.rows.find(row);
    return r ? r->height : sheet.row_dimensions.default_height;
}

bool get_hidden_by_row(const Sheet& sheet, uint32_t row) {
    SharedGuard g(sheet.lock);
    const RowDimension* r = sheet.row_dimensions.rows.find(row);
    return r ? r->hidden : false;
}

double get_width_by_column(const Sheet& sheet, uint16_t col) {
    SharedGuard g(sheet.lock);
    const ColumnDimension* c = sheet.column_dimensions.columns.find(col);
    return c ? c->width : sheet.column_dimensions.default_width;
}

bool get_hidden_by_column(const Sheet& sheet, uint16_t col) {
    SharedGuard g(sheet.lock);
    const ColumnDimension* c = sheet.column_dimensions.columns.find(col);
    return c ? c->hidden : false;
}

Coordinate cell_coordinate(const Cell& cell) {
    SharedGuard g(cell.lock);
    return {cell.row, cell.column};
}

void delete_cols(Sheet& sheet, uint16_t idx, uint16_t amount) {
    ExclusiveGuard g(sheet.lock);
    sheet.delete_band(false, idx, amount);
}

void delete_rows(Sheet& sheet, uint32_t idx, uint32_t amount) {
    ExclusiveGuard g(sheet.lock);
    sheet.delete_band(true, idx, amount);
}

}  // namespace vorlix
