// Concurrency stress of the core: threads add and edit cells, add and copy
// sheets, delete rows and columns, serialise and search one book at the same
// time through the core operations, the way the binding layer calls them.
// Meant to run under ThreadSanitizer. Bounded by iteration counts; a
// watchdog turns a hang (deadlock, starved writer) into a failure. Every
// document written is parsed back and must list each coordinate of a sheet
// at most once, in (row, column) order.
//
//   vorlix_stress serial [seed]  sheets stay below the pool's serial grain:
//                                no work reaches the worker pool, so the
//                                sanitizer sees every access there is.
//   vorlix_stress pool [seed]    sheets of several thousand cells: searches,
//                                sorts and snapshots run on the worker pool.
#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "model/book_ops.hpp"
#include "model/cell_text.hpp"
#include "model/sheet_ops.hpp"
#include "platform/pool.hpp"
#include "search/cell_search.hpp"
#include "search/finder.hpp"
#include "search/snapshot.hpp"
#include "search/trimmed.hpp"

#if defined(__SANITIZE_THREAD__)
#include <dlfcn.h>
#include <sanitizer/tsan_interface.h>

#include <oneapi/tbb/task_arena.h>

// With TBB_USE_PROFILING_TOOLS=2 the oneTBB templates announce their joins
// through this library hook: a task finishing releases its wait context, the
// waiting thread acquires it after the wait, and a loop's subtasks release
// the tree node their parent acquires before going on. The prebuilt
// library's own synchronisation is invisible to ThreadSanitizer, so the hook
// is defined here (it takes precedence over the library's) and forwards them
// as release/acquire: what a pool task wrote is then ordered before what the
// caller does after the parallel call. Spawning has no matching acquire hook
// on the stealing thread's side; see tsan.supp.
namespace tbb::detail::r1 {
void call_itt_notify(int kind, void* ptr) {
    enum { kAcquired = 2, kReleasing = 3 };  // oneapi/tbb/profiling.h notify_type
    if (kind == kReleasing) __tsan_release(ptr);
    else if (kind == kAcquired) __tsan_acquire(ptr);
}

// task_arena::execute gives its function to the arena; when every slot is
// taken, another thread runs it while the caller waits inside the library.
// No hook marks either hand-over, so the function is wrapped here: the
// caller's past is ordered before the function and the function before the
// caller's return. The library's own definition does the work.
void execute(d1::task_arena_base& arena, d1::delegate_base& function) {
    using Execute = void (*)(d1::task_arena_base&, d1::delegate_base&);
    static const Execute library_execute = [] {
        void* f = dlsym(RTLD_NEXT, "_ZN3tbb6detail2r17executeERNS0_2d115task_arena_baseERNS2_13delegate_baseE");
        if (!f) {
            std::fprintf(stderr, "stress: oneTBB's task_arena execute not found\n");
            std::abort();
        }
        return reinterpret_cast<Execute>(f);
    }();
    struct Traced final : d1::delegate_base {
        explicit Traced(d1::delegate_base& f) : inner(f) {}
        bool operator()() const override {
            __tsan_acquire(const_cast<Traced*>(this));
            const bool r = inner();
            __tsan_release(const_cast<Traced*>(this));
            return r;
        }
        d1::delegate_base& inner;
    } traced(function);
    __tsan_release(&traced);
    library_execute(arena, traced);
    __tsan_acquire(&traced);
}
}  // namespace tbb::detail::r1
#endif

using namespace vorlix;
namespace vs = vorlix::search;

