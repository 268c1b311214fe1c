#include "convert/scalar/hex_scalar.h"
#include "hex_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
struct Parsed {
    Bytes bytes;
    HexTextStatus status;
};

// The text goes into a heap block that ends with its terminator, and the
// output into one of exactly ceil(strlen / 2) bytes, so the sanitizer sees a
// read past the zero byte or a write past the promised capacity.
Parsed Parse(const std::string& text)
{
    const std::unique_ptr<char[]> z(new char[text.size() + 1]());
    std::copy(text.begin(), text.end(), z.get());
    const size_t cap = (std::strlen(z.get()) + 1) / 2;
    const std::unique_ptr<uint8_t[]> out(new uint8_t[cap]);
    const HexTextResult r = HexTextToBytes(z.get(), out.get());
    EXPECT_LE(r.count, cap);
    return {Bytes(out.get(), out.get() + r.count), r.status};
}

TEST(HexTextToBytes, Grammar)
{
    using namespace std::string_literals;
    const struct {
        std::string text;
        Bytes bytes;  // an unpaired digit yields its value in the high half
        HexTextStatus status;
    } kCases[] = {
        {"", {}, HEX_OK},
        {"00 FF 5D DF", {0x00, 0xFF, 0x5D, 0xDF}, HEX_OK},
        {"0a0B", {0x0A, 0x0B}, HEX_OK},
        {"01-02", {0x01, 0x02}, HEX_OK},
        {"01\r\n02", {0x01, 0x02}, HEX_OK},
        {"  --\r\r\n\n", {}, HEX_OK},
        {"00 01 02 03 04 05 06 07 -", {0, 1, 2, 3, 4, 5, 6, 7}, HEX_OK},
        {"ab cd ef AB CD EF 09", {0xAB, 0xCD, 0xEF, 0xAB, 0xCD, 0xEF, 0x09}, HEX_OK},
        {"00 01\r", {0x00, 0x01}, HEX_OK},
        // Bad characters where a pair, separator or comment could begin.
        {"00 GG", {0x00}, HEX_BAD_CHAR},
        {"00\t01", {0x00}, HEX_BAD_CHAR},
        {"0x12", {0x00}, HEX_UNPAIRED},
        {"12,34", {0x12}, HEX_BAD_CHAR},
        {"\x80", {}, HEX_BAD_CHAR},
        {"01 \xFF", {0x01}, HEX_BAD_CHAR},
        {"01 \x7F", {0x01}, HEX_BAD_CHAR},
        // Unpaired digits: nothing may stand inside a pair.
        {"00 1", {0x00, 0x10}, HEX_UNPAIRED},
        {"0 A", {0x00}, HEX_UNPAIRED},
        {"f", {0xF0}, HEX_UNPAIRED},
        {"12 3;", {0x12, 0x30}, HEX_UNPAIRED},
        {"12 B\x80", {0x12, 0xB0}, HEX_UNPAIRED},
        // Comments run to LF; only the end of the text ends the parse in one.
        {"; note\n01", {0x01}, HEX_OK},
        {"01 ;", {0x01}, HEX_OK},
        {";\n;\n02", {0x02}, HEX_OK},
        {"01 ;\t02\n03", {0x01, 0x03}, HEX_OK},
        {"01 ;\t02", {0x01}, HEX_OK},
        {"01 ;\x01\x08\x0B\r 02\n03", {0x01, 0x03}, HEX_OK},
        {"01 ; \x80\xFF\xC3\xA9 GG\n02", {0x01, 0x02}, HEX_OK},
        {"01;x\r\n02", {0x01, 0x02}, HEX_OK},
        // A zero byte ends the text, inside a comment or outside one.
        {"01\0"s "02", {0x01}, HEX_OK},
        {"01 ;a\0"s "\n02", {0x01}, HEX_OK},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(::testing::PrintToString(c.text));
        const Parsed got = Parse(c.text);
        EXPECT_EQ(got.status, c.status);
        EXPECT_EQ(got.bytes, c.bytes);
    }
}

// Every code is classified as the grammar says, and only the 22 hex digits
// carry nibble values; from 0x80 up, a code is refused outside a comment and
// skipped inside one.
TEST(HexTextToBytes, TablesAgreeWithGrammar)
{
    int digits = 0;
    for (int ch = 0; ch < 256; ++ch) {
        const int v = ModelDigit(static_cast<unsigned char>(ch));
        const bool sep = ch == '\n' || ch == '\r' || ch == ' ' || ch == '-';
        const int cls = v >= 0 ? CC_HEXDIGIT : sep ? CC_SEPARATOR : ch == ';' ? CC_COMMENT : CC_OTHER;
        EXPECT_EQ(CharClassTable[ch], cls) << ch;
        EXPECT_EQ(HighNibbleTable[ch], v >= 0 ? v * 16 : 0) << ch;
        EXPECT_EQ(LowNibbleTable[ch], v >= 0 ? v : 0) << ch;
        digits += v >= 0;
        if (ch < 0x80) continue;
        const std::string c(1, static_cast<char>(ch));
        const Parsed outside = Parse("01 " + c + "02"), inside = Parse("01 ;" + c + c + "\n02");
        EXPECT_TRUE(outside.status == HEX_BAD_CHAR && outside.bytes == Bytes{0x01}) << ch;
        EXPECT_TRUE(inside.status == HEX_OK && inside.bytes == (Bytes{0x01, 0x02})) << ch;
    }
    EXPECT_EQ(digits, 22);
}

}  // namespace
