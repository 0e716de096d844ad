// The letter-reference reader against a plain scan written here: exact
// agreement on ASCII texts; on other texts, agreement wherever the answer is
// settled before the first non-ASCII byte, and no crash elsewhere. The same
// input also drives the column-letter writer and the write/read round trip.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_common.hpp"
#include "model/coordinates.hpp"

using namespace vorlix;

namespace {

struct RefResult {
    std::optional<Coordinate> coord;
    // The scan looked at the end of its text while a following letter, "$"
    // or digit could still have changed the answer.
    bool wanted_more = false;
};

// "[$]letters{1,3}" then "[$]digits+" from the start of an upper-cased ASCII text.
RefResult ref_scan(std::string_view s) {
    RefResult r;
    auto at = [&](size_t i, bool sensitive) -> int {
        if (i < s.size()) return static_cast<unsigned char>(s[i]);
        if (sensitive) r.wanted_more = true;
        return -1;
    };
    auto letter = [](int c) { return c >= 'A' && c <= 'Z'; };
    auto digit = [](int c) { return c >= '0' && c <= '9'; };

    size_t p = 0;
    if (at(p, true) == '$') ++p;
    unsigned column = 0;
    size_t letters = 0;
    while (letters < 3 && letter(at(p, true))) {
        column = column * 26 + unsigned(at(p, true) - 'A' + 1);
        ++p;
        ++letters;
    }
    if (letters == 0) p = 0;  // a "$" without letters is left for the row part
    if (at(p, true) == '$') ++p;
    const size_t digits_start = p;
    unsigned long long row = 0;
    bool too_big = false;
    // No non-ASCII character upper-cases to something that starts with a
    // digit, so the end of the digits needs no further look.
    while (digit(at(p, false))) {
        row = row * 10 + unsigned(s[p] - '0');
        if (row > 0xFFFFFFFFull) too_big = true, row = 0x100000000ull;
        ++p;
    }
    if (letters == 0 || p == digits_start || too_big) return r;
    r.coord = Coordinate{uint32_t(row), uint16_t(column)};
    return r;
}

std::string ascii_upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return out;
}

std::string ref_letters(unsigned col) {
    std::string out;
    while (col != 0) {
        out.insert(out.begin(), char('A' + (col - 1) % 26));
        col = (col - 1) / 26;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto got = parse_letter_reference(text);

    size_t ascii_len = 0;
    while (ascii_len < size && data[ascii_len] < 0x80) ++ascii_len;
    const std::string prefix = ascii_upper(text.substr(0, ascii_len));
    const RefResult want = ref_scan(prefix);
    if (ascii_len == size || !want.wanted_more) {
        const std::string shown = got ? std::to_string(got->row) + "," + std::to_string(got->column) : "none";
        FUZZ_CHECK(got.has_value() == want.coord.has_value(), text, shown);
        if (got) FUZZ_CHECK(*got == *want.coord, text, shown);
    }

    // The writers: any column and row from the first six bytes.
    if (size >= 6) {
        uint32_t row;
        uint16_t col;
        std::memcpy(&row, data, 4);
        std::memcpy(&col, data + 4, 2);
        const std::string letters = column_number_to_letter(col);
        FUZZ_CHECK(letters == ref_letters(col), text, letters);
        const std::string ref = get_letter_coordinate(row, col);
        FUZZ_CHECK(ref == letters + std::to_string(row), text, ref);
        // Up to ZZZ (18278) the reader inverts the writer.
        if (col >= 1 && col <= 18278) {
            const auto back = parse_letter_reference(ref);
            FUZZ_CHECK(back && back->row == row && back->column == col, text, ref);
        }
    }
    return 0;
}
