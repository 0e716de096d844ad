// Coordinates and "A1"-style letter references.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorlix {

struct Coordinate {
    uint32_t row = 0;
    uint16_t column = 0;
    bool operator==(const Coordinate&) const = default;
};

inline uint64_t pack_key(uint32_t row, uint16_t column) noexcept {
    return (uint64_t(row) << 16) | column;
}

// Bijective base 26: 1 -> "A", 27 -> "AA", 65535 -> "CRXO"; 0 -> "".
std::string column_number_to_letter(uint16_t col);
// Column letters followed by the decimal row: (7, 2) -> "B7", (5, 0) -> "5".
std::string get_letter_coordinate(uint32_t row, uint16_t col);
// Upper-cases the text (full Unicode mapping), then reads an optional "$",
// one to three letters A-Z, an optional "$" and the row digits from the
// start; whatever follows is ignored. nullopt when the letters or the digits
// are missing or the row exceeds 32 bits.
std::optional<Coordinate> parse_letter_reference(std::string_view text);

}  // namespace vorlix
