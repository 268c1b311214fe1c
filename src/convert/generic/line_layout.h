// A full line of the formatter's text, as a fixed map from position to content: 16 bytes always become the
// same 51 characters
//   "XX XX XX XX XX XX XX XX - XX XX XX XX XX XX XX XX\r\n"
// so the vector kernels place digits with constant shuffles, computed from this map at compile time. Then the
// vector formatters' loop: full lines by the kernel, streamed where the text is long, the last line by the
// reference.
#pragma once

#include "convert/generic/simd_target.h"
#include "convert/scalar/hex_scalar.h"

constexpr uint32_t HEX_LINE_BYTES = 16;
constexpr uint32_t HEX_LINE_CHARS = 51;

// Two 32-character pieces, [0,32) and [19,51), cover a line exactly: the AVX2 formatter writes a line as
// these two.
constexpr int HEX_LINE_SECOND_PIECE = HEX_LINE_CHARS - 32;
static_assert(HEX_LINE_SECOND_PIECE > 0 && HEX_LINE_SECOND_PIECE <= 32);

// Where pair i (0..15) starts: three characters a pair, and the " - " after the eighth pair adds two.
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

// pshufb masks take bytes with the high bit set as "write zero".
constexpr uint8_t HEX_SHUFFLE_ZERO = 0x80;

template <size_t N>
using ByteVector = std::array<uint8_t, N>;

// The separators of the N positions starting at pos0, zero at the digits.
template <size_t N>
constexpr ByteVector<N> MakeLineSeparatorTable(int pos0)
{
    ByteVector<N> v{};
    for (size_t k = 0; k < N; ++k) v[k] = static_cast<uint8_t>(LineSeparatorAt(pos0 + static_cast<int>(k)));
    return v;
}

// A shuffle that fills the N positions from pos0 with digits: pick(d) is the byte of the source register that
// holds digit d of the line (digit 2 * pair + 1 is a pair's low digit), or -1 for a zero.
template <size_t N, typename Pick>
constexpr ByteVector<N> MakeLineShuffleTable(int pos0, Pick pick)
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
constexpr ByteVector<N> MakeLineDigitShuffleTable(int pos0, int first)
{
    return MakeLineShuffleTable<N>(pos0, [first](int d) { return d >= first && d < first + 16 ? d - first : -1; });
}

// From a register that holds the high (low = 0) or the low (low = 1) digit of pair j in byte j.
template <size_t N>
constexpr ByteVector<N> MakeLinePairShuffleTable(int pos0, int low)
{
    return MakeLineShuffleTable<N>(pos0, [low](int d) { return d % 2 == low ? d / 2 : -1; });
}

// From this many characters on, the AVX2 and AVX-512 formatters stream full lines: to a stage in the cache,
// then out by non-temporal stores, which do not read memory's lines in as ordinary ones do; no such text
// stays cached.
constexpr size_t HEX_STREAM_MIN_CHARS = size_t{16} << 20;
constexpr uintptr_t HEX_PAGE_SIZE = 4096;

// A vector formatter writes the full lines before the last 1 to 16 bytes; the reference writes those with the
// terminator.
constexpr uint32_t VectorLineCount(uint32_t cbSrc)
{
    return cbSrc == 0 ? 0 : (cbSrc - 1) / HEX_LINE_BYTES;
}

// The lines before the first one that starts on a boundary of cbAlign (a power of two up to 64; one of any
// cbAlign lines in a row does).
inline uint32_t LinesBeforeAlignment(const char* pDst, uint32_t cLines, uintptr_t cbAlign)
{
    uint32_t cHead = 0;
    while (cHead < cLines && (reinterpret_cast<uintptr_t>(pDst + size_t{HEX_LINE_CHARS} * cHead) & (cbAlign - 1)) != 0) ++cHead;
    return cHead;
}

