// HexTextToBytes with AVX2: a window is two 32-byte loads, and the 32
// digits of a shape are gathered into one register, a half in each lane.
#include "convert/hex_kernels_x86.h"
#include "convert/hex_parse_run.h"
#include "convert/hex_parse_vector.h"

#if HEXBIN_X86

#include <immintrin.h>

namespace {

// The formatter's line with zeros for its digits, in its two pieces.
constexpr ByteVector<32> kLineText0 = LineSeparators<32>(0);
constexpr ByteVector<32> kLineText1 = LineSeparators<32>(kLineSecondPiece);

struct Avx2Parser {
    HEX_TARGET("avx2") static HEX_INLINE __m256i Load32(const void* p)
    {
        return _mm256_loadu_si256(static_cast<const __m256i*>(p));
    }

    HEX_TARGET("avx2") static HEX_INLINE __m256i Broadcast16(const void* p)
    {
        return _mm256_broadcastsi128_si256(_mm_loadu_si128(static_cast<const __m128i*>(p)));
    }

    // Lane 0 from pLow, lane 1 from pHigh.
    HEX_TARGET("avx2") static HEX_INLINE __m256i Load2x16(const char* pLow, const char* pHigh)
    {
        return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pLow))),
                                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(pHigh)), 1);
    }

    // The class bits (hex_parse_shapes.h) of 32 characters.
    HEX_TARGET("avx2") static HEX_INLINE __m256i ClassBits(__m256i c)
    {
        const __m256i low4 = _mm256_set1_epi8(0x0F);
        return _mm256_and_si256(_mm256_shuffle_epi8(Broadcast16(kClassByHigh.data()), _mm256_and_si256(_mm256_srli_epi16(c, 4), low4)),
                                _mm256_shuffle_epi8(Broadcast16(kClassByLow.data()), _mm256_and_si256(c, low4)));
    }

    // Bit k set where character k of the 32 is not a hex digit.
    HEX_TARGET("avx2") static HEX_INLINE uint32_t NotDigitBits(__m256i cls)
    {
        const __m256i digitBits = _mm256_set1_epi8(static_cast<char>(kClassDigit));
        return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(cls, digitBits), _mm256_setzero_si256())));
    }

    HEX_TARGET("avx2") static HEX_INLINE HexWindowClasses Classify(const char* p)
    {
        uint64_t notDigit = 0, other = 0;
        for (int part = 0; part < 2; ++part) {
            const __m256i cls = ClassBits(Load32(p + 32 * part));
            notDigit |= static_cast<uint64_t>(NotDigitBits(cls)) << (32 * part);
            other |= static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(cls, _mm256_setzero_si256()))))
                     << (32 * part);
        }
        return {~notDigit, notDigit & ~other, kHexWindow};
    }

    // The 32 digit characters of the shape at p, a half in each lane.
    HEX_TARGET("avx2") static HEX_INLINE __m256i GatherDigits(const char* p, const HexShape& shape)
    {
        return _mm256_or_si256(
            _mm256_shuffle_epi8(Load2x16(p + shape.loadPos[0][0], p + shape.loadPos[1][0]), Load32(shape.gather[0].data())),
            _mm256_shuffle_epi8(Load2x16(p + shape.loadPos[0][1], p + shape.loadPos[1][1]), Load32(shape.gather[1].data())));
    }

    // Writes the 16 bytes of 32 hex digits, a half in each lane, to pOut.
    HEX_TARGET("avx2") static HEX_INLINE void StorePairs(__m256i digits, uint8_t* pOut)
    {
        // A digit's value is its low nibble, plus 9 for a letter (bit 6 set).
        const __m256i letter = _mm256_and_si256(digits, _mm256_set1_epi8(0x40));
        const __m256i values = _mm256_add_epi8(_mm256_and_si256(digits, _mm256_set1_epi8(0x0F)),
                                               _mm256_add_epi8(_mm256_srli_epi16(letter, 3), _mm256_srli_epi16(letter, 6)));
        // Eight 16-bit pair values a lane, packed to bytes within each lane;
        // the low quadwords of the two lanes are the 16 bytes in order.
        const __m256i pairs = _mm256_maddubs_epi16(values, Broadcast16(kPairWeights.data()));
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(pairs, pairs), 0x08);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut), _mm256_castsi256_si128(bytes));
    }

    HEX_TARGET("avx2") static HEX_INLINE void DecodeShape(const char* p, const HexShape& shape, uint8_t* pOut)
    {
        StorePairs(GatherDigits(p, shape), pOut);
    }

    // The line's 19 separators by comparison, its 32 digits once gathered;
    // reads the line's 51 characters only.
    HEX_TARGET("avx2") static HEX_INLINE bool DecodeLine(const char* p, uint8_t* pOut)
    {
        constexpr uint32_t kSeparators0 = LineSeparatorBits<32>(0);
        constexpr uint32_t kSeparators1 = LineSeparatorBits<32>(kLineSecondPiece);
        const auto same0 = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(Load32(p), Load32(kLineText0.data()))));
        const auto same1 = static_cast<uint32_t>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(Load32(p + kLineSecondPiece), Load32(kLineText1.data()))));
        if ((same0 & kSeparators0) != kSeparators0 || (same1 & kSeparators1) != kSeparators1) return false;

        const __m256i digits = GatherDigits(p, kLineShape);
        if (NotDigitBits(ClassBits(digits)) != 0) return false;
        StorePairs(digits, pOut);
        return true;
    }
};

HEX_TARGET("avx2") HEX_FLATTEN HEX_ALIGN_STACK
const char* RunHexBlocksAvx2(const char* p, const char* pLimit, uint8_t*& pOut)
{
    return RunHexBlocks<Avx2Parser>(p, pLimit, pOut);
}

}  // namespace

HexTextResult HexTextToBytesAvx2(const char* szText, uint8_t* pOut)
{
    return HexTextToBytesVector(szText, pOut, RunHexBlocksAvx2);
}

#endif