namespace {

// ----------------------------------------------------------------- failures

std::atomic<int> g_failures{0};
std::mutex g_print;

void fail(const std::string& what) {
    if (g_failures.fetch_add(1) < 20) {
        std::lock_guard<std::mutex> g(g_print);
        std::fprintf(stderr, "FAIL: %s\n", what.c_str());
    }
}

#define CHECK(cond, ...)                                                                                 \
    do {                                                                                                 \
        if (!(cond)) fail(std::string(#cond) + " (line " + std::to_string(__LINE__) + ") " + __VA_ARGS__); \
    } while (0)

// --------------------------------------------------------- a strict JSON reader

struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    std::string text;  // a string's value, or a number's token
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    const Json* get(std::string_view key) const {
        for (const auto& [k, v] : members)
            if (k == key) return &v;
        return nullptr;
    }
};

// RFC 8259 grammar, UTF-8 checked, duplicate keys refused.
class JsonReader {
public:
    explicit JsonReader(std::string_view s) : s_(s) {}

    bool read(Json& out) {
        ws();
        if (!value(out, 0)) return false;
        ws();
        return pos_ == s_.size() || bad("trailing bytes");
    }
    std::string error() const { return error_ + " at byte " + std::to_string(pos_); }

private:
    bool bad(const char* why) {
        if (error_.empty()) error_ = why;
        return false;
    }
    void ws() {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
            ++pos_;
    }
    bool literal(std::string_view word) {
        if (s_.substr(pos_, word.size()) != word) return bad("bad literal");
        pos_ += word.size();
        return true;
    }
    bool value(Json& out, int depth) {
        if (depth > 64) return bad("too deep");
        if (pos_ >= s_.size()) return bad("unexpected end");
        switch (s_[pos_]) {
            case '{': return object(out, depth);
            case '[': return array(out, depth);
            case '"': out.kind = Json::String; return string(out.text);
            case 't': out.kind = Json::Bool; out.boolean = true; return literal("true");
            case 'f': out.kind = Json::Bool; out.boolean = false; return literal("false");
            case 'n': out.kind = Json::Null; return literal("null");
            default: out.kind = Json::Number; return number(out.text);
        }
    }
    bool object(Json& out, int depth) {
        out.kind = Json::Object;
        ++pos_;
        ws();
        if (pos_ < s_.size() && s_[pos_] == '}') return ++pos_, true;
        for (;;) {
            ws();
            if (pos_ >= s_.size() || s_[pos_] != '"') return bad("expected a key");
            std::string key;
            if (!string(key)) return false;
            if (out.get(key)) return bad("duplicate key");
            ws();
            if (pos_ >= s_.size() || s_[pos_] != ':') return bad("expected ':'");
            ++pos_;
            ws();
            out.members.emplace_back(std::move(key), Json());
            if (!value(out.members.back().second, depth + 1)) return false;
            ws();
            if (pos_ < s_.size() && s_[pos_] == ',') { ++pos_; continue; }
            if (pos_ < s_.size() && s_[pos_] == '}') return ++pos_, true;
            return bad("expected ',' or '}'");
        }
    }
    bool array(Json& out, int depth) {
        out.kind = Json::Array;
        ++pos_;
        ws();
        if (pos_ < s_.size() && s_[pos_] == ']') return ++pos_, true;
        for (;;) {
            ws();
            out.items.emplace_back();
            if (!value(out.items.back(), depth + 1)) return false;
            ws();
            if (pos_ < s_.size() && s_[pos_] == ',') { ++pos_; continue; }
            if (pos_ < s_.size() && s_[pos_] == ']') return ++pos_, true;
            return bad("expected ',' or ']'");
        }
    }
    static bool is_digit(char c) { return c >= '0' && c <= '9'; }
    bool number(std::string& token) {
        const size_t start = pos_;
        auto digits = [&] {
            const size_t from = pos_;
            while (pos_ < s_.size() && is_digit(s_[pos_])) ++pos_;
            return pos_ > from;
        };
        if (pos_ < s_.size() && s_[pos_] == '-') ++pos_;
        if (pos_ < s_.size() && s_[pos_] == '0') {
            ++pos_;
        } else if (!digits()) {
            return bad("bad number");
        }
        if (pos_ < s_.size() && s_[pos_] == '.') {
            ++pos_;
            if (!digits()) return bad("bad fraction");
        }
        if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
            if (!digits()) return bad("bad exponent");
        }
        token.assign(s_.substr(start, pos_ - start));
        return true;
    }
    bool hex4(uint32_t& v) {
        if (pos_ + 4 > s_.size()) return bad("short \\u escape");
        v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = s_[pos_++];
            v <<= 4;
            if (is_digit(c)) v |= uint32_t(c - '0');
            else if (c >= 'a' && c <= 'f') v |= uint32_t(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') v |= uint32_t(c - 'A' + 10);
            else return bad("bad hex digit");
        }
        return true;
    }
    static void put_utf8(uint32_t cp, std::string& out) {
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
    // One UTF-8 sequence starting at pos_, copied to out (overlongs,
    // surrogates and values above U+10FFFF refused).
    bool utf8(std::string& out) {
        const unsigned char b0 = static_cast<unsigned char>(s_[pos_]);
        int n;
        uint32_t cp, min;
        if (b0 >= 0xC2 && b0 <= 0xDF) { n = 1; cp = b0 & 0x1F; min = 0x80; }
        else if (b0 >= 0xE0 && b0 <= 0xEF) { n = 2; cp = b0 & 0x0F; min = 0x800; }
        else if (b0 >= 0xF0 && b0 <= 0xF4) { n = 3; cp = b0 & 0x07; min = 0x10000; }
        else return bad("invalid UTF-8 lead byte");
        if (pos_ + size_t(n) >= s_.size()) return bad("truncated UTF-8");
        for (int i = 1; i <= n; ++i) {
            const unsigned char b = static_cast<unsigned char>(s_[pos_ + size_t(i)]);
            if ((b & 0xC0) != 0x80) return bad("invalid UTF-8 continuation");
            cp = (cp << 6) | (b & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return bad("invalid UTF-8 value");
        out.append(s_.substr(pos_, size_t(n) + 1));
        pos_ += size_t(n) + 1;
        return true;
    }
    bool string(std::string& out) {
        ++pos_;  // the opening quote
        out.clear();
        for (;;) {
            if (pos_ >= s_.size()) return bad("unterminated string");
            const unsigned char c = static_cast<unsigned char>(s_[pos_]);
            if (c == '"') return ++pos_, true;
            if (c < 0x20) return bad("raw control character in string");
            if (c >= 0x80) {
                if (!utf8(out)) return false;
                continue;
            }
            ++pos_;
            if (c != '\\') {
                out += char(c);
                continue;
            }
            if (pos_ >= s_.size()) return bad("dangling backslash");
            const char e = s_[pos_++];
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
                    uint32_t cp;
                    if (!hex4(cp)) return false;
                    if (cp >= 0xDC00 && cp <= 0xDFFF) return bad("lone low surrogate");
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        uint32_t lo;
                        if (s_.substr(pos_, 2) != "\\u") return bad("lone high surrogate");
                        pos_ += 2;
                        if (!hex4(lo)) return false;
                        if (lo < 0xDC00 || lo > 0xDFFF) return bad("bad low surrogate");
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                    }
                    put_utf8(cp, out);
                    break;
                }
                default: return bad("bad escape");
            }
        }
    }

    std::string_view s_;
    size_t pos_ = 0;
    std::string error_;
};

bool unsigned_token(const Json* j, uint64_t limit, uint64_t& out) {
    if (!j || j->kind != Json::Number || j->text.empty() || j->text.size() > 10) return false;
    out = 0;
    for (char c : j->text) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + uint64_t(c - '0');
    }
    return out <= limit;
}

