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
// as it would have from the start of the text. Where the text at a block's
// start is in a shape other tools (or the formatter) write, a kernel may
// convert runs of pairs of that shape instead, by their fixed places; the
// parse then goes on from where they end.
//
// Each kernel's file includes this header and instantiates ParseHexBlocks in
// an entry compiled for its instruction set; see simd_target.h.
#pragma once

#include "convert/generic/line_layout.h"
#include "convert/hex_parse.h"
#include "convert/generic/simd_target.h"

#include <algorithm>
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

// The terminator is looked for this far ahead at a time (see
// TextLengthWithin), not once over the whole text: the stretch just
// measured is then parsed while still in cache, and a text that stops
// early is not read to its end.
constexpr size_t HEX_LOOKAHEAD = 4 * 1024;

// Each block asks for the memory this far ahead of it, so that the look
// for the terminator finds the next stretches on their way. Two stretches
// ahead: one was enough on an AMD Zen 3, but not on an Intel Xeon (Ice
// Lake), where the formatter's text at 64 MiB went 9.4 GB/s with one and
// 10.1 with two.
constexpr size_t HEX_PREFETCH_AHEAD = 2 * HEX_LOOKAHEAD;

// And the output this far ahead (about as far as the text, at three
// characters a byte): an ordinary store first reads its line in, and asked
// for early, that read overlaps the text's. A prefetch never faults, so
// running past the output's end is harmless. At 64 MiB, warm, 1 to 5 %
// faster; cold, where the block's pages are first touched, level.
constexpr size_t HEX_PREFETCH_OUT_AHEAD = 2 * 1024;

// The most blocks parsed between two looks for runs of pairs.
constexpr uint32_t HEX_MAX_BLOCKS_TO_RUNS = 64;

// Characters read and bytes written by a run of pairs.
struct HexPairRun {
    uint32_t cch;
    uint32_t cb;
};

// Where a kernel's runs of pairs end, in the text and in the output.
struct HexRunsEnd {
    const char* p;
    uint8_t* q;
};

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

// Where a parse stands between blocks.
struct HexBlockState {
    const char* p;
    uint8_t* q;
    bool fInComment;
    // 1 when the last character of the block before opened a pair: the
    // first character of this one must be a digit, and closes it. Carried
    // in a mask, so that where the next block starts never waits for this
    // one's classes.
    uint64_t straddling;
    // Runs are looked for again after cBlocksToRuns blocks, more each time
    // none was found, so that a text without them pays little for looking.
    uint32_t cBlocksToRuns;
    uint32_t cBlocksAfterMiss;
};

// The kernel's runs of pairs, where it has them.
template <typename Kernel>
HEX_INLINE HexRunsEnd ConvertPairRunsOf(const char* p, const char* pLast, uint8_t* q)
{
    if constexpr (Kernel::HAS_PAIR_RUNS) {
        return Kernel::ConvertPairRuns(p, pLast, q);
    } else {
        (void)pLast;
        return {p, q};
    }
}

