// A full line of the formatter's text, as a fixed map from position to
// content: 16 bytes always become the same 51 characters
//   "XX XX XX XX XX XX XX XX - XX XX XX XX XX XX XX XX\r\n"
// so the vector kernels place digits with constant shuffles. Their masks are
// computed from this map at compile time rather than written out by hand.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr uint32_t HEX_LINE_BYTES = 16;
constexpr uint32_t HEX_LINE_CHARS = 51;

// Two 32-character pieces, [0,32) and [19,51), cover a line exactly: the
// AVX2 formatter writes a line as these two.
constexpr int HEX_LINE_SECOND_PIECE = HEX_LINE_CHARS - 32;
static_assert(HEX_LINE_SECOND_PIECE > 0 && HEX_LINE_SECOND_PIECE <= 32);

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

// Bit k set where character pos0 + k (k below N) of a line is a separator.
template <size_t N>
constexpr uint32_t LineSeparatorBits(int pos0)
{
    uint32_t bits = 0;
    for (size_t k = 0; k < N; ++k) {
        if (LineDigitAt(pos0 + static_cast<int>(k)) < 0) bits |= 1u << k;
    }
    return bits;
}

// pshufb masks take bytes with the high bit set as "write zero".
constexpr uint8_t HEX_SHUFFLE_ZERO = 0x80;

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

// A shuffle that fills the N positions from pos0 with digits: pick(d) is
// the byte of the source register that holds digit d of the line (digit
// 2 * pair + 1 is a pair's low digit), or -1 for a zero.
template <size_t N, typename Pick>
constexpr ByteVector<N> LineShuffle(int pos0, Pick pick)
{
    ByteVector<N> v{};
    for (size_t k = 0; k < N; ++k) {
        const int d = LineDigitAt(pos0 + static_cast<int>(k));
        const int from = d < 0 ? -1 : pick(d);
        v[k] = from < 0 ? HEX_SHUFFLE_ZERO : static_cast<uint8_t>(from);
    }
    return v;
}

// From a register that holds digits first to first + 15 in order.
template <size_t N>
constexpr ByteVector<N> LineDigitShuffle(int pos0, int first)
{
    return LineShuffle<N>(pos0, [first](int d) { return d >= first && d < first + 16 ? d - first : -1; });
}

// From a register that holds the high (low = 0) or the low (low = 1) digit
// of pair j in byte j.
template <size_t N>
constexpr ByteVector<N> LinePairShuffle(int pos0, int low)
{
    return LineShuffle<N>(pos0, [low](int d) { return d % 2 == low ? d / 2 : -1; });
}

// "0123456789ABCDEF": a pshufb lookup from nibble to digit.
inline constexpr ByteVector<16> HexDigitLookup = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                   '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
