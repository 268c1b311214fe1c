// HexTextToBytes with AVX-512 VBMI and VBMI2: a block is one register. One
// vpermi2b gives every character its class and digit value; vpcompressb
// squeezes the digits of the block's pairs together in the register. The
// run shapes take one register a unit, or two units from two registers
// where their pairs fill one.
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

// Byte k: digit k of the unit (cUnits 1), or digit k % 32 of unit k / 32
// (cUnits 2, the second unit's from the second register), zero past its
// pairs.
template <size_t Row, uint32_t cUnits>
constexpr std::array<uint8_t, 64> MakeAvx512ShapeGather()
{
    constexpr HexShape shape = HexShapeTable[Row];
    std::array<uint8_t, 64> v{};
    for (uint32_t k = 0; k < 64; ++k) {
        const uint32_t unit = cUnits == 2 ? k / 32 : 0, digit = cUnits == 2 ? k % 32 : k;
        v[k] = digit / 2 < shape.cPairs ? static_cast<uint8_t>(unit << 6 | (shape.pairAt[digit / 2] + digit % 2)) : 0;
    }
    return v;
}

template <size_t Row, uint32_t cUnits>
alignas(64) inline constexpr std::array<uint8_t, 64> Avx512ShapeGatherTable = MakeAvx512ShapeGather<Row, cUnits>();

// Per character of a unit, its classes' digit and token bits (Kinds 0),
// or both bits (1), and nothing past it: the check is then one vpcmpb with
// no mask, which would have come from a general register on the shuffles'
// port.
template <size_t Row, int Kinds>
constexpr std::array<uint8_t, 64> MakeAvx512ShapeClasses()
{
    constexpr HexShape shape = HexShapeTable[Row];
    std::array<uint8_t, 64> v{};
    for (uint32_t k = 0; k < shape.cch; ++k) {
        v[k] = Kinds == 1 || (shape.digits >> k & 1) != 0 ? AVX512_DIGIT | AVX512_TOKEN : AVX512_TOKEN;
    }
    return v;
}

template <size_t Row, int Kinds>
alignas(64) inline constexpr std::array<uint8_t, 64> Avx512ShapeClassTable = MakeAvx512ShapeClasses<Row, Kinds>();

struct Avx512Shapes {
    struct Unit {
        __m512i classes;
        const char* p;
    };
    HEX_TARGET(HEX_AVX512) static HEX_INLINE Unit LoadUnit(const char* p) { return {ClassesAvx512(p), p}; }
    HEX_TARGET(HEX_AVX512) static HEX_INLINE uint64_t LineFeeds(const Unit& u) { return ClassBitsAvx512(u.classes, AVX512_LINE_FEED); }
    // Every character of the unit's span with the class the shape gives it.
    template <size_t Row>
    HEX_TARGET(HEX_AVX512) static HEX_INLINE bool Fits(const Unit& u)
    {
        const __m512i kinds = _mm512_and_si512(u.classes, _mm512_load_si512(Avx512ShapeClassTable<Row, 1>.data()));
        const __mmask64 wrong = _mm512_cmpneq_epi8_mask(kinds, _mm512_load_si512(Avx512ShapeClassTable<Row, 0>.data()));
        return _kortestz_mask64_u8(wrong, wrong) != 0;
    }
    template <size_t Row>
    static constexpr uint32_t UNITS_PER_STEP = Row == 3 ? 0 : 2 * HexShapeTable[Row].cPairs <= 32 ? 2 : 1;  // row 3 has row 2's classes
    template <size_t Row>
    HEX_TARGET(HEX_AVX512) static HEX_INLINE uint32_t ConvertUnits(const Unit& u, uint8_t* q)
    {
        if (!Fits<Row>(u)) return 0;
        // One gather for one unit or two: where the second is not there, its
        // half gathers from the first, and its bytes are the routine's scratch.
        __m512i second = u.classes;
        uint32_t cUnits = 1;
        if constexpr (UNITS_PER_STEP<Row> == 2) {
            const Unit next = LoadUnit(u.p + HexShapeTable[Row].cch);
            if (Fits<Row>(next)) {
                second = next.classes;
                cUnits = 2;
            }
        }
        const __m512i gather = _mm512_load_si512(Avx512ShapeGatherTable<Row, UNITS_PER_STEP<Row> == 2 ? 2 : 1>.data());
        StoreDigitPairsAvx512(_mm512_permutex2var_epi8(u.classes, gather, second), q);
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
