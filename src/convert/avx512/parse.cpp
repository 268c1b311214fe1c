// HexTextToBytes with AVX-512 VBMI and VBMI2: a block is one register. One
// vpermi2b gives every character its class and digit value; vpcompressb
// squeezes the digits of the block's pairs together in the register, and
// a masked store writes exactly their bytes. Runs of pairs in the shapes
// the formatter and other tools write take one register, or two for 32
// pairs in a fixed shape.
#include "convert/generic/simd_target.h"

#if HEXBIN_AVX512

#include "convert/avx512/simd.h"
#include "convert/generic/parse_blocks.h"
#include "convert/generic/parse_runs.h"
#include "convert/generic/shapes.h"
#include "convert/hex_kernel.h"

namespace {

constexpr uint64_t AVX512_SPACED_HALF_BITS = BitsThrough(HEX_SPACED_HALF_CHARS - 1);
constexpr uint64_t AVX512_LINE16_BITS = BitsThrough(HEX_LINE16_CHARS - 1);
constexpr uint64_t AVX512_LINE_BITS = BitsThrough(HEX_LINE_CHARS - 1);

// Per character of a shape's 16 pairs, the class bit it has there, and
// nothing after them.
constexpr ByteVector<64> MakeAvx512ShapeTable(bool fFormatter)
{
    ByteVector<64> v = MakeShapeClassTable(fFormatter);
    for (uint8_t& c : v) c = c == CC_HEXDIGIT ? AVX512_DIGIT : c == CC_SEPARATOR ? AVX512_SEPARATOR : 0;
    return v;
}

alignas(64) constexpr ByteVector<64> Avx512Line16ShapeTable = MakeAvx512ShapeTable(false);
alignas(64) constexpr ByteVector<64> Avx512LineShapeTable = MakeAvx512ShapeTable(true);

// Bit k set where character k has the class that shape gives it.
HEX_TARGET(HEX_AVX512) HEX_INLINE uint64_t ShapeAvx512(__m512i classes, const ByteVector<64>& shape)
{
    return _mm512_test_epi8_mask(classes, _mm512_load_si512(shape.data()));
}

// 32 pairs of digit values (see PairBytesAvx512) to 32 bytes at q.
HEX_TARGET(HEX_AVX512) HEX_INLINE void ConvertValuePairsAvx512(__m512i values, uint8_t* q)
{
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(q), PairBytesAvx512(values));
}

// The 16 pairs of each load, by gather's places, to 32 bytes at q.
HEX_TARGET(HEX_AVX512) HEX_INLINE void ConvertPairs32Avx512(__m512i first, __m512i second, const ByteVector<64>& gather, uint8_t* q)
{
    ConvertValuePairsAvx512(DigitValuesAvx512(_mm512_permutex2var_epi8(first, _mm512_load_si512(gather.data()), second)), q);
}

// The run at p, of any shape. pLast as for the runs: a run may read the 65
// characters from any start before it, and where it reads from p + 64,
// write 64 bytes (see ConvertPairRunsWith).
HEX_TARGET(HEX_AVX512) HEX_INLINE HexPairRun ConvertPairRunAvx512(const char* p, const char* pLast, uint8_t* q)
{
    const __m512i classes = ClassesAvx512(_mm512_loadu_si512(p));
    // Where the second load starts is a branch, not a sum: the processor
    // then loads on the branch's guess, without waiting for these classes.
    if (p + HEX_LINE_CHARS < pLast) {
        const uint64_t line16 = ShapeAvx512(classes, Avx512Line16ShapeTable);
        if (line16 == AVX512_LINE16_BITS) {
            const __m512i second = ClassesAvx512(_mm512_loadu_si512(p + HEX_LINE16_CHARS));
            if (ShapeAvx512(second, Avx512Line16ShapeTable) == AVX512_LINE16_BITS) {
                ConvertPairs32Avx512(classes, second, SpacedGather32Table, q);
                return {2 * HEX_LINE16_CHARS, 2 * HEX_LINE_BYTES};
            }
        } else if ((line16 & AVX512_SPACED_HALF_BITS) == AVX512_SPACED_HALF_BITS) {
            const __m512i second = ClassesAvx512(_mm512_loadu_si512(p + HEX_SPACED_HALF_CHARS));
            if ((ShapeAvx512(second, Avx512Line16ShapeTable) & AVX512_SPACED_HALF_BITS) == AVX512_SPACED_HALF_BITS) {
                ConvertPairs32Avx512(classes, second, SpacedGather32Table, q);
                return {2 * HEX_SPACED_HALF_CHARS, 2 * HEX_LINE_BYTES};
            }
        } else if ((line16 & 4) != 0 && ShapeAvx512(classes, Avx512LineShapeTable) == AVX512_LINE_BITS) {  // not plain pairs
            const __m512i second = ClassesAvx512(_mm512_loadu_si512(p + HEX_LINE_CHARS));
            if (ShapeAvx512(second, Avx512LineShapeTable) == AVX512_LINE_BITS) {
                ConvertPairs32Avx512(classes, second, LineGather32Table, q);
                return {2 * HEX_LINE_CHARS, 2 * HEX_LINE_BYTES};
            }
        }
    }
    const uint64_t digits = DigitsAvx512(classes), separators = SeparatorsAvx512(classes);
    __m512i values = DigitValuesAvx512(classes);
    uint32_t cPairs = 0, cch = 0;
    // The third character tells the shapes apart, and turns most other
    // texts away.
    if ((digits & 4) != 0) {
        // 32 pairs fill the register, as in base16 lines longer than 64
        // characters: the run goes on in the next 64 (at a fixed place, so
        // that its load need not wait for these classes), rather than leave
        // the rest of the line to the blocks.
        if (digits == ~uint64_t{0} && p + HEX_BLOCK_CHARS < pLast) {
            const __m512i next = ClassesAvx512(_mm512_loadu_si512(p + HEX_BLOCK_CHARS));
            const auto cNext = static_cast<uint32_t>(std::countr_one(DigitsAvx512(next))) / 2;
            ConvertValuePairsAvx512(values, q);
            ConvertValuePairsAvx512(DigitValuesAvx512(next), q + HEX_PLAIN_PAIRS);
            return {HEX_BLOCK_CHARS + PlainRunChars(p + HEX_BLOCK_CHARS, cNext, SeparatorsAvx512(next)), HEX_PLAIN_PAIRS + cNext};
        }
        cPairs = static_cast<uint32_t>(std::countr_one(digits)) / 2;
        cch = PlainRunChars(p, cPairs, separators);
    } else if ((separators & 4) != 0) {
        // Pair i is whole where characters 3i and 3i + 1 are digits and
        // 3i + 2 a separator: its bit 3i in good, brought to bit i by pext,
        // a shorter way to the run's length than dividing a bit's place
        // by 3, which the next run's start waited for.
        const uint64_t good = digits & (digits >> 1) & (separators >> 2);
        cPairs = static_cast<uint32_t>(std::countr_one(_pext_u64(good, HEX_SPACED_RUN_SEPARATORS >> 2)));
        cch = 3 * cPairs + (static_cast<uint32_t>(separators >> (3 * cPairs)) & 1);
        values = _mm512_maskz_permutexvar_epi8(~__mmask64{0}, _mm512_load_si512(SpacedRunGatherTable.data()), values);
    }
    if (cPairs < HEX_RUN_MIN_PAIRS) return {0, 0};
    ConvertValuePairsAvx512(values, q);
    return {cch, cPairs};
}

