// Helpers shared by the fuzz targets: a failure report that stops the run,
// UTF-8 checks, a strict JSON reader and independent number oracles. None of
// them calls into the core, so they can serve as its oracle.
#pragma once

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fuzz {

[[noreturn]] inline void fail(const char* what, std::string_view input, std::string_view got = {}) {
    std::fprintf(stderr, "ORACLE FAILURE: %s\n  input (%zu bytes):", what, input.size());
    for (unsigned char c : input) std::fprintf(stderr, " %02x", c);
    std::fprintf(stderr, "\n  got: ");
    std::fwrite(got.data(), 1, got.size(), stderr);
    std::fprintf(stderr, "\n");
    std::abort();
}

#define FUZZ_CHECK(cond, input, got)                                         \
    do {                                                                     \
        if (!(cond)) ::fuzz::fail(#cond " (" __FILE__ ")", (input), (got)); \
    } while (0)

inline bool is_ascii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// Strict UTF-8 decoding of one code point at s[i]: no overlong forms, no
// surrogates, nothing above U+10FFFF. Returns -1 (and advances one byte) on
// an ill-formed sequence.
inline long next_code_point(std::string_view s, size_t& i) {
    const unsigned char b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int len;
    long cp;
    long min;
    if ((b0 & 0xE0) == 0xC0) { len = 2; cp = b0 & 0x1F; min = 0x80; }
    else if ((b0 & 0xF0) == 0xE0) { len = 3; cp = b0 & 0x0F; min = 0x800; }
    else if ((b0 & 0xF8) == 0xF0) { len = 4; cp = b0 & 0x07; min = 0x10000; }
    else { ++i; return -1; }
    if (s.size() - i < size_t(len)) { ++i; return -1; }
    for (int k = 1; k < len; ++k) {
        const unsigned char b = static_cast<unsigned char>(s[i + size_t(k)]);
        if ((b & 0xC0) != 0x80) { ++i; return -1; }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) { ++i; return -1; }
    i += size_t(len);
    return cp;
}

inline bool valid_utf8(std::string_view s) {
    for (size_t i = 0; i < s.size();)
        if (next_code_point(s, i) < 0) return false;
    return true;
}

inline void put_utf8(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// Ill-formed bytes become U+FFFD: the Python layer only ever hands the core
// well-formed UTF-8.
inline std::string to_valid_utf8(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        const size_t start = i;
        const long cp = next_code_point(s, i);
        if (cp < 0) out += "\xEF\xBF\xBD";
        else out.append(s.substr(start, i - start));
    }
    return out;
}

// The Unicode White_Space property (a fixed list of 25 code points).
inline bool unicode_white_space(long cp) {
    return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 ||
           cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 ||
           cp == 0x2029 || cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

// ---------------------------------------------------------------------------
// A strict JSON reader (RFC 8259): the whole text must be one value; strings
// must be well-formed UTF-8 with no raw control characters; duplicate keys in
// an object are refused (the document never writes one).

struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    std::string text;  // the number's source text, or the decoded string
    std::vector<Json> items;       // array elements, or an object's values
    std::vector<std::string> keys;  // an object's keys, one per item

    const Json* get(std::string_view key) const {
        for (size_t i = 0; i < keys.size(); ++i)
            if (keys[i] == key) return &items[i];
        return nullptr;
    }
};

class JsonReader {
public:
    explicit JsonReader(std::string_view s) : s_(s) {}

    // nullopt with error() set when the text is not one valid JSON value.
    std::optional<Json> read() {
        Json v;
        skip_ws();
        if (!value(v, 0)) return std::nullopt;
        skip_ws();
        if (i_ != s_.size()) return bad("trailing bytes");
        return v;
    }
    const char* error() const { return err_; }
    size_t position() const { return i_; }

private:
    std::nullopt_t bad(const char* why) {
        if (!err_) err_ = why;
        return std::nullopt;
    }
    bool fail(const char* why) {
        if (!err_) err_ = why;
        return false;
    }
    void skip_ws() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) ++i_;
    }
    bool eat(char c) {
        if (i_ < s_.size() && s_[i_] == c) { ++i_; return true; }
        return false;
    }
    bool word(std::string_view w) {
        if (s_.substr(i_, w.size()) == w) { i_ += w.size(); return true; }
        return false;
    }

    bool value(Json& v, int depth) {
        if (depth > 64) return fail("nesting too deep");
        if (i_ >= s_.size()) return fail("value expected");
        const char c = s_[i_];
        if (c == '{') return object(v, depth);
        if (c == '[') return array(v, depth);
        if (c == '"') { v.kind = Json::String; return string(v.text); }
        if (word("null")) { v.kind = Json::Null; return true; }
        if (word("true")) { v.kind = Json::Bool; v.boolean = true; return true; }
        if (word("false")) { v.kind = Json::Bool; v.boolean = false; return true; }
        if (c == '-' || (c >= '0' && c <= '9')) return number(v);
        return fail("unexpected character");
    }

    bool digits() {
        const size_t start = i_;
        while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
        return i_ > start;
    }

    bool number(Json& v) {
        const size_t start = i_;
        eat('-');
        if (eat('0')) {
            // no leading zeros
        } else if (i_ < s_.size() && s_[i_] >= '1' && s_[i_] <= '9') {
            digits();
        } else {
            return fail("bad number");
        }
        if (eat('.') && !digits()) return fail("digits expected after '.'");
        if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
            ++i_;
            if (!eat('+')) eat('-');
            if (!digits()) return fail("digits expected in exponent");
        }
        v.kind = Json::Number;
        v.text.assign(s_.substr(start, i_ - start));
        return true;
    }

    bool hex4(unsigned& out) {
        if (s_.size() - i_ < 4) return false;
        out = 0;
        for (int k = 0; k < 4; ++k) {
            const char h = s_[i_++];
            out <<= 4;
            if (h >= '0' && h <= '9') out |= unsigned(h - '0');
            else if (h >= 'a' && h <= 'f') out |= unsigned(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F') out |= unsigned(h - 'A' + 10);
            else return false;
        }
        return true;
    }

    bool string(std::string& out) {
        if (!eat('"')) return fail("string expected");
        out.clear();
        while (true) {
            if (i_ >= s_.size()) return fail("unterminated string");
            const unsigned char c = static_cast<unsigned char>(s_[i_]);
            if (c == '"') { ++i_; return true; }
            if (c < 0x20) return fail("raw control character in string");
            if (c == '\\') {
                ++i_;
                if (i_ >= s_.size()) return fail("unterminated escape");
                const char e = s_[i_++];
                switch (e) {
                    case '"': out += '"'; break;
                    case '\\': out += '\\'; break;
                    case '/': out += '/'; break;
                    case 'b': out += '\b'; break;
                    case 'f': out += '\f'; break;
                    case 'n': out += '\n'; break;
                    case 'r': out += '\r'; break;
                    case 't': out += '\t'; break;
                    case 'u': {
                        unsigned u;
                        if (!hex4(u)) return fail("bad \\u escape");
                        unsigned long cp = u;
                        if (u >= 0xD800 && u <= 0xDBFF) {
                            unsigned lo;
                            if (!word("\\u") || !hex4(lo) || lo < 0xDC00 || lo > 0xDFFF)
                                return fail("lone high surrogate escape");
                            cp = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                        } else if (u >= 0xDC00 && u <= 0xDFFF) {
                            return fail("lone low surrogate escape");
                        }
                        put_utf8(out, cp);
                        break;
                    }
                    default: return fail("unknown escape");
                }
                continue;
            }
            const size_t start = i_;
            if (next_code_point(s_, i_) < 0) return fail("ill-formed UTF-8 in string");
            out.append(s_.substr(start, i_ - start));
        }
    }

    bool array(Json& v, int depth) {
        v.kind = Json::Array;
        eat('[');
        skip_ws();
        if (eat(']')) return true;
        while (true) {
            Json item;
            skip_ws();
            if (!value(item, depth + 1)) return false;
            v.items.push_back(std::move(item));
            skip_ws();
            if (eat(']')) return true;
            if (!eat(',')) return fail("',' or ']' expected");
        }
    }

    bool object(Json& v, int depth) {
        v.kind = Json::Object;
        eat('{');
        skip_ws();
        if (eat('}')) return true;
        while (true) {
            skip_ws();
            std::string key;
            if (!string(key)) return false;
            for (const auto& k : v.keys)
                if (k == key) return fail("duplicate key");
            skip_ws();
            if (!eat(':')) return fail("':' expected");
            skip_ws();
            Json item;
            if (!value(item, depth + 1)) return false;
            v.keys.push_back(std::move(key));
            v.items.push_back(std::move(item));
            skip_ws();
            if (eat('}')) return true;
            if (!eat(',')) return fail("',' or '}' expected");
        }
    }

    std::string_view s_;
    size_t i_ = 0;
    const char* err_ = nullptr;
};

