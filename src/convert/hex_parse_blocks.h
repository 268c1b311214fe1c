// The loop of the vector parsers, the same for every instruction set.
//
// A kernel classifies 64 characters at once into bit masks (bit k is
// character k): digits, and "others" (anything that is neither a digit nor
// a separator, so bad characters and ';'). From the masks alone this loop
// finds the comments, pairs up the runs of digits and sees whether the block
// holds a stop; the kernel then converts the block's pairs all at once.
// Comments and a pair that straddles two blocks carry over to the next
// block. The first block that holds a stop, and the last few characters of
// the text, go to the reference routine, from the start of the block (or
// of the straddling pair), which therefore stops, counts and writes exactly
// as it would have from the start of the text.
//
// Each kernel's file includes this header and instantiates ParseHexBlocks in
// an entry compiled for its instruction set; see simd_target.h.
#pragma once

#include "convert/hex_parse.h"
#include "convert/simd_target.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if HEXBIN_X86
#include <immintrin.h>
#endif

constexpr uint32_t HEX_BLOCK_CHARS = 64;
constexpr uint64_t HEX_EVEN_BITS = 0x5555555555555555ull;
constexpr uint64_t HEX_LAST_BIT = 1ull << 63;

// The terminator is looked for this far ahead at a time (strnlen reads no
// further than the zero byte, as the sanitizers see it), not once over the
// whole text: the stretch just measured is then parsed while still in
// cache, and a text that stops early is not read to its end.
constexpr size_t HEX_LOOKAHEAD = 4 * 1024;

struct HexCommentMasks {
    uint64_t semicolons;
    uint64_t lineFeeds;
};

// Bits 0 to last.
constexpr uint64_t BitsThrough(uint32_t last)
{
    return (uint64_t{2} << last) - 1;
}

// The characters of the block's comments: from each ';' outside a comment
// through the LF that closes it. fInComment says whether the block starts
// inside a comment, and on return whether it ends inside one. Inside a
// comment nothing else counts, TABs and codes from 0x80 up included; the
// zero byte, the one character that ends a comment early, never reaches a
// block. One turn of the loop per comment.
HEX_INLINE uint64_t CommentBits(const HexCommentMasks& m, bool& fInComment)
{
    uint64_t comment = 0;
    uint64_t semicolons = m.semicolons;
    uint32_t start = 0;
    if (!fInComment) {
        if (semicolons == 0) return 0;
        start = static_cast<uint32_t>(std::countr_zero(semicolons));
    }
    for (;;) {
        const uint64_t lineFeeds = m.lineFeeds & (~uint64_t{0} << start);
        if (lineFeeds == 0) {
            fInComment = true;
            return comment | (~uint64_t{0} << start);
        }
        const uint64_t through = BitsThrough(static_cast<uint32_t>(std::countr_zero(lineFeeds)));
        comment |= through & (~uint64_t{0} << start);
        semicolons &= ~through;
        if (semicolons == 0) {
            fInComment = false;
            return comment;
        }
        start = static_cast<uint32_t>(std::countr_zero(semicolons));
    }
}

// The first digit of every pair. A run of digits pairs up from its first
// digit, so its first digits sit at even positions if the run starts at an
// even position and at odd ones otherwise. Adding a run's start bit to the
// digits carries through the whole run and clears it: adding the starts at
// even positions clears exactly the runs that start there, with no loop
// over the runs (the run-parity trick).
constexpr uint64_t PairFirstDigits(uint64_t digits)
{
    const uint64_t starts = digits & ~(digits << 1);
    const uint64_t evenRuns = digits & ~(digits + (starts & HEX_EVEN_BITS));
    return (evenRuns & HEX_EVEN_BITS) | (digits & ~evenRuns & ~HEX_EVEN_BITS);
}