struct Avx512Runs {
    static HEX_INLINE bool ConvertFormatterLine(const char*, uint8_t*) { return false; }  // a shape of ConvertPairRun
    HEX_TARGET(HEX_AVX512) static HEX_INLINE HexPairRun ConvertPairRun(const char* p, const char* pLast, uint8_t* q)
    {
        return ConvertPairRunAvx512(p, pLast, q);
    }
    static HEX_INLINE HexPairRun ConvertPlainTail(const char*, uint8_t*) { return {0, 0}; }  // a part of ConvertPairRun
    HEX_TARGET(HEX_AVX512) static HEX_INLINE uint64_t LineFeeds(const char* p) { return LineFeedsAvx512(p); }
};

HEX_TARGET(HEX_AVX512) HEX_NOINLINE HEX_FLATTEN HEX_ALIGN_STACK
HexRunsEnd ConvertPairRunsAvx512(const char* p, const char* pLast, uint8_t* q)
{
    return ConvertPairRunsWith<Avx512Runs>(p, pLast, q);
}

struct Avx512Parser {
    struct Block {
        __m512i classes;
        uint64_t digits;
        uint64_t others;
    };

    HEX_TARGET(HEX_AVX512) static HEX_INLINE Block LoadBlock(const char* p)
    {
        const __m512i classes = ClassesAvx512(_mm512_loadu_si512(p));
        return {classes, DigitsAvx512(classes),
                _mm512_testn_epi8_mask(classes, _mm512_set1_epi8(static_cast<char>(AVX512_DIGIT | AVX512_SEPARATOR)))};
    }

    static constexpr bool HAS_PAIR_RUNS = true;
    static HEX_INLINE HexRunsEnd ConvertPairRuns(const char* p, const char* pLast, uint8_t* q)
    {
        return ConvertPairRunsAvx512(p, pLast, q);
    }

    HEX_TARGET(HEX_AVX512) static HEX_INLINE HexCommentMasks CommentMasks(const Block& block)
    {
        return {_mm512_test_epi8_mask(block.classes, _mm512_set1_epi8(AVX512_SEMICOLON)),
                _mm512_test_epi8_mask(block.classes, _mm512_set1_epi8(AVX512_LINE_FEED))};
    }

    HEX_TARGET(HEX_AVX512) static HEX_INLINE uint8_t* StorePairs(const Block& block, uint64_t firsts, uint32_t lead,
                                                             uint32_t cLead, uint8_t* q)
    {
        const __m512i digits = _mm512_maskz_compress_epi8(firsts | (firsts << 1), DigitValuesAvx512(block.classes));
        const __m256i pairs = PairBytesAvx512(digits);
        q = StoreLead(lead, cLead, q);
        const auto cPairs = static_cast<uint32_t>(std::popcount(firsts));
        _mm256_mask_storeu_epi8(q, static_cast<__mmask32>((uint64_t{1} << cPairs) - 1), pairs);
        return q + cPairs;
    }
};

}  // namespace

HEX_TARGET(HEX_AVX512) HEX_FLATTEN HEX_ALIGN_STACK
HexTextResult HexTextToBytesAvx512(const char* szText, uint8_t* pOut)
{
    return ParseHexBlocks<Avx512Parser>(szText, pOut);
}

#endif
