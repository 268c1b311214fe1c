// HexTextToBytes with AVX-512 VBMI and VBMI2: a block is one register. One
// vpermi2b gives every character its class and digit value; vpcompressb
// squeezes the digits of the block's pairs together in the register, and
// a masked store writes exactly their bytes. Runs of pairs in the shapes
// the formatter and other tools write take one register, or two for 32
// pairs in a fixed shape.
#include "convert/generic/parse_blocks.h"

#if HEXBIN_AVX512

namespace {

// Per character below 0x80: the digit's value in the low nibble, and the
// class bits. Codes from 0x80 up index the table by their low seven bits,
// so the kernel zeroes their classes by their top bit. The digit and the
// separator bit are the top two: vpmovb2m reads them into masks on another
// port than the shuffles, which keep the one that vpermi2b needs busy.
constexpr uint8_t AVX512_DIGIT = 0x80;
constexpr uint8_t AVX512_SEPARATOR = 0x40;
constexpr uint8_t AVX512_SEMICOLON = 0x20;
constexpr uint8_t AVX512_LINE_FEED = 0x10;

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

#define HEX_AVX512 "avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,popcnt,bmi2"

HEX_TARGET(HEX_AVX512) HEX_INLINE __m512i ClassesAvx512(__m512i chars)
{
    return _mm512_maskz_permutex2var_epi8(~_mm512_movepi8_mask(chars), _mm512_load_si512(Avx512ClassTable.data()), chars,
                                          _mm512_load_si512(Avx512ClassTable.data() + 64));
}

HEX_TARGET(HEX_AVX512) HEX_INLINE uint64_t DigitsAvx512(__m512i classes)
{
    return _mm512_movepi8_mask(classes);
}

HEX_TARGET(HEX_AVX512) HEX_INLINE uint64_t SeparatorsAvx512(__m512i classes)
{
    return _mm512_movepi8_mask(_mm512_slli_epi16(classes, 1));  // bit 6 to the top
}

HEX_TARGET(HEX_AVX512) HEX_INLINE __m512i DigitValuesAvx512(__m512i classes)
{
    return _mm512_and_si512(classes, _mm512_set1_epi32(0x0F0F0F0F));
}

// The two shapes of runs of pairs (see ConvertPairRunAvx2), from the 64
// characters at p in one register: plain pairs, up to 32; spaced pairs, up
// to 21, their digits gathered into adjacent bytes by one vpermb.
constexpr uint32_t AVX512_SPACED_PAIRS = 21;

constexpr ByteVector<64> MakeAvx512SpacedGather()
{
    ByteVector<64> v{};
    for (uint32_t k = 0; k < 2 * AVX512_SPACED_PAIRS; ++k) v[k] = static_cast<uint8_t>(3 * (k / 2) + k % 2);
    return v;
}

// Bit k set where character k of a full spaced run is a separator.
constexpr uint64_t Avx512SpacedSeparators()
{
    uint64_t bits = 0;
    for (uint32_t k = 2; k < 3 * AVX512_SPACED_PAIRS; k += 3) bits |= uint64_t{1} << k;
    return bits;
}

alignas(64) constexpr ByteVector<64> Avx512SpacedGather = MakeAvx512SpacedGather();
constexpr uint64_t AVX512_SPACED_SEPARATORS = Avx512SpacedSeparators();

// 32 pairs at once, from two loads, their digits gathered by one vpermi2b,
// where the two loads hold 16 pairs each in a shape the classes are
// checked against:
// - two of the formatter's lines, 51 characters each;
// - two lines of 16 spaced pairs and one more separator, 49 characters
//   each, as od -An -tx1 and hexdump's 16/1 "%02x " write them and as
//   spaced lines that end in CR LF (one at a time, each such line was a
//   run of its own, 16 bytes for the work of 21);
// - 32 spaced pairs in a row, 96 characters (Python's bytes.hex(' ')), the
//   second load at 48.
constexpr uint32_t AVX512_SPACED_HALF = 48;  // 16 pairs
constexpr uint32_t AVX512_LINE16_CHARS = AVX512_SPACED_HALF + 1;
constexpr uint64_t AVX512_SPACED_HALF_BITS = BitsThrough(AVX512_SPACED_HALF - 1);
constexpr uint64_t AVX512_LINE16_BITS = BitsThrough(AVX512_LINE16_CHARS - 1);
constexpr uint64_t AVX512_LINE_BITS = BitsThrough(HEX_LINE_CHARS - 1);

// Per character of a shape's 16 pairs, the class it has there, and nothing
// after them.
constexpr ByteVector<64> MakeAvx512Shape(bool fFormatter)
{
    ByteVector<64> v{};
    const uint32_t cch = fFormatter ? HEX_LINE_CHARS : AVX512_LINE16_CHARS;
    for (uint32_t k = 0; k < cch; ++k) {
        const bool fDigit = fFormatter ? LineDigitAt(static_cast<int>(k)) >= 0 : k % 3 != 2 && k != AVX512_SPACED_HALF;
        v[k] = fDigit ? AVX512_DIGIT : AVX512_SEPARATOR;
    }
    return v;
}

// Byte k: digit k % 32 of the 16 pairs of the first load or, at the
// index's bit 6, of the second.
constexpr ByteVector<64> MakeAvx512PairGather(bool fFormatter)
{
    ByteVector<64> v{};
    for (uint32_t k = 0; k < 64; ++k) {
        const auto pair = static_cast<int>(k % 32 / 2);
        const int pos = (fFormatter ? LinePairPos(pair) : 3 * pair) + static_cast<int>(k % 2);
        v[k] = static_cast<uint8_t>((k / 32) << 6 | static_cast<uint32_t>(pos));
    }
    return v;
}

alignas(64) constexpr ByteVector<64> Avx512Line16Shape = MakeAvx512Shape(false);
alignas(64) constexpr ByteVector<64> Avx512LineShape = MakeAvx512Shape(true);
alignas(64) constexpr ByteVector<64> Avx512SpacedGather32 = MakeAvx512PairGather(false);
alignas(64) constexpr ByteVector<64> Avx512LineGather = MakeAvx512PairGather(true);

// Bit k set where character k has the class that shape gives it.
HEX_TARGET(HEX_AVX512) HEX_INLINE uint64_t ShapeAvx512(__m512i classes, const ByteVector<64>& shape)
{
    return _mm512_test_epi8_mask(classes, _mm512_load_si512(shape.data()));
}

// 32 pairs of digit values, each pair's two side by side, as 32 bytes: high
// digit times 16 plus low digit, in 16 bits, then to bytes (the masked
// form: GCC 12 warns of the plain one's undefined source).
HEX_TARGET(HEX_AVX512) HEX_INLINE __m256i PairBytesAvx512(__m512i values)
{
    return _mm512_maskz_cvtepi16_epi8(~__mmask32{0}, _mm512_maddubs_epi16(values, _mm512_set1_epi16(HEX_PAIR_WEIGHTS)));
}

// The same, to 32 bytes at q.
HEX_TARGET(HEX_AVX512) HEX_INLINE void ConvertValuePairsAvx512(__m512i values, uint8_t* q)
{
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(q), PairBytesAvx512(values));
}