static_assert(PairFirstDigits(0b0111'1110) == 0b0010'1010);  // a run of six from 1
static_assert(PairFirstDigits(0b1110'1101) == 0b1010'0101);  // runs of 1, 2 and 3
static_assert(PairFirstDigits(~0ull) == HEX_EVEN_BITS);

// The byte of the pair whose first digit is at p.
inline uint8_t StraddlingPair(const char* p)
{
    return static_cast<uint8_t>(HighNibbleTable[static_cast<uint8_t>(p[0])] + LowNibbleTable[static_cast<uint8_t>(p[1])]);
}

// Kernel is a set of inline functions for one instruction set:
//   Block LoadBlock(const char* p)   classifies the 64 characters at p: the
//       block's digits and others masks, and whatever it keeps to convert
//   HexCommentMasks CommentMasks(const Block&)   its ';' and LF characters
//   Output StartOutput(uint8_t* pOut), uint8_t* OutputEnd(const Output&)
//   void StorePairs(const Block&, uint64_t firsts, uint32_t lead, uint32_t cLead, Output&)
//       writes cLead (0 or 1) bytes lead, then the pairs whose first digits
//       are the bits of firsts, and nothing past them
// Called from an entry with the kernel's target attribute and HEX_FLATTEN,
// which compiles all of it for that instruction set.
template <typename Kernel>
HEX_INLINE HexTextResult ParseHexBlocks(const char* szText, uint8_t* pOut)
{
    const char* p = szText;
    const char* pKnown = szText;  // no zero byte in [szText, pKnown)
    bool fEndKnown = false;       // pKnown is the terminator
    bool fInComment = false;
    // 1 when the last character of the block before opened a pair: the
    // first character of this one must be a digit, and closes it. Carried
    // in a mask, so that where the next block starts never waits for this
    // one's classes.
    uint64_t straddling = 0;
    typename Kernel::Output out = Kernel::StartOutput(pOut);

    for (;;) {
        if (!fEndKnown && pKnown - p < static_cast<ptrdiff_t>(HEX_LOOKAHEAD / 2)) {
            const size_t cch = strnlen(pKnown, HEX_LOOKAHEAD);
            pKnown += cch;
            fEndKnown = cch < HEX_LOOKAHEAD;
        }
        // The block and the character after it must lie before the
        // terminator: the narrower kernels read the block again one
        // character on.
        if (pKnown - p <= static_cast<ptrdiff_t>(HEX_BLOCK_CHARS)) {
            if (fEndKnown) break;
            continue;
        }

        const typename Kernel::Block block = Kernel::LoadBlock(p);
        uint64_t digits = block.digits;
        bool fInCommentAfter = fInComment;
        if ((block.others != 0) | fInComment) {
            const uint64_t comment = CommentBits(Kernel::CommentMasks(block), fInCommentAfter);
            if ((block.others & ~comment) != 0) break;  // a bad character
            digits &= ~comment;
        }
        // Every first digit needs a digit after it; the block's last
        // character, if it opens a pair, is closed by the next block.
        if ((straddling & ~digits) != 0) break;  // an unpaired digit
        const uint64_t firsts = PairFirstDigits(digits & ~straddling);
        if ((firsts & ~(digits >> 1) & ~HEX_LAST_BIT) != 0) break;  // an unpaired digit
        const auto cLead = static_cast<uint32_t>(straddling);
        Kernel::StorePairs(block, firsts & ~HEX_LAST_BIT, StraddlingPair(p - cLead) & (0u - cLead), cLead, out);
        straddling = firsts >> 63;
        p += HEX_BLOCK_CHARS;
        fInComment = fInCommentAfter;
    }
    // From the start of the block, or of the pair that straddles into it,
    // that pair not yet written.
    return HexTextToBytesFrom(p - straddling, pOut, static_cast<uint32_t>(Kernel::OutputEnd(out) - pOut), fInComment);
}

#if HEXBIN_X86

// For the kernels that convert a block 16 characters at a time (SSSE3 and
// AVX2): every character's pair value, as if a pair started there, is
// picked with pshufb for the first digits in the 16, two groups of eight
// through PairPickTable.

// Entry m: the positions of the set bits of m in its bytes 0 to 3 (zero
// after them) and their count in byte 7. First digits are never adjacent,
// so eight characters hold at most four.
constexpr std::array<uint64_t, 256> MakePairPickTable()
{
    std::array<uint64_t, 256> table{};
    for (uint32_t m = 0; m < 256; ++m) {
        uint64_t entry = 0;
        uint32_t count = 0;
        for (uint32_t bit = 0; bit < 8; ++bit) {
            if ((m & (1u << bit)) == 0) continue;
            if (count < 4) entry |= uint64_t{bit} << (8 * count);
            ++count;
        }
        table[m] = entry | (uint64_t{count} << 56);
    }
    return table;
}

inline constexpr std::array<uint64_t, 256> PairPickTable = MakePairPickTable();

// Where the output stands, and its last 16 bytes: each lane's pairs are
// shifted in at the end and the 16 stored so that they end at the new
// count. A store never reaches past the count, and rewrites the bytes
// before it with what they already hold.
struct HexLaneOutput {
    uint8_t* pOut;
    uint8_t* q;
    __m128i last;
};

HEX_TARGET("ssse3") HEX_INLINE HexLaneOutput StartLaneOutput(uint8_t* pOut)
{
    return {pOut, pOut, _mm_setzero_si128()};
}

// Writes cLead (0 or 1) bytes lead, then the pairs of 16 characters:
// values holds each character's pair value, firsts16 the first digits.
HEX_TARGET("ssse3") HEX_INLINE void StoreLanePairs(__m128i values, uint32_t firsts16, uint32_t lead, uint32_t cLead,
                                                   HexLaneOutput& out)
{
    const uint64_t entry0 = PairPickTable[firsts16 & 0xFF];
    const uint64_t entry1 = PairPickTable[(firsts16 >> 8) & 0xFF];
    const auto cPairs0 = static_cast<uint32_t>(entry0 >> 56);
    const auto cPairs = cLead + cPairs0 + static_cast<uint32_t>(entry1 >> 56);
    const uint64_t index = (entry0 & 0xFFFFFFFF) | (((entry1 & 0xFFFFFFFF) + 0x08080808) << (8 * cPairs0));
    // The pairs picked, moved up by cLead bytes, lead in front.
    const __m128i iota = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m128i picked = _mm_or_si128(
        _mm_shuffle_epi8(_mm_shuffle_epi8(values, _mm_set_epi64x(0, static_cast<long long>(index))),
                         _mm_sub_epi8(iota, _mm_set1_epi8(static_cast<char>(cLead)))),
        _mm_cvtsi32_si128(static_cast<int>(lead)));

    // Byte i of the new last 16 is byte i + cPairs of the old, or byte
    // i + cPairs - 16 of picked; an index with its top bit set gives zero.
    const __m128i shift = _mm_set1_epi8(static_cast<char>(cPairs));
    const __m128i fromLast = _mm_add_epi8(_mm_setr_epi8(0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A,
                                                        0x7B, 0x7C, 0x7D, 0x7E, 0x7F),
                                          shift);
    const __m128i fromPicked =
        _mm_add_epi8(_mm_setr_epi8(-16, -15, -14, -13, -12, -11, -10, -9, -8, -7, -6, -5, -4, -3, -2, -1), shift);
    out.last = _mm_or_si128(_mm_shuffle_epi8(out.last, fromLast), _mm_shuffle_epi8(picked, fromPicked));
    if (out.q + cPairs - out.pOut >= 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out.q + cPairs - 16), out.last);
    } else {
        // The first few bytes of the output, where 16 would start before it.
        alignas(16) uint8_t bytes[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(bytes), picked);
        std::memcpy(out.q, bytes, cPairs);
    }
    out.q += cPairs;
}