// Parses the blocks that start before pLast; false at the first that holds
// a stop, with the state at its start. The only call in here is to the
// kernel's runs, which are out of line: the block's constants stay in
// registers, and the runs keep their own.
template <typename Kernel>
HEX_INLINE bool ParseKnownBlocks(HexBlockState& state, const char* pLast)
{
    const char* p = state.p;
    uint8_t* q = state.q;
    bool fInComment = state.fInComment;
    uint64_t straddling = state.straddling;
    bool fGoOn = true;
    uint32_t cBlocksToRuns = state.cBlocksToRuns;
    uint32_t cBlocksAfterMiss = state.cBlocksAfterMiss;
    while (p < pLast) {
        // The look for the terminator reaches the next stretch only once
        // this one is parsed; asking for it now keeps the memory busy while
        // this one is.
        HEX_PREFETCH(reinterpret_cast<uintptr_t>(p) + HEX_PREFETCH_AHEAD);
        HEX_PREFETCH(reinterpret_cast<uintptr_t>(q) + HEX_PREFETCH_OUT_AHEAD);
        // Runs of pairs in the shapes the kernel has a faster way for, up
        // to the first block they do not fit.
        if (Kernel::HAS_PAIR_RUNS && ((straddling != 0) | fInComment | (cBlocksToRuns != 0)) == 0) {
            const HexRunsEnd end = ConvertPairRunsOf<Kernel>(p, pLast, q);
            if (end.q == q) {
                cBlocksToRuns = cBlocksAfterMiss;
                cBlocksAfterMiss = std::min(2 * cBlocksAfterMiss, HEX_MAX_BLOCKS_TO_RUNS);
            } else {
                cBlocksAfterMiss = 1;
            }
            p = end.p;
            q = end.q;
            if (p >= pLast) break;
        }
        cBlocksToRuns -= cBlocksToRuns != 0;
        const typename Kernel::Block block = Kernel::LoadBlock(p);
        uint64_t digits = block.digits;
        bool fInCommentAfter = fInComment;
        if ((block.others != 0) | fInComment) {
            const uint64_t comment = CommentBits(Kernel::CommentMasks(block), fInCommentAfter);
            digits &= ~comment;
            fGoOn = (block.others & ~comment) == 0;  // else a bad character
        }
        // Every first digit needs a digit after it; the block's last
        // character, if it opens a pair, is closed by the next block.
        const uint64_t firsts = PairFirstDigits(digits & ~straddling);
        fGoOn &= ((straddling & ~digits) | (firsts & ~(digits >> 1) & ~HEX_LAST_BIT)) == 0;  // else an unpaired digit
        if (!fGoOn) break;
        const auto cLead = static_cast<uint32_t>(straddling);
        uint64_t kept = firsts & ~HEX_LAST_BIT;
        uint32_t cchBlock = HEX_BLOCK_CHARS;
        straddling = firsts >> 63;
        fInComment = fInCommentAfter;
        // While runs are looked for, the block ends after its last LF, so
        // that the next run starts with a line.
        const uint64_t lineFeeds = Kernel::HAS_PAIR_RUNS && cBlocksToRuns == 0 ? Kernel::CommentMasks(block).lineFeeds : 0;
        if (lineFeeds != 0) {
            cchBlock = HEX_BLOCK_CHARS - static_cast<uint32_t>(std::countl_zero(lineFeeds));
            kept &= BitsThrough(cchBlock - 1);
            straddling = 0;
            fInComment = false;
        }
        q = Kernel::StorePairs(block, kept, StraddlingPair(p - cLead), cLead, q);
        p += cchBlock;
    }
    state = {p, q, fInComment, straddling, cBlocksToRuns, cBlocksAfterMiss};
    return fGoOn;
}

// The characters before the first zero byte among the cchMax at p, or
// cchMax if there is none: strnlen, which reads no further than the zero
// byte as the sanitizers see it.
//
// Except in the Windows program. Its C runtime's strnlen goes one
// character at a time: under Wine it found the zero byte at 1.4 GB/s, and
// every kernel, held to that, parsed slower than the reference routine,
// which needs no look ahead. There, the look is aligned 64-byte lines of
// four loads. A line that holds the terminator is read past it, and the
// first line before p, but an aligned load stays inside its page, so it
// cannot fault; Windows has no sanitizer for it to upset. The bytes read
// past the terminator make no difference: only the first zero byte counts.
#if defined(_WIN32) && HEXBIN_X86

// Out of line, one for every kernel: in scalar/parse.cpp.
size_t TextLengthWithin(const char* p, size_t cchMax);

#else

HEX_INLINE size_t TextLengthWithin(const char* p, size_t cchMax)
{
    return strnlen(p, cchMax);
}

#endif

