// HexTextToBytes with SSSE3: a block is four registers, classified by two nibble lookups each; its pairs are
// squeezed out of 32 slots, 16 at a time.
#include "convert/generic/simd_target.h"

#if HEXBIN_X86

#include "convert/hex_kernel.h"
#include "convert/ssse3/simd.h"

namespace {

struct Ssse3Kernel {
    using Mask = uint64_t;
    static constexpr uint32_t BLOCK_CHARS = 64;
    struct Block {
        __m128i chars[4];
        __m128i classes[4];
        uint64_t digits;
    };

    HEX_TARGET("ssse3") static HEX_INLINE Block LoadBlock(const char* p)
    {
        Block block{{}, {}, 0};
        const __m128i low4 = TableSsse3(X86BlockTable.low4);
        HEX_UNROLL
        for (int part = 0; part < 4; ++part) {
            const __m128i chars = Load16(p + 16 * part);
            block.chars[part] = chars;
            block.classes[part] = _mm_and_si128(_mm_shuffle_epi8(TableSsse3(X86BlockTable.classHigh), HighNibblesSsse3(chars)),
                                                _mm_shuffle_epi8(TableSsse3(X86BlockTable.classLow), _mm_and_si128(chars, low4)));
            block.digits |= uint64_t{TopAfterAddingSsse3(block.classes[part], X86BlockTable.digitToTop)} << (16 * part);
        }
        return block;
    }

    // A character is a token where its class reaches the top bit after the add; the least of four classes
    // does only where all four do.
    HEX_TARGET("ssse3") static HEX_INLINE bool HasOthers(const Block& b)
    {
        const __m128i least = _mm_min_epu8(_mm_min_epu8(b.classes[0], b.classes[1]), _mm_min_epu8(b.classes[2], b.classes[3]));
        return TopAfterAddingSsse3(least, X86BlockTable.tokenToTop) != 0xFFFF;
    }
    static HEX_INLINE Mask Digits(const Block& b) { return b.digits; }

    // The masks of a block that has others, 16 bits from each register.
    enum Which { TOKENS, SEMICOLONS, LINE_FEEDS };
    template <Which W>
    HEX_TARGET("ssse3") static HEX_INLINE uint64_t Bits(const Block& b)
    {
        uint64_t mask = 0;
        HEX_UNROLL
        for (int part = 0; part < 4; ++part) {
            const __m128i top = W == TOKENS       ? _mm_adds_epu8(b.classes[part], TableSsse3(X86BlockTable.tokenToTop))
                                : W == SEMICOLONS ? _mm_cmpeq_epi8(b.chars[part], TableSsse3(X86BlockTable.semicolon))
                                                  : _mm_slli_epi16(b.classes[part], HEX_LINE_FEED_TO_TOP);
            mask |= uint64_t{static_cast<uint32_t>(_mm_movemask_epi8(top))} << (16 * part);
        }
        return mask;
    }
    HEX_TARGET("ssse3") static HEX_INLINE Mask Others(const Block& b) { return ~Bits<TOKENS>(b); }
    HEX_TARGET("ssse3") static HEX_INLINE Mask Semicolons(const Block& b) { return Bits<SEMICOLONS>(b); }
    HEX_TARGET("ssse3") static HEX_INLINE Mask LineFeeds(const Block& b) { return Bits<LINE_FEEDS>(b); }

    HEX_TARGET("ssse3") static HEX_INLINE uint8_t* StorePairs(const Block& block, uint64_t seconds, uint8_t* q)
    {
        const __m128i low4 = TableSsse3(X86BlockTable.low4);
        __m128i values[5];
        HEX_UNROLL
        for (int part = 0; part < 4; ++part) {
            values[part] = _mm_add_epi8(_mm_and_si128(block.chars[part], low4), _mm_and_si128(block.classes[part], low4));
        }
        // The block's last character never starts a pair here, so nothing moves in after it.
        values[4] = _mm_setzero_si128();
        const __m128i mask = _mm_set1_epi64x(static_cast<long long>(seconds >> 1));
        const __m128i evenBit = TableSsse3(X86BlockTable.slotEvenBit);
        HEX_UNROLL
        for (int half = 0; half < 2; ++half) {
            const __m128i* v = values + 2 * half;
            const __m128i even = PairsOfWordsSsse3(v[0], v[1]);
            const __m128i odd = PairsOfWordsSsse3(_mm_alignr_epi8(v[1], v[0], 1), _mm_alignr_epi8(v[2], v[1], 1));
            const __m128i maskBytes = _mm_shuffle_epi8(mask, Load16(X86BlockTable.slotMaskByte.data() + 16 * half));
            const __m128i fromEven = _mm_cmpeq_epi8(_mm_and_si128(maskBytes, evenBit), evenBit);
            const __m128i slots = _mm_or_si128(_mm_and_si128(fromEven, even), _mm_andnot_si128(fromEven, odd));
            const auto skip = static_cast<uint32_t>(_mm_movemask_epi8(
                _mm_cmpeq_epi8(_mm_and_si128(maskBytes, TableSsse3(X86BlockTable.slotBothBits)), _mm_setzero_si128())));
            const __m128i kept = _mm_shuffle_epi8(slots, SkipPickIndex(skip & 0xFF, skip >> 8));
            // 8 bytes each, whatever the count, within the block's 32.
            _mm_storel_epi64(reinterpret_cast<__m128i*>(q), kept);
            q += KeptCountTable[skip & 0xFF];
            _mm_storel_epi64(reinterpret_cast<__m128i*>(q), _mm_unpackhi_epi64(kept, kept));
            q += KeptCountTable[skip >> 8];
        }
        return q;
    }
};

}  // namespace

HEX_TARGET("ssse3") HEX_FLATTEN HEX_ALIGN_STACK
HexTextResult HexTextToBytesSsse3(const char* szText, uint8_t* pOut)
{
    return ParseHexBlocks<Ssse3Kernel>(szText, pOut);
}

#endif
