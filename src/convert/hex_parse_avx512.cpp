// HexTextToBytes with AVX-512 VBMI and VBMI2: a block is one register. One
// vpermi2b gives every character its class and digit value; vpcompressb
// squeezes the digits of the block's pairs together in the register, and
// a masked store writes exactly their bytes.
#include "convert/hex_parse_blocks.h"

#if HEXBIN_X86

namespace {

// Per character below 0x80: the digit's value in the low nibble, and the
// class bits. Codes from 0x80 up index the table by their low seven bits,
// so the kernel takes them out by their top bit.
constexpr uint8_t AVX512_DIGIT = 0x10;
constexpr uint8_t AVX512_SEPARATOR = 0x20;
constexpr uint8_t AVX512_SEMICOLON = 0x40;
constexpr uint8_t AVX512_LINE_FEED = 0x80;

constexpr std::array<uint8_t, 128> MakeAvx512ClassTable()
{
    std::array<uint8_t, 128> table{};
    for (size_t c = 0; c < 128; ++c) {
        const uint8_t cls = CharClassTable[c];
        table[c] = cls == CC_HEXDIGIT    ? static_cast<uint8_t>(AVX512_DIGIT | LowNibbleTable[c])
                   : cls == CC_SEPARATOR ? AVX512_SEPARATOR
                   : cls == CC_COMMENT   ? AVX512_SEMICOLON
                                         : 0;
    }
    table['\n'] |= AVX512_LINE_FEED;
    return table;
}

alignas(64) constexpr std::array<uint8_t, 128> Avx512ClassTable = MakeAvx512ClassTable();

#define HEX_AVX512 "avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,popcnt"

struct Avx512Parser {
    struct Block {
        __m512i classes;
        uint64_t high;  // codes from 0x80 up
        uint64_t digits;
        uint64_t others;
    };

    HEX_TARGET(HEX_AVX512) static HEX_INLINE Block LoadBlock(const char* p)
    {
        const __m512i chars = _mm512_loadu_si512(p);
        const __m512i classes = _mm512_permutex2var_epi8(_mm512_load_si512(Avx512ClassTable.data()), chars,
                                                         _mm512_load_si512(Avx512ClassTable.data() + 64));
        const uint64_t high = _mm512_movepi8_mask(chars);
        return {classes, high, _mm512_test_epi8_mask(classes, _mm512_set1_epi8(AVX512_DIGIT)) & ~high,
                _mm512_testn_epi8_mask(classes, _mm512_set1_epi8(AVX512_DIGIT | AVX512_SEPARATOR)) | high};
    }

    // The runs of pairs go the AVX2 way, faster than through the blocks;
    // every processor with AVX-512 has AVX2.
    static constexpr bool HAS_PAIR_RUNS = true;
    static HEX_INLINE HexRunsEnd ConvertPairRuns(const char* p, const char* pLast, uint8_t* q)
    {
        return ConvertPairRunsAvx2(p, pLast, q);
    }

    HEX_TARGET(HEX_AVX512) static HEX_INLINE HexCommentMasks CommentMasks(const Block& block)
    {
        return {_mm512_test_epi8_mask(block.classes, _mm512_set1_epi8(AVX512_SEMICOLON)) & ~block.high,
                _mm512_test_epi8_mask(block.classes, _mm512_set1_epi8(static_cast<char>(AVX512_LINE_FEED))) & ~block.high};
    }

    HEX_TARGET(HEX_AVX512) static HEX_INLINE uint8_t* StorePairs(const Block& block, uint64_t firsts, uint32_t lead,
                                                             uint32_t cLead, uint8_t* q)
    {
        const __m512i values = _mm512_and_si512(block.classes, _mm512_set1_epi8(0x0F));
        const __m512i digits = _mm512_maskz_compress_epi8(firsts | (firsts << 1), values);
        // High digit times 16 plus low digit, in 16 bits, then to bytes (the
        // masked form: GCC 12 warns of the plain one's undefined source).
        const __m256i pairs = _mm512_maskz_cvtepi16_epi8(~__mmask32{0}, _mm512_maddubs_epi16(digits, _mm512_set1_epi16(0x0110)));
        // Moved up by cLead bytes, lead in front: a pair straddling in
        // leaves at most 31 in the block.
        const __m256i moveUp = _mm256_sub_epi8(_mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19,
                                                                20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31),
                                               _mm256_set1_epi8(static_cast<char>(cLead)));
        const __m256i bytes = _mm256_mask_permutexvar_epi8(_mm256_set1_epi8(static_cast<char>(lead)),
                                                           static_cast<__mmask32>(~cLead), moveUp, pairs);
        const auto cPairs = cLead + static_cast<uint32_t>(std::popcount(firsts));
        _mm256_mask_storeu_epi8(q, static_cast<__mmask32>((uint64_t{1} << cPairs) - 1), bytes);
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
