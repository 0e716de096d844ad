#include "book_ops.hpp"

namespace vorlix {

Ref<Sheet> add_sheet(Book& book, std::string name, std::string sheet_state) {
    auto sheet = Ref<Sheet>::make(std::move(name), std::move(sheet_state));
    ExclusiveGuard g(book.lock);
    book.sheets.push_back(sheet);
    return sheet;
}

Ref<Sheet> copy_sheet(Book& book, const Ref<Sheet>& source) {
    ExclusiveGuard g(book.lock);
    auto copy = Ref<Sheet>::make(std::string(), std::string());
    {
        // The source may be a sheet of this very book: its lock is a different one.
        SharedGuard sg(source->lock);
        copy->sheet_state = source->sheet_state;
        copy->merge_cells = source->merge_cells;
        copy->row_dimensions = source->row_dimensions;
        copy->column_dimensions = source->column_dimensions;
        copy->cells.reserve(source->cells.size());
        // Same records, same keys; inserting in order keeps the copy's order warm.
        for (Cell* c : source->ordered_cells()) copy->insert_cell(Ref<Cell>(c));
        copy->comments = source->comments;
    }
    copy->name = "Sheet " + std::to_string(book.sheets.size() + 1);
    book.sheets.push_back(copy);
    return copy;
}

Ref<Sheet> sheet_at(const Book& book, long idx) {
    SharedGuard g(book.lock);
    if (idx < 0 || size_t(idx) >= book.sheets.size()) return {};
    return book.sheets[size_t(idx)];
}

Ref<Sheet> sheet_named(const Book& book, std::string_view name) {
    SharedGuard g(book.lock);
    for (const auto& s : book.sheets) {
        SharedGuard sg(s->lock);
        if (s->name == name) return s;
    }
    return {};
}

std::vector<Ref<Sheet>> book_sheets(const Book& book) {
    SharedGuard g(book.lock);
    return book.sheets;
}

size_t sheet_count(const Book& book) {
    SharedGuard g(book.lock);
    return book.sheets.size();
}

}  // namespace vorlix
