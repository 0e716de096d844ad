// Reading a sheet-like Python object into a snapshot record.
#pragma once

#include "binding.hpp"
#include "model/records.hpp"

namespace vorlix::py {

// Live Sheets and ReadableSheets are read straight from their records;
// other objects field by field (by key for dicts, by attribute otherwise).
// On failure the underlying Python exception is raised again with a message
// naming the sheet (position `index` in the caller's list) and the cell.
Ref<Sheet> build_sheet_snapshot(PyObject* source, Py_ssize_t index);

}  // namespace vorlix::py