// The value of the pair each of the 16 characters at p would start: a
// digit's value is its low nibble, plus 9 for a letter (bit 6 set); the
// values of other characters are never picked.
HEX_TARGET("ssse3") HEX_INLINE __m128i DigitValues(const char* p)
{
    const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i letter = _mm_and_si128(chars, _mm_set1_epi8(0x40));
    return _mm_add_epi8(_mm_and_si128(chars, _mm_set1_epi8(0x0F)),
                        _mm_add_epi8(_mm_srli_epi16(letter, 3), _mm_srli_epi16(letter, 6)));
}

// Writes cLead bytes lead, then the pairs of the 16 characters at p whose
// first digits are the bits of firsts16.
HEX_TARGET("ssse3") HEX_INLINE void StoreLaneAt(const char* p, uint64_t firsts16, uint32_t lead, uint32_t cLead,
                                                HexLaneOutput& out)
{
    const __m128i high = _mm_and_si128(_mm_slli_epi16(DigitValues(p), 4), _mm_set1_epi8(static_cast<char>(0xF0)));
    StoreLanePairs(_mm_add_epi8(high, DigitValues(p + 1)), static_cast<uint32_t>(firsts16) & 0xFFFF, lead, cLead, out);
}

// Writes cLead bytes lead, then the pairs of the 64 characters at p whose
// first digits are the bits of firsts.
HEX_TARGET("ssse3") HEX_INLINE void StoreBlockPairs(const char* p, uint64_t firsts, uint32_t lead, uint32_t cLead,
                                                    HexLaneOutput& out)
{
    StoreLaneAt(p, firsts, lead, cLead, out);
    StoreLaneAt(p + 16, firsts >> 16, 0, 0, out);
    StoreLaneAt(p + 32, firsts >> 32, 0, 0, out);
    StoreLaneAt(p + 48, firsts >> 48, 0, 0, out);
}

