// HexTextToBytes with AVX2: a window is two 32-byte loads, and the 32
// digits of a shape are gathered into one register, a half in each lane.
#include "convert/hex_kernels_x86.h"
#include "convert/hex_parse_shapes.h"
#include "convert/hex_parse_vector.h"

#if HEXBIN_X86

#include <immintrin.h>

#include <bit>

namespace {

HEX_TARGET("avx2") inline __m256i Load32(const void* p)
{
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}

HEX_TARGET("avx2") inline __m256i Broadcast16(const ByteVector<16>& v)
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v.data())));
}

// Lane 0 from pLow, lane 1 from pHigh.
HEX_TARGET("avx2") inline __m256i Load2x16(const char* pLow, const char* pHigh)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pLow))),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(pHigh)), 1);
}

// Everything stays in registers: a __m256i spilled to the Windows stack
// would not be 32-byte aligned.
HEX_TARGET("avx2")
const char* RunHexBlocksAvx2(const char* p, const char* pLimit, uint8_t*& pOut)
{
    const __m256i low4 = _mm256_set1_epi8(0x0F);
    const __m256i byHigh = Broadcast16(kClassByHigh);
    const __m256i byLow = Broadcast16(kClassByLow);
    const __m256i digitBits = _mm256_set1_epi8(static_cast<char>(kClassDigit));
    const __m256i separatorBits = _mm256_set1_epi8(static_cast<char>(kClassSeparator));
    const __m256i letterBit = _mm256_set1_epi8(0x40);
    const __m256i weights = Broadcast16(kPairWeights);
    const __m256i zero = _mm256_setzero_si256();
    uint8_t* q = pOut;

    while (pLimit - p >= static_cast<ptrdiff_t>(kHexWindow)) {
        // Bit k of notDigit / notSeparator: character k is not one.
        uint64_t notDigit = 0, notSeparator = 0;
        for (int part = 0; part < 2; ++part) {
            const __m256i c = Load32(p + 32 * part);
            const __m256i cls =
                _mm256_and_si256(_mm256_shuffle_epi8(byHigh, _mm256_and_si256(_mm256_srli_epi16(c, 4), low4)),
                                 _mm256_shuffle_epi8(byLow, _mm256_and_si256(c, low4)));
            const auto d = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(cls, digitBits), zero)));
            const auto s = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(cls, separatorBits), zero)));
            notDigit |= static_cast<uint64_t>(d) << (32 * part);
            notSeparator |= static_cast<uint64_t>(s) << (32 * part);
        }

        const HexShape* shape = MatchHexShape(~notDigit, ~notSeparator);
        if (shape == nullptr) {
            if (notSeparator & 1) break;  // neither a shape nor a separator: not ours
            p += std::countr_zero(notSeparator);
            continue;
        }

        const __m256i digits = _mm256_or_si256(
            _mm256_shuffle_epi8(Load2x16(p + shape->loadPos[0][0], p + shape->loadPos[1][0]), Load32(shape->gather[0].data())),
            _mm256_shuffle_epi8(Load2x16(p + shape->loadPos[0][1], p + shape->loadPos[1][1]), Load32(shape->gather[1].data())));
        // A digit's value is its low nibble, plus 9 for a letter (bit 6 set).
        const __m256i letter = _mm256_and_si256(digits, letterBit);
        const __m256i values = _mm256_add_epi8(_mm256_and_si256(digits, low4),
                                               _mm256_add_epi8(_mm256_srli_epi16(letter, 3), _mm256_srli_epi16(letter, 6)));
        // Eight 16-bit pair values a lane, packed to bytes within each lane;
        // the low quadwords of the two lanes are the 16 bytes in order.
        const __m256i pairs = _mm256_maddubs_epi16(values, weights);
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(pairs, pairs), 0x08);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q), _mm256_castsi256_si128(bytes));
        q += 16;
        p += shape->cch;
    }
    pOut = q;
    return p;
}

}  // namespace

HexTextResult HexTextToBytesAvx2(const char* szText, uint8_t* pOut)
{
    return HexTextToBytesVector(szText, pOut, RunHexBlocksAvx2);
}

#endif
