// Typed cell values and their text forms.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vorlix {

enum class ValueKind : uint8_t { Empty, Text, Number, Integer, Bool, DateTime };

// Naive proleptic-Gregorian date and time. nanos >= 1e9 marks a leap second.
struct DateTime {
    int32_t year = 1970;  // -262144 ..= 262143
    uint32_t nanos = 0;
    uint8_t month = 1, day = 1, hour = 0, minute = 0, second = 0;
    bool operator==(const DateTime&) const = default;
};

inline constexpr int32_t kMinYear = -262144;
inline constexpr int32_t kMaxYear = 262143;

// A cell value in 16 bytes: numbers, dates and texts of up to 14 bytes are
// stored inline; longer texts live in one heap block.
class CellValue {
public:
    CellValue() noexcept { std::memset(bytes_, 0, sizeof bytes_); }
    ~CellValue() { free_heap(); }
    CellValue(const CellValue& o) { copy_from(o); }
    CellValue(CellValue&& o) noexcept {
        std::memcpy(this, &o, sizeof *this);
        o.kind_ = ValueKind::Empty;
        o.aux_ = 0;
    }
    CellValue& operator=(const CellValue& o) {
        if (this != &o) { free_heap(); copy_from(o); }
        return *this;
    }
    CellValue& operator=(CellValue&& o) noexcept {
        if (this != &o) {
            free_heap();
            std::memcpy(this, &o, sizeof *this);
            o.kind_ = ValueKind::Empty;
            o.aux_ = 0;
        }
        return *this;
    }

    static CellValue empty() noexcept { return CellValue(); }
    static CellValue text(std::string_view s);
    static CellValue number(double d) noexcept { CellValue v; v.kind_ = ValueKind::Number; std::memcpy(v.bytes_, &d, 8); return v; }
    static CellValue integer(int32_t i) noexcept { CellValue v; v.kind_ = ValueKind::Integer; std::memcpy(v.bytes_, &i, 4); return v; }
    static CellValue boolean(bool b) noexcept { CellValue v; v.kind_ = ValueKind::Bool; v.bytes_[0] = b ? 1 : 0; return v; }
    static CellValue datetime(const DateTime& dt) noexcept;

    ValueKind kind() const noexcept { return kind_; }
    std::string_view text() const noexcept;
    double number() const noexcept { double d; std::memcpy(&d, bytes_, 8); return d; }
    int32_t integer() const noexcept { int32_t i; std::memcpy(&i, bytes_, 4); return i; }
    bool boolean() const noexcept { return bytes_[0] != 0; }
    DateTime datetime() const noexcept;

    bool operator==(const CellValue& o) const noexcept;

private:
    static constexpr uint8_t kHeap = 0xFF;
    static constexpr size_t kInline = 14;
    void free_heap() noexcept;
    void copy_from(const CellValue& o);
    char* heap_ptr() const noexcept { char* p; std::memcpy(&p, bytes_, sizeof p); return p; }

    alignas(8) unsigned char bytes_[14];
    uint8_t aux_ = 0;  // inline text length, or kHeap
    ValueKind kind_ = ValueKind::Empty;
};
static_assert(sizeof(CellValue) == 16);

// The kind codes a cell's data_type can hold; Other keeps free text
// (snapshots keep the code they read, whatever it is).
enum class DataType : uint8_t { General, S, N, B, D, F, Other };

std::string_view data_type_name(DataType t) noexcept;       // "General", "s", ... ("" for Other)
DataType data_type_from_name(std::string_view s) noexcept;  // Other when not one of the six
DataType data_type_of(ValueKind k) noexcept;

// Longest text value_text can produce for a non-Text value (denormals in
// positional notation need about 330 characters).
inline constexpr size_t kValueTextBuffer = 400;

// Appends the text form of the value to out.
void append_value_text(const CellValue& v, std::string& out);
std::string value_text(const CellValue& v);
// Text form without allocation: Text values are returned as a view of the
// stored text, other kinds are written into buf (kValueTextBuffer bytes).
std::string_view value_text_view(const CellValue& v, char* buf) noexcept;

}  // namespace vorlix