// Kernel is a set of inline functions for one instruction set:
//   Block LoadBlock(const char* p)   classifies the 64 characters at p: the
//       block's digits and others masks, and whatever it keeps to convert
//   HexCommentMasks CommentMasks(const Block&)   its ';' and LF characters
//   bool HAS_PAIR_RUNS   whether it has the next one
//   HexRunsEnd ConvertPairRuns(const char* p, const char* pLast, uint8_t* q)
//       converts the runs of pairs at p in the shapes it knows, one after
//       another, while they start before pLast, and returns where they
//       end (p and q themselves where there is none)
//   uint8_t* StorePairs(const Block&, uint64_t firsts, uint32_t lead, uint32_t cLead, uint8_t* q)
//       writes cLead (0 or 1) bytes lead at q, then the pairs whose first
//       digits are the bits of firsts, and returns the end of what it wrote
// A kernel may write past the end it returns, by up to 8 bytes: those
// bytes are rewritten by the next block or left in the part of the output
// past the count, which the contract leaves to the routine. A block is
// parsed only with more than 64 characters before the terminator, so such
// a write stays inside the ceil(length / 2) bytes of the output (see
// StoreKeptSlots for the narrowest case).
// Called from an entry with the kernel's target attribute and HEX_FLATTEN,
// which compiles all of it for that instruction set.
template <typename Kernel>
HEX_INLINE HexTextResult ParseHexBlocks(const char* szText, uint8_t* pOut)
{
    HexBlockState state = {szText, pOut, false, 0, 0, 1};
    const char* pKnown = szText;  // no zero byte in [szText, pKnown)
    for (;;) {
        const size_t cch = TextLengthWithin(pKnown, HEX_LOOKAHEAD);
        pKnown += cch;
        if (pKnown - state.p > static_cast<ptrdiff_t>(HEX_BLOCK_CHARS) &&
            !ParseKnownBlocks<Kernel>(state, pKnown - HEX_BLOCK_CHARS)) {
            break;
        }
        if (cch < HEX_LOOKAHEAD) break;  // the terminator is at pKnown
    }
    // From the start of the block, or of the pair that straddles into it,
    // that pair not yet written.
    return HexTextToBytesFrom(state.p - state.straddling, pOut, static_cast<uint32_t>(state.q - pOut), state.fInComment);
}

#if HEXBIN_X86

// For the kernels that convert a block 16 characters at a time (SSSE3 and
// AVX2). Two characters make a slot: slot k is characters 2k and 2k + 1.
// First digits are never adjacent, so at most one of a slot's two starts a
// pair: the slot holds the pair at its even character (from pmaddubsw on
// the characters as they stand) or the one at its odd character (on the
// characters moved by one). A block's 32 slots are then squeezed to the
// pairs in order, 16 slots at a time through SlotPickTable, which halves
// the table lookups of picking pairs from the characters themselves.

// Entry m: the positions of the set bits of m in order, one a byte, then
// 0x80 (pshufb's zero).
constexpr std::array<uint64_t, 256> MakeSlotPickTable()
{
    std::array<uint64_t, 256> table{};
    for (uint32_t m = 0; m < 256; ++m) {
        uint64_t entry = ~uint64_t{0} / 0xFF * 0x80;
        uint32_t count = 0;
        for (uint32_t bit = 0; bit < 8; ++bit) {
            if ((m & (1u << bit)) == 0) continue;
            entry = (entry & ~(uint64_t{0xFF} << (8 * count))) | (uint64_t{bit} << (8 * count));
            ++count;
        }
        table[m] = entry;
    }
    return table;
}

constexpr std::array<uint8_t, 256> MakeBitCountTable()
{
    std::array<uint8_t, 256> table{};
    for (uint32_t m = 0; m < 256; ++m) table[m] = static_cast<uint8_t>(std::popcount(m));
    return table;
}

inline constexpr std::array<uint64_t, 256> SlotPickTable = MakeSlotPickTable();
inline constexpr std::array<uint8_t, 256> BitCountTable = MakeBitCountTable();

// Slot k's two bits of the first-digit mask sit in byte k / 4 of it: this
// spreads the mask's bytes over the slots, and the two patterns after it
// pick a slot's even bit and both its bits.
inline constexpr std::array<uint8_t, 32> SlotMaskByte = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3,
                                                         4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7};
inline constexpr std::array<uint8_t, 16> SlotEvenBit = {1, 4, 16, 64, 1, 4, 16, 64, 1, 4, 16, 64, 1, 4, 16, 64};
inline constexpr std::array<uint8_t, 16> SlotBothBits = {3, 12, 48, 192, 3, 12, 48, 192, 3, 12, 48, 192, 3, 12, 48, 192};

// pmaddubsw weights: the first digit times 16 plus the second.
constexpr int16_t HEX_PAIR_WEIGHTS = 0x0110;