// A stage of cch characters (a multiple of cbAlign, less than a page) inside buffer, which holds 2 * cch:
// aligned by hand, as the Windows stack is not whatever alignas says, and inside one page, as streaming from
// a stage that crosses into the next page is much slower.
inline char* PlaceStage(char* buffer, size_t cch, uintptr_t cbAlign)
{
    uintptr_t uStage = (reinterpret_cast<uintptr_t>(buffer) + cbAlign - 1) & ~(cbAlign - 1);
    if ((uStage & (HEX_PAGE_SIZE - 1)) + cch > HEX_PAGE_SIZE) uStage = (uStage + HEX_PAGE_SIZE - 1) & ~(HEX_PAGE_SIZE - 1);
    return buffer + (uStage - reinterpret_cast<uintptr_t>(buffer));
}

// The length of the whole text, once the cLines full lines are written.
inline uint32_t FinishHexText(const uint8_t* pSrc, uint32_t cbSrc, char* pDst, uint32_t cLines)
{
    const size_t cbDone = size_t{HEX_LINE_BYTES} * cLines;
    return HEX_LINE_CHARS * cLines +
           BytesToHexTextScalar(pSrc + cbDone, cbSrc - static_cast<uint32_t>(cbDone), pDst + size_t{HEX_LINE_CHARS} * cLines);
}

// A vector formatter's whole text: its full lines, streamed from HEX_STREAM_MIN_CHARS on, then the
// reference's last line. Lines is
//   VECTOR_BYTES   the width of its vectors, 32 or 64
//   void FormatLines(const uint8_t* pSrc, uint32_t cLines, char* pDst)
//   void StreamVector(char* pDst, const char* pStage)   one aligned vector, non-temporal
//   void Fence()   orders the streamed stores before any that follow
// Compiled in an entry with the kernel's target attribute and HEX_FLATTEN.
template <typename Lines>
HEX_INLINE void StreamLinesWith(const uint8_t* pSrc, uint32_t cLines, char* pDst)
{
    // As 51 is odd, as many lines as a vector has bytes are a whole number of vectors, and one of any that
    // many lines in a row starts on one.
    constexpr uint32_t STAGE_LINES = Lines::VECTOR_BYTES;
    constexpr size_t STAGE_CHARS = size_t{STAGE_LINES} * HEX_LINE_CHARS;
    static_assert(STAGE_CHARS % Lines::VECTOR_BYTES == 0 && STAGE_CHARS < HEX_PAGE_SIZE);
    const uint32_t cHead = LinesBeforeAlignment(pDst, cLines, Lines::VECTOR_BYTES);
    Lines::FormatLines(pSrc, cHead, pDst);
    pSrc += size_t{HEX_LINE_BYTES} * cHead;
    pDst += size_t{HEX_LINE_CHARS} * cHead;
    cLines -= cHead;

    char buffer[2 * STAGE_CHARS];
    char* const pStage = PlaceStage(buffer, STAGE_CHARS, Lines::VECTOR_BYTES);
    for (; cLines >= STAGE_LINES; cLines -= STAGE_LINES) {
        Lines::FormatLines(pSrc, STAGE_LINES, pStage);
        for (size_t i = 0; i < STAGE_CHARS; i += Lines::VECTOR_BYTES) Lines::StreamVector(pDst + i, pStage + i);
        pSrc += size_t{HEX_LINE_BYTES} * STAGE_LINES;
        pDst += STAGE_CHARS;
    }
    Lines::Fence();
    Lines::FormatLines(pSrc, cLines, pDst);
}

template <typename Lines>
HEX_INLINE uint32_t FormatHexTextWith(const uint8_t* pSrc, uint32_t cbSrc, char* pDst)
{
    const uint32_t cLines = VectorLineCount(cbSrc);
    if (size_t{HEX_LINE_CHARS} * cLines >= HEX_STREAM_MIN_CHARS) {
        StreamLinesWith<Lines>(pSrc, cLines, pDst);
    } else {
        Lines::FormatLines(pSrc, cLines, pDst);
    }
    return FinishHexText(pSrc, cbSrc, pDst, cLines);
}
