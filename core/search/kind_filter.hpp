// Which value kinds can pass a text test at all. Non-Text values write
// their text from a small set of bytes, so a needle holding any other byte
// rules that kind out before its text is produced: a word search then never
// formats a number or a date.
#pragma once

#include <array>
#include <string_view>

#include "model/value.hpp"

namespace vorlix::search {

// Every byte value_text can write for a kind; empty for Empty (its text is
// "") and for Text (any byte).
inline std::string_view value_text_alphabet(ValueKind k) noexcept {
    switch (k) {
        case ValueKind::Integer: return "-0123456789";
        case ValueKind::Number: return "-.0123456789infNa";  // plain digits, "inf", "NaN"
        case ValueKind::Bool: return "truefals";
        case ValueKind::DateTime: return "+-0123456789 :.";
        case ValueKind::Empty:
        case ValueKind::Text: return {};
    }
    return {};
}

class KindFilter {
public:
    enum class Test { Contains, Equals };

    // Contains: can a text of the kind contain `needle`? Equals: can it be
    // exactly `needle` (for trimmed equality, pass the trimmed target;
    // non-Text texts never carry white space at their ends)?
    KindFilter(std::string_view needle, Test test) noexcept {
        for (ValueKind k : {ValueKind::Integer, ValueKind::Number, ValueKind::Bool, ValueKind::DateTime}) {
            const std::string_view alphabet = value_text_alphabet(k);
            bool ok = test == Test::Contains || !needle.empty();
            for (char ch : needle)
                if (alphabet.find(ch) == std::string_view::npos) ok = false;
            possible_[size_t(k)] = ok;
        }
        possible_[size_t(ValueKind::Text)] = true;
        possible_[size_t(ValueKind::Empty)] = needle.empty();
    }

    bool possible(ValueKind k) const noexcept { return possible_[size_t(k)]; }

private:
    std::array<bool, 6> possible_{};
};

}  // namespace vorlix::search
