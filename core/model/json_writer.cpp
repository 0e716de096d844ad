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
    out += "],\"row_dimensions\":{";
    if (s.row_dimensions.rows.size()) {
        out += "\"rows\":{";
        bool f = true;
        for (const RowDimension& r : s.row_dimensions.rows.entries()) {
            if (!f) out += ',';
            f = false;
            out += '"';
            append_int(out, r.row_num);
            out += "\":{\"row_num\":";
            append_int(out, r.row_num);
            out += ",\"height\":";
            append_json_number(r.height, out);
            out += r.hidden ? ",\"hidden\":true}" : ",\"hidden\":false}";
        }
        out += "},";
    }
    out += "\"default_height\":";
    append_json_number(s.row_dimensions.default_height, out);
    out += "},\"column_dimensions\":{";
    if (s.column_dimensions.columns.size()) {
        out += "\"columns\":{";
        bool f = true;
        for (const ColumnDimension& c : s.column_dimensions.columns.entries()) {
            if (!f) out += ',';
            f = false;
            out += '"';
            append_int(out, c.col_num);
            out += "\":{\"col_num\":";
            append_int(out, c.col_num);
            out += ",\"width\":";
            append_json_number(c.width, out);
            out += c.hidden ? ",\"hidden\":true}" : ",\"hidden\":false}";
        }
        out += "},";
    }
    out += "\"default_width\":";
    append_json_number(s.column_dimensions.default_width, out);
    out += "},\"comments\":[";
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

std::string write_book_json(const Book& book) {
    std::string out;
    out.reserve(128);
    SharedGuard g(book.lock);
    out += "{\"sheets\":[";
    bool first = true;
    for (const auto& s : book.sheets) {
        if (!first) out += ',';
        first = false;
        append_sheet(out, *s);
    }
    out += "]}";
    return out;
}

}  // namespace vorlix
