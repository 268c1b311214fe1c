// HexTextToBytes with SSSE3: a block is four registers, classified by two
// nibble lookups each; its pairs are picked 16 characters at a time.
#include "convert/hex_parse_blocks.h"

#if HEXBIN_X86

namespace {

struct Ssse3Parser {
    struct Block {
        const char* p;
        __m128i classes[4];
        uint64_t digits;
        uint64_t others;
    };

    using Output = HexLaneOutput;

    HEX_TARGET("ssse3") static HEX_INLINE __m128i Load16(const void* p)
    {
        return _mm_loadu_si128(static_cast<const __m128i*>(p));
    }

    // Bit k set where byte k of v has any of bits set.
    HEX_TARGET("ssse3") static HEX_INLINE uint64_t AnyBits(__m128i v, uint8_t bits)
    {
        const __m128i none = _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(bits))), _mm_setzero_si128());
        return ~static_cast<uint64_t>(_mm_movemask_epi8(none)) & 0xFFFF;
    }

    template <int Shift>
    HEX_TARGET("ssse3") static HEX_INLINE uint64_t TopBits(const Block& block)
    {
        uint64_t bits = 0;
        for (int part = 0; part < 4; ++part) {
            bits |= static_cast<uint64_t>(_mm_movemask_epi8(_mm_slli_epi16(block.classes[part], Shift))) << (16 * part);
        }
        return bits;
    }

    HEX_TARGET("ssse3") static HEX_INLINE Block LoadBlock(const char* p)
    {
        Block block{p, {}, 0, 0};
        const __m128i low4 = _mm_set1_epi8(0x0F);
        for (int part = 0; part < 4; ++part) {
            const __m128i chars = Load16(p + 16 * part);
            const __m128i classes =
                _mm_and_si128(_mm_shuffle_epi8(Load16(ClassByHighNibble.data()), _mm_and_si128(_mm_srli_epi16(chars, 4), low4)),
                              _mm_shuffle_epi8(Load16(ClassByLowNibble.data()), _mm_and_si128(chars, low4)));
            block.classes[part] = classes;
            block.digits |= AnyBits(classes, HEX_BITS_DIGIT) << (16 * part);
            block.others |= (~AnyBits(classes, HEX_BITS_TOKEN) & 0xFFFF) << (16 * part);
        }
        return block;
    }

    HEX_TARGET("ssse3") static HEX_INLINE HexCommentMasks CommentMasks(const Block& block)
    {
        return {TopBits<HEX_SEMICOLON_TO_TOP>(block), TopBits<HEX_LINE_FEED_TO_TOP>(block)};
    }

    HEX_TARGET("ssse3") static HEX_INLINE Output StartOutput(uint8_t* pOut) { return StartLaneOutput(pOut); }
    static HEX_INLINE uint8_t* OutputEnd(const Output& out) { return out.q; }

    HEX_TARGET("ssse3") static HEX_INLINE void StorePairs(const Block& block, uint64_t firsts, uint32_t lead, uint32_t cLead, Output& out)
    {
        StoreBlockPairs(block.p, firsts, lead, cLead, out);
    }
};

}  // namespace

HEX_TARGET("ssse3") HEX_FLATTEN HEX_ALIGN_STACK
HexTextResult HexTextToBytesSsse3(const char* szText, uint8_t* pOut)
{
    return ParseHexBlocks<Ssse3Parser>(szText, pOut);
}

#endif
