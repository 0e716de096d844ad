// Real regular expressions (look-around, back-references) on UTF-8 text,
// for the places where a caller's pattern is used as a pattern.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

namespace vorlix {

struct RegexError {
    std::string message;  // the engine's own description
    size_t offset = 0;    // code unit in the pattern where it was noticed
};

class Regex {
public:
    // Compiles with Unicode classes and properties, no other flags; the
    // pattern may set its own inline. JIT-compiled when the engine can.
    static std::variant<Regex, RegexError> compile(std::string_view pattern);

    Regex(Regex&&) noexcept = default;
    Regex& operator=(Regex&&) noexcept = default;
    ~Regex();

    // Unanchored search. A failure during matching (the backtracking limit,
    // say) counts as no match. Safe to call from several threads at once.
    bool search(std::string_view subject) const noexcept;

    // Backtracking budget per search.
    static constexpr unsigned kMatchLimit = 10'000'000;

private:
    struct Code;
    explicit Regex(std::unique_ptr<Code> code) noexcept;
    std::unique_ptr<Code> code_;
};

}  // namespace vorlix
