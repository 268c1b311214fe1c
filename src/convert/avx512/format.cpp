// BytesToHexText with AVX-512 VBMI: four lines, 64 bytes, from one register. Two vpermb look up the high and
// the low digits of all 64 bytes; then each 64 characters of the four lines are one vpermi2b, which takes a
// digit where the line has one and, where it has a separator, keeps the byte of its index: the index table
// holds the separators themselves there.
#include "convert/generic/simd_target.h"

#if HEXBIN_AVX512

#include "convert/avx512/simd.h"
#include "convert/generic/line_layout.h"
#include "convert/hex_kernel.h"

namespace {

constexpr uint32_t AVX512_GROUP_LINES = 4;
constexpr uint32_t AVX512_GROUP_BYTES = AVX512_GROUP_LINES * HEX_LINE_BYTES;
constexpr uint32_t AVX512_GROUP_CHARS = AVX512_GROUP_LINES * HEX_LINE_CHARS;
static_assert(AVX512_GROUP_BYTES == 64);

// Four stores cover a group's 204 characters: at 0, 64 and 128, and the last at 140, over the third, so that
// nothing past the group is written.
constexpr int AVX512_PIECES = 4;
constexpr int Avx512PiecePos(int piece)
{
    return piece < 3 ? 64 * piece : static_cast<int>(AVX512_GROUP_CHARS) - 64;
}

// Per character of a piece: at a digit, the byte of the group that it shows, plus 64 for a low digit
// (vpermi2b's second table); at a separator, the separator.
constexpr ByteVector<64> MakeAvx512PieceIndexTable(int piece)
{
    ByteVector<64> v{};
    for (int k = 0; k < 64; ++k) {
        const int pos = Avx512PiecePos(piece) + k, line = pos / static_cast<int>(HEX_LINE_CHARS);
        const int at = pos % static_cast<int>(HEX_LINE_CHARS), digit = LineDigitAt(at);
        v[static_cast<size_t>(k)] = digit < 0 ? static_cast<uint8_t>(LineSeparatorAt(at))
                                              : static_cast<uint8_t>(64 * (digit % 2) + 16 * line + digit / 2);
    }
    return v;
}

constexpr uint64_t Avx512PieceDigits(int piece)
{
    uint64_t bits = 0;
    for (int k = 0; k < 64; ++k) {
        if (LineDigitAt((Avx512PiecePos(piece) + k) % static_cast<int>(HEX_LINE_CHARS)) >= 0) bits |= uint64_t{1} << k;
    }
    return bits;
}

alignas(64) constexpr ByteVector<64> Avx512PieceIndexTable[AVX512_PIECES] = {
    MakeAvx512PieceIndexTable(0), MakeAvx512PieceIndexTable(1), MakeAvx512PieceIndexTable(2), MakeAvx512PieceIndexTable(3)};
constexpr uint64_t Avx512PieceDigitsTable[AVX512_PIECES] = {Avx512PieceDigits(0), Avx512PieceDigits(1), Avx512PieceDigits(2), Avx512PieceDigits(3)};

struct Avx512Digits {
    __m512i high, low;
};

// vpermb reads six bits of each index and the 16 digits repeat through the lookup, so only each byte's nibble
// counts.
HEX_TARGET(HEX_AVX512_FORMAT) HEX_INLINE Avx512Digits LookUpDigits(__m512i x, __m512i digitLookup)
{
    return {_mm512_maskz_permutexvar_epi8(~__mmask64{0}, _mm512_srli_epi16(x, 4), digitLookup),
            _mm512_maskz_permutexvar_epi8(~__mmask64{0}, x, digitLookup)};
}

HEX_TARGET(HEX_AVX512_FORMAT) HEX_INLINE __m512i PieceText(const Avx512Digits& digits, int piece)
{
    return _mm512_mask2_permutex2var_epi8(digits.high, _mm512_load_si512(Avx512PieceIndexTable[piece].data()),
                                          Avx512PieceDigitsTable[piece], digits.low);
}

// Writes cLines full lines, any number.
HEX_TARGET(HEX_AVX512_FORMAT) HEX_FLATTEN HEX_ALIGN_STACK HEX_NOINLINE
void FormatLinesAvx512(const uint8_t* pSrc, uint32_t cLines, char* pDst)
{
    const __m512i digitLookup = _mm512_maskz_broadcast_i32x4(0xFFFF, _mm_loadu_si128(reinterpret_cast<const __m128i*>(HexDigitTable.data())));
    for (; cLines >= AVX512_GROUP_LINES; cLines -= AVX512_GROUP_LINES) {
        const Avx512Digits digits = LookUpDigits(_mm512_loadu_si512(pSrc), digitLookup);
        for (int piece = 0; piece < AVX512_PIECES; ++piece) _mm512_storeu_si512(pDst + Avx512PiecePos(piece), PieceText(digits, piece));
        pSrc += AVX512_GROUP_BYTES;
        pDst += AVX512_GROUP_CHARS;
    }
    if (cLines == 0) return;
    // The last one to three lines: their bytes by a masked load, which reads none of the rest, and their
    // characters by masked stores.
    const Avx512Digits digits = LookUpDigits(_mm512_maskz_loadu_epi8(~uint64_t{0} >> (64 - HEX_LINE_BYTES * cLines), pSrc), digitLookup);
    // Each piece by name, so that its index is a constant like those above rather than a second copy of the
    // table.
    const uint32_t cch = HEX_LINE_CHARS * cLines;
    _mm512_mask_storeu_epi8(pDst, ~uint64_t{0} >> (64 - std::min(cch, 64u)), PieceText(digits, 0));
    if (cch <= 64) return;
    _mm512_mask_storeu_epi8(pDst + 64, ~uint64_t{0} >> (64 - std::min(cch - 64, 64u)), PieceText(digits, 1));
    if (cch <= 128) return;
    _mm512_mask_storeu_epi8(pDst + 128, ~uint64_t{0} >> (192 - cch), PieceText(digits, 2));
}

struct Avx512Lines {
    static constexpr uintptr_t VECTOR_BYTES = 64;
    static HEX_INLINE void FormatLines(const uint8_t* pSrc, uint32_t cLines, char* pDst) { FormatLinesAvx512(pSrc, cLines, pDst); }
    HEX_TARGET(HEX_AVX512_FORMAT) static HEX_INLINE void StreamVector(char* pDst, const char* pStage)
    {
        _mm512_stream_si512(reinterpret_cast<__m512i*>(pDst), _mm512_load_si512(pStage));
    }
    HEX_TARGET(HEX_AVX512_FORMAT) static HEX_INLINE void Fence() { _mm_sfence(); }
};

}  // namespace

HEX_TARGET(HEX_AVX512_FORMAT) HEX_FLATTEN HEX_ALIGN_STACK
uint32_t BytesToHexTextAvx512(const uint8_t* pSrc, uint32_t cbSrc, char* pDst)
{
    return FormatHexTextWith<Avx512Lines>(pSrc, cbSrc, pDst);
}

#endif
