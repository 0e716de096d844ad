// The book document, written into one growing buffer.
#include <charconv>

#include "book_ops.hpp"
#include "datetime_text.hpp"
#include "json_text.hpp"
#include "number_text.hpp"

namespace vorlix {

namespace {

template <class Int>
void append_int(std::string& out, Int v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void append_value(std::string& out, const CellValue& v) {
    switch (v.kind()) {
        case ValueKind::Empty: out += "null"; return;
        case ValueKind::Text: append_json_string(v.text(), out); return;
        case ValueKind::Number: append_json_number(v.number(), out); return;
        case ValueKind::Integer: append_int(out, v.integer()); return;
        case ValueKind::Bool: out += v.boolean() ? "true" : "false"; return;
        case ValueKind::DateTime: {
            char buf[64];
            size_t n = write_datetime(v.datetime(), buf, 'T');
            append_json_string(std::string_view(buf, n), out);
            return;
        }
    }
}

void append_cell(std::string& out, const Cell& c) {
    SharedGuard g(c.lock);
    out += "{\"row\":";
    append_int(out, c.row);
    out += ",\"column\":";
    append_int(out, c.column);
    out += ",\"value\":";
    append_value(out, c.value);
    if (c.extra && c.extra->formula) {
        out += ",\"formula\":";
        append_json_string(*c.extra->formula, out);
    }
    out += ",\"data_type\":";
    append_json_string(c.data_type(), out);
    if (c.extra && c.extra->style) {
        out += ",\"style_id\":";
        append_json_string(*c.extra->style, out);
    }
    if (c.extra && c.extra->hidden_value) {
        out += ",\"hidden_value\":";
        append_json_string(*c.extra->hidden_value, out);
    }
    out += '}';
}

// {"rows":{"7":{"row_num":7,"height":30.0,"hidden":false}},"default_height":20.0},
// the same shape for columns; the entries object is left out when empty.
template <class Entry, class NumberAndSize>
void append_dimensions(std::string& out, const char* table, const char* number_key, const char* size_key,
                       const std::vector<Entry>& entries, NumberAndSize number_and_size, const char* default_key,
                       double default_size) {
    out += '{';
    if (!entries.empty()) {
        out += '"';
        out += table;
        out += "\":{";
        bool first = true;
        for (const Entry& e : entries) {
            auto [number, size] = number_and_size(e);
            if (!first) out += ',';
            first = false;
            out += '"';
            append_int(out, number);
            out += "\":{\"";
            out += number_key;
            out += "\":";
            append_int(out, number);
            out += ",\"";
            out += size_key;
            out += "\":";
            append_json_number(size, out);
            out += e.hidden ? ",\"hidden\":true}" : ",\"hidden\":false}";
        }
        out += "},";
    }
    out += '"';
    out += default_key;
    out += "\":";
    append_json_number(default_size, out);
    out += '}';
}

void append_sheet(std::string& out, const Sheet& s) {
    SharedGuard g(s.lock);
    out += "{\"name\":";
    append_json_string(s.name, out);
    out += ",\"sheet_state\":";
    append_json_string(s.sheet_state, out);
    if (!s.merge_cells.empty()) {
        out += ",\"merge_cells\":[";
        bool first = true;
        for (const MergeCell& m : s.merge_cells) {
            if (!first) out += ',';
            first = false;
            out += '[';
            append_int(out, m.start_row);
            out += ',';
            append_int(out, m.end_row);
            out += ',';
            append_int(out, m.start_col);
            out += ',';
            append_int(out, m.end_col);
            out += ']';
        }
        out += ']';
    }
    out += ",\"cells\":[";
    // The kept (row, column) order is exactly what sorting copies would give;
    // each cell is read under its own lock as it is written.
    bool first = true;
    for (const Cell* c : s.ordered_cells()) {
        if (!first) out += ',';
        first = false;
        append_cell(out, *c);
    }
    out += "],\"row_dimensions\":";
    append_dimensions(out, "rows", "row_num", "height", s.row_dimensions.rows.entries(),
                      [](const RowDimension& r) { return std::pair(r.row_num, r.height); },
                      "default_height", s.row_dimensions.default_height);
    out += ",\"column_dimensions\":";
    append_dimensions(out, "columns", "col_num", "width", s.column_dimensions.columns.entries(),
                      [](const ColumnDimension& c) { return std::pair(uint32_t(c.col_num), c.width); },
                      "default_width", s.column_dimensions.default_width);
    out += ",\"comments\":[";
    first = true;
    for (const Ref<Comment>& cm : s.comments) {
        if (!first) out += ',';
        first = false;
        SharedGuard cg(cm->lock);
        out += "{\"row\":";
        append_int(out, cm->row);
        out += ",\"column\":";
        append_int(out, cm->column);
        out += ",\"author\":";
        append_json_string(cm->author, out);
        out += ",\"text\":";
        append_json_string(cm->text, out);
        out += '}';
    }
    out += "]}";
}

}  // namespace

void write_book_json(const Book& book, std::string& out) {
    out.clear();
    SharedGuard g(book.lock);
    // Sized up front from the records (about 60 bytes per cell is typical):
    // growing a large document by doubling costs more than writing it.
    size_t estimate = 64;
    for (const auto& s : book.sheets) {
        SharedGuard sg(s->lock);
        estimate += 256 + 64 * (s->cells.size() + s->comments.size() + s->merge_cells.size() +
                                s->row_dimensions.rows.size() + s->column_dimensions.columns.size());
    }
    out.reserve(estimate);
    out += "{\"sheets\":[";
    bool first = true;
    for (const auto& s : book.sheets) {
        if (!first) out += ',';
        first = false;
        append_sheet(out, *s);
    }
    out += "]}";
}

std::string write_book_json(const Book& book) {
    std::string out;
    write_book_json(book, out);
    return out;
}

}  // namespace vorlix
