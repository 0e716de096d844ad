// Substring test for the searches that take their argument as literal text:
// a text matches when it contains the needle as a contiguous run of bytes.
// On UTF-8 this is the same as containing the needle's code points in a row,
// since no encoded character starts inside another.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace vorlix::search {

namespace detail {

// Rough byte frequencies in spreadsheet texts (words, numbers, dates):
// higher is more common. Unlisted ASCII bytes count as rare; UTF-8 lead
// bytes repeat more than continuation bytes in non-Latin text.
constexpr std::array<int, 256> make_byte_frequency() {
    std::array<int, 256> f{};
    for (int b = 0x80; b < 0xC0; ++b) f[b] = 2;
    for (int b = 0xC0; b < 0x100; ++b) f[b] = 4;
    constexpr std::string_view common =
        "ZQJXKVBPYGFWMUCLDRHSNIOATE"
        "zqjxkvbpygfwmucldrhsnioate"
        "/,:-.9876543210 ";
    for (size_t i = 0; i < common.size(); ++i)
        f[static_cast<unsigned char>(common[i])] = 8 + int(i);
    return f;
}

inline constexpr std::array<int, 256> kByteFrequency = make_byte_frequency();

}  // namespace detail

class LiteralMatcher {
public:
    explicit LiteralMatcher(std::string_view needle) : needle_(needle) {
        // Look for the needle's least common byte first: in cell texts a
        // first byte such as 'e' or '1' would give many false starts.
        int best = 1 << 30;
        for (size_t i = 0; i < needle_.size(); ++i) {
            const int f = detail::kByteFrequency[static_cast<unsigned char>(needle_[i])];
            if (f < best) {
                best = f;
                probe_ = i;
            }
        }
        if (!needle_.empty()) probe_byte_ = needle_[probe_];
        data_ = needle_.data();
        size_ = needle_.size();
    }
    // data_ points into needle_'s own storage.
    LiteralMatcher(const LiteralMatcher&) = delete;
    LiteralMatcher& operator=(const LiteralMatcher&) = delete;

    bool found_in(std::string_view text) const noexcept {
        const size_t m = size_;
        const size_t n = text.size();
        const char* t = text.data();
        if (m <= 1) return m == 0 || (n != 0 && std::memchr(t, probe_byte_, n) != nullptr);
        if (n < m) return false;
        if (n >= kLongText) {
            // glibc's memmem is linear in the worst case; the probe loop
            // below is not, which only matters on long texts.
            return ::memmem(t, n, data_, m) != nullptr;
        }
        // The probe byte of a window starting at s sits at s + probe_.
        const char* p = t + probe_;
        const char* const last = t + (n - m) + probe_;
        for (;;) {
            p = static_cast<const char*>(std::memchr(p, probe_byte_, size_t(last - p) + 1));
            if (!p) return false;
            if (std::memcmp(p - probe_, data_, m) == 0) return true;
            if (++p > last) return false;
        }
    }

    const std::string& needle() const noexcept { return needle_; }

private:
    static constexpr size_t kLongText = 1024;

    std::string needle_;
    const char* data_ = nullptr;  // needle_.data() and size, kept at hand
    size_t size_ = 0;
    size_t probe_ = 0;
    char probe_byte_ = 0;
};

}  // namespace vorlix::search
