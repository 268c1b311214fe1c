#include "bench_data.h"

#include "convert/hex_convert.h"
#include "convert/scalar/hex_scalar.h"
#include "hex_random_text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <random>
#include <span>
#include <utility>

namespace {

// Each workload's name and the layout of its text (none: the formatter's
// own text, or no text).
struct WorkloadInfo {
    const char* szName;
    const char* szLayout;
};

constexpr WorkloadInfo Workloads[WORK_COUNT] = {
    {"format", nullptr},
    {"parse_layout", nullptr},
    {"parse_xxd", "xxd -p"},
    {"parse_od", "od -An -v -tx1"},
    {"parse_python", "bytes.hex(' ')"},
    {"parse_commented", "commented, with TABs and UTF-8"},
    {"parse_loose", "loose"},
    {"parse_loose_commented", "loose, commented"},
    {"parse_groups2", "groups of 2"},
    {"parse_groups4", "groups of 4"},
    {"parse_early", nullptr},
};

std::vector<uint8_t> g_random;

// Every input is kept once built (some 5 GB in all), so the cases can run
// in any order.
std::map<std::pair<Workload, size_t>, WorkInput> g_inputs;

std::vector<uint8_t> FormatterText(size_t cbData)
{
    std::vector<uint8_t> text(4 * cbData + 1);
    const uint32_t len = BytesToHexText(g_random.data(), static_cast<uint32_t>(cbData), reinterpret_cast<char*>(text.data()));
    text.resize(len + 1);
    text[len] = 0;
    return text;
}

// The text of the bytes in the named layout of the tests' texts, its
// choices drawn from a seed of its own, so that every build and every run
// parses the same text.
std::vector<uint8_t> LayoutTextOf(const char* szLayout, size_t cbData)
{
    const HexLayout* pLayout = std::find_if(std::begin(HexLayouts), std::end(HexLayouts),
                                            [&](const HexLayout& l) { return std::strcmp(l.szName, szLayout) == 0; });
    if (pLayout == std::end(HexLayouts)) std::abort();
    std::mt19937 rng(22);
    const std::string text = LayoutText(*pLayout, std::span<const uint8_t>(g_random.data(), cbData), rng);
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

WorkInput MakeWorkInput(Workload work, size_t cbData)
{
    WorkInput in{};
    if (work == WORK_FORMAT) {
        in.buffer.assign(g_random.begin(), g_random.begin() + static_cast<ptrdiff_t>(cbData));
        in.cbIn = cbData;
        in.cbCapacity = 4 * cbData;
        std::vector<char> text(4 * cbData);
        in.cbOut = BytesToHexTextScalar(g_random.data(), static_cast<uint32_t>(cbData), text.data());
        return in;
    }

    in.buffer = Workloads[work].szLayout == nullptr ? FormatterText(cbData) : LayoutTextOf(Workloads[work].szLayout, cbData);
    const size_t cch = in.buffer.size() - 1;
    in.cbCapacity = (cch + 1) / 2;
    in.cbIn = cch;
    if (work == WORK_PARSE_EARLY) {
        // A TAB at the start of the line in the middle: the parse stops there.
        const size_t at = cch / 2 / 51 * 51;
        in.buffer[at] = '\t';
        in.cbIn = at;
    }
    std::vector<uint8_t> out(in.cbCapacity + 1);
    const HexTextResult r = HexTextToBytesScalar(reinterpret_cast<const char*>(in.buffer.data()), out.data());
    in.cbOut = r.count;
    return in;
}

}  // namespace

const char* WorkloadName(Workload work)
{
    return work < WORK_COUNT ? Workloads[work].szName : "unknown";
}

size_t RunConversion(Workload work, const WorkInput& in, uint8_t* pOut)
{
    if (work == WORK_FORMAT) return BytesToHexText(in.buffer.data(), static_cast<uint32_t>(in.cbIn), reinterpret_cast<char*>(pOut));
    return HexTextToBytes(reinterpret_cast<const char*>(in.buffer.data()), pOut).count;
}

bool LoadRandomBytes(const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    g_random.resize(size > 0 ? static_cast<size_t>(size) : 0);
    const size_t got = std::fread(g_random.data(), 1, g_random.size(), f);
    std::fclose(f);
    return got == g_random.size() && !g_random.empty();
}

const uint8_t* RandomBytes()
{
    return g_random.data();
}

size_t RandomByteCount()
{
    return g_random.size();
}

const WorkInput& GetWorkInput(Workload work, size_t cbData)
{
    const auto key = std::make_pair(work, cbData);
    auto it = g_inputs.find(key);
    if (it == g_inputs.end()) it = g_inputs.emplace(key, MakeWorkInput(work, cbData)).first;
    return it->second;
}
