#include "bench_data.h"

#include "convert/hex_convert.h"
#include "convert/scalar/hex_scalar.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

namespace {

std::vector<uint8_t> g_random;

// Every input is kept once built (some 4 GB in all), so the cases can run
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

// The text another tool writes of the bytes: xxd -p, od -An -v -tx1,
// Python's bytes.hex(' '), or a commented text (16 pairs a line, CR LF, a
// comment line with a TAB and UTF-8 before every fourth line).
std::vector<uint8_t> ToolText(Workload work, size_t cbData)
{
    static const char kDigits[] = "0123456789abcdef";
    static const char kComment[] = "; block\twritten by hand, caf\xC3\xA9 \xE2\x82\xAC 100\n";
    std::vector<uint8_t> text;
    text.reserve(4 * cbData + 64);
    for (size_t i = 0; i < cbData; ++i) {
        if (work == WORK_PARSE_COMMENTED && i % 64 == 0) text.insert(text.end(), kComment, kComment + std::strlen(kComment));
        if (work == WORK_PARSE_OD || (work == WORK_PARSE_PYTHON && i != 0)) text.push_back(' ');
        text.push_back(static_cast<uint8_t>(kDigits[g_random[i] >> 4]));
        text.push_back(static_cast<uint8_t>(kDigits[g_random[i] & 15]));
        const bool fLineEnd = work == WORK_PARSE_XXD ? i % 30 == 29 : i % 16 == 15;
        if (work == WORK_PARSE_COMMENTED) {
            if (fLineEnd) text.push_back('\r');
            text.push_back(fLineEnd ? '\n' : ' ');
        } else if ((work == WORK_PARSE_XXD || work == WORK_PARSE_OD) && (fLineEnd || i + 1 == cbData)) {
            text.push_back('\n');
        }
    }
    text.push_back(0);
    return text;
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

    in.buffer = work == WORK_PARSE_LAYOUT || work == WORK_PARSE_EARLY ? FormatterText(cbData) : ToolText(work, cbData);
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
    static const char* const kNames[WORK_COUNT] = {"format",    "parse_layout",    "parse_xxd",  "parse_od",
                                                   "parse_python", "parse_commented", "parse_early"};
    return work < WORK_COUNT ? kNames[work] : "unknown";
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