// The 16 pairs of each load, by gather's places, to 32 bytes at q.
HEX_TARGET(HEX_AVX512) HEX_INLINE void ConvertPairs32Avx512(__m512i first, __m512i second, const ByteVector<64>& gather, uint8_t* q)
{
    ConvertValuePairsAvx512(DigitValuesAvx512(_mm512_permutex2var_epi8(first, _mm512_load_si512(gather.data()), second)), q);
}

// The run at p, of any shape. pLast as for the runs: a run may read the 65
// characters from any start before it, and where it reads from p + 64,
// write 64 bytes (see ConvertPairRunsWith).
HEX_TARGET(HEX_AVX512) HEX_INLINE HexPairRun ConvertPairRunAvx512(const char* p, const char* pLast, uint8_t* q)
{
    const __m512i classes = ClassesAvx512(_mm512_loadu_si512(p));
    // Where the second load starts is a branch, not a sum: the processor
    // then loads on the branch's guess, without waiting for these classes.
    if (p + HEX_LINE_CHARS < pLast) {
        const uint64_t line16 = ShapeAvx512(classes, Avx512Line16Shape);
        if (line16 == AVX512_LINE16_BITS) {
            const __m512i second = ClassesAvx512(_mm512_loadu_si512(p + AVX512_LINE16_CHARS));
            if (ShapeAvx512(second, Avx512Line16Shape) == AVX512_LINE16_BITS) {
                ConvertPairs32Avx512(classes, second, Avx512SpacedGather32, q);
                return {2 * AVX512_LINE16_CHARS, 2 * HEX_LINE_BYTES};
            }
        } else if ((line16 & AVX512_SPACED_HALF_BITS) == AVX512_SPACED_HALF_BITS) {
            const __m512i second = ClassesAvx512(_mm512_loadu_si512(p + AVX512_SPACED_HALF));
            if ((ShapeAvx512(second, Avx512Line16Shape) & AVX512_SPACED_HALF_BITS) == AVX512_SPACED_HALF_BITS) {
                ConvertPairs32Avx512(classes, second, Avx512SpacedGather32, q);
                return {2 * AVX512_SPACED_HALF, 2 * HEX_LINE_BYTES};
            }
        } else if ((line16 & 4) != 0 && ShapeAvx512(classes, Avx512LineShape) == AVX512_LINE_BITS) {  // not plain pairs
            const __m512i second = ClassesAvx512(_mm512_loadu_si512(p + HEX_LINE_CHARS));
            if (ShapeAvx512(second, Avx512LineShape) == AVX512_LINE_BITS) {
                ConvertPairs32Avx512(classes, second, Avx512LineGather, q);
                return {2 * HEX_LINE_CHARS, 2 * HEX_LINE_BYTES};
            }
        }
    }
    const uint64_t digits = DigitsAvx512(classes), separators = SeparatorsAvx512(classes);
    __m512i values = DigitValuesAvx512(classes);
    uint32_t cPairs = 0, cch = 0;
    // The third character tells the shapes apart, and turns most other
    // texts away.
    if ((digits & 4) != 0) {
        // 32 pairs fill the register, as in base16 lines longer than 64
        // characters: the run goes on in the next 64 (at a fixed place, so
        // that its load need not wait for these classes). Lines of 76
        // digits went 2.1 to 3.1 GB/s before, 6.3 to 10.1 after, as most
        // of each line's second register went to the blocks.
        if (digits == ~uint64_t{0} && p + HEX_BLOCK_CHARS < pLast) {
            const __m512i next = ClassesAvx512(_mm512_loadu_si512(p + HEX_BLOCK_CHARS));
            const auto cNext = static_cast<uint32_t>(std::countr_one(DigitsAvx512(next))) / 2;
            ConvertValuePairsAvx512(values, q);
            ConvertValuePairsAvx512(DigitValuesAvx512(next), q + HEX_PLAIN_PAIRS);
            return {HEX_BLOCK_CHARS + PlainRunChars(p + HEX_BLOCK_CHARS, cNext, SeparatorsAvx512(next)), HEX_PLAIN_PAIRS + cNext};
        }
        cPairs = static_cast<uint32_t>(std::countr_one(digits)) / 2;
        cch = PlainRunChars(p, cPairs, separators);
    } else if ((separators & 4) != 0) {
        // Pair i is whole where characters 3i and 3i + 1 are digits and
        // 3i + 2 a separator: its bit 3i in good, brought to bit i by pext,
        // a shorter way to the run's length than dividing a bit's place
        // by 3, which the next run's start waited for.
        const uint64_t good = digits & (digits >> 1) & (separators >> 2);
        cPairs = static_cast<uint32_t>(std::countr_one(_pext_u64(good, AVX512_SPACED_SEPARATORS >> 2)));
        cch = 3 * cPairs + (static_cast<uint32_t>(separators >> (3 * cPairs)) & 1);
        values = _mm512_maskz_permutexvar_epi8(~__mmask64{0}, _mm512_load_si512(Avx512SpacedGather.data()), values);
    }
    if (cPairs < HEX_RUN_MIN_PAIRS) return {0, 0};
    ConvertValuePairsAvx512(values, q);
    return {cch, cPairs};
}

struct Avx512Runs {
    static HEX_INLINE bool ConvertFormatterLine(const char*, uint8_t*) { return false; }  // a shape of ConvertPairRun
    HEX_TARGET(HEX_AVX512) static HEX_INLINE HexPairRun ConvertPairRun(const char* p, const char* pLast, uint8_t* q)
    {
        return ConvertPairRunAvx512(p, pLast, q);
    }
    static HEX_INLINE HexPairRun ConvertPlainTail(const char*, uint8_t*) { return {0, 0}; }  // a part of ConvertPairRun
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
