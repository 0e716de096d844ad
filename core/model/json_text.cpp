#include "json_text.hpp"

#include <array>
#include <cstdint>

namespace vorlix {

namespace {

// For each byte: 0 copies it unchanged, 'u' writes \u00xx, any other value is
// the letter written after a backslash.
constexpr std::array<char, 256> make_escape_table() {
    std::array<char, 256> t{};
    for (int c = 0; c < 0x20; ++c) t[c] = 'u';
    t['\b'] = 'b';
    t['\t'] = 't';
    t['\n'] = 'n';
    t['\f'] = 'f';
    t['\r'] = 'r';
    t['"'] = '"';
    t['\\'] = '\\';
    return t;
}

constexpr std::array<char, 256> kEscape = make_escape_table();

}  // namespace

void append_json_string(std::string_view text, std::string& out) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char* run = p;
        while (p < end && kEscape[static_cast<unsigned char>(*p)] == 0) ++p;
        if (p != run) out.append(run, size_t(p - run));
        if (p == end) break;
        const unsigned char c = static_cast<unsigned char>(*p++);
        const char e = kEscape[c];
        if (e == 'u') {
            const char buf[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
            out.append(buf, 6);
        } else {
            const char buf[2] = {'\\', e};
            out.append(buf, 2);
        }
    }
    out.push_back('"');
}

}  // namespace vorlix
