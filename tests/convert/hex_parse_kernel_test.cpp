// Every parser kernel against the reference routine: the same count, the
// same status and the same bytes everywhere in the output block. The text
// sits in a heap block that ends with its terminator and the output in one
// of exactly ceil(strlen / 2) bytes, prefilled, so the sanitizer catches a
// read past the zero byte or a write past the block, and the comparison a
// byte written past the count.
#include "convert/hex_parse.h"
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
// embedded zero) with the selected kernel and with the reference.
// Short texts are shown whole when they fail, long ones by their length.
std::string Describe(const std::string& text)
{
    return text.size() <= 400 ? ::testing::PrintToString(text) : "a text of " + std::to_string(text.size()) + " characters";
}

HexTextResult ExpectSameAsReference(const std::string& text, size_t textAlign = 0, size_t outAlign = 0)
{
    ExactBlock z = MakeExactBlock(textAlign, text.size() + 1, 0);
    if (!text.empty()) std::memcpy(z.p, text.data(), text.size());
    const char* szText = reinterpret_cast<const char*>(z.p);
    const size_t cap = (std::strlen(szText) + 1) / 2;

    ExactBlock want = MakeExactBlock(0, cap, kFill);
    const HexTextResult r0 = HexTextToBytesScalar(szText, want.p);
    ExactBlock got = MakeExactBlock(outAlign, cap, kFill);
    const HexTextResult r = HexTextToBytes(szText, got.p);

    EXPECT_EQ(r.status, r0.status) << Describe(text);
    EXPECT_EQ(r.count, r0.count) << Describe(text);
    EXPECT_EQ(std::memcmp(got.p, want.p, cap), 0) << Describe(text) << " text+" << textAlign << " out+" << outAlign;
    return r;
}

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t n)
{
    std::vector<uint8_t> bytes(n);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
}

std::string Lowercase(std::string text)
{
    for (char& ch : text) {
        if (ch >= 'A' && ch <= 'F') ch = static_cast<char>(ch - 'A' + 'a');
    }
    return text;
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

// Each recognised form, then every code put at every position of it: a
// check of the window's classes that is off anywhere shows up here.
TEST_P(ParseKernel, EveryCodeAtEveryPosition)
{
    std::mt19937 rng(22);
    const auto bytes = RandomBytes(rng, 80);
    std::string spaced, plain;
    for (uint8_t b : bytes) {
        const std::string pair = ModelFormat({b});
        spaced += pair + RandomSeparator(rng);
        plain += Lowercase(pair);
    }
    const struct {
        const char* name;
        std::string text;
    } kForms[] = {
        {"formatter layout", ModelFormat(bytes)},
        {"lowercase layout", Lowercase(ModelFormat(bytes))},
        {"pairs each followed by a separator", spaced},
        {"plain pairs", plain},
    };
    for (const auto& form : kForms) {
        SCOPED_TRACE(form.name);
        for (size_t pos = 0; pos < form.text.size(); ++pos) {
            for (int code = 0; code < 256; ++code) {
                std::string text = form.text;
                text[pos] = static_cast<char>(code);
                ExpectSameAsReference(text);
                if (HasFailure()) return;
            }
        }
    }
}

TEST_P(ParseKernel, RandomTextsMixingEveryForm)
{
    std::mt19937 rng(23);
    int seen[3] = {};
    uint64_t longBytes = 0;
    for (int i = 0; i < 20000; ++i) {
        const bool isLong = i % 2 != 0;
        const std::string text = isLong ? RandomLongText(rng, 3000) : RandomText(rng);
        const HexTextResult r = ExpectSameAsReference(text, rng() % 32, rng() % 16);
        if (HasFailure()) return;
        ++seen[r.status];
        if (isLong) longBytes += r.count;
    }
    // The texts must reach every outcome, and the long ones get far enough
    // on average for several windows of vector work, or the comparison
    // proves little.
    for (int s = 0; s < 3; ++s) EXPECT_GT(seen[s], 2000) << s;
    EXPECT_GT(longBytes / 10000, 120u);
}

// Texts longer than the stretch the kernels look ahead for the terminator,
// with a stop placed around the stretch boundaries and at the end.
TEST_P(ParseKernel, LargeTextsStoppingAnywhere)
{
    std::mt19937 rng(24);
    const std::string text = ModelFormat(RandomBytes(rng, 1u << 18));
    const HexTextResult whole = ExpectSameAsReference(text);
    EXPECT_EQ(whole.count, 1u << 18);
    EXPECT_EQ(whole.status, HEX_OK);

    const char kStops[] = {'G', '\t', '\0', ';', '1'};
    for (size_t at : {size_t{8191}, size_t{8192}, size_t{16383}, size_t{16384}, size_t{16385}, size_t{24576},
                      size_t{40000}, text.size() - 65, text.size() - 64, text.size() - 63, text.size() - 1}) {
        for (char stop : kStops) {
            std::string faulty = text;
            faulty[at] = stop;
            ExpectSameAsReference(faulty, at % 32, at % 16);
        }
    }
}

// The loose form the benchmark uses: lowercase pairs without separators,
// and a comment line every few lines.
TEST_P(ParseKernel, LooseTextWithComments)
{
    std::mt19937 rng(25);
    std::string text;
    for (int line = 0; line < 2000; ++line) {
        if (line % 5 == 4) text += "; a comment, with \t and \x80 in it\r\n";
        text += Lowercase(ModelFormat(RandomBytes(rng, 32)));
        text.erase(std::remove_if(text.end() - 95, text.end(), [](char ch) { return ch == ' ' || ch == '-' || ch == '\r' || ch == '\n'; }),
                   text.end());
        text += "\r\n";
    }
    const HexTextResult r = ExpectSameAsReference(text);
    EXPECT_EQ(r.count, 2000u * 32);
    EXPECT_EQ(r.status, HEX_OK);
}

INSTANTIATE_FOR_EVERY_KERNEL(ParseKernel);

}  // namespace
