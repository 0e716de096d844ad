// The document's strings: append_json_string must append (not replace),
// escape exactly the listed characters, and give a string that a JSON
// decoder turns back into the input bytes.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_common.hpp"
#include "model/json_text.hpp"

namespace {

// The escaping rules, written out: quotation mark, backslash and the five
// short forms by a backslash, other bytes below 0x20 as \u00xx in lower-case
// hex, every other byte as it is.
std::string expected_body(std::string_view s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\f': out += "\\f"; break;
            case '\r': out += "\\r"; break;
            default:
                if (c < 0x20) {
                    static const char hex[] = "0123456789abcdef";
                    out += "\\u00";
                    out += hex[c >> 4];
                    out += hex[c & 15];
                } else {
                    out += char(c);
                }
        }
    }
    return out + "\"";
}

// A byte-level decoder of one JSON string: the syntax of RFC 8259 (no raw
// control characters, only the defined escapes), with \u escapes below
// U+0080 giving their byte. nullopt on a syntax error.
std::optional<std::string> decode_string(std::string_view s) {
    if (s.size() < 2 || s.front() != '"' || s.back() != '"') return std::nullopt;
    const std::string_view in = s.substr(1, s.size() - 2);
    std::string out;
    for (size_t i = 0; i < in.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        if (c < 0x20 || c == '"') return std::nullopt;  // raw control, or an early end
        if (c != '\\') {
            out += char(c);
            continue;
        }
        if (++i == in.size()) return std::nullopt;  // the closing quote was escaped
        switch (in[i]) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                if (in.size() - i < 5) return std::nullopt;
                unsigned v = 0;
                for (size_t k = 1; k <= 4; ++k) {
                    const char h = in[i + k];
                    v <<= 4;
                    if (h >= '0' && h <= '9') v |= unsigned(h - '0');
                    else if (h >= 'a' && h <= 'f') v |= unsigned(h - 'a' + 10);
                    else if (h >= 'A' && h <= 'F') v |= unsigned(h - 'A' + 10);
                    else return std::nullopt;
                }
                i += 4;
                if (v >= 0xD800 && v <= 0xDFFF) return std::nullopt;  // the writer never splits pairs
                fuzz::put_utf8(out, v);
                break;
            }
            default: return std::nullopt;
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string prefix = "{\"k\":";
    std::string out = prefix;
    vorlix::append_json_string(input, out);
    FUZZ_CHECK(out.compare(0, prefix.size(), prefix) == 0, input, out);
    const std::string_view body = std::string_view(out).substr(prefix.size());

    FUZZ_CHECK(body == expected_body(input), input, body);
    const auto decoded = decode_string(body);
    FUZZ_CHECK(decoded && *decoded == input, input, body);

    // Well-formed UTF-8 in gives a string that a strict JSON reader accepts.
    if (fuzz::valid_utf8(input)) {
        fuzz::JsonReader reader(body);
        const auto v = reader.read();
        FUZZ_CHECK(v && v->kind == fuzz::Json::String && v->text == input, input,
                   reader.error() ? std::string_view(reader.error()) : body);
    }
    return 0;
}
