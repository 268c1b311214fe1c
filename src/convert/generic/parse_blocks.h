// The block loop of the vector parsers, the same for every instruction set.
//
// A kernel classifies 64 characters at once into bit masks (bit k is
// character k): digits, and "others" (neither digits nor separators: bad
// characters and ';'). From the masks alone this loop finds the comments,
// pairs up the runs of digits and sees whether the block holds a stop; the
// kernel then converts the block's pairs at once. Comments and a pair that
// straddles two blocks carry over. The first block that holds a stop, and
// the text's last few characters, go to the reference routine from the
// block's start (or the straddling pair's), so that it stops, counts and
// writes exactly as from the start of the text. Each kernel's parse.cpp
// instantiates ParseHexBlocks in an entry for its instruction set.
#pragma once

#include "convert/generic/simd_target.h"
#include "convert/scalar/hex_scalar.h"

#include <algorithm>
#include <bit>
#include <cstring>

constexpr uint32_t HEX_BLOCK_CHARS = 64;
constexpr uint64_t HEX_EVEN_BITS = 0x5555555555555555ull;
constexpr uint64_t HEX_LAST_BIT = 1ull << 63;

// The terminator is looked for this far ahead at a time (see
// TextLengthWithin), not once over the whole text: the stretch just
// measured is then parsed while still in cache, and a text that stops
// early is not read to its end.
constexpr size_t HEX_LOOKAHEAD = 4 * 1024;

// Each block asks for the memory this far ahead of it, so that the look
// for the terminator finds the next stretches on their way; on some
// processors one stretch ahead is not enough (docs/PERFORMANCE.md).
constexpr size_t HEX_PREFETCH_AHEAD = 2 * HEX_LOOKAHEAD;

// And the output this far ahead (about as far as the text, at three
// characters a byte): an ordinary store first reads its line in, and asked
// for early, that read overlaps the text's. Past the output's end, harmless.
constexpr size_t HEX_PREFETCH_OUT_AHEAD = 2 * 1024;

// The most blocks parsed between two looks for runs of pairs.
constexpr uint32_t HEX_MAX_BLOCKS_TO_RUNS = 64;

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

// The weights of a pair's two digit values in a multiply-add of byte
// pairs (pmaddubsw): the first digit times 16 plus the second.
constexpr int16_t HEX_PAIR_WEIGHTS = 0x0110;

// Writes the lead byte, then counts it only if there is one: no branch on
// where the blocks cut the pairs.
HEX_INLINE uint8_t* StoreLead(uint32_t lead, uint32_t cLead, uint8_t* q)
{
    *q = static_cast<uint8_t>(lead);
    return q + cLead;
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
            const HexRunsEnd end = Kernel::ConvertPairRuns(p, pLast, q);
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
// byte as the sanitizers see it. Except in the Windows program, whose C
// runtime's strnlen goes one character at a time, slower than the reference
// parses: there, aligned 64-byte lines, which may read past the terminator
// but, inside their page, cannot fault (and no sanitizer looks there).
#if defined(_WIN32) && HEXBIN_X86

// Out of line, one for every kernel: in x86/text_length.cpp.
size_t TextLengthWithin(const char* p, size_t cchMax);

#else

HEX_INLINE size_t TextLengthWithin(const char* p, size_t cchMax)
{
    return strnlen(p, cchMax);
}

#endif

// Kernel is a set of inline functions for one instruction set:
//   Block LoadBlock(p)   the 64 characters at p classified: the digits and
//       others masks, and whatever the kernel keeps to convert them
//   HexCommentMasks CommentMasks(block)   its ';' and LF characters
//   bool HAS_PAIR_RUNS, and HexRunsEnd ConvertPairRuns(p, pLast, q)   the
//       runs of pairs at p while they start before pLast (parse_runs.h), if
//       it has any (else never called)
//   uint8_t* StorePairs(block, firsts, lead, cLead, q)   cLead (0 or 1)
//       bytes lead at q, then the pairs whose first digits are the bits of
//       firsts; returns the end of what it wrote
// StorePairs may write up to 8 bytes past that end, which the next block
// rewrites or the contract leaves to the routine: a block is parsed only
// with more than 64 characters before the terminator, so such a write stays
// inside the output's ceil(length / 2) (see StoreKeptSlots).
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