// ---------------------------------------------------------------------------
// Number oracles built on the C library alone (glibc's printf and strtod are
// correctly rounded).

inline double read_double(std::string_view s) {
    std::string z(s);
    errno = 0;
    return std::strtod(z.c_str(), nullptr);
}

inline bool same_double(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return a == b && std::signbit(a) == std::signbit(b);
}

// Shortest digits that read back as d (finite, d > 0): the value is
// 0.digits x 10^point. Found by trying each precision in turn.
struct Shortest {
    std::string digits;
    int point = 0;
};

inline Shortest shortest_by_printf(double d) {
    char buf[64];
    for (int prec = 0; prec <= 16; ++prec) {
        std::snprintf(buf, sizeof buf, "%.*e", prec, d);
        if (std::strtod(buf, nullptr) == d || prec == 16) {
            Shortest r;
            const char* p = buf;
            for (; *p != 'e'; ++p)
                if (*p != '.') r.digits += *p;
            const int exp = std::atoi(p + 1);
            while (r.digits.size() > 1 && r.digits.back() == '0') r.digits.pop_back();
            r.point = exp + 1;
            return r;
        }
    }
    return {};
}

// Splits a decimal text ("-12.5", "0.001", "1.5e-7", "1000") into its sign,
// significant digits (no leading or trailing zeros) and decimal point
// position (0.digits x 10^point). False when the text is not such a number.
struct Decimal {
    bool negative = false;
    std::string digits;
    long point = 0;
    bool has_fraction = false;
    bool has_exponent = false;
};