// Checks the shape of one written book document and counts its sheets and
// cells; false with a reason when it breaks a rule.
bool check_document(const std::string& text, size_t& sheets_out, size_t& cells_out, std::string& error) {
    Json doc;
    JsonReader reader(text);
    if (!reader.read(doc)) return error = "not JSON: " + reader.error(), false;
    const Json* sheets = doc.get("sheets");
    if (doc.kind != Json::Object || doc.members.size() != 1 || !sheets || sheets->kind != Json::Array)
        return error = "root is not {\"sheets\": [...]}", false;
    sheets_out = sheets->items.size();
    cells_out = 0;
    for (const Json& s : sheets->items) {
        const Json* name = s.get("name");
        const Json* cells = s.get("cells");
        if (s.kind != Json::Object || !name || name->kind != Json::String || !s.get("sheet_state") ||
            !cells || cells->kind != Json::Array || !s.get("row_dimensions") || !s.get("column_dimensions") ||
            !s.get("comments"))
            return error = "sheet object lacks a member", false;
        std::set<uint64_t> seen;
        uint64_t prev = 0;
        bool first = true;
        for (const Json& c : cells->items) {
            uint64_t row, col;
            if (c.kind != Json::Object || !unsigned_token(c.get("row"), UINT32_MAX, row) ||
                !unsigned_token(c.get("column"), UINT16_MAX, col) || !c.get("value") || !c.get("data_type") ||
                c.get("data_type")->kind != Json::String)
                return error = "bad cell object in sheet '" + name->text + "'", false;
            const uint64_t key = pack_key(uint32_t(row), uint16_t(col));
            if (!seen.insert(key).second)
                return error = "sheet '" + name->text + "' lists (" + std::to_string(row) + ", " +
                               std::to_string(col) + ") twice", false;
            if (!first && key <= prev)
                return error = "sheet '" + name->text + "' cells out of (row, column) order at (" +
                               std::to_string(row) + ", " + std::to_string(col) + ")", false;
            prev = key;
            first = false;
        }
        cells_out += cells->items.size();
    }
    return true;
}

// The reader and the checks must be able to fail: documents that each break
// one rule, run before every stress run.
bool checker_refuses_bad_documents() {
    auto doc = [](const std::string& cells) {
        return R"({"sheets":[{"name":"S","sheet_state":"visible","cells":[)" + cells +
               R"(],"row_dimensions":{"default_height":20.0},"column_dimensions":{"default_width":22.5},"comments":[]}]})";
    };
    const std::string cell = R"({"row":1,"column":2,"value":null,"data_type":"General"})";
    const struct {
        std::string text;
        bool good;
    } cases[] = {
        {doc(""), true},
        {doc(cell + "," + R"({"row":1,"column":3,"value":"\u00e9\ud83d\ude00\n","data_type":"s"})"), true},
        {doc(cell + "," + cell), false},                                                    // a coordinate twice
        {doc(R"({"row":2,"column":1,"value":1,"data_type":"n"},)" + cell), false},          // out of order
        {doc(R"({"row":1,"column":2,"value":01,"data_type":"n"})"), false},                 // leading zero
        {doc(R"({"row":1,"column":2,"value":NaN,"data_type":"n"})"), false},                // not JSON
        {doc(R"({"row":1,"column":2,"value":"a)" "\x01" R"(","data_type":"s"})"), false},   // raw control
        {doc(R"({"row":1,"column":2,"value":"\ud800","data_type":"s"})"), false},           // lone surrogate
        {doc(R"({"row":1,"column":2,"value":")" "\xc3\x28" R"(","data_type":"s"})"), false},  // bad UTF-8
        {doc(R"({"row":1,"column":2,"row":1,"value":1,"data_type":"n"})"), false},          // duplicate key
        {doc(R"({"row":-1,"column":2,"value":1,"data_type":"n"})"), false},                 // negative row
        {doc(R"({"row":1,"column":65536,"value":1,"data_type":"n"})"), false},              // column too wide
        {doc(cell) + " x", false},                                                          // trailing bytes
        {doc(cell).substr(0, 40), false},                                                   // truncated
    };
    bool ok = true;
    for (const auto& c : cases) {
        size_t sheets = 0, cells = 0;
        std::string error;
        if (check_document(c.text, sheets, cells, error) != c.good) {
            fail("the document checker " + std::string(c.good ? "refused" : "accepted") + ": " + c.text);
            ok = false;
        }
    }
    return ok;
}

