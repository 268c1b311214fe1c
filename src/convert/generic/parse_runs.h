// The runs loop of the vector parsers, the same for every instruction set:
// where the text at a block's start is in a shape a kernel knows (shapes.h),
// it converts runs of pairs one after another by their fixed places.
#pragma once

#include "convert/generic/line_layout.h"
#include "convert/generic/parse_blocks.h"

// Characters read and bytes written by a run of pairs.
struct HexPairRun {
    uint32_t cch;
    uint32_t cb;
};

// A run counts from HEX_RUN_MIN_PAIRS pairs on, as fewer go faster through
// the blocks. It takes one more separator after it where there is one (a
// plain run up to two, for CR LF), so that the next run most often starts
// right after it.
constexpr uint32_t HEX_RUN_MIN_PAIRS = 12;
constexpr uint32_t HEX_PLAIN_PAIRS = 32;

HEX_INLINE uint32_t IsSeparatorAt(const char* p)
{
    return CharClassTable[static_cast<uint8_t>(*p)] == CC_SEPARATOR;
}

// The characters a run of cPairs plain pairs at p takes: its digits and the
// separators after them, seen in the separators mask of the 64 characters
// at p (after all 64, the one at p[64]).
HEX_INLINE uint32_t PlainRunChars(const char* p, uint32_t cPairs, uint64_t separators)
{
    if (cPairs == HEX_PLAIN_PAIRS) return 2 * HEX_PLAIN_PAIRS + IsSeparatorAt(p + 2 * HEX_PLAIN_PAIRS);
    return 2 * cPairs + static_cast<uint32_t>(std::countr_one(static_cast<uint32_t>(separators >> (2 * cPairs)) & 3));
}

// The characters of the comment line at p through its LF, skipped between
// runs so that it costs no block and no way back; 0 where the LF is not
// within 64 characters of a start before pLast (where there is no zero
// byte, the only other character a comment counts).
template <typename Runs>
HEX_INLINE uint32_t CommentLineChars(const char* p, const char* pLast)
{
    const char* r = p;
    uint64_t lineFeeds = Runs::LineFeeds(r);
    while (lineFeeds == 0) {
        r += HEX_BLOCK_CHARS;
        if (r >= pLast) return 0;
        lineFeeds = Runs::LineFeeds(r);
    }
    return static_cast<uint32_t>(r - p) + static_cast<uint32_t>(std::countr_zero(lineFeeds)) + 1;
}

// Runs is a set of inline functions for one instruction set:
//   bool ConvertFormatterLine(p, q)   the 16 bytes of the formatter's line
//       at p, if one is there (reads its 51 characters only)
//   HexPairRun ConvertPairRun(p, pLast, q)   the run at p, or {0, 0}: reads
//       at most 65 characters and writes 32 bytes, or, where p + 64 is
//       before pLast, up to 64 characters past pLast and 64 bytes
//   HexPairRun ConvertPlainTail(p, q)   the rest of a line of plain pairs
//   uint64_t LineFeeds(p)   the 64 characters at p that are LF
// A run starts more than 64 characters before the terminator, so these
// reads and writes stay inside the text and the output's ceil(length / 2).
// A line has a step of its own, not a run through the guess below, which
// its length would upset. Compiled once per kernel, out of line.
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
                // of its line, however short (AVX-512 takes it in the same
                // step), rather than a block and the way back. The guess
                // stays on the full run, as the next line starts with one.
                const HexPairRun tail = guess.cch == 2 * HEX_PLAIN_PAIRS ? Runs::ConvertPlainTail(p, q) : HexPairRun{0, 0};
                if (tail.cch != 0) {
                    p += tail.cch;
                    q += tail.cb;
                } else if (const uint32_t cchComment = *p == ';' ? CommentLineChars<Runs>(p, pLast) : 0; cchComment != 0) {
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
        // characters.
        HEX_PREFETCH(reinterpret_cast<uintptr_t>(p) + HEX_PREFETCH_AHEAD);
        HEX_PREFETCH(reinterpret_cast<uintptr_t>(p) + HEX_PREFETCH_AHEAD + 64);
        HEX_PREFETCH(reinterpret_cast<uintptr_t>(q) + HEX_PREFETCH_OUT_AHEAD);
    }
    return {p, q};
}
