// Book-level operations. Each takes the locks it needs (book before sheet).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "records.hpp"

namespace vorlix {

Ref<Sheet> add_sheet(Book& book, std::string name, std::string sheet_state);
// Shares the source's cell and comment records; copies everything else.
// The copy is named "Sheet N+1" for a book of N sheets.
Ref<Sheet> copy_sheet(Book& book, const Ref<Sheet>& source);
Ref<Sheet> sheet_at(const Book& book, long idx);
Ref<Sheet> sheet_named(const Book& book, std::string_view name);
std::vector<Ref<Sheet>> book_sheets(const Book& book);
size_t sheet_count(const Book& book);

// The compact JSON document of the whole book. With these value kinds the
// writer has nothing that can fail.
std::string write_book_json(const Book& book);
// The same into `out` (cleared first), so that a caller can reuse its buffer.
void write_book_json(const Book& book, std::string& out);

}  // namespace vorlix
