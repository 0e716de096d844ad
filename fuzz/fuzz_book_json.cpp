// A book built from the fuzz input through the sheet and book operations
// (cells from texts and typed values, formulas, styles, merged ranges,
// dimensions, comments, row and column deletions, sheet copies, and edits
// through handles kept from earlier steps), then written with
// write_book_json. The document must be strict JSON, list each coordinate of
// a sheet at most once and in (row, column) order, and say exactly what a
// shadow model of the same steps holds.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_common.hpp"
#include "model/book_ops.hpp"
#include "model/cell_text.hpp"
#include "model/datetime_text.hpp"
#include "model/sheet_ops.hpp"

using namespace vorlix;
using fuzz::Json;

namespace {

// ---- the shadow model --------------------------------------------------------

struct ShadowCell {
    CellValue value;
    std::optional<std::string> formula, style, hidden;
    std::string data_type = "General";
    int tables = 0;  // sheets whose table holds this record
};
using Rec = std::shared_ptr<ShadowCell>;
using Key = std::pair<uint32_t, uint16_t>;

struct ShadowDim {
    double size;
    bool hidden = false;
};

struct ShadowSheet {
    std::string name, state;
    std::map<Key, Rec> cells;
    std::vector<MergeCell> merges;
    std::vector<std::pair<Key, std::pair<std::string, std::string>>> comments;  // (text, author)
    std::map<uint32_t, ShadowDim> rows;
    std::map<uint16_t, ShadowDim> cols;
};

// A handle kept from an earlier step: the record and its shadow, like a
// Python Cell object. It outlives deletions of its cell.
struct Handle {
    Ref<Cell> cell;
    Rec shadow;
};

// ---- input helpers -------------------------------------------------------------

const char* const kTexts[] = {
    "", "TRUE", "false", "fal\xC5\xBF" "e", "007", "-2147483648", "2147483648", "1.50", "-0.0",
    "1e400", "nan", "-Infinity", ".5", "5.", "2024-01-05 07:08:09", "2016-12-31 23:59:60",
    "+12345-01-01 00:00:00", " 2024-1-5\xE3\x80\x80" "7:08:09", "=SUM(A1:A2)", "q\"b\\s\n\x01/\x7F",
    "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "a text longer than fourteen bytes", "4.9e-324",
};

std::string text_from(FuzzedDataProvider& in) {
    if (in.ConsumeBool()) return kTexts[in.ConsumeIntegralInRange<size_t>(0, std::size(kTexts) - 1)];
    // The binding only ever passes well-formed UTF-8.
    return fuzz::to_valid_utf8(in.ConsumeRandomLengthString(40));
}

uint32_t row_from(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0: return in.ConsumeIntegral<uint32_t>();
        case 1: return 0xFFFFFFFFu - in.ConsumeIntegralInRange<uint32_t>(0, 3);
        default: return in.ConsumeIntegralInRange<uint32_t>(0, 9);
    }
}

uint16_t col_from(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0: return in.ConsumeIntegral<uint16_t>();
        case 1: return uint16_t(0xFFFF - in.ConsumeIntegralInRange<uint16_t>(0, 3));
        default: return in.ConsumeIntegralInRange<uint16_t>(0, 9);
    }
}

