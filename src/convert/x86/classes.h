// Character classes and digit values by two nibble lookups (pshufb), for
// the kernels with SSSE3 and AVX2.
#pragma once

#include "convert/scalar/hex_scalar.h"

#include <array>
#include <cstddef>
#include <cstdint>

// A digit's value is its low nibble, plus 9 for a letter: indexed by the
// high nibble, 9 for 'A'-'F' and 'a'-'f'. Other characters' values are
// never picked.
inline constexpr std::array<uint8_t, 16> LetterValueByHighNibble = {0, 0, 0, 0, 9, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// Character classes from two nibble lookups: a character's class bits are
// ClassByHighNibble[c >> 4] & ClassByLowNibble[c & 15]. Two bits each for
// digits and separators, because neither set is a product of one high and
// one low set. The digit bits are the top two and the token bits the top
// five, so "has a digit bit" is "at least HEX_BIT_LETTER" and "has a token
// bit" is "at least HEX_BIT_SPACE_DASH": one saturating add each brings
// the answer to the top bit, for movemask.
constexpr uint8_t HEX_BIT_DECIMAL = 0x80;    // '0'-'9': high 3, low 0-9
constexpr uint8_t HEX_BIT_LETTER = 0x40;     // 'A'-'F', 'a'-'f': high 4 or 6, low 1-6
constexpr uint8_t HEX_BIT_LINE_FEED = 0x20;  // high 0, low A
constexpr uint8_t HEX_BIT_RETURN = 0x10;     // high 0, low D
constexpr uint8_t HEX_BIT_SPACE_DASH = 0x08; // ' ', '-': high 2, low 0 or D
constexpr uint8_t HEX_BIT_SEMICOLON = 0x04;  // high 3, low B
constexpr uint8_t HEX_BITS_DIGIT = HEX_BIT_DECIMAL | HEX_BIT_LETTER;
constexpr uint8_t HEX_BITS_SEPARATOR = HEX_BIT_LINE_FEED | HEX_BIT_RETURN | HEX_BIT_SPACE_DASH;
constexpr uint8_t HEX_BITS_TOKEN = HEX_BITS_DIGIT | HEX_BITS_SEPARATOR;
static_assert(HEX_BITS_DIGIT == static_cast<uint8_t>(0x100 - HEX_BIT_LETTER) &&
              HEX_BITS_TOKEN == static_cast<uint8_t>(0x100 - HEX_BIT_SPACE_DASH));
// What to add, saturating, for a digit and for a token bit to set the top.
constexpr uint8_t HEX_DIGIT_TO_TOP = 0x80 - HEX_BIT_LETTER;
constexpr uint8_t HEX_TOKEN_TO_TOP = 0x80 - HEX_BIT_SPACE_DASH;
// Shifts that bring the ';' and the LF bit to a byte's top, for movemask.
constexpr int HEX_SEMICOLON_TO_TOP = 5;
constexpr int HEX_LINE_FEED_TO_TOP = 2;
static_assert(HEX_BIT_SEMICOLON << HEX_SEMICOLON_TO_TOP == 0x80 && HEX_BIT_LINE_FEED << HEX_LINE_FEED_TO_TOP == 0x80);

inline constexpr std::array<uint8_t, 16> ClassByHighNibble = {
    HEX_BIT_LINE_FEED | HEX_BIT_RETURN, 0, HEX_BIT_SPACE_DASH, HEX_BIT_DECIMAL | HEX_BIT_SEMICOLON, HEX_BIT_LETTER, 0,
    HEX_BIT_LETTER, 0, 0, 0, 0, 0, 0, 0, 0, 0};
inline constexpr std::array<uint8_t, 16> ClassByLowNibble = {
    HEX_BIT_DECIMAL | HEX_BIT_SPACE_DASH, HEX_BITS_DIGIT, HEX_BITS_DIGIT, HEX_BITS_DIGIT, HEX_BITS_DIGIT,
    HEX_BITS_DIGIT, HEX_BITS_DIGIT, HEX_BIT_DECIMAL, HEX_BIT_DECIMAL, HEX_BIT_DECIMAL, HEX_BIT_LINE_FEED,
    HEX_BIT_SEMICOLON, 0, HEX_BIT_RETURN | HEX_BIT_SPACE_DASH, 0, 0};

constexpr bool NibbleClassesAgreeWithTable()
{
    for (size_t c = 0; c < 256; ++c) {
        const int bits = ClassByHighNibble[c >> 4] & ClassByLowNibble[c & 15];
        const int want = CharClassTable[c];
        const int got = (bits & HEX_BITS_DIGIT) ? CC_HEXDIGIT
                        : (bits & HEX_BITS_TOKEN) ? CC_SEPARATOR
                        : (bits & HEX_BIT_SEMICOLON) ? CC_COMMENT
                                                     : CC_OTHER;
        if (got != want || ((bits & HEX_BIT_LINE_FEED) != 0) != (c == '\n')) return false;
        if (((bits & HEX_BITS_SEPARATOR) != 0) != (want == CC_SEPARATOR)) return false;
    }
    return true;
}
static_assert(NibbleClassesAgreeWithTable(), "nibble class lookups disagree with CharClassTable");
