// Text equality after removing Unicode White_Space from both ends.
#pragma once

#include <string>
#include <string_view>

#include "model/unicode.hpp"

namespace vorlix::search {

// The text without surrounding White_Space. Most texts start and end with
// a printable ASCII character, which is never White_Space and can never be
// part of a multi-byte sequence, so they skip the decoding.
inline std::string_view trimmed_view(std::string_view text) noexcept {
    auto plain = [](char c) {
        const unsigned char u = static_cast<unsigned char>(c);
        return u > 0x20 && u < 0x7F;
    };
    if (!text.empty() && plain(text.front()) && plain(text.back())) return text;
    return trim_white_space(text);
}

inline bool trimmed_equals(std::string_view a, std::string_view b) noexcept {
    return trimmed_view(a) == trimmed_view(b);
}

// trimmed_equals against one fixed text, trimmed once.
class TrimmedMatcher {
public:
    explicit TrimmedMatcher(std::string_view value) : target_(trimmed_view(value)) {}

    bool equals(std::string_view text) const noexcept {
        if (text.size() < target_.size()) return false;
        return trimmed_view(text) == target_;
    }

    const std::string& target() const noexcept { return target_; }

private:
    std::string target_;
};

}  // namespace vorlix::search