// ------------------------------------------------------------------ scenario

struct Scenario {
    const char* name;
    uint32_t max_row;     // cells are written inside rows 1..max_row
    uint16_t max_col;     // and columns 1..max_col
    uint32_t fill_rows;   // rows filled up front on each starting sheet
    int start_sheets;
    int max_sheets;       // adding and copying stop here
    // Rounds of each role: per cell writer, sheet structure, deletions,
    // documents written, per searcher.
    int writer_rounds, structure_rounds, delete_rounds, documents, search_rounds;
    int deadline_s;       // the watchdog's limit for the whole run
};

// max_row * max_col stays below the serial grain: no sequence reaches the pool.
constexpr Scenario kSerial{"serial", 150, 25, 60, 3, 8, 3000, 750, 250, 20, 75, 300};
// Starting sheets of 6,000 cells, well past the serial grain.
constexpr Scenario kPool{"pool", 600, 20, 300, 2, 6, 700, 175, 60, 15, 24, 480};
static_assert(uint64_t(kSerial.max_row) * kSerial.max_col < pool::kSerialGrain);
static_assert(uint64_t(kPool.fill_rows) * kPool.max_col > pool::kSerialGrain);

using Rng = std::mt19937_64;

uint32_t pick(Rng& rng, uint32_t lo, uint32_t hi) { return lo + uint32_t(rng() % (uint64_t(hi) - lo + 1)); }

// Texts of every value kind, with the marker words the searches look for,
// characters the JSON writer must escape and texts long enough for the heap.
std::string random_text(Rng& rng) {
    static const char* const kFixed[] = {
        "", "TRUE", "false", "nan", "-inf", "1e400", "-0.0", "1e-320", "0.1", "007", "+5",
        "2024-01-05 07:08:09", "2024-02-29 23:59:60", "Start", "End", "Start of block", "the End",
        "  key  ", "key", "\tkey\n", "caf\xc3\xa9", "\xe6\x97\xa5\xe6\x9c\xac", "\xf0\x9f\x98\x80 smile",
        "quote \" and \\ backslash", "ctl \x01\x1f\x7f", "a/b", "Total (1)",
    };
    switch (rng() % 5) {
        case 0: return kFixed[rng() % std::size(kFixed)];
        case 1: return std::to_string(int64_t(rng() % 200000) - 100000);
        case 2: return std::to_string(double(rng() % 1000000) / 1000.0);
        case 3: return "word " + std::to_string(rng() % 500);
        default: return "a longer text that lives on the heap, number " + std::to_string(rng() % 1000);
    }
}

const char* const kNeedles[] = {"Start", "End", "key", "word 1", "heap", "1", ".", "\"", "caf\xc3\xa9", "zzz"};

// ------------------------------------------------------------------- the run

struct Counters {
    std::atomic<uint64_t> cell_writes{0}, cell_edits{0}, sheet_adds{0}, sheet_copies{0}, sheet_edits{0},
        deletions{0}, documents{0}, document_bytes{0}, document_cells{0}, searches{0}, snapshots{0},
        finder_selections{0};
    // Live searches over a sequence long enough for the pool (not in total()).
    std::atomic<uint64_t> pool_sized_searches{0};
    uint64_t total() const {
        return cell_writes + cell_edits + sheet_adds + sheet_copies + sheet_edits + deletions + documents +
               searches + snapshots + finder_selections;
    }
};

class Run {
public:
    Run(const Scenario& s, uint64_t seed) : sc_(s), seed_(seed) {}

