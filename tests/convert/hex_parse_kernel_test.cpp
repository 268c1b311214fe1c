// Every parser kernel against the reference routine (and on random texts
// the reference against the model): the same count, the same status and the
// same bytes up to the count (past it the output is the routine's scratch).
// The text sits in a block that ends with its terminator and the output in
// one of exactly ceil(strlen / 2) bytes: on the heap, where the sanitizer
// catches a read past the zero byte or a write past the block, or right
// before a page that may not be touched.
#include "convert/generic/parse_blocks.h"
#include "convert/scalar/hex_scalar.h"
#include "hex_model.h"
#include "hex_random_text.h"
#include "kernel_param.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using ParseKernel = KernelTest;

constexpr unsigned char kFill = 0x5A;

// Parses text (terminated after its last character, or earlier by an
// embedded zero) with the selected kernel and with the reference. Short
// texts are shown whole when they fail, long ones by their length.
HexTextResult ExpectSameAsReference(const std::string& text, size_t textAlign = 0, size_t outAlign = 0, bool fGuarded = false, bool fModel = false)
{
    const auto Describe = [](const std::string& t) {
        return t.size() <= 400 ? ::testing::PrintToString(t) : "a text of " + std::to_string(t.size()) + " characters";
    };
    ExactBlock z = MakeExactBlock(textAlign, text.size() + 1, 0, fGuarded);
    if (!text.empty()) std::memcpy(z.p, text.data(), text.size());
    const char* szText = reinterpret_cast<const char*>(z.p);
    const size_t cap = (std::strlen(szText) + 1) / 2;

    ExactBlock want = MakeExactBlock(0, cap, kFill);
    const HexTextResult r0 = HexTextToBytesScalar(szText, want.p);
    if (fModel) {
        const ModelParse model = ModelParseText(text);
        EXPECT_TRUE(r0.status == model.status && r0.count == model.bytes.size() &&
                    std::equal(model.bytes.begin(), model.bytes.end(), want.p)) << "the reference, on " << Describe(text);
    }
    ExactBlock got = MakeExactBlock(outAlign, cap, kFill, fGuarded);
    const HexTextResult r = HexTextToBytes(szText, got.p);

    EXPECT_EQ(r.status, r0.status) << Describe(text);
    EXPECT_EQ(r.count, r0.count) << Describe(text);
    EXPECT_EQ(std::memcmp(got.p, want.p, std::min<size_t>(r.count, r0.count)), 0) << Describe(text) << " text+" << textAlign << " out+" << outAlign;
    return r;
}

TEST_P(ParseKernel, FormatterTextOfEveryLengthAtEveryAlignment)
{
    std::mt19937 rng(21);
    for (uint32_t n = 0; n <= 300; ++n) {
        const auto bytes = RandomBytes(rng, n);
        const std::string text = ModelFormat(bytes);
        for (size_t textAlign = 0; textAlign < 32; textAlign += (n < 64 ? 1 : 3)) {
            for (size_t outAlign = 0; outAlign < 16; outAlign += (n < 64 ? 1 : 5)) {
                const HexTextResult r = ExpectSameAsReference(text, textAlign, outAlign);
                ASSERT_EQ(r.count, n);
                ASSERT_EQ(r.status, HEX_OK);
            }
        }
    }
}

// The text in each named layout, then every code put at every position of
// it: a mask that is off anywhere shows up here.
TEST_P(ParseKernel, EveryCodeAtEveryPosition)
{
    std::mt19937 rng(22);
    const auto bytes = RandomBytes(rng, 70);
    for (const HexLayout& layout : HexLayouts) {
        SCOPED_TRACE(layout.szName);
        const std::string text = LayoutText(layout, bytes, rng);
        for (size_t pos = 0; pos < text.size(); ++pos) {
            for (int code = 0; code < 256; ++code) {
                std::string faulty = text;
                faulty[pos] = static_cast<char>(code);
                ExpectSameAsReference(faulty);
                if (HasFailure()) return;
            }
        }
    }
}