inline std::optional<Decimal> split_decimal(std::string_view s) {
    Decimal d;
    size_t i = 0;
    if (i < s.size() && s[i] == '-') { d.negative = true; ++i; }
    std::string all;
    long int_len = 0;
    const size_t int_start = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') all += s[i++];
    int_len = long(i - int_start);
    if (int_len == 0) return std::nullopt;
    if (i < s.size() && s[i] == '.') {
        d.has_fraction = true;
        ++i;
        const size_t fs = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') all += s[i++];
        if (i == fs) return std::nullopt;
    }
    long exp = 0;
    if (i < s.size() && s[i] == 'e') {
        d.has_exponent = true;
        ++i;
        bool neg = false;
        if (i < s.size() && s[i] == '-') { neg = true; ++i; }
        const size_t es = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') exp = exp * 10 + (s[i++] - '0');
        if (i == es) return std::nullopt;
        if (neg) exp = -exp;
    }
    if (i != s.size()) return std::nullopt;
    size_t lead = 0;
    while (lead < all.size() && all[lead] == '0') ++lead;
    if (lead == all.size()) {
        d.digits = "0";
        d.point = 1;
        return d;
    }
    d.point = int_len - long(lead) + exp;
    size_t end = all.size();
    while (end > lead && all[end - 1] == '0') --end;
    d.digits = all.substr(lead, end - lead);
    return d;
}

}  // namespace fuzz
