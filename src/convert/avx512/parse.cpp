// HexTextToBytes with AVX-512 VBMI and VBMI2: a block is one register. One
// vpermi2b gives every character its class and digit value; vpcompressb
// squeezes the digits of the block's pairs together in the register, and
// a masked store writes exactly their bytes. Runs of pairs in the shapes
// the formatter and other tools write take one register, or two for 32
// pairs in a fixed shape.
#include "convert/generic/simd_target.h"

#if HEXBIN_AVX512

#include "convert/avx512/runs.h"
#include "convert/avx512/simd.h"
#include "convert/generic/parse_blocks.h"
#include "convert/hex_kernel.h"

namespace {

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
