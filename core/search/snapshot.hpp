// Read-only sheet snapshots: sheet records of their own, filled once and
// never changed, so that searches can run on them while the live workbook
// goes on being edited.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/records.hpp"

namespace vorlix {

// One source cell, already converted from the caller's objects.
struct SnapshotCellSource {
    uint32_t row = 0;
    uint16_t column = 0;
    std::optional<std::string> value;
    std::optional<std::string> formula;
    std::string data_type;
};

// The value a snapshot cell gets from its source text: with data_type "s"
// the text stays Text as it is; otherwise it is classified again. No text
// gives Empty.
CellValue snapshot_value(const std::optional<std::string>& text, std::string_view data_type);

// A new snapshot sheet with the given name, state and merged ranges and one
// new cell per source, in order; of several sources with the same
// coordinates the last wins. No comments and no row or column entries.
Ref<Sheet> build_snapshot(std::string name, std::string state, std::vector<MergeCell> merges,
                          std::vector<SnapshotCellSource>&& cells);

// The snapshot that build_snapshot would give for a live sheet (or another
// snapshot) read through its text forms, built from its records directly.
// The caller holds the sheet's shared lock.
Ref<Sheet> snapshot_of_sheet(const Sheet& live);

}  // namespace vorlix
