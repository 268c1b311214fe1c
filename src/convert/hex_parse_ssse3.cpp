// HexTextToBytes with SSSE3: a window is four 16-byte loads.
#include "convert/hex_kernels_x86.h"
#include "convert/hex_parse_shapes.h"
#include "convert/hex_parse_vector.h"

#if HEXBIN_X86

#include <immintrin.h>

#include <bit>

namespace {

HEX_TARGET("ssse3") inline __m128i Load16(const void* p)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

HEX_TARGET("ssse3")
const char* RunHexBlocksSsse3(const char* p, const char* pLimit, uint8_t*& pOut)
{
    const __m128i low4 = _mm_set1_epi8(0x0F);
    const __m128i byHigh = Load16(kClassByHigh.data());
    const __m128i byLow = Load16(kClassByLow.data());
    const __m128i digitBits = _mm_set1_epi8(static_cast<char>(kClassDigit));
    const __m128i separatorBits = _mm_set1_epi8(static_cast<char>(kClassSeparator));
    const __m128i letterBit = _mm_set1_epi8(0x40);
    const __m128i weights = Load16(kPairWeights.data());
    const __m128i zero = _mm_setzero_si128();
    uint8_t* q = pOut;

    while (pLimit - p >= static_cast<ptrdiff_t>(kHexWindow)) {
        // Bit k of notDigit / notSeparator: character k is not one.
        uint64_t notDigit = 0, notSeparator = 0;
        for (int part = 0; part < 4; ++part) {
            const __m128i c = Load16(p + 16 * part);
            const __m128i cls = _mm_and_si128(_mm_shuffle_epi8(byHigh, _mm_and_si128(_mm_srli_epi16(c, 4), low4)),
                                              _mm_shuffle_epi8(byLow, _mm_and_si128(c, low4)));
            const auto d = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(cls, digitBits), zero)));
            const auto s = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(cls, separatorBits), zero)));
            notDigit |= static_cast<uint64_t>(d) << (16 * part);
            notSeparator |= static_cast<uint64_t>(s) << (16 * part);
        }

        const HexShape* shape = MatchHexShape(~notDigit, ~notSeparator);
        if (shape == nullptr) {
            if (notSeparator & 1) break;  // neither a shape nor a separator: not ours
            p += std::countr_zero(notSeparator);
            continue;
        }

        __m128i pairs[2];
        for (int half = 0; half < 2; ++half) {
            const __m128i digits =
                _mm_or_si128(_mm_shuffle_epi8(Load16(p + shape->loadPos[half][0]), Load16(shape->gather[0].data() + 16 * half)),
                             _mm_shuffle_epi8(Load16(p + shape->loadPos[half][1]), Load16(shape->gather[1].data() + 16 * half)));
            // A digit's value is its low nibble, plus 9 for a letter (bit 6 set).
            const __m128i letter = _mm_and_si128(digits, letterBit);
            const __m128i values = _mm_add_epi8(_mm_and_si128(digits, low4),
                                                _mm_add_epi8(_mm_srli_epi16(letter, 3), _mm_srli_epi16(letter, 6)));
            pairs[half] = _mm_maddubs_epi16(values, weights);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q), _mm_packus_epi16(pairs[0], pairs[1]));
        q += 16;
        p += shape->cch;
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
