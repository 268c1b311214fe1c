// HexTextToBytes with AVX2: a block is two registers (its pairs squeezed out of 32 slots), or, in the 32-bit
// build, whose eight vector registers and 32-bit general ones it fits, one register with a 32-bit mask. Both
// convert the run shapes 16 pairs at a time.
#include "convert/generic/simd_target.h"

#if HEXBIN_X86

#include "convert/avx2/simd.h"
#include "convert/hex_kernel.h"

#include <type_traits>

namespace {

// The slots without a pair, a bit each, where both bits tell.
HEX_TARGET("avx2") HEX_INLINE uint32_t SkippedSlotsAvx2(__m256i maskBytes, const ByteVector<32>& bothBits)
{
    return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(maskBytes, TableAvx2(bothBits)), _mm256_setzero_si256())));
}

struct Avx2Kernel64 {
    using Mask = uint64_t;
    static constexpr uint32_t BLOCK_CHARS = 64;
    using Shapes = struct Avx2Shapes;
    static constexpr bool CUT_BY_STORE = false;  // the 64-bit program has no room for it
    struct Block {
        __m256i values0, values1;
        __m256i classes0, classes1;
        uint64_t digits;
        const char* p;
    };

    HEX_TARGET("avx2") static HEX_INLINE Block LoadBlock(const char* p)
    {
        Block b;
        b.p = p;
        ClassifyAvx2(Load32(p), b.values0, b.classes0);
        ClassifyAvx2(Load32(p + 32), b.values1, b.classes1);
        b.digits = TopBitsAvx2(_mm256_adds_epu8(b.classes0, TableAvx2(X86BlockTable.digitToTop)), _mm256_adds_epu8(b.classes1, TableAvx2(X86BlockTable.digitToTop)));
        return b;
    }
    // The lesser of two classes is a token's only where both are.
    HEX_TARGET("avx2") static HEX_INLINE bool HasOthers(const Block& b) { return HasNonTokensAvx2(_mm256_min_epu8(b.classes0, b.classes1)); }
    static HEX_INLINE Mask Digits(const Block& b) { return b.digits; }
    HEX_TARGET("avx2") static HEX_INLINE Mask Others(const Block& b)
    {
        return ~TopBitsAvx2(_mm256_adds_epu8(b.classes0, TableAvx2(X86BlockTable.tokenToTop)), _mm256_adds_epu8(b.classes1, TableAvx2(X86BlockTable.tokenToTop)));
    }
    HEX_TARGET("avx2") static HEX_INLINE uint64_t Semicolons(const Block& b)
    {
        const __m256i semicolon = TableAvx2(X86BlockTable.semicolon);
        return TopBitsAvx2(_mm256_cmpeq_epi8(Load32(b.p), semicolon), _mm256_cmpeq_epi8(Load32(b.p + 32), semicolon));
    }
    HEX_TARGET("avx2") static HEX_INLINE uint64_t LineFeeds(const Block& b)
    {
        return TopBitsAvx2(_mm256_slli_epi16(b.classes0, HEX_LINE_FEED_TO_TOP), _mm256_slli_epi16(b.classes1, HEX_LINE_FEED_TO_TOP));
    }

    HEX_TARGET("avx2") static HEX_INLINE uint8_t* StorePairs(const Block& b, uint64_t seconds, uint8_t* q)
    {
        const uint64_t firsts = seconds >> 1;
        const __m256i maskBytes = _mm256_shuffle_epi8(_mm256_set1_epi64x(static_cast<long long>(firsts)), TableAvx2(X86BlockTable.packedSlotMaskByte));
        // The pair at each slot's even character, or at its odd one where
        // the slot's first digit is there, as packus leaves them.
        const __m256i weights = TableAvx2(X86BlockTable.weights);
        const __m256i after0 = _mm256_alignr_epi8(_mm256_permute2x128_si256(b.values0, b.values1, 0x21), b.values0, 1);
        const __m256i after1 = _mm256_alignr_epi8(_mm256_permute2x128_si256(b.values1, b.values1, 0x81), b.values1, 1);
        const __m256i even = _mm256_packus_epi16(_mm256_maddubs_epi16(b.values0, weights), _mm256_maddubs_epi16(b.values1, weights));
        const __m256i odd = _mm256_packus_epi16(_mm256_maddubs_epi16(after0, weights), _mm256_maddubs_epi16(after1, weights));
        const __m256i evenBit = TableAvx2(X86BlockTable.packedSlotEvenBit);
        const __m256i slots = _mm256_blendv_epi8(odd, even, _mm256_cmpeq_epi8(_mm256_and_si256(maskBytes, evenBit), evenBit));
        // Slots 0-7 are bits 0-7, 8-15 bits 16-23, 16-23 bits 8-15, 24-31
        // bits 24-31; four groups of eight squeezed by one pshufb.
        const uint32_t skip = SkippedSlotsAvx2(maskBytes, X86BlockTable.packedSlotBothBits);
        const uint32_t k0 = skip & 0xFF, k2 = (skip >> 8) & 0xFF, k1 = (skip >> 16) & 0xFF, k3 = skip >> 24;
        const __m256i kept = _mm256_shuffle_epi8(slots, _mm256_inserti128_si256(_mm256_castsi128_si256(SkipPickIndex(k0, k2)), SkipPickIndex(k1, k3), 1));
        const __m128i kept0 = _mm256_castsi256_si128(kept), kept1 = _mm256_extracti128_si256(kept, 1);
        // 8 bytes each, whatever the count, within the block's 32.
        _mm_storel_epi64(reinterpret_cast<__m128i*>(q), kept0);
        q += KeptCountTable[k0];
        _mm_storel_epi64(reinterpret_cast<__m128i*>(q), kept1);
        q += KeptCountTable[k1];
        _mm_storeh_pi(reinterpret_cast<__m64*>(q), _mm_castsi128_ps(kept0));
        q += KeptCountTable[k2];
        _mm_storeh_pi(reinterpret_cast<__m64*>(q), _mm_castsi128_ps(kept1));
        return q + KeptCountTable[k3];
    }
};

