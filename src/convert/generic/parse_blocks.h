// The block loop of the vector parsers, the same for every instruction set. A kernel classifies a block (as
// many characters as its mask has bits) into masks: digits, and others (bad characters and ';'). From the
// masks alone this loop finds the comments, pairs the runs of digits and sees any stop; the kernel converts
// the block's pairs at once. A comment, and a pair across two blocks, carry over. The first block with a
// stop, and the text's last characters, go to the reference routine from the block's start (or the pending
// pair's), which stops, counts and writes as from the text's.
#pragma once

#include "convert/generic/simd_target.h"
#include "convert/scalar/hex_scalar.h"

#include <bit>
#include <cstring>

template <typename Mask>
inline constexpr Mask HEX_EVEN_BITS = static_cast<Mask>(~Mask{0} / 3);  // 0x55...

// Keeps x in a general register: GCC would otherwise keep an AVX-512 mask
// in an opmask register and move it back and forth for the arithmetic.
template <typename T>
HEX_INLINE T InRegister(T x)
{
    HEX_OPAQUE(x);
    return x;
}

// The first digit of every pair, where the block's first character opens a pair if a digit. Adding the starts
// of the runs at even places to the digits carries through those runs and clears them: no loop over runs.
template <typename Mask>
constexpr Mask PairFirstDigits(Mask digits)
{
    const Mask even = HEX_EVEN_BITS<Mask>;
    const Mask starts = digits & static_cast<Mask>(~(digits << 1));
    const Mask evenRuns = digits & static_cast<Mask>(~(digits + (starts & even)));
    return digits & static_cast<Mask>(~(evenRuns ^ even));
}

