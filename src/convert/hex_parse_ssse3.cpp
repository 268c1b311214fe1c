// HexTextToBytes with SSSE3: a window is four 16-byte loads, and the 32
// digits of a shape are gathered in two halves.
#include "convert/hex_kernels_x86.h"
#include "convert/hex_parse_run.h"
#include "convert/hex_parse_vector.h"

#if HEXBIN_X86

#include <immintrin.h>

namespace {

// The formatter's line in four pieces, [0,16) [16,32) [32,48) [35,51): the
// text with zeros for its digits, and bit k set where character k of the
// piece is a separator.
constexpr int kLinePiecePos[4] = {0, 16, 32, 35};
constexpr ByteVector<16> kLineText[4] = {LineSeparators<16>(0), LineSeparators<16>(16), LineSeparators<16>(32),
                                         LineSeparators<16>(35)};
constexpr uint32_t kLineSeparators[4] = {LineSeparatorBits<16>(0), LineSeparatorBits<16>(16), LineSeparatorBits<16>(32),
                                         LineSeparatorBits<16>(35)};

struct Ssse3Parser {
    HEX_TARGET("ssse3") static HEX_INLINE __m128i Load16(const void* p)
    {
        return _mm_loadu_si128(static_cast<const __m128i*>(p));
    }

    // The class bits (hex_parse_shapes.h) of 16 characters.
    HEX_TARGET("ssse3") static HEX_INLINE __m128i ClassBits(__m128i c)
    {
        const __m128i low4 = _mm_set1_epi8(0x0F);
        return _mm_and_si128(_mm_shuffle_epi8(Load16(kClassByHigh.data()), _mm_and_si128(_mm_srli_epi16(c, 4), low4)),
                             _mm_shuffle_epi8(Load16(kClassByLow.data()), _mm_and_si128(c, low4)));
    }

    // Bit k set where character k of the 16 is not a hex digit.
    HEX_TARGET("ssse3") static HEX_INLINE uint32_t NotDigitBits(__m128i cls)
    {
        const __m128i digitBits = _mm_set1_epi8(static_cast<char>(kClassDigit));
        return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(cls, digitBits), _mm_setzero_si128())));
    }

    HEX_TARGET("ssse3") static HEX_INLINE HexWindowClasses Classify(const char* p)
    {
        uint64_t notDigit = 0, other = 0;
        for (int part = 0; part < 4; ++part) {
            const __m128i cls = ClassBits(Load16(p + 16 * part));
            notDigit |= static_cast<uint64_t>(NotDigitBits(cls)) << (16 * part);
            other |= static_cast<uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(cls, _mm_setzero_si128()))) << (16 * part);
        }
        return {~notDigit, notDigit & ~other, kHexWindow};
    }

    // The 16 digit characters of one half of the shape at p.
    HEX_TARGET("ssse3") static HEX_INLINE __m128i GatherHalf(const char* p, const HexShape& shape, int half)
    {
        return _mm_or_si128(_mm_shuffle_epi8(Load16(p + shape.loadPos[half][0]), Load16(shape.gather[0].data() + 16 * half)),
                            _mm_shuffle_epi8(Load16(p + shape.loadPos[half][1]), Load16(shape.gather[1].data() + 16 * half)));
    }

    // The eight pair values (high digit * 16 + low digit, 16 bits each) of
    // 16 hex digits.
    HEX_TARGET("ssse3") static HEX_INLINE __m128i PairValues(__m128i digits)
    {
        // A digit's value is its low nibble, plus 9 for a letter (bit 6 set).
        const __m128i letter = _mm_and_si128(digits, _mm_set1_epi8(0x40));
        const __m128i values = _mm_add_epi8(_mm_and_si128(digits, _mm_set1_epi8(0x0F)),
                                            _mm_add_epi8(_mm_srli_epi16(letter, 3), _mm_srli_epi16(letter, 6)));
        return _mm_maddubs_epi16(values, Load16(kPairWeights.data()));
    }

    HEX_TARGET("ssse3") static HEX_INLINE void StorePairs(__m128i digits0, __m128i digits1, uint8_t* pOut)
    {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut), _mm_packus_epi16(PairValues(digits0), PairValues(digits1)));
    }

    HEX_TARGET("ssse3") static HEX_INLINE void DecodeShape(const char* p, const HexShape& shape, uint8_t* pOut)
    {
        StorePairs(GatherHalf(p, shape, 0), GatherHalf(p, shape, 1), pOut);
    }

    // The line's 19 separators by comparison, its 32 digits once gathered;
    // reads the line's 51 characters only.
    HEX_TARGET("ssse3") static HEX_INLINE bool DecodeLine(const char* p, uint8_t* pOut)
    {
        for (int piece = 0; piece < 4; ++piece) {
            const auto same = static_cast<uint32_t>(
                _mm_movemask_epi8(_mm_cmpeq_epi8(Load16(p + kLinePiecePos[piece]), Load16(kLineText[piece].data()))));
            if ((same & kLineSeparators[piece]) != kLineSeparators[piece]) return false;
        }
        const __m128i digits0 = GatherHalf(p, kLineShape, 0);
        const __m128i digits1 = GatherHalf(p, kLineShape, 1);
        if ((NotDigitBits(ClassBits(digits0)) | NotDigitBits(ClassBits(digits1))) != 0) return false;
        StorePairs(digits0, digits1, pOut);
        return true;
    }
};

HEX_TARGET("ssse3") HEX_FLATTEN HEX_ALIGN_STACK
const char* RunHexBlocksSsse3(const char* p, const char* pLimit, uint8_t*& pOut)
{
    return RunHexBlocks<Ssse3Parser>(p, pLimit, pOut);
}

}  // namespace

HexTextResult HexTextToBytesSsse3(const char* szText, uint8_t* pOut)
{
    return HexTextToBytesVector(szText, pOut, RunHexBlocksSsse3);
}

#endif