struct Avx2Kernel32 {
    using Mask = uint32_t;
    static constexpr uint32_t BLOCK_CHARS = 32;
    using Shapes = struct Avx2Shapes;
    [[maybe_unused]] static constexpr bool CUT_BY_STORE = true;  // the 32-bit program has room for it
    struct Block {
        __m256i values;
        __m256i classes;
        uint32_t digits;
        const char* p;
    };

    HEX_TARGET("avx2") static HEX_INLINE Block LoadBlock(const char* p)
    {
        Block b;
        b.p = p;
        ClassifyAvx2(Load32(p), b.values, b.classes);
        b.digits = TopAfterAddingAvx2(b.classes, X86BlockTable.digitToTop);
        return b;
    }
    HEX_TARGET("avx2") static HEX_INLINE bool HasOthers(const Block& b) { return HasNonTokensAvx2(b.classes); }
    static HEX_INLINE Mask Digits(const Block& b) { return b.digits; }
    HEX_TARGET("avx2") static HEX_INLINE Mask Others(const Block& b) { return ~TopAfterAddingAvx2(b.classes, X86BlockTable.tokenToTop); }
    HEX_TARGET("avx2") static HEX_INLINE Mask Semicolons(const Block& b)
    {
        return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(Load32(b.p), TableAvx2(X86BlockTable.semicolon))));
    }
    HEX_TARGET("avx2") static HEX_INLINE Mask LineFeeds(const Block& b)
    {
        return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_slli_epi16(b.classes, HEX_LINE_FEED_TO_TOP)));
    }

    HEX_TARGET("avx2") static HEX_INLINE uint8_t* StorePairs(const Block& b, uint32_t seconds, uint8_t* q)
    {
        const __m256i weights = TableAvx2(X86BlockTable.weights);
        const __m256i after = _mm256_alignr_epi8(_mm256_permute2x128_si256(b.values, b.values, 0x81), b.values, 1);
        // Lane l: the even pairs of slots 8l to 8l + 7, then their odd ones.
        const __m256i pairs = _mm256_packus_epi16(_mm256_maddubs_epi16(b.values, weights), _mm256_maddubs_epi16(after, weights));
        const uint32_t firsts = seconds >> 1;
        const __m256i maskBytes = _mm256_shuffle_epi8(_mm256_set1_epi32(static_cast<int>(firsts)), TableAvx2(X86BlockTable.oneSlotMaskByte));
        const __m256i oddBit = TableAvx2(X86BlockTable.oneSlotOddBit);
        const __m256i slots = _mm256_blendv_epi8(pairs, _mm256_srli_si256(pairs, 8), _mm256_cmpeq_epi8(_mm256_and_si256(maskBytes, oddBit), oddBit));
        const uint32_t skip = SkippedSlotsAvx2(maskBytes, X86BlockTable.oneSlotBothBits);
        const uint32_t k0 = skip & 0xFF, k1 = (skip >> 16) & 0xFF;
        const __m256i index = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&SkipPickTable[k0]))),
                                                      _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&SkipPickTable[k1])), 1);
        const __m256i kept = _mm256_shuffle_epi8(slots, index);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(q), _mm256_castsi256_si128(kept));
        q += KeptCountTable[k0];
        _mm_storel_epi64(reinterpret_cast<__m128i*>(q), _mm256_extracti128_si256(kept, 1));
        return q + KeptCountTable[k1];
    }
};

