"""Builds a small workbook, searches it and prints its JSON document."""

import vorlix

book = vorlix.Book()
sheet = book.add_sheet("Data")
sheet.cell(1, 1, "Title")
sheet.cell(2, 1, "3")
sheet.cell(2, 2, "2.5").formula = "=1"
sheet.add_merge_cells(1, 1, 1, 3)
sheet.set_height_row(1, 30.0)
sheet.add_comment(1, 1, "note", "me")

print(sheet.find_cells_by_regex("Tit"))
print(book.to_json())