// Writes the kept of 16 slots at q, in order, and returns the end of them.
// The stores are 8 bytes each, whatever the count: a block's second half
// of slots starts at character o of a text of more than o + 32 characters,
// with at most ceil(o / 2) bytes before it, so they end within the
// output's ceil(length / 2).
HEX_TARGET("ssse3") HEX_INLINE uint8_t* StoreKeptSlots(__m128i slots, uint32_t keep16, uint8_t* q)
{
    const uint32_t keep0 = keep16 & 0xFF, keep1 = (keep16 >> 8) & 0xFF;
    // The second eight slots' positions are 8 more. Added in the vector:
    // the 32-bit build would add the 64-bit entry in two halves and pass it
    // through the stack, where its 8-byte load waits for both halves' stores.
    const __m128i index = _mm_add_epi8(_mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&SlotPickTable[keep0])),
                                                          _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&SlotPickTable[keep1]))),
                                       _mm_set_epi64x(0x0808080808080808, 0));
    const __m128i kept = _mm_shuffle_epi8(slots, index);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(q), kept);
    q += BitCountTable[keep0];
    _mm_storel_epi64(reinterpret_cast<__m128i*>(q), _mm_unpackhi_epi64(kept, kept));
    return q + BitCountTable[keep1];
}

// Writes the lead byte, then counts it only if there is one: no branch on
// where the blocks cut the pairs.
HEX_INLINE uint8_t* StoreLead(uint32_t lead, uint32_t cLead, uint8_t* q)
{
    *q = static_cast<uint8_t>(lead);
    return q + cLead;
}

// A digit's value is its low nibble, plus 9 for a letter: indexed by the
// high nibble, 9 for 'A'-'F' and 'a'-'f'. Other characters' values are
// never picked.
inline constexpr std::array<uint8_t, 16> LetterValueByHighNibble = {0, 0, 0, 0, 9, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// Character classes from two nibble lookups: a character's class bits are
// ClassByHighNibble[c >> 4] & ClassByLowNibble[c & 15]. Two bits each for
// digits and separators, because neither set is a product of one high and
// one low set. The digit bits are the top two and the token bits the top
// five, so "has a digit bit" is "at least HEX_BIT_LETTER" and "has a token
// bit" is "at least HEX_BIT_SPACE_DASH": one saturating add each brings
// the answer to the top bit, for movemask.
constexpr uint8_t HEX_BIT_DECIMAL = 0x80;    // '0'-'9': high 3, low 0-9
constexpr uint8_t HEX_BIT_LETTER = 0x40;     // 'A'-'F', 'a'-'f': high 4 or 6, low 1-6
constexpr uint8_t HEX_BIT_LINE_FEED = 0x20;  // high 0, low A
constexpr uint8_t HEX_BIT_RETURN = 0x10;     // high 0, low D
constexpr uint8_t HEX_BIT_SPACE_DASH = 0x08; // ' ', '-': high 2, low 0 or D
constexpr uint8_t HEX_BIT_SEMICOLON = 0x04;  // high 3, low B
constexpr uint8_t HEX_BITS_DIGIT = HEX_BIT_DECIMAL | HEX_BIT_LETTER;
constexpr uint8_t HEX_BITS_SEPARATOR = HEX_BIT_LINE_FEED | HEX_BIT_RETURN | HEX_BIT_SPACE_DASH;
constexpr uint8_t HEX_BITS_TOKEN = HEX_BITS_DIGIT | HEX_BITS_SEPARATOR;
static_assert(HEX_BITS_DIGIT == static_cast<uint8_t>(0x100 - HEX_BIT_LETTER) &&
              HEX_BITS_TOKEN == static_cast<uint8_t>(0x100 - HEX_BIT_SPACE_DASH));
// What to add, saturating, for a digit and for a token bit to set the top.
constexpr uint8_t HEX_DIGIT_TO_TOP = 0x80 - HEX_BIT_LETTER;
constexpr uint8_t HEX_TOKEN_TO_TOP = 0x80 - HEX_BIT_SPACE_DASH;
// Shifts that bring the ';' and the LF bit to a byte's top, for movemask.
constexpr int HEX_SEMICOLON_TO_TOP = 5;
constexpr int HEX_LINE_FEED_TO_TOP = 2;
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
        if (((bits & HEX_BITS_SEPARATOR) != 0) != (want == CC_SEPARATOR)) return false;
    }
    return true;
}
static_assert(NibbleClassesAgreeWithTable(), "nibble class lookups disagree with CharClassTable");


// The formatter's whole line in one step, for the kernels that have AVX2:
// its 19 separators by comparison with the line with zeros for digits, in
// two pieces that cover it, [0,32) and [19,51); its 32 digits gathered by
// two 16-character loads a lane, pairs 0-7 in lane 0 and 8-15 in lane 1.
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

inline constexpr ByteVector<32> LineGather0 = MakeLineGather(0);
inline constexpr ByteVector<32> LineGather1 = MakeLineGather(1);