    int main() {
        setup();
        // The sanitizer starts a helper thread along with the program's first
        // thread: start that one now so that it does not count as a pool worker.
        std::thread([] {}).join();
        const int threads_before = count_threads();
        std::vector<std::pair<const char*, std::function<void(Rng&)>>> roles = {
            {"writer-1", [&](Rng& r) { cell_writer(r); }},
            {"writer-2", [&](Rng& r) { cell_writer(r); }},
            {"structure", [&](Rng& r) { structure(r); }},
            {"deleter", [&](Rng& r) { deleter(r); }},
            {"serialiser", [&](Rng& r) { serialiser(r); }},
            {"searcher-1", [&](Rng& r) { searcher(r); }},
            {"searcher-2", [&](Rng& r) { searcher(r); }},
        };
        progress_ = std::vector<std::atomic<uint64_t>>(roles.size());
        finished_ = std::vector<double>(roles.size());
        names_.clear();
        for (auto& r : roles) names_.push_back(r.first);
        const auto t0 = std::chrono::steady_clock::now();
        std::thread watchdog([&] { watch(t0); });
        std::vector<std::thread> threads;
        for (size_t i = 0; i < roles.size(); ++i) {
            threads.emplace_back([&, i] {
                Rng rng(seed_ * 1000003 + i);
                current_ = i;
                roles[i].second(rng);
                finished_[i] = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            });
        }
        for (auto& t : threads) t.join();
        const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        {
            std::lock_guard<std::mutex> g(done_mutex_);
            done_ = true;
        }
        done_cv_.notify_all();
        watchdog.join();

        // A last document after the storm, checked like the others.
        check_one_document(book_);
        const int pool_threads = count_threads() - threads_before;
        if (std::string_view(sc_.name) == "serial")
            CHECK(pool_threads == 0, "the serial scenario reached the worker pool");
        else
            CHECK(pool_threads > 0 && n_.pool_sized_searches > 0, "the pool scenario never used the pool");

        std::printf(
            "stress %s (seed %llu): %zu threads, %.2f s, %llu operations: %llu cell writes, %llu cell edits, "
            "%llu sheets added, %llu copied, %llu sheet edits, %llu deletions, %llu searches, %llu snapshots, "
            "%llu finder selections (%llu searches of pool size); %llu documents parsed (%.1f MB, %llu cells); "
            "%zu sheets at the end; %d pool workers\n",
            sc_.name, (unsigned long long)seed_, roles.size(), secs, (unsigned long long)n_.total(),
            (unsigned long long)n_.cell_writes, (unsigned long long)n_.cell_edits,
            (unsigned long long)n_.sheet_adds, (unsigned long long)n_.sheet_copies,
            (unsigned long long)n_.sheet_edits, (unsigned long long)n_.deletions,
            (unsigned long long)n_.searches, (unsigned long long)n_.snapshots,
            (unsigned long long)n_.finder_selections, (unsigned long long)n_.pool_sized_searches,
            (unsigned long long)n_.documents, double(n_.document_bytes) / 1e6,
            (unsigned long long)n_.document_cells, sheet_count(book_), pool_threads);
        std::printf("  finished after (s):");
        for (size_t i = 0; i < roles.size(); ++i) std::printf(" %s %.1f", names_[i], finished_[i]);
        std::printf("\n");
        const int failures = g_failures.load();
        if (failures) std::printf("stress %s: %d failures\n", sc_.name, failures);
        return failures ? 1 : 0;
    }

private:
    static int count_threads() {
        int n = 0;
        if (DIR* d = opendir("/proc/self/task")) {
            while (dirent* e = readdir(d))
                if (e->d_name[0] != '.') ++n;
            closedir(d);
        }
        return n;
    }

    void setup() {
        for (int i = 0; i < sc_.start_sheets; ++i) {
            Ref<Sheet> s = add_sheet(book_, "Data " + std::to_string(i + 1), "visible");
            Rng rng(seed_ + 17 * uint64_t(i));
            for (uint32_t r = 1; r <= sc_.fill_rows; ++r)
                for (uint16_t c = 1; c <= sc_.max_col; ++c) {
                    const std::string t = random_text(rng);
                    const std::string_view v(t);
                    sheet_cell(*s, r, c, &v);
                }
        }
        // A sheet of another book, copied into this one (records shared across books).
        Ref<Sheet> o = add_sheet(other_, "Elsewhere", "hidden");
        for (uint32_t r = 1; r <= 20; ++r) {
            const std::string t = "other " + std::to_string(r);
            const std::string_view v(t);
            sheet_cell(*o, r, 1, &v);
        }
    }

    Ref<Sheet> any_sheet(Rng& rng) {
        std::vector<Ref<Sheet>> all = book_sheets(book_);
        return all[rng() % all.size()];
    }

    void tick() { ++progress_[current_]; }

