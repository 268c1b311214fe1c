// HexTextToBytes with AVX2: a block is two registers, classified by two
// nibble lookups each; its pairs are squeezed out of 32 slots.
#include "convert/hex_parse_blocks.h"

#if HEXBIN_X86

namespace {

// The formatter's line: its separators by comparison with the line with
// zeros for digits, in two pieces that cover it, [0,32) and [19,51); its 32
// digits gathered by two 16-character loads a lane, pairs 0-7 in lane 0
// and 8-15 in lane 1.
constexpr ByteVector<32> LineText0 = LineSeparators<32>(0);
constexpr ByteVector<32> LineText1 = LineSeparators<32>(HEX_LINE_SECOND_PIECE);
constexpr int LineLoadPos[2][2] = {{0, 8}, {26, 34}};

// The shuffle that takes, for each lane, the digits that its load j holds
// and its load 0 does not.
constexpr ByteVector<32> MakeLineGather(int j)
{
    ByteVector<32> v{};
    for (int lane = 0; lane < 2; ++lane) {
        for (int d = 0; d < 16; ++d) {
            const int pos = LinePairPos(8 * lane + d / 2) + d % 2;
            const int at0 = pos - LineLoadPos[lane][0], atJ = pos - LineLoadPos[lane][j];
            const bool fInJ = atJ >= 0 && atJ < 16 && (j == 0 || at0 >= 16);
            v[static_cast<size_t>(16 * lane + d)] = fInJ ? static_cast<uint8_t>(atJ) : HEX_SHUFFLE_ZERO;
        }
    }
    return v;
}

alignas(32) constexpr ByteVector<32> LineGather0 = MakeLineGather(0);
alignas(32) constexpr ByteVector<32> LineGather1 = MakeLineGather(1);

constexpr bool LineGatherCoversEveryDigit()
{
    for (size_t k = 0; k < 32; ++k) {
        if ((LineGather0[k] == HEX_SHUFFLE_ZERO) == (LineGather1[k] == HEX_SHUFFLE_ZERO)) return false;
    }
    return true;
}
static_assert(LineGatherCoversEveryDigit(), "each digit of the line comes from exactly one load");

struct Avx2Parser {
    struct Block {
        __m256i chars0, chars1;
        __m256i classes0, classes1;
        uint64_t digits;
        uint64_t others;
    };

    HEX_TARGET("avx2") static HEX_INLINE __m256i Load32(const void* p)
    {
        return _mm256_loadu_si256(static_cast<const __m256i*>(p));
    }

