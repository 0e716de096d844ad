#include "search/finder.hpp"

#include <algorithm>
#include <unordered_set>

#include "platform/pool.hpp"

namespace vorlix {

namespace {

template <class Test>
bool name_passes(const Sheet& s, Test&& test) {
    SharedGuard g(s.lock);
    return test(std::string_view(s.name));
}

// Membership in a list of names: a linear pass for short lists, a hash set
// for long ones.
class NameSet {
public:
    explicit NameSet(std::span<const std::string> names) : names_(names) {
        if (names.size() > kLinearLimit) set_.insert(names.begin(), names.end());
    }
    bool contains(std::string_view name) const {
        if (names_.size() > kLinearLimit) return set_.count(name) != 0;
        return std::any_of(names_.begin(), names_.end(), [&](const std::string& n) { return n == name; });
    }

private:
    static constexpr size_t kLinearLimit = 8;
    std::span<const std::string> names_;
    std::unordered_set<std::string_view> set_;
};

std::vector<Ref<Sheet>> select(const FinderRecord& f, std::span<const std::string> names, bool keep_named) {
    const NameSet set(names);
    SharedGuard g(f.lock);
    const std::vector<size_t> kept = ordered_filter(f.sheets.size(), [&](size_t i) {
        return name_passes(*f.sheets[i], [&](std::string_view n) { return set.contains(n) == keep_named; });
    });
    std::vector<Ref<Sheet>> out;
    out.reserve(kept.size());
    for (size_t i : kept) out.push_back(f.sheets[i]);
    return out;
}

template <class Test>
Ref<Sheet> first_named(const FinderRecord& f, Test&& test) {
    SharedGuard g(f.lock);
    const size_t i = first_match(f.sheets.size(), [&](size_t k) { return name_passes(*f.sheets[k], test); });
    return i < f.sheets.size() ? f.sheets[i] : Ref<Sheet>();
}

}  // namespace

Ref<Sheet> finder_sheet_at(const FinderRecord& f, long long index) {
    SharedGuard g(f.lock);
    if (index < 0 || static_cast<unsigned long long>(index) >= f.sheets.size()) return {};
    return f.sheets[size_t(index)];
}

std::vector<Ref<Sheet>> finder_sheets(const FinderRecord& f) {
    SharedGuard g(f.lock);
    return f.sheets;
}

std::vector<Ref<Sheet>> finder_sheets_with_names(const FinderRecord& f, std::span<const std::string> names) {
    return select(f, names, true);
}

std::vector<Ref<Sheet>> finder_sheets_without_names(const FinderRecord& f, std::span<const std::string> names) {
    return select(f, names, false);
}

Ref<Sheet> finder_sheet_by_name(const FinderRecord& f, std::string_view name) {
    return first_named(f, [&](std::string_view n) { return n == name; });
}

Ref<Sheet> finder_sheet_by_regex(const FinderRecord& f, const Regex& pattern) {
    return first_named(f, [&](std::string_view n) { return pattern.search(n); });
}

std::variant<Ref<Sheet>, RegexError> finder_sheet_by_regex(const FinderRecord& f, std::string_view pattern) {
    auto compiled = Regex::compile(pattern);
    if (auto* e = std::get_if<RegexError>(&compiled)) return std::move(*e);
    return finder_sheet_by_regex(f, std::get<Regex>(compiled));
}

}  // namespace vorlix
