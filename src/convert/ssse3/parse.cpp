// HexTextToBytes with SSSE3: a block is four registers, classified by two
// nibble lookups each; its pairs are squeezed out of 32 slots, 16 at a time.
#include "convert/generic/simd_target.h"

#if HEXBIN_X86

#include "convert/generic/parse_blocks.h"
#include "convert/hex_kernel.h"
#include "convert/ssse3/simd.h"

namespace {

struct Ssse3Parser {
    struct Block {
        __m128i chars[4];
        __m128i classes[4];
        uint64_t digits;
        uint64_t others;
    };

    template <int Shift>
    HEX_TARGET("ssse3") static HEX_INLINE uint64_t TopBits(const Block& block)
    {
        uint64_t bits = 0;
        HEX_UNROLL
        for (int part = 0; part < 4; ++part) {
            bits |= static_cast<uint64_t>(_mm_movemask_epi8(_mm_slli_epi16(block.classes[part], Shift))) << (16 * part);
        }
        return bits;
    }

    HEX_TARGET("ssse3") static HEX_INLINE Block LoadBlock(const char* p)
    {
        Block block{{}, {}, 0, 0};
        HEX_UNROLL
        for (int part = 0; part < 4; ++part) {
            const __m128i chars = Load16(p + 16 * part);
            block.chars[part] = chars;
            const __m128i classes = ClassesSsse3(chars);
            block.classes[part] = classes;
            block.digits |= TopAfterAddingSsse3(classes, HEX_DIGIT_TO_TOP) << (16 * part);
            block.others |= (~TopAfterAddingSsse3(classes, HEX_TOKEN_TO_TOP) & 0xFFFF) << (16 * part);
        }
        return block;
    }

    static constexpr bool HAS_PAIR_RUNS = false;
    static HEX_INLINE HexRunsEnd ConvertPairRuns(const char* p, const char*, uint8_t* q) { return {p, q}; }

    HEX_TARGET("ssse3") static HEX_INLINE HexCommentMasks CommentMasks(const Block& block)
    {
        return {TopBits<HEX_SEMICOLON_TO_TOP>(block), TopBits<HEX_LINE_FEED_TO_TOP>(block)};
    }

    HEX_TARGET("ssse3") static HEX_INLINE uint8_t* StorePairs(const Block& block, uint64_t firsts, uint32_t lead, uint32_t cLead, uint8_t* q)
    {
        q = StoreLead(lead, cLead, q);
        __m128i values[5];
        HEX_UNROLL
        for (int part = 0; part < 4; ++part) values[part] = DigitValuesSsse3(block.chars[part]);
        // The block's last character never starts a pair here, so nothing
        // moves in after it.
        values[4] = _mm_setzero_si128();
        const __m128i mask = _mm_set1_epi64x(static_cast<long long>(firsts));
        const __m128i evenBit = Load16(SlotEvenBitTable.data());
        HEX_UNROLL
        for (int half = 0; half < 2; ++half) {
            const __m128i* v = values + 2 * half;
            const __m128i even = PairsOfWordsSsse3(v[0], v[1]);
            const __m128i odd = PairsOfWordsSsse3(_mm_alignr_epi8(v[1], v[0], 1), _mm_alignr_epi8(v[2], v[1], 1));
            const __m128i maskBytes = _mm_shuffle_epi8(mask, Load16(SlotMaskByteTable.data() + 16 * half));
            const __m128i fromEven = _mm_cmpeq_epi8(_mm_and_si128(maskBytes, evenBit), evenBit);
            const __m128i slots = _mm_or_si128(_mm_and_si128(fromEven, even), _mm_andnot_si128(fromEven, odd));
            const auto keep = ~static_cast<uint32_t>(_mm_movemask_epi8(
                _mm_cmpeq_epi8(_mm_and_si128(maskBytes, Load16(SlotBothBitsTable.data())), _mm_setzero_si128())));
            q = StoreKeptSlots(slots, keep, q);
        }
        return q;
    }
};

}  // namespace

HEX_TARGET("ssse3") HEX_FLATTEN HEX_ALIGN_STACK
HexTextResult HexTextToBytesSsse3(const char* szText, uint8_t* pOut)
{
    return ParseHexBlocks<Ssse3Parser>(szText, pOut);
}

#endif
