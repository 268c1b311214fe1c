// The runs loop of the vector parsers, the same for every instruction set:
// where the text at a block's start is in a shape of runs of pairs a kernel
// knows (shapes.h), it converts them here, one after another, by their
// fixed places, instead of block by block.
#pragma once

#include "convert/generic/line_layout.h"
#include "convert/generic/parse_blocks.h"
#include "convert/generic/simd_target.h"
#include "convert/scalar/hex_scalar.h"

#include <bit>
#include <cstdint>

// Characters read and bytes written by a run of pairs.
struct HexPairRun {
    uint32_t cch;
    uint32_t cb;
};

// Runs of pairs in the shapes other tools write, converted many at a time
// where the text at a block's start has one: from
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

// The characters of the comment line at p, through its LF, where that LF
// lies within 64 characters of a start before pLast; else 0, and the
// blocks take the comment. Inside a comment only LF and the zero byte
// count, and the 64 characters at any start before pLast hold no zero byte.
// Skipped between runs without leaving them, a comment line no longer
// costs a block and the way back: on a text with one every fourth line,
// the AVX-512 kernel went 5.3 to 9.7 GB/s at 1 MiB, the AVX2 one 2.6 to 4.0;
// with comments of 100 to 200 characters, AVX-512 went 4 to 6 GB/s to 11.5.
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
//   bool ConvertFormatterLine(const char* p, uint8_t* q)   writes the 16
//       bytes of the formatter's line at p, if one is there, reading its 51
//       characters only; or returns false
//   HexPairRun ConvertPairRun(const char* p, const char* pLast, uint8_t* q)
//       the run at p, of any shape it knows, or none ({0, 0}). Reads at most
//       the 65 characters at p and writes at most 32 bytes; or, where p + 64
//       is before pLast, up to 64 characters past pLast and 64 bytes
//   HexPairRun ConvertPlainTail(const char* p, uint8_t* q)   the rest of a
//       line of plain pairs, however short, with the same bounds
//   uint64_t LineFeeds(const char* p)   the 64 characters at p that are LF
// A run starts more than 64 characters before the terminator, so what it
// reads stays inside the text and what it writes inside the output's
// ceil(length / 2).
//
// The formatter's lines and the kernel's runs, one after another while they
// last, and the comment lines between them. A line has
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
        // characters (at 64 MiB, 4 to 6 % faster than one line a step).
        HEX_PREFETCH(reinterpret_cast<uintptr_t>(p) + HEX_PREFETCH_AHEAD);
        HEX_PREFETCH(reinterpret_cast<uintptr_t>(p) + HEX_PREFETCH_AHEAD + 64);
        HEX_PREFETCH(reinterpret_cast<uintptr_t>(q) + HEX_PREFETCH_OUT_AHEAD);
    }
    return {p, q};
}
