#include "platform/regex.hpp"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

namespace vorlix {

namespace {

// Bounds on one search besides the backtracking count: the interpreter's
// backtracking memory, in KiB.
constexpr uint32_t kHeapLimitKiB = 64 * 1024;

// Match data is written by every search, so each thread keeps its own. One
// pair of offsets suffices: a search only asks whether there is a match, and
// the engine tracks captures for back-references internally.
struct ThreadMatchData {
    pcre2_match_data* data = pcre2_match_data_create(1, nullptr);
    ~ThreadMatchData() { pcre2_match_data_free(data); }
};

}  // namespace

struct Regex::Code {
    pcre2_code* code = nullptr;
    pcre2_match_context* context = nullptr;  // read-only once built
    ~Code() {
        pcre2_match_context_free(context);
        pcre2_code_free(code);
    }
};

Regex::Regex(std::unique_ptr<Code> code) noexcept : code_(std::move(code)) {}
Regex::~Regex() = default;

std::variant<Regex, RegexError> Regex::compile(std::string_view pattern) {
    int err = 0;
    PCRE2_SIZE offset = 0;
    // MATCH_INVALID_UTF: subjects with broken UTF-8 are searched, not refused.
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                     PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF, &err, &offset,
                                     nullptr);
    if (!code) {
        PCRE2_UCHAR buf[256];
        const int n = pcre2_get_error_message(err, buf, sizeof buf);
        RegexError e;
        e.message = n > 0 ? std::string(reinterpret_cast<const char*>(buf), size_t(n))
                          : "regular expression error " + std::to_string(err);
        e.offset = offset;
        return e;
    }
    auto c = std::make_unique<Code>();
    c->code = code;
    // Without JIT support the interpreter does the same job, only slower.
    (void)pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
    c->context = pcre2_match_context_create(nullptr);
    if (!c->context) return RegexError{"out of memory", 0};
    pcre2_set_match_limit(c->context, kMatchLimit);
    pcre2_set_heap_limit(c->context, kHeapLimitKiB);
    return Regex(std::move(c));
}

bool Regex::search(std::string_view subject) const noexcept {
    thread_local ThreadMatchData md;
    if (!md.data) return false;
    const auto* s = reinterpret_cast<PCRE2_SPTR>(subject.data());
    int rc = pcre2_match(code_->code, s, subject.size(), 0, 0, md.data, code_->context);
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT) {
        // The JIT's own stack is small; the interpreter keeps its frames on
        // the heap, bounded by the heap limit.
        rc = pcre2_match(code_->code, s, subject.size(), 0, PCRE2_NO_JIT, md.data, code_->context);
    }
    return rc >= 0;
}

}  // namespace vorlix
