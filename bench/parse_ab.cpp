// parse_ab A.so B.so RANDOM_FILE LAYOUTS SIZES_KIB REPETITIONS
//
// Two builds of a parser (scripts/parse-ab.sh), timed in one process: on
// the named layouts of the tests' texts ('|'-separated, or "all"), at each
// size of random bytes, in batches of about 20 MB of text, A and B in turn,
// the order reversed every repetition. Checks that both give the same
// result, then prints each build's best in GB/s of text, and A's time over
// B's, best and median: above 1, B is faster.
#include "convert/hex_convert.h"
#include "hex_random_text.h"

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using ParseFn = HexTextResult (*)(const char*, uint8_t*);

double Seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

ParseFn LoadParse(const char* szPath)
{
    void* h = dlopen(szPath, RTLD_NOW | RTLD_LOCAL);
    if (h == nullptr) {
        std::fprintf(stderr, "parse_ab: %s\n", dlerror());
        std::exit(2);
    }
    return reinterpret_cast<ParseFn>(dlsym(h, "AbParse"));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 7) {
        std::fprintf(stderr, "usage: parse_ab A.so B.so RANDOM_FILE LAYOUTS SIZES_KIB REPETITIONS\n");
        return 2;
    }
    const ParseFn pfn[2] = {LoadParse(argv[1]), LoadParse(argv[2])};
    const std::string layouts = std::string("|") + argv[4] + "|";
    std::vector<size_t> sizes;
    for (char* t = std::strtok(argv[5], ","); t != nullptr; t = std::strtok(nullptr, ",")) sizes.push_back(std::stoul(t) * 1024);
    const int cReps = std::max(1, std::atoi(argv[6]));
    std::vector<uint8_t> random(sizes.empty() ? 0 : *std::max_element(sizes.begin(), sizes.end()));
    FILE* f = std::fopen(argv[3], "rb");
    if (f == nullptr || std::fread(random.data(), 1, random.size(), f) != random.size()) {
        std::fprintf(stderr, "parse_ab: %s holds too few bytes\n", argv[3]);
        return 2;
    }
    std::fclose(f);
    int status = 0;
    for (const HexLayout& layout : HexLayouts) {
        if (layouts != "|all|" && layouts.find(std::string("|") + layout.szName + "|") == std::string::npos) continue;
        for (const size_t cb : sizes) {
            std::mt19937 rng(22);  // the bench's seed
            const std::string text = LayoutText(layout, std::span<const uint8_t>(random.data(), cb), rng);
            std::vector<uint8_t> out[2] = {std::vector<uint8_t>(text.size() / 2 + 1), std::vector<uint8_t>(text.size() / 2 + 1)};
            const HexTextResult r0 = pfn[0](text.c_str(), out[0].data()), r1 = pfn[1](text.c_str(), out[1].data());
            if (r0.count != r1.count || r0.status != r1.status || std::memcmp(out[0].data(), out[1].data(), r0.count) != 0) {
                std::printf("%s, %zu KiB: the two builds differ\n", layout.szName, cb / 1024);
                status = 1;
                continue;
            }
            const int cBatch = std::max(1, static_cast<int>(20e6 / static_cast<double>(text.size() + 1)));
            std::vector<double> times[2];
            for (int rep = 0; rep < cReps; ++rep) {
                for (int turn = 0; turn < 2; ++turn) {
                    const int k = rep % 2 == 0 ? turn : 1 - turn;
                    const double t0 = Seconds();
                    for (int i = 0; i < cBatch; ++i) pfn[k](text.c_str(), out[k].data());
                    times[k].push_back((Seconds() - t0) / cBatch);
                }
            }
            for (auto& t : times) std::sort(t.begin(), t.end());
            std::printf("%-32s %6zu KiB  A %6.2f  B %6.2f GB/s  A/B best %.3f  median %.3f\n", layout.szName, cb / 1024,
                        static_cast<double>(text.size()) / times[0][0] / 1e9, static_cast<double>(text.size()) / times[1][0] / 1e9,
                        times[0][0] / times[1][0], times[0][cReps / 2] / times[1][cReps / 2]);
            std::fflush(stdout);
        }
    }
    return status;
}