    // Sheet.cell and the Cell setters: new cells, new values, formulas, styles.
    void cell_writer(Rng& rng) {
        std::vector<Ref<Cell>> held;
        for (int i = 0; i < sc_.writer_rounds; ++i, tick()) {
            Ref<Sheet> s = any_sheet(rng);
            const uint32_t row = pick(rng, 1, sc_.max_row);
            const uint16_t col = uint16_t(pick(rng, 1, sc_.max_col));
            const unsigned op = unsigned(rng() % 10);
            if (op < 6 || held.empty()) {
                const std::string t = random_text(rng);
                const std::string_view v(t);
                Ref<Cell> c = sheet_cell(*s, row, col, op == 5 ? nullptr : &v);
                if (held.size() < 32) held.push_back(std::move(c));
                else held[rng() % held.size()] = std::move(c);
                ++n_.cell_writes;
                continue;
            }
            // Through a held record, as the Cell setters do: only the cell's lock.
            Cell& c = *held[rng() % held.size()];
            const std::string t = random_text(rng);
            switch (op) {
                case 6: {
                    CellValue v = parse_cell_text(t);
                    ExclusiveGuard g(c.lock);
                    c.assign_value(std::move(v));
                    break;
                }
                case 7: {
                    ExclusiveGuard g(c.lock);
                    c.set_formula("=SUM(A1:A" + std::to_string(row) + ")");
                    break;
                }
                case 8: {
                    ExclusiveGuard g(c.lock);
                    if (rng() % 2) c.ensure_extra().style = t;
                    else c.ensure_extra().hidden_value = t;
                    break;
                }
                default: {
                    const Coordinate at = cell_coordinate(c);
                    CHECK(at.column <= sc_.max_col && at.row <= sc_.max_row, "held cell outside the written area");
                    (void)vs::cell_text(c);
                }
            }
            ++n_.cell_edits;
        }
    }

    // Book.add_sheet, copy_sheet (within and across books) and the sheet's
    // own state: merged ranges, comments, dimensions, name and state.
    void structure(Rng& rng) {
        for (int i = 0; i < sc_.structure_rounds; ++i, tick()) {
            const size_t count = sheet_count(book_);
            const unsigned op = unsigned(rng() % 10);
            if (op == 0 && count < size_t(sc_.max_sheets)) {
                add_sheet(book_, "Added " + std::to_string(i), rng() % 2 ? "visible" : "hidden");
                ++n_.sheet_adds;
                continue;
            }
            if (op == 1 && count < size_t(sc_.max_sheets)) {
                if (rng() % 4 == 0) copy_sheet(book_, sheet_at(other_, 0));
                else copy_sheet(book_, any_sheet(rng));
                ++n_.sheet_copies;
                continue;
            }
            Ref<Sheet> s = any_sheet(rng);
            const uint32_t row = pick(rng, 1, sc_.max_row);
            const uint16_t col = uint16_t(pick(rng, 1, sc_.max_col));
            switch (op) {
                case 2: add_merge_cells(*s, MergeCell{row, row + 1, col, uint16_t(col + 1)}); break;
                case 3: add_comment(*s, row, col, random_text(rng), "author " + std::to_string(i)); break;
                case 4:
                    set_height_row(*s, row, double(rng() % 100) / 4.0);
                    set_hidden_row(*s, row, rng() % 2);
                    set_width_column(*s, col, rng() % 8 == 0 ? std::nan("") : double(rng() % 100) / 8.0);
                    set_hidden_column(*s, col, rng() % 2);
                    break;
                case 5:
                    set_sheet_state(*s, rng() % 2 ? "visible" : "veryHidden");
                    if (const std::string n = sheet_name(*s); n.size() < 40) set_sheet_name(*s, n + "'");
                    break;
                default: {
                    (void)get_height_by_row(*s, row);
                    (void)get_hidden_by_row(*s, row);
                    (void)get_width_by_column(*s, col);
                    (void)get_hidden_by_column(*s, col);
                    CHECK(sheet_max_row(*s) <= sc_.max_row, "max_row past the written rows");
                    CHECK(sheet_max_column(*s) <= sc_.max_col, "max_column past the written columns");
                    const std::vector<Ref<Cell>> cells = sheet_cells(*s);
                    CHECK(cells.size() <= size_t(sc_.max_row) * sc_.max_col, "more cells than coordinates");
                    (void)sheet_merge_cells(*s);
                    for (const Ref<Comment>& c : sheet_comments(*s)) {
                        SharedGuard g(c->lock);
                        (void)c->text.size();
                    }
                    CHECK(sheet_named(book_, sheet_name(*s)), "sheet_named lost a sheet");
                }
            }
            ++n_.sheet_edits;
        }
    }

    // Sheet.delete_rows / delete_cols: short bands inside the written area,
    // now and then one that runs past the last row, or an empty one.
    void deleter(Rng& rng) {
        for (int i = 0; i < sc_.delete_rounds; ++i, tick()) {
            Ref<Sheet> s = any_sheet(rng);
            switch (rng() % 6) {
                case 0: delete_cols(*s, uint16_t(pick(rng, 1, sc_.max_col)), uint16_t(pick(rng, 1, 2))); break;
                case 1: delete_rows(*s, sc_.max_row - pick(rng, 0, 5), UINT32_MAX); break;
                case 2: delete_cols(*s, uint16_t(pick(rng, 0, sc_.max_col)), 0); break;
                default: delete_rows(*s, pick(rng, 1, sc_.max_row), pick(rng, 1, 3)); break;
            }
            ++n_.deletions;
        }
    }

