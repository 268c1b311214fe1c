// HexTextToBytes with SSSE3: a window is four 16-byte loads, and the 32
// digits of a shape are gathered in two halves.
#include "convert/hex_kernels_x86.h"
#include "convert/hex_parse_shapes.h"
#include "convert/hex_parse_vector.h"

#if HEXBIN_X86

#include <immintrin.h>

namespace {

HEX_TARGET("ssse3") HEX_FORCEINLINE __m128i Load16(const void* p)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

// The classes of the 16 characters from p, as bits part * 16 up.
HEX_TARGET("ssse3") HEX_FORCEINLINE void ClassifyPartSsse3(const char* p, int part, uint64_t& notDigit, uint64_t& other)
{
    const __m128i low4 = _mm_set1_epi8(0x0F);
    const __m128i zero = _mm_setzero_si128();
    const __m128i c = Load16(p + 16 * part);
    const __m128i cls = _mm_and_si128(_mm_shuffle_epi8(Load16(kClassByHigh.data()), _mm_and_si128(_mm_srli_epi16(c, 4), low4)),
                                      _mm_shuffle_epi8(Load16(kClassByLow.data()), _mm_and_si128(c, low4)));
    const __m128i digitBits = _mm_set1_epi8(static_cast<char>(kClassDigit));
    notDigit |= static_cast<uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(cls, digitBits), zero))) << (16 * part);
    other |= static_cast<uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(cls, zero))) << (16 * part);
}

// The classes of the 64 characters from p.
HEX_TARGET("ssse3") HEX_FORCEINLINE HexWindowClasses ClassifySsse3(const char* p)
{
    uint64_t notDigit = 0, other = 0;
    ClassifyPartSsse3(p, 0, notDigit, other);
    ClassifyPartSsse3(p, 1, notDigit, other);
    ClassifyPartSsse3(p, 2, notDigit, other);
    ClassifyPartSsse3(p, 3, notDigit, other);
    return {~notDigit, notDigit & ~other, kHexWindow};
}

// The eight pair values (high digit * 16 + low digit, 16 bits each) of one
// half of the shape at p.
HEX_TARGET("ssse3") HEX_FORCEINLINE __m128i DecodeHalfSsse3(const char* p, const HexShape& shape, int half)
{
    const __m128i digits =
        _mm_or_si128(_mm_shuffle_epi8(Load16(p + shape.loadPos[half][0]), Load16(shape.gather[0].data() + 16 * half)),
                     _mm_shuffle_epi8(Load16(p + shape.loadPos[half][1]), Load16(shape.gather[1].data() + 16 * half)));
    // A digit's value is its low nibble, plus 9 for a letter (bit 6 set).
    const __m128i letter = _mm_and_si128(digits, _mm_set1_epi8(0x40));
    const __m128i values = _mm_add_epi8(_mm_and_si128(digits, _mm_set1_epi8(0x0F)),
                                        _mm_add_epi8(_mm_srli_epi16(letter, 3), _mm_srli_epi16(letter, 6)));
    return _mm_maddubs_epi16(values, Load16(kPairWeights.data()));
}

// Writes the 16 bytes of the shape at p to pOut.
HEX_TARGET("ssse3") HEX_FORCEINLINE void DecodeShapeSsse3(const char* p, const HexShape& shape, uint8_t* pOut)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut),
                     _mm_packus_epi16(DecodeHalfSsse3(p, shape, 0), DecodeHalfSsse3(p, shape, 1)));
}

HEX_TARGET("ssse3")
const char* RunHexBlocksSsse3(const char* p, const char* pLimit, uint8_t*& pOut)
{
    uint8_t* q = pOut;
    HexWindowClasses w{0, 0, 0};
    for (;;) {
        if (const HexShape* shape = MatchHexShape(w)) {
            DecodeShapeSsse3(p, *shape, q);
            q += 16;
            p += shape->cch;
            ConsumeClasses(w, shape->cch);
        } else if (w.separators & 1) {
            const uint32_t cch = LeadingSeparators(w);
            p += cch;
            ConsumeClasses(w, cch);
        } else if (const uint32_t cPairs = ShortRunPairs(w)) {
            alignas(16) uint8_t decoded[16];
            DecodeShapeSsse3(p, kPlainShape, decoded);
            CopyShortRun(q, decoded, cPairs);
            q += cPairs;
            p += 2 * cPairs;
            ConsumeClasses(w, 2 * cPairs);
        } else if (w.cValid == kHexWindow || pLimit - p < static_cast<ptrdiff_t>(kHexWindow)) {
            break;  // a whole window not recognised, or the known text ends
        } else {
            w = ClassifySsse3(p);
        }
    }
    pOut = q;
    return p;
}

}  // namespace

HexTextResult HexTextToBytesSsse3(const char* szText, uint8_t* pOut)
{
    return HexTextToBytesVector(szText, pOut, RunHexBlocksSsse3);
}

#endif