    HEX_TARGET("avx2") static HEX_INLINE __m256i Broadcast16(const std::array<uint8_t, 16>& table)
    {
        return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table.data())));
    }

    HEX_TARGET("avx2") static HEX_INLINE __m256i HighNibbles(__m256i chars)
    {
        return _mm256_and_si256(_mm256_srli_epi16(chars, 4), _mm256_set1_epi8(0x0F));
    }

    // Bit k set where byte k of v, added to with saturation, reaches 0x80.
    HEX_TARGET("avx2") static HEX_INLINE uint64_t TopAfterAdding(__m256i v, uint8_t add)
    {
        return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_adds_epu8(v, _mm256_set1_epi8(static_cast<char>(add)))));
    }

    template <int Shift>
    HEX_TARGET("avx2") static HEX_INLINE uint64_t TopBits(__m256i v)
    {
        return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_slli_epi16(v, Shift)));
    }

    HEX_TARGET("avx2") static HEX_INLINE __m256i Classes(__m256i chars)
    {
        return _mm256_and_si256(_mm256_shuffle_epi8(Broadcast16(ClassByHighNibble), HighNibbles(chars)),
                                _mm256_shuffle_epi8(Broadcast16(ClassByLowNibble), _mm256_and_si256(chars, _mm256_set1_epi8(0x0F))));
    }

    HEX_TARGET("avx2") static HEX_INLINE Block LoadBlock(const char* p)
    {
        const __m256i chars0 = Load32(p), chars1 = Load32(p + 32);
        const __m256i classes0 = Classes(chars0), classes1 = Classes(chars1);
        return {chars0, chars1, classes0, classes1,
                TopAfterAdding(classes0, HEX_DIGIT_TO_TOP) | TopAfterAdding(classes1, HEX_DIGIT_TO_TOP) << 32,
                ~(TopAfterAdding(classes0, HEX_TOKEN_TO_TOP) | TopAfterAdding(classes1, HEX_TOKEN_TO_TOP) << 32)};
    }

    // Lane 0 from pLow, lane 1 from pHigh.
    HEX_TARGET("avx2") static HEX_INLINE __m256i Load2x16(const char* pLow, const char* pHigh)
    {
        return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pLow))),
                                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(pHigh)), 1);
    }

    // Reads the line's 51 characters only. Most texts fail at the CR.
    HEX_TARGET("avx2") static HEX_INLINE bool ConvertLine(const char* p, uint8_t* q)
    {
        if (p[HEX_LINE_CHARS - 2] != '\r') return false;
        constexpr uint32_t Separators0 = LineSeparatorBits<32>(0);
        constexpr uint32_t Separators1 = LineSeparatorBits<32>(HEX_LINE_SECOND_PIECE);
        const auto same0 = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(Load32(p), Load32(LineText0.data()))));
        const auto same1 = static_cast<uint32_t>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(Load32(p + HEX_LINE_SECOND_PIECE), Load32(LineText1.data()))));
        if ((((same0 & Separators0) ^ Separators0) | ((same1 & Separators1) ^ Separators1)) != 0) return false;

        const __m256i digits = _mm256_or_si256(
            _mm256_shuffle_epi8(Load2x16(p + LineLoadPos[0][0], p + LineLoadPos[1][0]), Load32(LineGather0.data())),
            _mm256_shuffle_epi8(Load2x16(p + LineLoadPos[0][1], p + LineLoadPos[1][1]), Load32(LineGather1.data())));
        if (TopAfterAdding(Classes(digits), HEX_DIGIT_TO_TOP) != 0xFFFFFFFF) return false;
        const __m256i pairs = _mm256_maddubs_epi16(DigitValues(digits), _mm256_set1_epi16(HEX_PAIR_WEIGHTS));
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(pairs, pairs), 0x08);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q), _mm256_castsi256_si128(bytes));
        return true;
    }

    HEX_TARGET("avx2") static HEX_INLINE HexCommentMasks CommentMasks(const Block& block)
    {
        return {TopBits<HEX_SEMICOLON_TO_TOP>(block.classes0) | TopBits<HEX_SEMICOLON_TO_TOP>(block.classes1) << 32,
                TopBits<HEX_LINE_FEED_TO_TOP>(block.classes0) | TopBits<HEX_LINE_FEED_TO_TOP>(block.classes1) << 32};
    }

    HEX_TARGET("avx2") static HEX_INLINE __m256i DigitValues(__m256i chars)
    {
        return _mm256_add_epi8(_mm256_and_si256(chars, _mm256_set1_epi8(0x0F)),
                               _mm256_shuffle_epi8(Broadcast16(LetterValueByHighNibble), HighNibbles(chars)));
    }

    HEX_TARGET("avx2") static HEX_INLINE __m256i PairsOfWords(__m256i values0, __m256i values1)
    {
        const __m256i weights = _mm256_set1_epi16(HEX_PAIR_WEIGHTS);
        const __m256i packed = _mm256_packus_epi16(_mm256_maddubs_epi16(values0, weights), _mm256_maddubs_epi16(values1, weights));
        return _mm256_permute4x64_epi64(packed, 0xD8);  // packus works per 128-bit lane
    }

    HEX_TARGET("avx2") static HEX_INLINE uint8_t* StorePairs(const Block& block, uint64_t firsts, uint32_t lead, uint32_t cLead, uint8_t* q)
    {
        q = StoreLead(lead, cLead, q);
        const __m256i values0 = DigitValues(block.chars0), values1 = DigitValues(block.chars1);
        // The digit values moved by one character; the block's last
        // character never starts a pair here, so nothing moves in after it.
        const __m256i after0 = _mm256_alignr_epi8(_mm256_permute2x128_si256(values0, values1, 0x21), values0, 1);
        const __m256i after1 = _mm256_alignr_epi8(_mm256_permute2x128_si256(values1, values1, 0x81), values1, 1);
        const __m256i even = PairsOfWords(values0, values1), odd = PairsOfWords(after0, after1);

        const __m256i maskBytes = _mm256_shuffle_epi8(_mm256_set1_epi64x(static_cast<long long>(firsts)),
                                                      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(SlotMaskByte.data())));
        const __m256i evenBit = Broadcast16(SlotEvenBit);
        const __m256i slots = _mm256_blendv_epi8(odd, even, _mm256_cmpeq_epi8(_mm256_and_si256(maskBytes, evenBit), evenBit));
        const uint32_t keep = ~static_cast<uint32_t>(_mm256_movemask_epi8(
            _mm256_cmpeq_epi8(_mm256_and_si256(maskBytes, Broadcast16(SlotBothBits)), _mm256_setzero_si256())));
        q = StoreKeptSlots(_mm256_castsi256_si128(slots), keep, q);
        return StoreKeptSlots(_mm256_extracti128_si256(slots, 1), keep >> 16, q);
    }
};

}  // namespace

HEX_TARGET("avx2") HEX_FLATTEN HEX_ALIGN_STACK
HexTextResult HexTextToBytesAvx2(const char* szText, uint8_t* pOut)
{
    return ParseHexBlocks<Avx2Parser>(szText, pOut);
}

#endif