constexpr bool LineGatherCoversEveryDigit()
{
    for (size_t k = 0; k < 32; ++k) {
        if ((LineGather0[k] == HEX_SHUFFLE_ZERO) == (LineGather1[k] == HEX_SHUFFLE_ZERO)) return false;
    }
    return true;
}
static_assert(LineGatherCoversEveryDigit(), "each digit of the line comes from exactly one load");

// AVX2 pieces shared by the AVX2 kernel and the line lane.
HEX_TARGET("avx2") HEX_INLINE __m256i Load32Avx2(const void* p)
{
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}

HEX_TARGET("avx2") HEX_INLINE __m256i Broadcast16Avx2(const std::array<uint8_t, 16>& table)
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table.data())));
}

HEX_TARGET("avx2") HEX_INLINE __m256i HighNibblesAvx2(__m256i chars)
{
    return _mm256_and_si256(_mm256_srli_epi16(chars, 4), _mm256_set1_epi8(0x0F));
}

HEX_TARGET("avx2") HEX_INLINE __m256i ClassesAvx2(__m256i chars)
{
    return _mm256_and_si256(_mm256_shuffle_epi8(Broadcast16Avx2(ClassByHighNibble), HighNibblesAvx2(chars)),
                            _mm256_shuffle_epi8(Broadcast16Avx2(ClassByLowNibble), _mm256_and_si256(chars, _mm256_set1_epi8(0x0F))));
}

// Bit k set where byte k of v, added to with saturation, reaches 0x80.
HEX_TARGET("avx2") HEX_INLINE uint64_t TopAfterAddingAvx2(__m256i v, uint8_t add)
{
    return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_adds_epu8(v, _mm256_set1_epi8(static_cast<char>(add)))));
}

HEX_TARGET("avx2") HEX_INLINE __m256i DigitValuesAvx2(__m256i chars)
{
    return _mm256_add_epi8(_mm256_and_si256(chars, _mm256_set1_epi8(0x0F)),
                           _mm256_shuffle_epi8(Broadcast16Avx2(LetterValueByHighNibble), HighNibblesAvx2(chars)));
}

// Lane 0 from pLow, lane 1 from pHigh.
HEX_TARGET("avx2") HEX_INLINE __m256i LoadLine2x16(const char* pLow, const char* pHigh)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pLow))),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(pHigh)), 1);
}

// Writes the 16 bytes of the formatter's line at p, if one is there, or
// returns false. Reads the line's 51 characters only; most other texts
// fail at the CR.
HEX_TARGET("avx2") HEX_INLINE bool ConvertFormatterLineAvx2(const char* p, uint8_t* q)
{
    if (p[HEX_LINE_CHARS - 2] != '\r') return false;
    constexpr uint32_t Separators0 = LineSeparatorBits<32>(0);
    constexpr uint32_t Separators1 = LineSeparatorBits<32>(HEX_LINE_SECOND_PIECE);
    const auto same0 = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(Load32Avx2(p), Load32Avx2(LineText0.data()))));
    const auto same1 = static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(Load32Avx2(p + HEX_LINE_SECOND_PIECE), Load32Avx2(LineText1.data()))));
    if ((((same0 & Separators0) ^ Separators0) | ((same1 & Separators1) ^ Separators1)) != 0) return false;

    const __m256i digits = _mm256_or_si256(
        _mm256_shuffle_epi8(LoadLine2x16(p + LineLoadPos[0][0], p + LineLoadPos[1][0]), Load32Avx2(LineGather0.data())),
        _mm256_shuffle_epi8(LoadLine2x16(p + LineLoadPos[0][1], p + LineLoadPos[1][1]), Load32Avx2(LineGather1.data())));
    if (TopAfterAddingAvx2(ClassesAvx2(digits), HEX_DIGIT_TO_TOP) != 0xFFFFFFFF) return false;
    const __m256i pairs = _mm256_maddubs_epi16(DigitValuesAvx2(digits), _mm256_set1_epi16(HEX_PAIR_WEIGHTS));
    const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(pairs, pairs), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(q), _mm256_castsi256_si128(bytes));
    return true;
}