// The run shapes: a unit's separators compared with the unit it was learned from, but a last one other than
// LF, which may be any (halves of a line end in a space and in LF); its pairs gathered 16 at a time, eight a
// lane from 32 characters of the unit, then classified as digits.
struct alignas(32) Avx2ShapeGather {
    ByteVector<32> pick[2];  // [half]: per byte, its place in that half, or 0x80
    uintptr_t at[2];         // [lane]: where its 32 characters start in the unit (32 at most), as wide as an address
    uint32_t digits;         // the bytes that hold digits
};

// The group's picks from the places of its 32 digits, cDigits of them there: each place less
// its lane's first, but at most 32, so that a unit's 64 characters hold every read. False
// where a lane's 16 digits lie 32 characters apart or more. Out of line: two copies cost 200 bytes.
HEX_TARGET("avx2") HEX_NOINLINE bool LearnAvx2Gather(const uint8_t* places, uint32_t cDigits, Avx2ShapeGather& g)
{
    const uint32_t cLow = std::min(cDigits, 16u), cHigh = std::min(cDigits, 32u) - cLow;
    const __m256i at = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(places));
    const __m256i counts = _mm256_set_m128i(_mm_set1_epi8(static_cast<char>(cHigh)), _mm_set1_epi8(static_cast<char>(cLow)));
    const __m256i valid = _mm256_cmpgt_epi8(counts, TableAvx2(X86BlockTable.laneIota));
    const __m256i start = _mm256_min_epu8(_mm256_shuffle_epi8(at, _mm256_setzero_si256()), _mm256_set1_epi8(32));
    const __m256i inFirst = _mm256_and_si256(valid, _mm256_sub_epi8(at, start));
    if (_mm256_movemask_epi8(_mm256_cmpgt_epi8(inFirst, _mm256_set1_epi8(31))) != 0) return false;
    g.at[0] = cLow != 0 ? std::min<uint8_t>(places[0], 32) : 0;
    g.at[1] = cHigh != 0 ? std::min<uint8_t>(places[16], 32) : 0;
    const __m256i inSecond = _mm256_sub_epi8(inFirst, _mm256_set1_epi8(16));
    const __m256i fromFirst = _mm256_and_si256(valid, _mm256_cmpgt_epi8(_mm256_set1_epi8(16), inFirst));
    const __m256i none = _mm256_set1_epi8(static_cast<char>(HEX_SHUFFLE_ZERO));
    _mm256_store_si256(reinterpret_cast<__m256i*>(g.pick[0].data()), _mm256_blendv_epi8(none, inFirst, fromFirst));
    _mm256_store_si256(reinterpret_cast<__m256i*>(g.pick[1].data()), _mm256_blendv_epi8(none, inSecond, _mm256_andnot_si256(fromFirst, valid)));
    g.digits = static_cast<uint32_t>(_mm256_movemask_epi8(valid));
    return true;
}

