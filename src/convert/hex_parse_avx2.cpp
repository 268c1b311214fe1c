// HexTextToBytes with AVX2: a block is two registers, classified by two
// nibble lookups each; its pairs are picked 16 characters at a time.
#include "convert/hex_parse_blocks.h"

#if HEXBIN_X86

namespace {

struct Avx2Parser {
    struct Block {
        const char* p;
        __m256i classes0, classes1;
        uint64_t digits;
        uint64_t others;
    };

    using Output = HexLaneOutput;

    HEX_TARGET("avx2") static HEX_INLINE __m256i Load32(const void* p)
    {
        return _mm256_loadu_si256(static_cast<const __m256i*>(p));
    }

    HEX_TARGET("avx2") static HEX_INLINE __m256i Broadcast16(const std::array<uint8_t, 16>& table)
    {
        return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table.data())));
    }

    // Bit k set where byte k of v has any of bits set.
    HEX_TARGET("avx2") static HEX_INLINE uint64_t AnyBits(__m256i v, uint8_t bits)
    {
        const __m256i none = _mm256_cmpeq_epi8(_mm256_and_si256(v, _mm256_set1_epi8(static_cast<char>(bits))), _mm256_setzero_si256());
        return ~static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(none))) & 0xFFFFFFFF;
    }

    template <int Shift>
    HEX_TARGET("avx2") static HEX_INLINE uint64_t TopBits(__m256i v)
    {
        return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_slli_epi16(v, Shift)));
    }

    HEX_TARGET("avx2") static HEX_INLINE __m256i Classes(const char* p)
    {
        const __m256i chars = Load32(p);
        const __m256i low4 = _mm256_set1_epi8(0x0F);
        return _mm256_and_si256(
            _mm256_shuffle_epi8(Broadcast16(ClassByHighNibble), _mm256_and_si256(_mm256_srli_epi16(chars, 4), low4)),
            _mm256_shuffle_epi8(Broadcast16(ClassByLowNibble), _mm256_and_si256(chars, low4)));
    }

    HEX_TARGET("avx2") static HEX_INLINE Block LoadBlock(const char* p)
    {
        const __m256i classes0 = Classes(p), classes1 = Classes(p + 32);
        return {p, classes0, classes1, AnyBits(classes0, HEX_BITS_DIGIT) | AnyBits(classes1, HEX_BITS_DIGIT) << 32,
                ~(AnyBits(classes0, HEX_BITS_TOKEN) | AnyBits(classes1, HEX_BITS_TOKEN) << 32)};
    }

    HEX_TARGET("avx2") static HEX_INLINE HexCommentMasks CommentMasks(const Block& block)
    {
        return {TopBits<HEX_SEMICOLON_TO_TOP>(block.classes0) | TopBits<HEX_SEMICOLON_TO_TOP>(block.classes1) << 32,
                TopBits<HEX_LINE_FEED_TO_TOP>(block.classes0) | TopBits<HEX_LINE_FEED_TO_TOP>(block.classes1) << 32};
    }

    HEX_TARGET("avx2") static HEX_INLINE Output StartOutput(uint8_t* pOut) { return StartLaneOutput(pOut); }
    static HEX_INLINE uint8_t* OutputEnd(const Output& out) { return out.q; }

    // A digit's value is its low nibble, plus 9 for a letter (bit 6 set).
    HEX_TARGET("avx2") static HEX_INLINE __m256i DigitValues(const char* p)
    {
        const __m256i chars = Load32(p);
        const __m256i letter = _mm256_and_si256(chars, _mm256_set1_epi8(0x40));
        return _mm256_add_epi8(_mm256_and_si256(chars, _mm256_set1_epi8(0x0F)),
                               _mm256_add_epi8(_mm256_srli_epi16(letter, 3), _mm256_srli_epi16(letter, 6)));
    }

    // The value of the pair each of the 32 characters at p would start.
    HEX_TARGET("avx2") static HEX_INLINE __m256i PairValues(const char* p)
    {
        const __m256i high = _mm256_and_si256(_mm256_slli_epi16(DigitValues(p), 4), _mm256_set1_epi8(static_cast<char>(0xF0)));
        return _mm256_add_epi8(high, DigitValues(p + 1));
    }

    HEX_TARGET("avx2") static HEX_INLINE void StorePairs(const Block& block, uint64_t firsts, uint32_t lead, uint32_t cLead, Output& out)
    {
        const __m256i values0 = PairValues(block.p), values1 = PairValues(block.p + 32);
        StoreLanePairs(_mm256_castsi256_si128(values0), static_cast<uint32_t>(firsts) & 0xFFFF, lead, cLead, out);
        StoreLanePairs(_mm256_extracti128_si256(values0, 1), static_cast<uint32_t>(firsts >> 16) & 0xFFFF, 0, 0, out);
        StoreLanePairs(_mm256_castsi256_si128(values1), static_cast<uint32_t>(firsts >> 32) & 0xFFFF, 0, 0, out);
        StoreLanePairs(_mm256_extracti128_si256(values1, 1), static_cast<uint32_t>(firsts >> 48) & 0xFFFF, 0, 0, out);
    }
};

}  // namespace

HEX_TARGET("avx2") HEX_FLATTEN HEX_ALIGN_STACK
HexTextResult HexTextToBytesAvx2(const char* szText, uint8_t* pOut)
{
    return ParseHexBlocks<Avx2Parser>(szText, pOut);
}

#endif
