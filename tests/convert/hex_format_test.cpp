#include "convert/hex_convert.h"

#include <gtest/gtest.h>

#include <memory>
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
    EXPECT_TRUE(bytes.empty() ? len == 0 : len < cap && dst[len] == '\0') << len;
    return std::string(dst.get(), len);
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

}  // namespace