// Runs of pairs in the shapes other tools write, converted many at a time
// by the kernels with AVX2 where the text at a block's start has one: from
// HEX_RUN_MIN_PAIRS pairs on, as fewer go faster through the block. A run
// ends after a pair or a separator, and takes one more separator after it
// where there is one (the end of a line; a plain run up to two, for CR LF),
// so the parse after it starts afresh, and the next run most often right
// after it.
constexpr uint32_t HEX_RUN_MIN_PAIRS = 12;
constexpr uint32_t HEX_PLAIN_PAIRS = 32;

HEX_INLINE uint32_t IsSeparatorAt(const char* p)
{
    return CharClassTable[static_cast<uint8_t>(*p)] == CC_SEPARATOR;
}

// The characters a run of cPairs plain pairs at p takes: its digits and the
// separator after them, if there is one, seen in the separators mask of the
// 64 characters at p, or after all 64, at p[64]; and within the 64 a second
// separator after the first, as where lines end in CR LF. Left to the next
// run, that LF cost it a try: `xxd -p` text with CR LF went 3.6 to 6.5 GB/s
// with the AVX-512 kernel; the same text with LF went 6 % slower with it,
// and level with AVX2.
HEX_INLINE uint32_t PlainRunChars(const char* p, uint32_t cPairs, uint64_t separators)
{
    if (cPairs == HEX_PLAIN_PAIRS) return 2 * HEX_PLAIN_PAIRS + IsSeparatorAt(p + 2 * HEX_PLAIN_PAIRS);
    return 2 * cPairs + static_cast<uint32_t>(std::countr_one(static_cast<uint32_t>(separators >> (2 * cPairs)) & 3));
}

// Pairs with no separator between them, as xxd -p and base16 encoders
// write them: up to 32, from the 64 characters at p, and the separator
// after them; none where fewer than cMinPairs. Writes 32 bytes, of which
// the run's count are its pairs.
HEX_TARGET("avx2") HEX_INLINE HexPairRun ConvertPlainPairsAvx2(const char* p, uint8_t* q, uint32_t cMinPairs = HEX_RUN_MIN_PAIRS)
{
    const __m256i chars0 = Load32Avx2(p), chars1 = Load32Avx2(p + 32);
    const __m256i classes0 = ClassesAvx2(chars0), classes1 = ClassesAvx2(chars1);
    const uint64_t digits = TopAfterAddingAvx2(classes0, HEX_DIGIT_TO_TOP) | TopAfterAddingAvx2(classes1, HEX_DIGIT_TO_TOP) << 32;
    // A separator is a token that is not a digit.
    const uint64_t separators = (TopAfterAddingAvx2(classes0, HEX_TOKEN_TO_TOP) | TopAfterAddingAvx2(classes1, HEX_TOKEN_TO_TOP) << 32) & ~digits;
    const auto cPairs = static_cast<uint32_t>(std::countr_one(digits)) / 2;
    if (cPairs < cMinPairs) return {0, 0};
    const __m256i weights = _mm256_set1_epi16(HEX_PAIR_WEIGHTS);
    const __m256i pairs = _mm256_packus_epi16(_mm256_maddubs_epi16(DigitValuesAvx2(chars0), weights),
                                              _mm256_maddubs_epi16(DigitValuesAvx2(chars1), weights));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(q), _mm256_permute4x64_epi64(pairs, 0xD8));
    return {PlainRunChars(p, cPairs, separators), cPairs};
}

// Pairs each followed by one separator, as od, hexdump and Python's
// bytes.hex(' ') write them: up to 16, from the 48 characters at p, and
// one more separator after 16. Each lane takes eight pairs, 24 characters,
// from two 16-character loads, at 0 and 8 of them; a pair's separator is
// gathered twice, beside its two digits, so that the two masks meet pair
// by pair. Writes 16 bytes, of which the run's count are its pairs.
constexpr int SpacedLoadPos[2] = {0, 8};

// The shuffle that takes, from a lane's load j, the digits (fSeparators
// false) or the separators that its load 0 does not hold.
constexpr ByteVector<32> MakeSpacedGather(int j, bool fSeparators)
{
    ByteVector<32> v{};
    for (int k = 0; k < 32; ++k) {
        const int pair = k % 16 / 2;
        const int pos = 3 * pair + (fSeparators ? 2 : k % 2);
        const int at0 = pos - SpacedLoadPos[0], atJ = pos - SpacedLoadPos[j];
        const bool fInJ = atJ >= 0 && atJ < 16 && (j == 0 || at0 >= 16);
        v[static_cast<size_t>(k)] = fInJ ? static_cast<uint8_t>(atJ) : HEX_SHUFFLE_ZERO;
    }
    return v;
}

