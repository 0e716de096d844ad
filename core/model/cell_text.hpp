// Classification of a text into a typed cell value.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "value.hpp"

namespace vorlix {

// Empty, then TRUE/FALSE (full Unicode upper-casing), then a signed 32-bit
// decimal integer, then a floating-point literal, then a date-time, else Text.
// Never fails.
CellValue parse_cell_text(std::string_view text);

std::optional<int32_t> parse_int32_text(std::string_view text) noexcept;
std::optional<double> parse_float_literal(std::string_view text) noexcept;

}  // namespace vorlix
