// BytesToHexText with SSSE3: one line per iteration, four 16-byte stores.
#include "convert/generic/simd_target.h"

#if HEXBIN_X86

#include "convert/generic/line_layout.h"
#include "convert/hex_kernel.h"
#include "convert/ssse3/simd.h"

namespace {

// Stores cover [0,16), [16,32), [32,48) and [35,51): the last overlaps the third so the line ends exactly at
// its LF and nothing past it is written.
constexpr int Ssse3StorePosTable[4] = {0, 16, 32, 35};

// Per store: the digits of pairs 0-7 (digits 0-15), of pairs 8-15 (digits 16-31), and the separators.
constexpr ByteVector<16> Ssse3FromLowShuffleTable[4] = {MakeLineDigitShuffleTable<16>(0, 0), MakeLineDigitShuffleTable<16>(16, 0),
                                        MakeLineDigitShuffleTable<16>(32, 0), MakeLineDigitShuffleTable<16>(35, 0)};
constexpr ByteVector<16> Ssse3FromHighShuffleTable[4] = {MakeLineDigitShuffleTable<16>(0, 16), MakeLineDigitShuffleTable<16>(16, 16),
                                         MakeLineDigitShuffleTable<16>(32, 16), MakeLineDigitShuffleTable<16>(35, 16)};
constexpr ByteVector<16> Ssse3SeparatorsTable[4] = {MakeLineSeparatorTable<16>(0), MakeLineSeparatorTable<16>(16),
                                           MakeLineSeparatorTable<16>(32), MakeLineSeparatorTable<16>(35)};

HEX_TARGET("ssse3") HEX_FLATTEN HEX_ALIGN_STACK
void FormatLinesSsse3(const uint8_t* pSrc, uint32_t cLines, char* pDst)
{
    const __m128i digits = Load16(HexDigitTable.data());

    for (uint32_t i = 0; i < cLines; ++i) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pSrc));
        const __m128i hi = _mm_shuffle_epi8(digits, HighNibblesSsse3(x));
        const __m128i lo = _mm_shuffle_epi8(digits, _mm_and_si128(x, _mm_set1_epi8(0x0F)));
        const __m128i pairs0to7 = _mm_unpacklo_epi8(hi, lo);
        const __m128i pairs8to15 = _mm_unpackhi_epi8(hi, lo);
        for (int s = 0; s < 4; ++s) {
            const __m128i low = _mm_shuffle_epi8(pairs0to7, Load16(Ssse3FromLowShuffleTable[s].data()));
            const __m128i high = _mm_shuffle_epi8(pairs8to15, Load16(Ssse3FromHighShuffleTable[s].data()));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(pDst + Ssse3StorePosTable[s]), _mm_or_si128(_mm_or_si128(low, high), Load16(Ssse3SeparatorsTable[s].data())));
        }
        pSrc += HEX_LINE_BYTES;
        pDst += HEX_LINE_CHARS;
    }
}

}  // namespace

uint32_t BytesToHexTextSsse3(const uint8_t* pSrc, uint32_t cbSrc, char* pDst)
{
    const uint32_t cLines = VectorLineCount(cbSrc);
    FormatLinesSsse3(pSrc, cLines, pDst);
    return FinishHexText(pSrc, cbSrc, pDst, cLines);
}

#endif