double double_from(FuzzedDataProvider& in) {
    if (in.ConsumeBool()) return double(in.ConsumeIntegralInRange<int>(0, 100)) / 4;
    uint64_t bits = in.ConsumeIntegral<uint64_t>();
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

std::string_view code_of(ValueKind k) {
    switch (k) {
        case ValueKind::Empty: return "General";
        case ValueKind::Text: return "s";
        case ValueKind::Number:
        case ValueKind::Integer: return "n";
        case ValueKind::Bool: return "b";
        case ValueKind::DateTime: return "d";
    }
    return "";
}

// ---- checking the document ---------------------------------------------------

struct Checker {
    std::string_view input, doc;

    void expect(bool ok, const char* what) const {
        if (!ok) fuzz::fail(what, input, doc);
    }

    const Json& field(const Json& obj, std::string_view key, Json::Kind kind) const {
        const Json* v = obj.get(key);
        expect(v != nullptr, "missing key");
        expect(v->kind == kind, "key of the wrong kind");
        return *v;
    }

    void keys_are(const Json& obj, const std::vector<std::string_view>& keys) const {
        expect(obj.keys.size() == keys.size(), "unexpected key count");
        for (size_t i = 0; i < keys.size(); ++i) expect(obj.keys[i] == keys[i], "unexpected key or key order");
    }

    void unsigned_is(const Json& v, uint64_t want) const {
        expect(v.kind == Json::Number && v.text == std::to_string(want), "integer differs");
    }

    void number_is(const Json& v, double want) const {
        if (!std::isfinite(want)) {
            expect(v.kind == Json::Null, "non-finite number not written as null");
            return;
        }
        expect(v.kind == Json::Number, "number expected");
        expect(fuzz::same_double(fuzz::read_double(v.text), want), "number does not read back");
    }

    void value_is(const Json& v, const CellValue& want) const {
        switch (want.kind()) {
            case ValueKind::Empty: expect(v.kind == Json::Null, "empty value not null"); return;
            case ValueKind::Text:
                expect(v.kind == Json::String && v.text == want.text(), "text value differs");
                return;
            case ValueKind::Number: number_is(v, want.number()); return;
            case ValueKind::Integer:
                expect(v.kind == Json::Number && v.text == std::to_string(want.integer()), "integer value differs");
                return;
            case ValueKind::Bool:
                expect(v.kind == Json::Bool && v.boolean == want.boolean(), "bool value differs");
                return;
            case ValueKind::DateTime: {
                char buf[64];
                const size_t n = write_datetime(want.datetime(), buf, 'T');
                expect(v.kind == Json::String && v.text == std::string_view(buf, n), "date-time value differs");
                return;
            }
        }
    }

    void optional_is(const Json& cell, std::string_view key, const std::optional<std::string>& want) const {
        const Json* v = cell.get(key);
        expect((v != nullptr) == want.has_value(), "optional key presence differs");
        if (v) expect(v->kind == Json::String && v->text == *want, "optional key text differs");
    }

    template <class Num>
    void dims_are(const Json& dims, const char* table, const char* num_key, const char* size_key,
                  const char* default_key, double default_value,
                  const std::map<Num, ShadowDim>& want) const {
        const Json* entries = dims.get(table);
        if (want.empty()) {
            keys_are(dims, {default_key});
        } else {
            keys_are(dims, {table, default_key});
            expect(entries->kind == Json::Object, "dimension table is not an object");
            expect(entries->items.size() == want.size(), "dimension entry count differs");
            for (size_t i = 0; i < entries->keys.size(); ++i) {
                const uint64_t num = std::stoull(entries->keys[i]);
                expect(entries->keys[i] == std::to_string(num), "dimension key is not a plain number");
                const auto it = want.find(Num(num));
                expect(num <= std::numeric_limits<Num>::max() && it != want.end(), "unknown dimension entry");
                const Json& e = entries->items[i];
                keys_are(e, {num_key, size_key, "hidden"});
                unsigned_is(e.items[0], num);
                number_is(e.items[1], it->second.size);
                expect(e.items[2].kind == Json::Bool && e.items[2].boolean == it->second.hidden, "hidden flag differs");
            }
        }
        number_is(field(dims, default_key, Json::Number), default_value);
    }

    void sheet_is(const Json& s, const ShadowSheet& want) const {
        expect(s.kind == Json::Object, "sheet is not an object");
        std::vector<std::string_view> keys = {"name", "sheet_state"};
        if (!want.merges.empty()) keys.push_back("merge_cells");
        for (auto k : {"cells", "row_dimensions", "column_dimensions", "comments"}) keys.push_back(k);
        keys_are(s, keys);
        expect(field(s, "name", Json::String).text == want.name, "sheet name differs");
        expect(field(s, "sheet_state", Json::String).text == want.state, "sheet state differs");
        if (!want.merges.empty()) {
            const Json& m = field(s, "merge_cells", Json::Array);
            expect(m.items.size() == want.merges.size(), "merge count differs");
            for (size_t i = 0; i < m.items.size(); ++i) {
                const Json& r = m.items[i];
                const MergeCell& w = want.merges[i];
                expect(r.kind == Json::Array && r.items.size() == 4, "merge is not four numbers");
                unsigned_is(r.items[0], w.start_row);
                unsigned_is(r.items[1], w.end_row);
                unsigned_is(r.items[2], w.start_col);
                unsigned_is(r.items[3], w.end_col);
            }
        }

        const Json& cells = field(s, "cells", Json::Array);
        expect(cells.items.size() == want.cells.size(), "cell count differs");
        auto it = want.cells.begin();
        uint64_t last_key = 0;
        bool first = true;
        for (const Json& c : cells.items) {
            expect(c.kind == Json::Object, "cell is not an object");
            const ShadowCell& w = *it->second;
            std::vector<std::string_view> ck = {"row", "column", "value"};
            if (w.formula) ck.push_back("formula");
            ck.push_back("data_type");
            if (w.style) ck.push_back("style_id");
            if (w.hidden) ck.push_back("hidden_value");
            keys_are(c, ck);
            const uint64_t row = std::stoull(field(c, "row", Json::Number).text);
            const uint64_t col = std::stoull(field(c, "column", Json::Number).text);
            // Strictly ascending (row, column): each coordinate at most once.
            const uint64_t key = (row << 16) | col;
            expect(first || key > last_key, "cells out of order or repeated");
            first = false;
            last_key = key;
            expect(row == it->first.first && col == it->first.second, "cell coordinate differs");
            unsigned_is(c.items[0], row);
            unsigned_is(c.items[1], col);
            value_is(c.items[2], w.value);
            optional_is(c, "formula", w.formula);
            expect(field(c, "data_type", Json::String).text == w.data_type, "data_type differs");
            optional_is(c, "style_id", w.style);
            optional_is(c, "hidden_value", w.hidden);
            ++it;
        }

        dims_are(field(s, "row_dimensions", Json::Object), "rows", "row_num", "height", "default_height",
                 kDefaultRowHeight, want.rows);
        dims_are(field(s, "column_dimensions", Json::Object), "columns", "col_num", "width", "default_width",
                 kDefaultColumnWidth, want.cols);

        const Json& comments = field(s, "comments", Json::Array);
        expect(comments.items.size() == want.comments.size(), "comment count differs");
        for (size_t i = 0; i < comments.items.size(); ++i) {
            const Json& c = comments.items[i];
            const auto& w = want.comments[i];
            keys_are(c, {"row", "column", "author", "text"});
            unsigned_is(c.items[0], w.first.first);
            unsigned_is(c.items[1], w.first.second);
            expect(c.items[2].kind == Json::String && c.items[2].text == w.second.second, "comment author differs");
            expect(c.items[3].kind == Json::String && c.items[3].text == w.second.first, "comment text differs");
        }
    }
};

// ---- the run -------------------------------------------------------------------

struct Run {
    std::string_view input;
    Ref<Book> book = Ref<Book>::make();
    std::vector<Ref<Sheet>> sheets;
    std::vector<ShadowSheet> shadow;
    std::vector<Handle> handles;

    void insert(ShadowSheet& s, Key k, Rec r) {
        ++r->tables;
        s.cells[k] = std::move(r);
    }

    void add(std::string name, std::string state) {
        sheets.push_back(add_sheet(*book, name, state));
        ShadowSheet s;
        s.name = std::move(name);
        s.state = std::move(state);
        shadow.push_back(std::move(s));
    }

    // Sheet.cell(row, col[, text]); the record is kept as a handle now and then.
    void cell(size_t si, uint32_t row, uint16_t col, const std::string* text, bool keep) {
        std::string_view view;
        if (text) view = *text;
        Ref<Cell> c = sheet_cell(*sheets[si], row, col, text ? &view : nullptr);
        ShadowSheet& s = shadow[si];
        auto it = s.cells.find({row, col});
        if (it == s.cells.end()) {
            auto r = std::make_shared<ShadowCell>();
            insert(s, {row, col}, r);
            it = s.cells.find({row, col});
        }
        ShadowCell& w = *it->second;
        if (text) {
            w.value = parse_cell_text(*text);
            w.formula.reset();
            w.data_type = code_of(w.value.kind());
        } else {
            w.data_type = "General";
        }
        if (keep && handles.size() < 16) handles.push_back({c, it->second});
    }

    void delete_band(size_t si, bool rows, uint32_t idx, uint32_t amount) {
        if (rows) delete_rows(*sheets[si], idx, amount);
        else delete_cols(*sheets[si], uint16_t(idx), uint16_t(amount));
        if (amount == 0) return;
        ShadowSheet& s = shadow[si];
        const uint64_t end = uint64_t(idx) + amount;
        std::map<Key, Rec> kept;
        for (auto& [k, r] : s.cells) {
            const uint32_t v = rows ? k.first : k.second;
            if (v >= idx && v < end) {
                --r->tables;
                continue;
            }
            if (v < idx) {
                kept.emplace(k, r);
                continue;
            }
            Key moved = k;
            if (rows) moved.first = uint32_t(v - amount);
            else moved.second = uint16_t(v - amount);
            if (r->tables > 1) {
                // The other sheets keep the record where it was; this one gets its own.
                --r->tables;
                auto own = std::make_shared<ShadowCell>(*r);
                own->tables = 1;
                kept.emplace(moved, own);
            } else {
                kept.emplace(moved, r);
            }
        }
        s.cells = std::move(kept);
    }

    void copy(size_t si) {
        const std::string name = "Sheet " + std::to_string(sheets.size() + 1);
        sheets.push_back(copy_sheet(*book, sheets[si]));
        ShadowSheet c = shadow[si];
        c.name = name;
        for (auto& [k, r] : c.cells) ++r->tables;
        shadow.push_back(std::move(c));
    }

    void check() {
        const std::string doc = write_book_json(*book);
        fuzz::JsonReader reader(doc);
        const auto root = reader.read();
        if (!root) fuzz::fail(reader.error(), input, doc);
        const Checker ck{input, doc};
        ck.expect(root->kind == Json::Object, "document is not an object");
        ck.keys_are(*root, {"sheets"});
        const Json& list = root->items[0];
        ck.expect(list.kind == Json::Array && list.items.size() == shadow.size(), "sheet count differs");
        for (size_t i = 0; i < shadow.size(); ++i) {
            ck.sheet_is(list.items[i], shadow[i]);
            const ShadowSheet& w = shadow[i];
            ck.expect(sheet_cell_count(*sheets[i]) == w.cells.size(), "sheet_cell_count differs");
            uint32_t max_row = 0;
            uint16_t max_col = 0;
            for (const auto& [k, r] : w.cells) {
                max_row = std::max(max_row, k.first);
                max_col = std::max(max_col, k.second);
            }
            ck.expect(sheet_max_row(*sheets[i]) == max_row, "max_row differs");
            ck.expect(sheet_max_column(*sheets[i]) == max_col, "max_column differs");
        }
    }
};

void step(Run& run, FuzzedDataProvider& in) {
    const size_t si = in.ConsumeIntegralInRange<size_t>(0, run.sheets.size() - 1);
    ShadowSheet& s = run.shadow[si];
    Sheet& sheet = *run.sheets[si];
    switch (in.ConsumeIntegralInRange<int>(0, 17)) {
        case 0:
        case 1:
        case 2: {
            const uint32_t row = row_from(in);
            const uint16_t col = col_from(in);
            const std::string text = text_from(in);
            run.cell(si, row, col, &text, in.ConsumeBool());
            break;
        }
        case 3: {
            const uint32_t row = row_from(in);
            const uint16_t col = col_from(in);
            run.cell(si, row, col, nullptr, in.ConsumeBool());
            break;
        }
        case 4: {
            // A block of cells, in reverse order now and then so the kept order goes stale.
            const uint32_t row = row_from(in);
            const uint16_t col = col_from(in);
            const int n = in.ConsumeIntegralInRange<int>(1, 40);
            const bool reverse = in.ConsumeBool();
            for (int i = 0; i < n; ++i) {
                const int j = reverse ? n - 1 - i : i;
                const std::string text = std::to_string(j);
                run.cell(si, row + uint32_t(j / 8), uint16_t(col + j % 8), &text, false);
            }
            break;
        }
        case 5:
        case 6: {
            // Edits through a kept handle: value, typed value, formula, style or hidden value.
            if (run.handles.empty()) break;
            Handle& h = run.handles[in.ConsumeIntegralInRange<size_t>(0, run.handles.size() - 1)];
            ShadowCell& w = *h.shadow;
            Cell& c = *h.cell;
            const int what = in.ConsumeIntegralInRange<int>(0, 6);
            const std::string text = text_from(in);
            CellValue v;
            switch (what) {
                case 0: v = parse_cell_text(text); break;
                case 1: v = CellValue::number(double_from(in)); break;
                case 2: v = CellValue::integer(in.ConsumeIntegral<int32_t>()); break;
                case 3: {
                    DateTime dt;
                    dt.year = in.ConsumeIntegralInRange<int32_t>(kMinYear, kMaxYear);
                    dt.month = in.ConsumeIntegralInRange<uint8_t>(1, 12);
                    dt.day = in.ConsumeIntegralInRange<uint8_t>(1, 28);
                    dt.hour = in.ConsumeIntegralInRange<uint8_t>(0, 23);
                    dt.second = in.ConsumeIntegralInRange<uint8_t>(0, 59);
                    dt.nanos = in.ConsumeIntegralInRange<uint32_t>(0, 999'999) * 1000u;
                    v = CellValue::datetime(dt);
                    break;
                }
                default: break;
            }
            ExclusiveGuard g(c.lock);
            if (what <= 3) {
                w.value = v;
                w.formula.reset();
                w.data_type = code_of(v.kind());
                c.assign_value(std::move(v));
            } else if (what == 4) {
                w.formula = text;
                w.data_type = "f";
                c.set_formula(text);
            } else if (what == 5) {
                w.style = text;
                c.ensure_extra().style = text;
            } else {
                w.hidden = text;
                c.ensure_extra().hidden_value = text;
            }
            break;
        }
        case 7: {
            MergeCell m{row_from(in), row_from(in), col_from(in), col_from(in)};
            add_merge_cells(sheet, m);
            s.merges.push_back(m);
            break;
        }
        case 8: {
            const uint32_t row = row_from(in);
            const uint16_t col = col_from(in);
            std::string text = text_from(in), author = text_from(in);
            add_comment(sheet, row, col, text, author);
            s.comments.push_back({{row, col}, {text, author}});
            break;
        }
        case 9: {
            const uint32_t row = row_from(in);
            const double h = double_from(in);
            set_height_row(sheet, row, h);
            s.rows.try_emplace(row, ShadowDim{kDefaultRowHeight}).first->second.size = h;
            break;
        }
        case 10: {
            const uint32_t row = row_from(in);
            const bool hidden = in.ConsumeBool();
            set_hidden_row(sheet, row, hidden);
            s.rows.try_emplace(row, ShadowDim{kDefaultRowHeight}).first->second.hidden = hidden;
            break;
        }
        case 11: {
            const uint16_t col = col_from(in);
            const double w = double_from(in);
            set_width_column(sheet, col, w);
            s.cols.try_emplace(col, ShadowDim{kDefaultColumnWidth}).first->second.size = w;
            break;
        }
        case 12: {
            const uint16_t col = col_from(in);
            const bool hidden = in.ConsumeBool();
            set_hidden_column(sheet, col, hidden);
            s.cols.try_emplace(col, ShadowDim{kDefaultColumnWidth}).first->second.hidden = hidden;
            break;
        }
        case 13:
        case 14: {
            const bool rows = in.ConsumeBool();
            const uint32_t idx = rows ? row_from(in) : col_from(in);
            uint32_t amount;
            if (in.ConsumeBool()) amount = in.ConsumeIntegralInRange<uint32_t>(0, 3);
            else amount = rows ? in.ConsumeIntegral<uint32_t>() : in.ConsumeIntegral<uint16_t>();
            run.delete_band(si, rows, idx, amount);
            break;
        }
        case 15:
            if (run.sheets.size() < 8) run.copy(si);
            break;
        case 16: {
            std::string name = text_from(in), state = text_from(in);
            if (in.ConsumeBool()) {
                set_sheet_name(sheet, name);
                s.name = name;
            } else {
                set_sheet_state(sheet, state);
                s.state = state;
            }
            break;
        }
        case 17: {
            std::string name = text_from(in);
            const bool visible = in.ConsumeBool();
            if (run.sheets.size() < 8) run.add(std::move(name), visible ? "visible" : "hidden");
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    Run run;
    run.input = std::string_view(reinterpret_cast<const char*>(data), size);
    run.add("Sheet1", "visible");
    for (int i = 0; i < 64 && in.remaining_bytes() > 0; ++i) {
        step(run, in);
        // Checking now and then catches a fault near the step that made it.
        if (i % 16 == 15) run.check();
    }
    run.check();
    return 0;
}