// Character classes from two nibble lookups: a character's class bits are
// ClassByHighNibble[c >> 4] & ClassByLowNibble[c & 15]. Two bits each for
// digits and separators, because neither set is a product of one high and
// one low set.
constexpr uint8_t HEX_BIT_DECIMAL = 0x01;    // '0'-'9': high 3, low 0-9
constexpr uint8_t HEX_BIT_LETTER = 0x02;     // 'A'-'F', 'a'-'f': high 4 or 6, low 1-6
constexpr uint8_t HEX_BIT_LINE_FEED = 0x04;  // high 0, low A
constexpr uint8_t HEX_BIT_RETURN = 0x08;     // high 0, low D
constexpr uint8_t HEX_BIT_SPACE_DASH = 0x10; // ' ', '-': high 2, low 0 or D
constexpr uint8_t HEX_BIT_SEMICOLON = 0x20;  // high 3, low B
constexpr uint8_t HEX_BITS_DIGIT = HEX_BIT_DECIMAL | HEX_BIT_LETTER;
constexpr uint8_t HEX_BITS_TOKEN = HEX_BITS_DIGIT | HEX_BIT_LINE_FEED | HEX_BIT_RETURN | HEX_BIT_SPACE_DASH;
// Shifts that bring the ';' and the LF bit to a byte's top, for movemask.
constexpr int HEX_SEMICOLON_TO_TOP = 2;
constexpr int HEX_LINE_FEED_TO_TOP = 5;
static_assert(HEX_BIT_SEMICOLON << HEX_SEMICOLON_TO_TOP == 0x80 && HEX_BIT_LINE_FEED << HEX_LINE_FEED_TO_TOP == 0x80);

inline constexpr std::array<uint8_t, 16> ClassByHighNibble = {
    HEX_BIT_LINE_FEED | HEX_BIT_RETURN, 0, HEX_BIT_SPACE_DASH, HEX_BIT_DECIMAL | HEX_BIT_SEMICOLON, HEX_BIT_LETTER, 0,
    HEX_BIT_LETTER, 0, 0, 0, 0, 0, 0, 0, 0, 0};
inline constexpr std::array<uint8_t, 16> ClassByLowNibble = {
    HEX_BIT_DECIMAL | HEX_BIT_SPACE_DASH, HEX_BITS_DIGIT, HEX_BITS_DIGIT, HEX_BITS_DIGIT, HEX_BITS_DIGIT,
    HEX_BITS_DIGIT, HEX_BITS_DIGIT, HEX_BIT_DECIMAL, HEX_BIT_DECIMAL, HEX_BIT_DECIMAL, HEX_BIT_LINE_FEED,
    HEX_BIT_SEMICOLON, 0, HEX_BIT_RETURN | HEX_BIT_SPACE_DASH, 0, 0};

constexpr bool NibbleClassesAgreeWithTable()
{
    for (size_t c = 0; c < 256; ++c) {
        const int bits = ClassByHighNibble[c >> 4] & ClassByLowNibble[c & 15];
        const int want = CharClassTable[c];
        const int got = (bits & HEX_BITS_DIGIT) ? CC_HEXDIGIT
                        : (bits & HEX_BITS_TOKEN) ? CC_SEPARATOR
                        : (bits & HEX_BIT_SEMICOLON) ? CC_COMMENT
                                                     : CC_OTHER;
        if (got != want || ((bits & HEX_BIT_LINE_FEED) != 0) != (c == '\n')) return false;
    }
    return true;
}
static_assert(NibbleClassesAgreeWithTable(), "nibble class lookups disagree with CharClassTable");

#endif
