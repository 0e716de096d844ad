// The finder: a fixed, ordered list of snapshot sheets and the selections
// by name over it.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "model/records.hpp"
#include "platform/regex.hpp"

namespace vorlix {

class FinderRecord : public RefCounted {
public:
    FinderRecord() = default;
    explicit FinderRecord(std::vector<Ref<Sheet>> s) : sheets(std::move(s)) {}

    mutable RwLock lock;
    // Set at construction and never changed afterwards.
    std::vector<Ref<Sheet>> sheets;
};

// Each selection takes the finder's shared lock itself and each sheet's
// shared lock only while reading its name. Names compare byte for byte.

// The sheet at a 0-based position; null outside 0..size-1 (no counting
// from the end).
Ref<Sheet> finder_sheet_at(const FinderRecord& finder, long long index);
std::vector<Ref<Sheet>> finder_sheets(const FinderRecord& finder);
// Sheets whose name equals one of `names` (or none of them), finder order.
std::vector<Ref<Sheet>> finder_sheets_with_names(const FinderRecord& finder,
                                                 std::span<const std::string> names);
std::vector<Ref<Sheet>> finder_sheets_without_names(const FinderRecord& finder,
                                                    std::span<const std::string> names);
// First sheet with exactly this name, or null.
Ref<Sheet> finder_sheet_by_name(const FinderRecord& finder, std::string_view name);
// First sheet whose name the pattern matches anywhere, or null.
Ref<Sheet> finder_sheet_by_regex(const FinderRecord& finder, const Regex& pattern);
// Compiles `pattern` as given (no escaping), then searches as above; a
// pattern that does not compile gives the engine's error.
std::variant<Ref<Sheet>, RegexError> finder_sheet_by_regex(const FinderRecord& finder,
                                                           std::string_view pattern);

}  // namespace vorlix
