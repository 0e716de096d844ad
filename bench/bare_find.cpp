// The bare limit of a substring search: the texts in a std::vector<std::string>,
// one std::string_view::find per text, single-threaded, nothing else.
//   bare_find <texts file, NUL-separated> <needle> [repeats]
// prints one JSON line: {"texts":N,"matches":M,"best_s":T,"best_cpu_s":C,"runs":R}
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <time.h>

static double thread_cpu_seconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s TEXTS NEEDLE [REPEATS]\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 2;
    }
    const std::string blob((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> texts;
    for (std::size_t start = 0; start < blob.size();) {
        std::size_t end = blob.find('\0', start);
        if (end == std::string::npos) end = blob.size();
        texts.emplace_back(blob, start, end - start);
        start = end + 1;
    }
    const std::string_view needle(argv[2]);
    const int repeats = argc > 3 ? std::atoi(argv[3]) : 10;

    // The result is the positions of the matching texts, as a search returns its hits.
    std::vector<std::uint32_t> hits;
    hits.reserve(texts.size());
    double best = 1e300, best_cpu = 1e300;
    for (int run = 0; run < repeats; ++run) {
        hits.clear();
        const double c0 = thread_cpu_seconds();
        const auto t0 = std::chrono::steady_clock::now();
        for (std::uint32_t i = 0; i < texts.size(); ++i)
            if (std::string_view(texts[i]).find(needle) != std::string_view::npos) hits.push_back(i);
        const auto t1 = std::chrono::steady_clock::now();
        const double s = std::chrono::duration<double>(t1 - t0).count();
        const double c = thread_cpu_seconds() - c0;
        if (s < best) best = s;
        if (c < best_cpu) best_cpu = c;
    }
    std::printf("{\"texts\":%zu,\"matches\":%zu,\"best_s\":%.9f,\"best_cpu_s\":%.9f,\"runs\":%d}\n",
                texts.size(), hits.size(), best, best_cpu, repeats);
    return 0;
}
