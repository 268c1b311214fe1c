// A full line of the formatter's text, as a fixed map from position to
// content: 16 bytes always become the same 51 characters
//   "XX XX XX XX XX XX XX XX - XX XX XX XX XX XX XX XX\r\n"
// so the vector kernels place digits with constant shuffles. Their masks are
// computed from this map at compile time rather than written out by hand.
#pragma once

#include <array>
#include <cstdint>

constexpr uint32_t kLineBytes = 16;
constexpr uint32_t kLineChars = 51;

// Two 32-character pieces, [0,32) and [19,51), cover a line exactly: the
// AVX2 kernels write and check a line as these two.
constexpr int kLineSecondPiece = kLineChars - 32;

// Where pair i (0..15) starts: three characters a pair, and the " - " after
// the eighth pair adds two.
constexpr int LinePairPos(int pair)
{
    return 3 * pair + (pair >= 8 ? 2 : 0);
}

// The digit at pos as 2 * pair + (1 for the low digit), or -1 for a separator.
constexpr int LineDigitAt(int pos)
{
    for (int pair = 0; pair < 16; ++pair) {
        if (pos == LinePairPos(pair)) return 2 * pair;
        if (pos == LinePairPos(pair) + 1) return 2 * pair + 1;
    }
    return -1;
}

// The fixed character at a separator position, 0 at a digit position.
constexpr char LineSeparatorAt(int pos)
{
    if (LineDigitAt(pos) >= 0) return 0;
    if (pos == 24) return '-';
    if (pos == 49) return '\r';
    if (pos == 50) return '\n';
    return ' ';
}

// Bit k set where character pos0 + k of a line is a separator.
constexpr uint32_t LineSeparatorBits(int pos0)
{
    uint32_t bits = 0;
    for (int k = 0; k < 32; ++k) {
        if (LineDigitAt(pos0 + k) < 0) bits |= 1u << k;
    }
    return bits;
}

// pshufb masks take bytes with the high bit set as "write zero".
constexpr uint8_t kShuffleZero = 0x80;

template <size_t N>
using ByteVector = std::array<uint8_t, N>;

// The separators of the N positions starting at pos0, zero at the digits.
template <size_t N>
constexpr ByteVector<N> LineSeparators(int pos0)
{
    ByteVector<N> v{};
    for (size_t k = 0; k < N; ++k) v[k] = static_cast<uint8_t>(LineSeparatorAt(pos0 + static_cast<int>(k)));
    return v;
}

// A shuffle that fills the N positions from pos0 with the digits numbered
// [first, first + 16) (digit 2 * pair + 1 is a pair's low digit), taken from
// a register that holds digit first + j in byte j. Other positions get zero.
template <size_t N>
constexpr ByteVector<N> LineDigitShuffle(int pos0, int first)
{
    ByteVector<N> v{};
    for (size_t k = 0; k < N; ++k) {
        const int d = LineDigitAt(pos0 + static_cast<int>(k));
        v[k] = d >= first && d < first + 16 ? static_cast<uint8_t>(d - first) : kShuffleZero;
    }
    return v;
}

// A shuffle that fills the N positions from pos0 with the high (low = 0) or
// low (low = 1) digits of the pairs, taken from a register that holds that
// digit of pair j in byte j. Other positions get zero.
template <size_t N>
constexpr ByteVector<N> LinePairShuffle(int pos0, int low)
{
    ByteVector<N> v{};
    for (size_t k = 0; k < N; ++k) {
        const int d = LineDigitAt(pos0 + static_cast<int>(k));
        v[k] = d >= 0 && d % 2 == low ? static_cast<uint8_t>(d / 2) : kShuffleZero;
    }
    return v;
}

// "0123456789ABCDEF": a pshufb lookup from nibble to digit.
inline constexpr ByteVector<16> kHexDigitLookup = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                   '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