TEST_P(ParseKernel, RandomTextsMixingEveryLayout)
{
    std::mt19937 rng(23);
    int seen[3] = {};
    uint64_t longBytes = 0;
    for (int i = 0; i < 40000; ++i) {
        const bool isLong = i % 4 == 0;
        const std::string text = isLong ? RandomLongText(rng, 3000) : RandomText(rng);
        const HexTextResult r = ExpectSameAsReference(text, rng() % 32, rng() % 16, false, true);
        if (HasFailure()) return;
        ++seen[r.status];
        if (isLong) longBytes += r.count;
    }
    // The texts must reach every outcome, and the long ones get far enough
    // on average for several windows of vector work, or the comparison
    // proves little.
    for (int s = 0; s < 3; ++s) EXPECT_GT(seen[s], 10000) << s;
    EXPECT_GT(longBytes / 10000, 120u);
}

// Each named layout and layouts drawn at random, 12,000 characters and more,
// whole and with a stop near the 64-character blocks, in the first units of
// a shape learned from the text, near the 4 KiB look-ahead and the text's
// end, the text and the output ending right before a page not to be touched.
TEST_P(ParseKernel, EveryLayoutStoppingNearBlockAndPageEdges)
{
    std::mt19937 rng(24);
    const auto bytes = RandomBytes(rng, 6000);
    const char kStops[] = {'G', '\t', '\0', ';', '1', '\xC3', '\n'};
    for (size_t row = 0; row < std::size(HexLayouts) + 16; ++row) {
        const HexLayout layout = row < std::size(HexLayouts) ? HexLayouts[row] : RandomLayout(rng);
        SCOPED_TRACE(std::string(layout.szName) + ", row " + std::to_string(row));
        const std::string text = (*layout.szLead == '0' ? ModelFormat({bytes.begin(), bytes.begin() + 2000}) + "\r\n" : "") + LayoutText(layout, bytes, rng);
        const HexTextResult whole = ExpectSameAsReference(text, 0, 0, true);
        EXPECT_NE(whole.count == bytes.size() && whole.status == HEX_OK, *layout.szLead == '0');  // a lone digit's after the formatter's lines
        for (const size_t cch : {4098, 4120, 4160, 4200, 4240, 8194, 8230, 8300}) ExpectSameAsReference(text.substr(0, cch), 0, 0, true);  // ends past a look-ahead
        for (const int offset : {63, 64, 65, 127, 150, 199, 250, 301, 4095, 4096, 4097, 8191, 8192, -4097, -4096, -65, -64, -63, -2, -1}) {
            const size_t at = offset >= 0 ? static_cast<size_t>(offset) : text.size() - static_cast<size_t>(-offset);  // from the end where negative
            for (char stop : kStops) {
                std::string faulty = text;
                faulty[at] = stop;
                ExpectSameAsReference(faulty, 0, 0, true);
                if (HasFailure()) return;
            }
        }
    }
}

INSTANTIATE_FOR_EVERY_KERNEL(ParseKernel);

// The kernels' look for the terminator, from every place in a 64-byte line,
// with zero bytes before the start that do not count. It may come short of
// the zero byte without a kernel's result showing it (the reference routine
// then finishes earlier), so it is checked on its own.
TEST(TextLengthWithin, FindsTheFirstZeroAhead)
{
    std::vector<char> block(64 + 2 * HEX_LOOKAHEAD + 128, 'a');
    char* const pLine = block.data() + (64 - reinterpret_cast<uintptr_t>(block.data()) % 64);
    for (size_t skip = 0; skip < 64; ++skip) {
        for (size_t len : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{63}, size_t{64}, size_t{65}, size_t{127},
                           HEX_LOOKAHEAD - 65, HEX_LOOKAHEAD - 64, HEX_LOOKAHEAD - 1, HEX_LOOKAHEAD, HEX_LOOKAHEAD + 1,
                           HEX_LOOKAHEAD + 64}) {
            std::fill(block.begin(), block.end() - 1, 'a');
            block.back() = '\0';
            std::fill(pLine, pLine + skip, '\0');
            char* p = pLine + skip;
            p[len] = '\0';
            EXPECT_EQ(TextLengthWithin(p, HEX_LOOKAHEAD), std::min(len, HEX_LOOKAHEAD)) << "from " << skip << ", " << len;
        }
    }
}

}  // namespace