static_assert(PairFirstDigits<uint64_t>(0b0111'1110) == 0b0010'1010);  // a run of six from 1
static_assert(PairFirstDigits<uint64_t>(0b1110'1101) == 0b1010'0101);  // runs of 1, 2 and 3
static_assert(PairFirstDigits<uint64_t>(~0ull) == HEX_EVEN_BITS<uint64_t>);
static_assert(PairFirstDigits<uint32_t>(0xFFFF0000u) == 0x55550000u);

// The run of digits at bit 0. Where the first character does not open a
// pair, that run pairs up from its second digit instead.
template <typename Mask>
constexpr Mask LeadingRun(Mask digits)
{
    return digits & static_cast<Mask>(~(digits + 1));
}

// The characters of the block's comments, for a block that starts outside one (fIn 0) or inside (1): from a
// ';', or the start, to the LF that ends it, without it. Subtracting the first ';' of a line from the line
// feeds borrows through every place up to the next LF; later ';' are set again.
template <typename Mask>
constexpr Mask CommentChars(Mask semicolons, Mask lineFeeds, Mask fIn)
{
    const Mask starts = semicolons | fIn;
    return static_cast<Mask>(((lineFeeds - starts) | starts) & ~lineFeeds);
}

static_assert(CommentChars<uint32_t>(0b0000'0100, 0b0010'0000, 0) == 0b0001'1100);
static_assert(CommentChars<uint32_t>(0b0100'0100, 0b0010'0000, 0) == 0xFFFFFFDCu);
static_assert(CommentChars<uint32_t>(0, 0b0010'0000, 1) == 0b0001'1111);
static_assert(CommentChars<uint32_t>(0b1000, 0b0001, 1) == 0xFFFFFFF8u);

// a where the mask is all ones, b where it is zero: a select, no branch.
template <typename Mask>
constexpr Mask Choose(Mask mask, Mask a, Mask b)
{
    return b ^ ((a ^ b) & mask);
}

// All ones where the top bit of x is set, else zero.
template <typename Mask>
constexpr Mask TopBitMask(Mask x)
{
    return static_cast<Mask>(0 - (x >> (8 * sizeof(Mask) - 1)));
}

// Where a parse stands between blocks. A block is read from p - 1, the last character of the block before, so
// that a pair across the two is whole in the second; a block adds BLOCK_CHARS - 1 characters.
template <typename Mask>
struct HexBlockState {
    const char* p;
    uint8_t* q;
    Mask fInComment;  // all ones when p[-1] is inside a comment
    Mask fOpen;       // all ones when p[-1] opens a pair
};

// The terminator is looked for this far ahead at a time, not over the whole
// text: the stretch is parsed while in cache, and an early stop ends reading.
constexpr size_t HEX_LOOKAHEAD = 4 * 1024;

// Each block asks for the text this far ahead, for the look for the terminator, and for the output about as
// far, so that a store's read of its line overlaps the text's (docs/PERFORMANCE.md). Past the end, harmless.
constexpr size_t HEX_PREFETCH_AHEAD = 2 * HEX_LOOKAHEAD;
constexpr size_t HEX_PREFETCH_OUT_AHEAD = 2 * 1024;

// The weights of a pair's two digit values in a multiply-add of byte
// pairs (pmaddubsw): the first digit times 16 plus the second.
constexpr int16_t HEX_PAIR_WEIGHTS = 0x0110;

// A block's pairs, from its digits outside comments.
template <typename Mask>
struct HexBlockPairs {
    Mask seconds;   // the second digit of each pair that ends in the block
    Mask unpaired;  // nonzero where a digit that needs a second has none
    Mask fOpen;     // for the next block
};

// Both pairings at once, and whether the first character opens a pair selects one, so that the chain from
// block to block is one select. A pair that the last character opens ends in the next block.
template <typename Mask>
HEX_INLINE HexBlockPairs<Mask> PairDigits(Mask digits, Mask fOpen)
{
    const Mask firsts = PairFirstDigits(digits) ^ (LeadingRun(digits) & static_cast<Mask>(~fOpen));
    const auto seconds = static_cast<Mask>(firsts << 1);
    return {seconds, seconds & static_cast<Mask>(~digits), TopBitMask(firsts)};
}

// Kernel is a set of inline functions for one instruction set: Mask, BLOCK_CHARS, Block; Block LoadBlock(p),
// the classes and masks of the BLOCK_CHARS at p; bool HasOthers(block); Mask Digits, Others, Semicolons,
// LineFeeds(block); uint8_t* StorePairs(block, seconds, q), the pairs whose second digits are the bits of
// seconds, at q, returning their end, writing up to BLOCK_CHARS / 2 bytes, which the next block rewrites or
// the contract leaves to the routine; and, optionally, Shapes and CUT_BY_STORE (shapes.h).

// The block at s.p - 1; false, with s unchanged, where it holds a stop. One
// store for blocks with comments or bad characters and without: the most code.
template <typename Kernel>
HEX_INLINE bool ParseBlock(HexBlockState<typename Kernel::Mask>& s, const typename Kernel::Block& block)
{
    using Mask = typename Kernel::Mask;
    Mask digits = InRegister(Kernel::Digits(block)), bad = 0, fInComment = 0;
    if (Kernel::HasOthers(block) || s.fInComment != 0) [[unlikely]] {
        const Mask semicolons = InRegister(Kernel::Semicolons(block)), lineFeeds = InRegister(Kernel::LineFeeds(block));
        const Mask comment = Choose(s.fInComment, CommentChars<Mask>(semicolons, lineFeeds, 1), CommentChars<Mask>(semicolons, lineFeeds, 0));
        bad = InRegister(Kernel::Others(block)) & static_cast<Mask>(~comment);
        digits &= static_cast<Mask>(~comment);
        fInComment = TopBitMask(comment);
    }
    const auto pairs = PairDigits<Mask>(digits, s.fOpen);
    if ((bad | pairs.unpaired) != 0) [[unlikely]] return false;
    s.q = Kernel::StorePairs(block, pairs.seconds, s.q);
    s.fOpen = pairs.fOpen;
    s.fInComment = fInComment;
    s.p += Kernel::BLOCK_CHARS - 1;
    return true;
}

// Parses the blocks whose new characters start before pLast; false at the
// first that holds a stop, with the state at its start.
template <typename Kernel>
HEX_INLINE bool ParseKnownBlocks(HexBlockState<typename Kernel::Mask>& state, const char* pLast)
{
    HexBlockState<typename Kernel::Mask> s = state;
    bool fGoOn = true;
    while (s.p < pLast) {
        HEX_PREFETCH(reinterpret_cast<uintptr_t>(s.p) + HEX_PREFETCH_AHEAD);
        HEX_PREFETCH(reinterpret_cast<uintptr_t>(s.q) + HEX_PREFETCH_OUT_AHEAD);
        if (!ParseBlock<Kernel>(s, Kernel::LoadBlock(s.p - 1))) {
            fGoOn = false;
            break;
        }
    }
    state = s;
    return fGoOn;
}

// The characters before the first zero byte among the cchMax at p, or cchMax: strnlen, which the sanitizers
// check; but in the Windows program, whose C runtime's strnlen is slower than the reference parses, aligned
// 64-byte lines, which may read past the terminator but not its page.
#if defined(_WIN32) && HEXBIN_X86

// Out of line, one for every kernel: in x86/text_length.cpp.
size_t TextLengthWithin(const char* p, size_t cchMax);

#else

HEX_INLINE size_t TextLengthWithin(const char* p, size_t cchMax)
{
    return strnlen(p, cchMax);
}

#endif

// The text before p holds no zero byte; fEnd: the terminator is at p.
struct HexKnown {
    const char* p;
    bool fEnd;
};

// Looks for the terminator one stretch further; false once it is known.
HEX_INLINE bool ExtendKnown(HexKnown& known)
{
    if (known.fEnd) return false;
    const size_t cch = TextLengthWithin(known.p, HEX_LOOKAHEAD);
    known.p += cch;
    known.fEnd = cch < HEX_LOOKAHEAD;
    return true;
}
