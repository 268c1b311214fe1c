// HexTextToBytes with AVX-512 VBMI and VBMI2: a block is one register, one vpermi2b gives its characters'
// classes and digit values, vpcompressb squeezes its pairs' digits together in the register.
#include "convert/generic/simd_target.h"

#if HEXBIN_AVX512

#include "convert/avx512/simd.h"
#include "convert/generic/parse_text.h"
#include "convert/hex_kernel.h"

namespace {

struct Avx512Kernel {
    using Mask = uint64_t;
    static constexpr uint32_t BLOCK_CHARS = 64;
    using Shapes = struct Avx512Shapes;
    static constexpr bool CUT_BY_STORE = true;
    struct Block {
        __m512i classes;
        uint64_t digits;
        __mmask64 tokens;
    };

    HEX_TARGET(HEX_AVX512) static HEX_INLINE Block LoadBlock(const char* p)
    {
        const __m512i classes = ClassesAvx512(p);
        return {classes, _cvtmask64_u64(_mm512_movepi8_mask(classes)), _mm512_movepi8_mask(_mm512_add_epi8(classes, classes))};
    }
    // kortest sets the carry where the mask is all ones.
    HEX_TARGET(HEX_AVX512) static HEX_INLINE bool HasOthers(const Block& b) { return _kortestc_mask64_u8(b.tokens, b.tokens) == 0; }
    static HEX_INLINE Mask Digits(const Block& b) { return b.digits; }
    HEX_TARGET(HEX_AVX512) static HEX_INLINE Mask Others(const Block& b) { return ~_cvtmask64_u64(b.tokens); }
    HEX_TARGET(HEX_AVX512) static HEX_INLINE Mask Semicolons(const Block& b) { return ClassBitsAvx512(b.classes, AVX512_SEMICOLON); }
    HEX_TARGET(HEX_AVX512) static HEX_INLINE Mask LineFeeds(const Block& b) { return ClassBitsAvx512(b.classes, AVX512_LINE_FEED); }
    HEX_TARGET(HEX_AVX512) static HEX_INLINE uint8_t* StorePairs(const Block& b, Mask seconds, uint8_t* q)
    {
        StoreDigitPairsAvx512(_mm512_maskz_compress_epi8(_cvtu64_mask64(seconds | (seconds >> 1)), b.classes), q);
        return q + std::popcount(seconds);
    }
};

// The run shapes: a unit checked by its characters' classes, and its pairs gathered by one vpermi2b, for one
// unit or two from two registers where their pairs fill one.
struct Avx512Shapes {
    struct Unit {
        __m512i classes;
        const char* p;
    };
    struct alignas(64) Learned {
        std::array<uint8_t, 64> gather;  // digit k of the unit, then a second unit's (bit 6), zero past
        // Per character, its digit and token bits, and the bits looked at, none past the unit: one vpcmpb,
        // with no mask from a general register.
        std::array<uint8_t, 64> kinds, looked;
        uint32_t cch = 0, cPairs = 0, cMost = 0;
    };
    HEX_TARGET(HEX_AVX512) static HEX_INLINE Unit LoadUnit(const char* p) { return {ClassesAvx512(p), p}; }
    static constexpr bool LEARNS_AT_TEXT = true;
    static constexpr bool LAST_APART = false;
    static HEX_INLINE uint32_t ConvertRun(const Learned& learned, Unit u, const char*& p, uint8_t*& q, const HexKnown& known)
    {
        return ConvertShapeRun<Avx512Shapes>(learned, u, p, q, known);
    }
    // From the characters, not the classes: a comment line's end waits for no shuffle.
    HEX_TARGET(HEX_AVX512) static HEX_INLINE uint64_t LineFeeds(const Unit& u) { return ~_mm512_cmpneq_epi8_mask(_mm512_loadu_si512(u.p), _mm512_set1_epi8('\n')); }
    HEX_TARGET(HEX_AVX512) static HEX_INLINE HexCharMasks Masks(const char* p)
    {
        const __m512i classes = ClassesAvx512(p);
        return {ClassBitsAvx512(classes, AVX512_DIGIT), ClassBitsAvx512(classes, AVX512_TOKEN), ClassBitsAvx512(classes, AVX512_LINE_FEED)};
    }
    HEX_TARGET(HEX_AVX512) static HEX_INLINE bool Learn(const HexShape& shape, const char* p, Learned& l)
    {
        l.cch = shape.cch;
        l.cPairs = shape.cPairs;
        l.cMost = 2 * shape.cPairs <= 32 ? 2 : 1;
        const HexCharMasks next = Masks(p + shape.cch);
        if (l.cMost * shape.cch < 56) return false;  // a step shorter than a block's is slower than blocks
        if ((~next.tokens & shape.span) != 0 || (next.digits & shape.span) != shape.digits) return false;
        const __mmask64 span = _cvtu64_mask64(shape.span), digits = _cvtu64_mask64(shape.digits);
        const __m512i both = _mm512_set1_epi8(static_cast<char>(AVX512_DIGIT | AVX512_TOKEN));
        _mm512_store_si512(l.looked.data(), _mm512_maskz_mov_epi8(span, both));
        _mm512_store_si512(l.kinds.data(), _mm512_mask_mov_epi8(_mm512_maskz_mov_epi8(span, _mm512_set1_epi8(AVX512_TOKEN)), digits, both));
        // The digits' places, then the same in the second register for a second unit.
        const __m512i places = _mm512_maskz_compress_epi8(digits, _mm512_load_si512(Avx512PlaceTable.data()));
        const uint32_t cDigits = 2 * shape.cPairs;
        const uint64_t second = l.cMost == 2 ? (~uint64_t{0} >> (64 - 2 * cDigits)) & ~(~uint64_t{0} >> (64 - cDigits)) : 0;
        const __m512i inSecond = _mm512_maskz_expand_epi8(_cvtu64_mask64(second), _mm512_add_epi8(places, _mm512_set1_epi8(64)));
        _mm512_store_si512(l.gather.data(), _mm512_mask_mov_epi8(places, _cvtu64_mask64(second), inSecond));
        return true;
    }
    // Nonzero where a character of the unit's span lacks the class the shape gives it.
    HEX_TARGET(HEX_AVX512) static HEX_INLINE __mmask64 Wrong(const Learned& l, const Unit& u)
    {
        const __m512i kinds = _mm512_and_si512(u.classes, _mm512_load_si512(l.looked.data()));
        return _mm512_cmpneq_epi8_mask(kinds, _mm512_load_si512(l.kinds.data()));
    }
    HEX_TARGET(HEX_AVX512) static HEX_INLINE uint32_t ConvertUnits(const Learned& l, const Unit& u, uint8_t* q)
    {
        // One gather for one unit or two: where the second is not there, its half gathers from the first, and
        // its bytes are the routine's scratch.
        const __mmask64 wrong = Wrong(l, u);
        __m512i second = u.classes;
        uint32_t cUnits = 1;
        if (l.cMost == 2) {
            const Unit next = LoadUnit(u.p + l.cch);
            if (_kortestz_mask64_u8(wrong, Wrong(l, next)) != 0) {
                second = next.classes;
                cUnits = 2;
            }
        }
        if (cUnits == 1 && _kortestz_mask64_u8(wrong, wrong) == 0) return 0;
        StoreDigitPairsAvx512(_mm512_permutex2var_epi8(u.classes, _mm512_load_si512(l.gather.data()), second), q);
        return cUnits;
    }
};

}  // namespace

HEX_TARGET(HEX_AVX512) HEX_FLATTEN HEX_ALIGN_STACK
HexTextResult HexTextToBytesAvx512(const char* szText, uint8_t* pOut)
{
    return ParseHexBlocks<Avx512Kernel>(szText, pOut);
}

#endif