    void check_one_document(const Book& book) {
        const std::string text = write_book_json(book);
        size_t sheets = 0, cells = 0;
        std::string error;
        CHECK(check_document(text, sheets, cells, error), error);
        ++n_.documents;
        n_.document_bytes += text.size();
        n_.document_cells += cells;
        if (&book == &book_) {
            // Nothing is ever removed from a book.
            CHECK(sheets >= last_sheet_count_, "a document lost sheets");
            last_sheet_count_ = std::max(last_sheet_count_, sheets);
        }
    }

    // Book.to_json of both books; each document is parsed and checked.
    void serialiser(Rng& rng) {
        for (int i = 0; i < sc_.documents; ++i, tick()) check_one_document(rng() % 8 == 0 ? other_ : book_);
    }

    // One sheet's searches under its shared lock, as the Sheet search
    // methods run them, then the same searches on a snapshot of it.
    void searcher(Rng& rng) {
        for (int i = 0; i < sc_.search_rounds; ++i, tick()) {
            Ref<Sheet> s = any_sheet(rng);
            const std::string needle = kNeedles[rng() % std::size(kNeedles)];
            const std::string trimmed_target = rng() % 2 ? "key" : " word 7 ";
            const uint32_t row = pick(rng, 1, sc_.max_row);
            const uint16_t col = uint16_t(pick(rng, 1, sc_.max_col));
            Ref<Sheet> snap;
            {
                SharedGuard g(s->lock);
                live_searches(*s, needle, trimmed_target, row, col);
                if (i % 3 == 0) {
                    snap = snapshot_of_sheet(*s);
                    ++n_.snapshots;
                }
            }
            if (snap) {
                snapshot_searches(*snap, needle, trimmed_target, row, col);
                FinderRecord finder({snap, s});
                const Ref<Sheet> by_name = finder_sheet_by_name(finder, sheet_name(*snap));
                CHECK(by_name == snap, "finder did not return the first sheet of that name");
                auto by_regex = finder_sheet_by_regex(finder, "^(Data|Added|Sheet|Elsewhere)");
                CHECK(std::holds_alternative<Ref<Sheet>>(by_regex), "finder pattern failed to compile");
                ++n_.finder_selections;
            }
        }
    }

    // Positions of the results in seq must rise strictly (a subsequence, in
    // sequence order).
    static bool in_sequence_order(const std::unordered_map<const Cell*, size_t>& pos,
                                  const std::vector<Cell*>& found) {
        size_t last = 0;
        bool first = true;
        for (const Cell* c : found) {
            auto it = pos.find(c);
            if (it == pos.end() || (!first && it->second <= last)) return false;
            last = it->second;
            first = false;
        }
        return true;
    }

    void live_searches(const Sheet& s, const std::string& needle, const std::string& trimmed_target,
                       uint32_t row, uint16_t col) {
        const std::vector<Cell*>& seq = s.ordered_cells();
        const vs::CellSeq view(seq);
        CHECK(seq.size() == s.cells.size(), "ordered cells and table differ in size");
        if (seq.size() >= pool::kSerialGrain) ++n_.pool_sized_searches;
        // Coordinates cannot change while the sheet's shared lock is held, so
        // every coordinate search has an exact answer here.
        std::unordered_map<const Cell*, size_t> pos;
        uint64_t prev = 0;
        size_t in_row_band = 0, in_col_band = 0, in_rect = 0, in_col = 0, in_row = 0;
        const uint32_t r0 = row, r1 = row + 10;
        const uint16_t c0 = col, c1 = uint16_t(col + 3);
        const std::vector<uint32_t> rows{row, row + 1, row + 1, row + 5};
        const std::vector<uint16_t> cols{col, uint16_t(col + 2), col};
        for (size_t i = 0; i < seq.size(); ++i) {
            const Coordinate at = cell_coordinate(*seq[i]);
            const uint64_t key = pack_key(at.row, at.column);
            CHECK(i == 0 || key > prev, "ordered cells out of order");
            prev = key;
            pos.emplace(seq[i], i);
            in_row_band += at.row >= r0 && at.row <= r1;
            in_col_band += at.column >= c0 && at.column <= c1;
            in_rect += at.row >= r0 && at.row <= r1 && at.column >= c0 && at.column <= c1;
            in_col += at.column == col && (at.row == row || at.row == row + 1 || at.row == row + 5);
            in_row += at.row == row && (at.column == col || at.column == col + 2);
        }
        CHECK(vs::lookup_cell(s, row, col) == vs::first_at(view, row, col), "key lookup and scan disagree");
        CHECK(vs::value_at(s, row, col).has_value() == (vs::lookup_cell(s, row, col) != nullptr), "value_at");
        CHECK(vs::rows_between(view, r0, r1).size() == in_row_band, "rows_between count");
        CHECK(vs::columns_between(view, c0, c1).size() == in_col_band, "columns_between count");
        CHECK(vs::cells_in_range(s, vs::CellRange{r0, r1, c0, c1}).size() == in_rect, "cells_in_range count");
        CHECK(vs::values_in_column(view, col, rows).size() == in_col, "values_in_column count");
        CHECK(vs::values_in_row(view, row, cols).size() == in_row, "values_in_row count");
        CHECK(vs::rows_between(view, r1 + 1, r0).empty(), "inverted row bounds gave cells");
        // Texts may change under a cell's own lock meanwhile: only the order is fixed.
        CHECK(in_sequence_order(pos, vs::all_containing(view, needle)), "all_containing out of sequence order");
        CHECK(in_sequence_order(pos, vs::all_trimmed_equal(view, trimmed_target)), "all_trimmed_equal order");
        CHECK(in_sequence_order(pos, vs::containing_up_to_column(view, needle, col)), "up_to_column order");
        CHECK(in_sequence_order(pos, vs::containing_up_to_row(view, needle, row)), "up_to_row order");
        CHECK(in_sequence_order(pos, vs::region_boundaries(view, "Start", "End")), "region_boundaries order");
        CHECK(in_sequence_order(pos, vs::first_region(view, "Start", "End")), "first_region order");
        (void)vs::first_containing(view, needle);
        (void)vs::first_trimmed_equal(view, trimmed_target);
        (void)vs::value_of_first_at(view, row, col);
        n_.searches += 17;
    }