struct Avx2Shapes {
    struct Unit {
        const char* p;
    };
    struct alignas(32) Learned {
        Avx2ShapeGather gather[2];
        ByteVector<64> separators;  // the unit it was learned from
        uint64_t same;              // the separators compared; the last, where not LF, by class
        uint32_t cch = 0, cPairs = 0;
        uint8_t lastClass = 0;  // a separator's, or a digit's where the run goes on
        static constexpr uint32_t cMost = 1;
    };
    static HEX_INLINE Unit LoadUnit(const char* p) { return {p}; }
    static uint32_t ConvertRun(const Learned& learned, Unit u, const char*& p, uint8_t*& q, const HexKnown& known);
    static constexpr bool LEARNS_AT_TEXT = true;
    static constexpr bool LAST_APART = true;  // by its class
    HEX_TARGET("avx2") static HEX_INLINE uint64_t Same(const char* p, const uint8_t* chars)
    {
        return TopBitsAvx2(_mm256_cmpeq_epi8(Load32(p), Load32(chars)), _mm256_cmpeq_epi8(Load32(p + 32), Load32(chars + 32)));
    }
    HEX_TARGET("avx2") static HEX_INLINE uint64_t LineFeeds(const Unit& u)
    {
        __m256i lineFeed = _mm256_set1_epi8('\n');
        HEX_OPAQUE_VECTOR(lineFeed);  // made here: kept in a register through a run, it costs the steps more
        return TopBitsAvx2(_mm256_cmpeq_epi8(Load32(u.p), lineFeed), _mm256_cmpeq_epi8(Load32(u.p + 32), lineFeed));
    }
    HEX_TARGET("avx2") static HEX_INLINE HexCharMasks Masks(const char* p)
    {
        const Avx2Kernel64::Block b = Avx2Kernel64::LoadBlock(p);
        return {b.digits, ~Avx2Kernel64::Others(b), Avx2Kernel64::LineFeeds(b)};
    }
    HEX_TARGET("avx2") static HEX_INLINE bool Learn(const HexShape& shape, const char* p, Learned& l)
    {
        // A unit under 16 characters is slower than the blocks. The next unit's digits where this one has
        // them, before the rest.
        if (shape.cch < 16) return false;
        if ((Avx2Kernel64::LoadBlock(p + shape.cch).digits & shape.span) != shape.digits) return false;
        // The digits' places in order, a byte each: eight characters at a time through the squeeze's table,
        // each store's tail overwritten by the next one's, up to the last digit.
        uint8_t places[64 + 8];  // past the digits' places, only bytes the picks mask out
        for (uint64_t rest = shape.digits, add = 0, cPlaced = 0; rest != 0; cPlaced += static_cast<uint64_t>(std::popcount(rest & 0xFF)), rest >>= 8, add += 0x0808080808080808) {
            const uint64_t at = SkipPickTable[static_cast<uint8_t>(~rest)] + add;
            std::memcpy(places + cPlaced, &at, sizeof at);
        }
        const auto cDigits = static_cast<uint32_t>(std::popcount(shape.digits));
        if (!LearnAvx2Gather(places, cDigits, l.gather[0]) || (cDigits > 32 && !LearnAvx2Gather(places + 32, cDigits - 32, l.gather[1]))) return false;
        std::memcpy(l.separators.data(), p, sizeof l.separators);
        l.same = shape.span & ~shape.digits & (p[shape.cch - 1] != '\n' ? shape.span >> 1 : shape.span);
        l.cch = shape.cch;
        l.cPairs = shape.cPairs;
        l.lastClass = CharClassTable[static_cast<uint8_t>(p[shape.cch - 1])];
        return true;
    }
    // The bytes of the group's pairs, or false where one is not two digits.
    HEX_TARGET("avx2") static HEX_INLINE bool GatherGroup(const char* p, const Avx2ShapeGather& g, __m128i& pairs)
    {
        const char *pLow = p + g.at[0], *pHigh = p + g.at[1];
        const __m256i chars = _mm256_or_si256(_mm256_shuffle_epi8(LoadLanesAvx2(pLow, pHigh), TableAvx2(g.pick[0])),
                                              _mm256_shuffle_epi8(LoadLanesAvx2(pLow + 16, pHigh + 16), TableAvx2(g.pick[1])));
        __m256i values, classes;
        ClassifyAvx2(chars, values, classes);
        const __m256i words = _mm256_maddubs_epi16(values, TableAvx2(X86BlockTable.weights));
        pairs = _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi16(words, words), 0x08));
        return (TopAfterAddingAvx2(classes, X86BlockTable.digitToTop) & g.digits) == g.digits;
    }
    HEX_TARGET("avx2") static HEX_INLINE uint32_t ConvertUnits(const Learned& l, const Unit& u, uint8_t* q)
    {
        __m128i pairs0, pairs1;
        if ((Same(u.p, l.separators.data()) & l.same) != l.same || CharClassTable[static_cast<uint8_t>((u.p + l.cch)[-1])] != l.lastClass ||
            !GatherGroup(u.p, l.gather[0], pairs0)) {
            return 0;
        }
        if (l.cPairs > 16) {
            if (!GatherGroup(u.p, l.gather[1], pairs1)) return 0;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(q + 16), pairs1);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q), pairs0);
        return 1;
    }
};

// Out of line: inside the whole parse, GCC kept more of the loop's values on the stack.
HEX_TARGET("avx2,bmi,popcnt") HEX_NOINLINE HEX_FLATTEN uint32_t Avx2Shapes::ConvertRun(const Learned& learned, Unit u, const char*& p, uint8_t*& q, const HexKnown& known)
{
    return ConvertShapeRun<Avx2Shapes>(learned, u, p, q, known);
}

static_assert(Avx2Kernel64::BLOCK_CHARS == 64 && Avx2Kernel32::BLOCK_CHARS == 32);
#ifndef HEX_AVX2_KERNEL  // each build runs one; the tests run the 32-bit build's in the 64-bit build too
#define HEX_AVX2_KERNEL std::conditional_t<sizeof(void*) == 8, Avx2Kernel64, Avx2Kernel32>
#endif

}  // namespace

HEX_TARGET("avx2,bmi,popcnt") HEX_FLATTEN HEX_ALIGN_STACK  // andn and popcnt: cpuid is asked for BMI1 and POPCNT
HexTextResult HexTextToBytesAvx2(const char* szText, uint8_t* pOut)
{
    return ParseHexBlocks<HEX_AVX2_KERNEL>(szText, pOut);
}

#endif
