#include "value.hpp"

#include <cstdlib>
#include <new>

#include "datetime_text.hpp"
#include "number_text.hpp"

namespace vorlix {

CellValue CellValue::text(std::string_view s) {
    CellValue v;
    v.kind_ = ValueKind::Text;
    if (s.size() <= kInline) {
        if (!s.empty()) std::memcpy(v.bytes_, s.data(), s.size());
        v.aux_ = uint8_t(s.size());
    } else {
        // One block: the length, then the bytes.
        char* block = static_cast<char*>(std::malloc(sizeof(size_t) + s.size()));
        if (!block) throw std::bad_alloc();
        size_t n = s.size();
        std::memcpy(block, &n, sizeof n);
        std::memcpy(block + sizeof n, s.data(), n);
        std::memcpy(v.bytes_, &block, sizeof block);
        v.aux_ = kHeap;
    }
    return v;
}

CellValue CellValue::datetime(const DateTime& dt) noexcept {
    CellValue v;
    v.kind_ = ValueKind::DateTime;
    std::memcpy(v.bytes_, &dt.year, 4);
    std::memcpy(v.bytes_ + 4, &dt.nanos, 4);
    v.bytes_[8] = dt.month;
    v.bytes_[9] = dt.day;
    v.bytes_[10] = dt.hour;
    v.bytes_[11] = dt.minute;
    v.bytes_[12] = dt.second;
    return v;
}

DateTime CellValue::datetime() const noexcept {
    DateTime dt;
    std::memcpy(&dt.year, bytes_, 4);
    std::memcpy(&dt.nanos, bytes_ + 4, 4);
    dt.month = bytes_[8];
    dt.day = bytes_[9];
    dt.hour = bytes_[10];
    dt.minute = bytes_[11];
    dt.second = bytes_[12];
    return dt;
}

std::string_view CellValue::text() const noexcept {
    if (kind_ != ValueKind::Text) return {};
    if (aux_ != kHeap) return {reinterpret_cast<const char*>(bytes_), aux_};
    const char* block = heap_ptr();
    size_t n;
    std::memcpy(&n, block, sizeof n);
    return {block + sizeof n, n};
}

void CellValue::free_heap() noexcept {
    if (kind_ == ValueKind::Text && aux_ == kHeap) std::free(heap_ptr());
}

void CellValue::copy_from(const CellValue& o) {
    if (o.kind_ == ValueKind::Text && o.aux_ == kHeap) {
        kind_ = ValueKind::Empty;  // stays valid if the copy below throws
        aux_ = 0;
        *this = text(o.text());
    } else {
        std::memcpy(static_cast<void*>(this), &o, sizeof *this);
    }
}

bool CellValue::operator==(const CellValue& o) const noexcept {
    if (kind_ != o.kind_) return false;
    switch (kind_) {
        case ValueKind::Empty: return true;
        case ValueKind::Text: return text() == o.text();
        case ValueKind::Number: return number() == o.number() || (number() != number() && o.number() != o.number());
        case ValueKind::Integer: return integer() == o.integer();
        case ValueKind::Bool: return boolean() == o.boolean();
        case ValueKind::DateTime: return datetime() == o.datetime();
    }
    return false;
}

std::string_view data_type_name(DataType t) noexcept {
    switch (t) {
        case DataType::General: return "General";
        case DataType::S: return "s";
        case DataType::N: return "n";
        case DataType::B: return "b";
        case DataType::D: return "d";
        case DataType::F: return "f";
        case DataType::Other: return "";
    }
    return "";
}

DataType data_type_from_name(std::string_view s) noexcept {
    if (s.size() == 1) {
        switch (s[0]) {
            case 's': return DataType::S;
            case 'n': return DataType::N;
            case 'b': return DataType::B;
            case 'd': return DataType::D;
            case 'f': return DataType::F;
        }
    }
    if (s == "General") return DataType::General;
    return DataType::Other;
}

DataType data_type_of(ValueKind k) noexcept {
    switch (k) {
        case ValueKind::Empty: return DataType::General;
        case ValueKind::Text: return DataType::S;
        case ValueKind::Number:
        case ValueKind::Integer: return DataType::N;
        case ValueKind::Bool: return DataType::B;
        case ValueKind::DateTime: return DataType::D;
    }
    return DataType::General;
}

std::string_view value_text_view(const CellValue& v, char* buf) noexcept {
    switch (v.kind()) {
        case ValueKind::Empty: return {};
        case ValueKind::Text: return v.text();
        case ValueKind::Number: return {buf, write_plain_number(v.number(), buf)};
        case ValueKind::Integer: {
            int32_t i = v.integer();
            char* p = buf + 16;
            char* end = p;
            uint32_t u = i < 0 ? 0u - uint32_t(i) : uint32_t(i);
            do { *--p = char('0' + u % 10); u /= 10; } while (u);
            if (i < 0) *--p = '-';
            return {p, size_t(end - p)};
        }
        case ValueKind::Bool: return v.boolean() ? std::string_view("true") : std::string_view("false");
        case ValueKind::DateTime: return {buf, write_datetime(v.datetime(), buf, ' ')};
    }
    return {};
}

void append_value_text(const CellValue& v, std::string& out) {
    char buf[kValueTextBuffer];
    out.append(value_text_view(v, buf));
}

std::string value_text(const CellValue& v) {
    char buf[kValueTextBuffer];
    return std::string(value_text_view(v, buf));
}

}  // namespace vorlix