inline constexpr ByteVector<32> SpacedDigits0 = MakeSpacedGather(0, false);
inline constexpr ByteVector<32> SpacedDigits1 = MakeSpacedGather(1, false);
inline constexpr ByteVector<32> SpacedSeparators0 = MakeSpacedGather(0, true);
inline constexpr ByteVector<32> SpacedSeparators1 = MakeSpacedGather(1, true);

constexpr bool SpacedGatherCoversEveryByte()
{
    for (size_t k = 0; k < 32; ++k) {
        if ((SpacedDigits0[k] == HEX_SHUFFLE_ZERO) == (SpacedDigits1[k] == HEX_SHUFFLE_ZERO)) return false;
        if ((SpacedSeparators0[k] == HEX_SHUFFLE_ZERO) == (SpacedSeparators1[k] == HEX_SHUFFLE_ZERO)) return false;
    }
    return true;
}
static_assert(SpacedGatherCoversEveryByte(), "each digit and separator comes from exactly one load");

HEX_TARGET("avx2") HEX_INLINE HexPairRun ConvertSpacedPairsAvx2(const char* p, uint8_t* q)
{
    const __m256i load0 = LoadLine2x16(p + SpacedLoadPos[0], p + 24 + SpacedLoadPos[0]);
    const __m256i load1 = LoadLine2x16(p + SpacedLoadPos[1], p + 24 + SpacedLoadPos[1]);
    const __m256i digits = _mm256_or_si256(_mm256_shuffle_epi8(load0, Load32Avx2(SpacedDigits0.data())),
                                           _mm256_shuffle_epi8(load1, Load32Avx2(SpacedDigits1.data())));
    const __m256i separators = _mm256_or_si256(_mm256_shuffle_epi8(load0, Load32Avx2(SpacedSeparators0.data())),
                                               _mm256_shuffle_epi8(load1, Load32Avx2(SpacedSeparators1.data())));
    const __m256i separatorBits = _mm256_and_si256(ClassesAvx2(separators), _mm256_set1_epi8(HEX_BITS_SEPARATOR));
    const auto fine = static_cast<uint32_t>(TopAfterAddingAvx2(ClassesAvx2(digits), HEX_DIGIT_TO_TOP)) &
                      ~static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(separatorBits, _mm256_setzero_si256())));
    const auto cPairs = static_cast<uint32_t>(std::countr_one(fine)) / 2;
    if (cPairs < HEX_RUN_MIN_PAIRS) return {0, 0};
    const __m256i pairs = _mm256_maddubs_epi16(DigitValuesAvx2(digits), _mm256_set1_epi16(HEX_PAIR_WEIGHTS));
    const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(pairs, pairs), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(q), _mm256_castsi256_si128(bytes));
    return {3 * cPairs + IsSeparatorAt(p + 3 * cPairs), cPairs};
}

// A run at p, of either shape, or none. Reads at most the 65 characters at
// p and writes at most 32 bytes: a run starts more than 64 characters
// before the terminator, so both stay inside the text and inside the
// output's ceil(length / 2).
HEX_TARGET("avx2") HEX_INLINE HexPairRun ConvertPairRunAvx2(const char* p, uint8_t* q)
{
    // The third character tells the shapes apart, and turns most other
    // texts away.
    const uint8_t third = CharClassTable[static_cast<uint8_t>(p[2])];
    if (third == CC_SEPARATOR) return ConvertSpacedPairsAvx2(p, q);
    if (third == CC_HEXDIGIT) return ConvertPlainPairsAvx2(p, q);
    return {0, 0};
}

// The 64 characters at p that are LF, as bits.
HEX_TARGET("avx2") HEX_INLINE uint64_t LineFeedsAvx2(const char* p)
{
    const __m256i lineFeed = _mm256_set1_epi8('\n');
    return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(Load32Avx2(p), lineFeed))) |
           uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(Load32Avx2(p + 32), lineFeed)))} << 32;
}