    // A snapshot changes no more: every search has an exact answer, computed
    // here cell by cell on this thread.
    void snapshot_searches(const Sheet& snap, const std::string& needle, const std::string& trimmed_target,
                           uint32_t row, uint16_t col) {
        SharedGuard g(snap.lock);
        const std::vector<Cell*>& seq = snap.ordered_cells();
        const vs::CellSeq view(seq);
        std::vector<Cell*> containing, trimmed, up_to_col, boundaries;
        bool open = false;
        for (Cell* c : seq) {
            const std::string t = vs::cell_text(*c);
            const bool has = t.find(needle) != std::string::npos;
            if (has) containing.push_back(c);
            if (vs::trimmed_equals(t, trimmed_target)) trimmed.push_back(c);
            if (has && cell_coordinate(*c).column <= col) up_to_col.push_back(c);
            if (t.find(open ? "End" : "Start") != std::string::npos) {
                boundaries.push_back(c);
                open = !open;
            }
        }
        CHECK(vs::all_containing(view, needle) == containing, "snapshot all_containing");
        CHECK(vs::first_containing(view, needle) == (containing.empty() ? nullptr : containing.front()),
              "snapshot first_containing");
        CHECK(vs::all_trimmed_equal(view, trimmed_target) == trimmed, "snapshot all_trimmed_equal");
        CHECK(vs::first_trimmed_equal(view, trimmed_target) == (trimmed.empty() ? nullptr : trimmed.front()),
              "snapshot first_trimmed_equal");
        CHECK(vs::containing_up_to_column(view, needle, col) == up_to_col, "snapshot up_to_column");
        CHECK(vs::region_boundaries(view, "Start", "End") == boundaries, "snapshot region_boundaries");
        CHECK(vs::first_at(view, row, col) == vs::lookup_cell(snap, row, col), "snapshot first_at");
        n_.searches += 7;
    }

    void watch(std::chrono::steady_clock::time_point t0) {
        std::unique_lock<std::mutex> lk(done_mutex_);
        if (done_cv_.wait_until(lk, t0 + std::chrono::seconds(sc_.deadline_s), [&] { return done_; })) return;
        std::lock_guard<std::mutex> g(g_print);
        std::fprintf(stderr, "FAIL: stress %s still running after %d s (deadlock or starved writer); progress:\n",
                     sc_.name, sc_.deadline_s);
        for (size_t i = 0; i < names_.size(); ++i)
            std::fprintf(stderr, "  %-11s %llu rounds\n", names_[i], (unsigned long long)progress_[i].load());
        std::fflush(stderr);
        std::_Exit(3);
    }

    const Scenario& sc_;
    const uint64_t seed_;
    Book book_, other_;
    Counters n_;
    size_t last_sheet_count_ = 0;  // serialiser thread only (and main after the join)
    std::vector<std::atomic<uint64_t>> progress_;
    std::vector<const char*> names_;
    std::vector<double> finished_;
    static thread_local size_t current_;
    std::mutex done_mutex_;
    std::condition_variable done_cv_;
    bool done_ = false;
};

thread_local size_t Run::current_ = 0;

}  // namespace

int main(int argc, char** argv) {
    const std::string_view mode = argc > 1 ? argv[1] : "serial";
    const uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 20240611;
    const Scenario* sc = mode == "serial" ? &kSerial : mode == "pool" ? &kPool : nullptr;
    if (!sc) {
        std::fprintf(stderr, "usage: %s serial|pool [seed]\n", argv[0]);
        return 2;
    }
    if (!checker_refuses_bad_documents()) return 1;
    Run run(*sc, seed);
    return run.main();
}
