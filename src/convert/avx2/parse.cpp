// HexTextToBytes with AVX2: a block is two registers, classified by two
// nibble lookups each; its pairs are squeezed out of 32 slots. Runs of
// pairs in the shapes of runs.h go in one step each.
#include "convert/generic/simd_target.h"

#if HEXBIN_X86

#include "convert/avx2/runs.h"
#include "convert/avx2/simd.h"
#include "convert/generic/parse_blocks.h"
#include "convert/hex_kernel.h"
#include "convert/x86/slots.h"

namespace {

HEX_TARGET("avx2") HexRunsEnd ConvertPairRunsAvx2(const char* p, const char* pLast, uint8_t* q);

struct Avx2Parser {
    struct Block {
        __m256i chars0, chars1;
        __m256i classes0, classes1;
        uint64_t digits;
        uint64_t others;
    };

    template <int Shift>
    HEX_TARGET("avx2") static HEX_INLINE uint64_t TopBits(__m256i v)
    {
        return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_slli_epi16(v, Shift)));
    }

    HEX_TARGET("avx2") static HEX_INLINE Block LoadBlock(const char* p)
    {
        const __m256i chars0 = Load32(p), chars1 = Load32(p + 32);
        const __m256i classes0 = ClassesAvx2(chars0), classes1 = ClassesAvx2(chars1);
        return {chars0, chars1, classes0, classes1,
                TopAfterAddingAvx2(classes0, HEX_DIGIT_TO_TOP) | TopAfterAddingAvx2(classes1, HEX_DIGIT_TO_TOP) << 32,
                ~(TopAfterAddingAvx2(classes0, HEX_TOKEN_TO_TOP) | TopAfterAddingAvx2(classes1, HEX_TOKEN_TO_TOP) << 32)};
    }

    static constexpr bool HAS_PAIR_RUNS = true;
    static HEX_INLINE HexRunsEnd ConvertPairRuns(const char* p, const char* pLast, uint8_t* q)
    {
        return ConvertPairRunsAvx2(p, pLast, q);
    }

    HEX_TARGET("avx2") static HEX_INLINE HexCommentMasks CommentMasks(const Block& block)
    {
        return {TopBits<HEX_SEMICOLON_TO_TOP>(block.classes0) | TopBits<HEX_SEMICOLON_TO_TOP>(block.classes1) << 32,
                TopBits<HEX_LINE_FEED_TO_TOP>(block.classes0) | TopBits<HEX_LINE_FEED_TO_TOP>(block.classes1) << 32};
    }

    HEX_TARGET("avx2") static HEX_INLINE uint8_t* StorePairs(const Block& block, uint64_t firsts, uint32_t lead, uint32_t cLead, uint8_t* q)
    {
        q = StoreLead(lead, cLead, q);
        const __m256i values0 = DigitValuesAvx2(block.chars0), values1 = DigitValuesAvx2(block.chars1);
        // The digit values moved by one character; the block's last
        // character never starts a pair here, so nothing moves in after it.
        const __m256i after0 = _mm256_alignr_epi8(_mm256_permute2x128_si256(values0, values1, 0x21), values0, 1);
        const __m256i after1 = _mm256_alignr_epi8(_mm256_permute2x128_si256(values1, values1, 0x81), values1, 1);
        const __m256i even = PairsOfWordsAvx2(values0, values1), odd = PairsOfWordsAvx2(after0, after1);

        const __m256i maskBytes = _mm256_shuffle_epi8(_mm256_set1_epi64x(static_cast<long long>(firsts)),
                                                      Load32(SlotMaskByte.data()));
        const __m256i evenBit = Broadcast16Avx2(SlotEvenBit);
        const __m256i slots = _mm256_blendv_epi8(odd, even, _mm256_cmpeq_epi8(_mm256_and_si256(maskBytes, evenBit), evenBit));
        const uint32_t keep = ~static_cast<uint32_t>(_mm256_movemask_epi8(
            _mm256_cmpeq_epi8(_mm256_and_si256(maskBytes, Broadcast16Avx2(SlotBothBits)), _mm256_setzero_si256())));
        q = StoreKeptSlots(_mm256_castsi256_si128(slots), keep, q);
        return StoreKeptSlots(_mm256_extracti128_si256(slots, 1), keep >> 16, q);
    }
};

struct Avx2Runs {
    HEX_TARGET("avx2") static HEX_INLINE bool ConvertFormatterLine(const char* p, uint8_t* q) { return ConvertFormatterLineAvx2(p, q); }
    HEX_TARGET("avx2") static HEX_INLINE HexPairRun ConvertPairRun(const char* p, const char*, uint8_t* q)
    {
        return ConvertPairRunAvx2(p, q);
    }
    HEX_TARGET("avx2") static HEX_INLINE HexPairRun ConvertPlainTail(const char* p, uint8_t* q) { return ConvertPlainPairsAvx2(p, q, 1); }
    HEX_TARGET("avx2") static HEX_INLINE uint64_t LineFeeds(const char* p) { return LineFeedsAvx2(p); }
};

HEX_TARGET("avx2") HEX_NOINLINE HEX_FLATTEN HEX_ALIGN_STACK
HexRunsEnd ConvertPairRunsAvx2(const char* p, const char* pLast, uint8_t* q)
{
    return ConvertPairRunsWith<Avx2Runs>(p, pLast, q);
}

}  // namespace

HEX_TARGET("avx2") HEX_FLATTEN HEX_ALIGN_STACK
HexTextResult HexTextToBytesAvx2(const char* szText, uint8_t* pOut)
{
    return ParseHexBlocks<Avx2Parser>(szText, pOut);
}

#endif