// The characters of the comment line at p, through its LF, where that LF
// lies within 64 characters of a start before pLast; else 0, and the
// blocks take the comment. Inside a comment only LF and the zero byte
// count, and the 64 characters at any start before pLast hold no zero byte.
// Skipped between runs without leaving them, a comment line no longer
// costs a block and the way back: on a text with one every fourth line,
// the AVX-512 kernel went 5.3 to 9.7 GB/s at 1 MiB, the AVX2 one 2.6 to 4.0;
// with comments of 100 to 200 characters, AVX-512 went 4 to 6 GB/s to 11.5.
HEX_TARGET("avx2") HEX_INLINE uint32_t CommentLineCharsAvx2(const char* p, const char* pLast)
{
    const char* r = p;
    uint64_t lineFeeds = LineFeedsAvx2(r);
    while (lineFeeds == 0) {
        r += HEX_BLOCK_CHARS;
        if (r >= pLast) return 0;
        lineFeeds = LineFeedsAvx2(r);
    }
    return static_cast<uint32_t>(r - p) + static_cast<uint32_t>(std::countr_zero(lineFeeds)) + 1;
}

// The formatter's lines (Runs::ConvertFormatterLine, with the contract of
// ConvertFormatterLineAvx2) and a kernel's runs of pairs
// (Runs::ConvertPairRun, with the contract of ConvertPairRunAvx2; given
// pLast too, it may read further, up to 64 characters past it, and write
// 64 bytes where it reads the 64 after p + 64 before pLast), one after
// another while they last, and the comment lines between them. A line has
// a step of its own: returned as a run through the guess below, the AVX2
// kernel's layout went 13.7 GB/s to 10.8. Each kernel compiles it once,
// out of line, for its instruction set.
template <typename Runs>
HEX_INLINE HexRunsEnd ConvertPairRunsWith(const char* p, const char* pLast, uint8_t* q)
{
    HexPairRun guess = {0, 0};
    bool fSkipped = false;
    for (;;) {
        if (Runs::ConvertFormatterLine(p, q)) {
            p += HEX_LINE_CHARS;
            q += HEX_LINE_BYTES;
        } else {
            const HexPairRun run = Runs::ConvertPairRun(p, pLast, q);
            if (run.cch == 0) {
                // After a run of 32 plain pairs with no separator, the rest
                // of its line, however short (Runs::ConvertPlainTail, the
                // AVX2 kernel's; AVX-512 takes it in the same step). The
                // guess stays on the full run, as the next line starts with
                // one. Base16 lines of 76 digits went 1.5 to 2.7 GB/s, of 200
                // digits 2.8 to 4.1, each rest no longer a block and the way
                // back; and the failed run it retries, on a branch taken only
                // after a full one, cost xxd -p nothing.
                const HexPairRun tail = guess.cch == 2 * HEX_PLAIN_PAIRS ? Runs::ConvertPlainTail(p, q) : HexPairRun{0, 0};
                if (tail.cch != 0) {
                    p += tail.cch;
                    q += tail.cb;
                } else if (const uint32_t cchComment = *p == ';' ? CommentLineCharsAvx2(p, pLast) : 0; cchComment != 0) {
                    p += cchComment;
                } else {
                    // A run may start after one separator more: where a line
                    // ends in two, or where a block left the parse before one.
                    if (fSkipped || !IsSeparatorAt(p) || ++p >= pLast) break;
                    fSkipped = true;
                    continue;
                }
            } else if (((run.cch ^ guess.cch) | (run.cb ^ guess.cb)) == 0) {
                // Where the next run starts waits for this one's classes; but
                // most runs are as long as the one before, and a branch that
                // says so lets the next one start at once, on a guess that is
                // then checked.
                HEX_OPAQUE(guess.cch);
                HEX_OPAQUE(guess.cb);
                p += guess.cch;
                q += guess.cb;
            } else {
                p += run.cch;
                q += run.cb;
                guess = run;
            }
        }
        fSkipped = false;
        if (p >= pLast) break;
        // Two lines of memory: a step of two registers takes 96 to 102
        // characters (at 64 MiB, 4 to 6 % faster than one line a step).
        HEX_PREFETCH(reinterpret_cast<uintptr_t>(p) + HEX_PREFETCH_AHEAD);
        HEX_PREFETCH(reinterpret_cast<uintptr_t>(p) + HEX_PREFETCH_AHEAD + 64);
        HEX_PREFETCH(reinterpret_cast<uintptr_t>(q) + HEX_PREFETCH_OUT_AHEAD);
    }
    return {p, q};
}

// The AVX2 kernel's, in avx2/parse.cpp.
HEX_TARGET("avx2") HexRunsEnd ConvertPairRunsAvx2(const char* p, const char* pLast, uint8_t* q);

#endif
