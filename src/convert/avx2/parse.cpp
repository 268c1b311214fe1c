// HexTextToBytes with AVX2: a block is two registers, classified by two
// nibble lookups each; its pairs are squeezed out of 32 slots. Runs of
// pairs in the shapes of generic/shapes.h go in one step each.
#include "convert/generic/simd_target.h"

#if HEXBIN_X86

#include "convert/avx2/simd.h"
#include "convert/generic/parse_blocks.h"
#include "convert/generic/parse_runs.h"
#include "convert/generic/shapes.h"
#include "convert/hex_kernel.h"

namespace {

// Writes the 16 bytes of the formatter's line at p, if one is there, or
// returns false. Most other texts fail at the CR.
HEX_TARGET("avx2") HEX_INLINE bool ConvertFormatterLineAvx2(const char* p, uint8_t* q)
{
    if (p[HEX_LINE_CHARS - 2] != '\r') return false;
    constexpr uint32_t SEPARATORS0 = LineSeparatorBits<32>(0);
    constexpr uint32_t SEPARATORS1 = LineSeparatorBits<32>(HEX_LINE_SECOND_PIECE);
    const auto same0 = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(Load32(p), Load32(LineText0Table.data()))));
    const auto same1 = static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(Load32(p + HEX_LINE_SECOND_PIECE), Load32(LineText1Table.data()))));
    if ((((same0 & SEPARATORS0) ^ SEPARATORS0) | ((same1 & SEPARATORS1) ^ SEPARATORS1)) != 0) return false;

    const __m256i digits = _mm256_or_si256(
        _mm256_shuffle_epi8(LoadLine2x16(p + LineLoadPosTable[0][0], p + LineLoadPosTable[1][0]), Load32(LineGather0Table.data())),
        _mm256_shuffle_epi8(LoadLine2x16(p + LineLoadPosTable[0][1], p + LineLoadPosTable[1][1]), Load32(LineGather1Table.data())));
    if (TopAfterAddingAvx2(ClassesAvx2(digits), HEX_DIGIT_TO_TOP) != 0xFFFFFFFF) return false;
    const __m256i values = DigitValuesAvx2(digits);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(q), _mm256_castsi256_si128(PairsOfWordsAvx2(values, values)));
    return true;
}

// Pairs with no separator between them, as xxd -p and base16 encoders
// write them: up to 32, from the 64 characters at p, and the separator
// after them; none where fewer than cMinPairs. Writes 32 bytes, of which
// the run's count are its pairs.
HEX_TARGET("avx2") HEX_INLINE HexPairRun ConvertPlainPairsAvx2(const char* p, uint8_t* q, uint32_t cMinPairs = HEX_RUN_MIN_PAIRS)
{
    const __m256i chars0 = Load32(p), chars1 = Load32(p + 32);
    const __m256i classes0 = ClassesAvx2(chars0), classes1 = ClassesAvx2(chars1);
    const uint64_t digits = TopAfterAddingAvx2(classes0, HEX_DIGIT_TO_TOP) | TopAfterAddingAvx2(classes1, HEX_DIGIT_TO_TOP) << 32;
    // A separator is a token that is not a digit.
    const uint64_t separators = (TopAfterAddingAvx2(classes0, HEX_TOKEN_TO_TOP) | TopAfterAddingAvx2(classes1, HEX_TOKEN_TO_TOP) << 32) & ~digits;
    const auto cPairs = static_cast<uint32_t>(std::countr_one(digits)) / 2;
    if (cPairs < cMinPairs) return {0, 0};
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(q), PairsOfWordsAvx2(DigitValuesAvx2(chars0), DigitValuesAvx2(chars1)));
    return {PlainRunChars(p, cPairs, separators), cPairs};
}

// Pairs each followed by one separator, as od, hexdump and Python's
// bytes.hex(' ') write them: up to 16, from the 48 characters at p, and
// one more separator after 16. Writes 16 bytes, of which the run's count
// are its pairs.
HEX_TARGET("avx2") HEX_INLINE HexPairRun ConvertSpacedPairsAvx2(const char* p, uint8_t* q)
{
    const __m256i load0 = LoadLine2x16(p + SpacedLoadPosTable[0], p + 24 + SpacedLoadPosTable[0]);
    const __m256i load1 = LoadLine2x16(p + SpacedLoadPosTable[1], p + 24 + SpacedLoadPosTable[1]);
    const __m256i digits = _mm256_or_si256(_mm256_shuffle_epi8(load0, Load32(SpacedDigits0Table.data())),
                                           _mm256_shuffle_epi8(load1, Load32(SpacedDigits1Table.data())));
    const __m256i separators = _mm256_or_si256(_mm256_shuffle_epi8(load0, Load32(SpacedSeparators0Table.data())),
                                               _mm256_shuffle_epi8(load1, Load32(SpacedSeparators1Table.data())));
    const __m256i separatorBits = _mm256_and_si256(ClassesAvx2(separators), _mm256_set1_epi8(HEX_BITS_SEPARATOR));
    const auto fine = static_cast<uint32_t>(TopAfterAddingAvx2(ClassesAvx2(digits), HEX_DIGIT_TO_TOP)) &
                      ~static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(separatorBits, _mm256_setzero_si256())));
    const auto cPairs = static_cast<uint32_t>(std::countr_one(fine)) / 2;
    if (cPairs < HEX_RUN_MIN_PAIRS) return {0, 0};
    const __m256i values = DigitValuesAvx2(digits);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(q), _mm256_castsi256_si128(PairsOfWordsAvx2(values, values)));
    return {3 * cPairs + IsSeparatorAt(p + 3 * cPairs), cPairs};
}

// A run at p, of either shape, or none. Reads at most the 65 characters at
// p and writes at most 32 bytes.
HEX_TARGET("avx2") HEX_INLINE HexPairRun ConvertPairRunAvx2(const char* p, uint8_t* q)
{
    // The third character tells the shapes apart, and turns most other
    // texts away.
    const uint8_t third = CharClassTable[static_cast<uint8_t>(p[2])];
    if (third == CC_SEPARATOR) return ConvertSpacedPairsAvx2(p, q);
    if (third == CC_HEXDIGIT) return ConvertPlainPairsAvx2(p, q);
    return {0, 0};
}

HEX_TARGET("avx2") HEX_INLINE uint64_t LineFeedsAvx2(const char* p)
{
    const __m256i lineFeed = _mm256_set1_epi8('\n');
    return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(Load32(p), lineFeed))) |
           uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(Load32(p + 32), lineFeed)))} << 32;
}

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
    static HEX_INLINE HexRunsEnd ConvertPairRuns(const char* p, const char* pLast, uint8_t* q) { return ConvertPairRunsAvx2(p, pLast, q); }

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
                                                      Load32(SlotMaskByteTable.data()));
        const __m256i evenBit = Broadcast16Avx2(SlotEvenBitTable);
        const __m256i slots = _mm256_blendv_epi8(odd, even, _mm256_cmpeq_epi8(_mm256_and_si256(maskBytes, evenBit), evenBit));
        const uint32_t keep = ~static_cast<uint32_t>(_mm256_movemask_epi8(
            _mm256_cmpeq_epi8(_mm256_and_si256(maskBytes, Broadcast16Avx2(SlotBothBitsTable)), _mm256_setzero_si256())));
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
