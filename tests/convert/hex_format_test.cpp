#include "convert/hex_convert.h"
#include "hex_model.h"
#include "hex_random_text.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Iota(size_t n)
{
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i);
    return bytes;
}

// Formats into a heap block of exactly 4 * n bytes, so the sanitizer sees any
// write past the capacity the caller promises. Checks the terminator too.
std::string Format(const std::vector<uint8_t>& bytes)
{
    const size_t cap = 4 * bytes.size();
    std::unique_ptr<char[]> dst(new char[cap]);
    const uint32_t len = BytesToHexText(bytes.data(), static_cast<uint32_t>(bytes.size()), dst.get());
    if (bytes.empty()) {
        EXPECT_EQ(len, 0u);
        return {};
    }
    EXPECT_LT(len, cap);
    EXPECT_EQ(dst[len], '\0');
    return std::string(dst.get(), len);
}

uint32_t ExpectedLength(uint32_t n)
{
    return n == 0 ? 0 : 3 * n + 2 * ((n + 8) / 16) + n / 16 - 1;
}

TEST(BytesToHexText, Layout)
{
    const std::string line0 = "00 01 02 03 04 05 06 07 - 08 09 0A 0B 0C 0D 0E 0F";
    const struct {
        std::vector<uint8_t> bytes;
        std::string text;
    } kCases[] = {
        {{}, ""},
        {{0xAB}, "AB"},
        {{0xDF}, "DF"},
        {{0x00, 0xFF, 0x5D}, "00 FF 5D"},
        {Iota(8), "00 01 02 03 04 05 06 07 -"},
        {Iota(9), "00 01 02 03 04 05 06 07 - 08"},
        {Iota(16), line0 + "\r"},
        {Iota(17), line0 + "\r\n10"},
        {Iota(24), line0 + "\r\n10 11 12 13 14 15 16 17 -"},
        {Iota(32), line0 + "\r\n10 11 12 13 14 15 16 17 - 18 19 1A 1B 1C 1D 1E 1F\r"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.bytes.size());
        EXPECT_EQ(Format(c.bytes), c.text);
    }
}

// Every length up to 400 and a few large blocks, against the model; and
// whatever the formatter writes, the parser reads back to the same bytes.
// (Every byte value in every column: the kernel tests, the reference's row
// included.)
TEST(BytesToHexText, MatchesModelAndRoundTrips)
{
    std::mt19937 rng(1);
    std::vector<uint32_t> lengths = {4096u, 65535u, 65536u, 1000003u, 1u << 20, (1u << 20) + 7};
    for (uint32_t n = 0; n <= 400; ++n) lengths.push_back(n);
    for (uint32_t n : lengths) {
        const auto bytes = RandomBytes(rng, n);
        const std::string text = Format(bytes);
        ASSERT_EQ(text.size(), ExpectedLength(n)) << n;
        ASSERT_TRUE(text == ModelFormat(bytes)) << n;
        std::unique_ptr<uint8_t[]> out(new uint8_t[(text.size() + 1) / 2]);
        const HexTextResult r = HexTextToBytes(text.c_str(), out.get());
        ASSERT_EQ(r.status, HEX_OK) << n;
        ASSERT_EQ(r.count, n) << n;
        ASSERT_TRUE(std::equal(bytes.begin(), bytes.end(), out.get())) << n;
    }
}

}  // namespace
