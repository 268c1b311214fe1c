// Run shapes: units whose every character is a digit or a separator at a fixed place, as tools write lines,
// converted by those places with no pairing or squeeze. A shape is data learned from the text (a line, or a
// stretch of a longer one, that it repeats); each kernel derives its checks.
#pragma once

#include "convert/generic/parse_blocks.h"

// At most this many pairs in a stretch of a longer line: two units fill a register.
constexpr uint32_t HEX_SHAPE_STRETCH_PAIRS = 16;

struct HexShape {
    uint32_t cch;     // characters of a unit
    uint32_t cPairs;  // its pairs
    uint64_t digits;  // bit k set where character k is a digit
    uint64_t span;    // bits 0 to cch - 1, 64 at most
};

struct HexCharMasks { uint64_t digits, tokens, lineFeeds; };  // a kernel's masks of 64 characters

// Shapes gives, for one instruction set: Unit LoadUnit(p) of the 64 characters at p; LineFeeds(unit);
// HexCharMasks Masks(p); Learned, its checks and gathers for a shape, with cch, cPairs and cMost (units a
// step, 1 or 2); bool Learn(shape, p, learned), false where it cannot take it or the next unit differs;
// ConvertUnits(learned, unit, q), how many units start at the unit, up to cMost, their pairs at q (up to 32
// bytes), checked never more loosely than by the classes, reading 64 characters from each unit's start (65
// with LAST_APART); ConvertRun, ConvertShapeRun below, in line or not; LEARNS_AT_TEXT, whether a text's first
// line is looked at (parse_text.h); LAST_APART, whether a unit may be 65 characters. A step, and learning,
// read no more than this from p:
constexpr uint32_t HEX_SHAPE_READ_CHARS = 128;

// The characters of the unit at p, which starts a token after a separator or opens the text: at the start of
// a line that ends within 64 characters, the line (or two); else the longest stretch that ends in a
// separator, with at most 16 pairs (half of a longer line of groups, so the other half matches too); 0: none.
HEX_INLINE uint32_t UnitChars(bool fLineStart, const HexCharMasks& m)
{
    if (fLineStart && m.lineFeeds != 0) {
        // Two lines alike in length, of up to 32 digits and separators each: one unit, a step for both.
        const auto cch = static_cast<uint32_t>(std::countr_zero(m.lineFeeds)) + 1;
        if (cch > 32) return cch;
        const uint64_t two = (uint64_t{1} << (cch - 1)) * ((uint64_t{1} << cch) + 1), span = ~uint64_t{0} >> (64 - 2 * cch);
        return (m.lineFeeds & span) == two && (~m.tokens & span) == 0 ? 2 * cch : cch;
    }
    uint64_t firsts = PairFirstDigits(m.digits);
    for (uint32_t k = 0; k < HEX_SHAPE_STRETCH_PAIRS && firsts != 0; ++k) firsts &= firsts - 1;
    const uint64_t before = firsts != 0 ? (firsts & (0 - firsts)) - 1 : ~uint64_t{0};
    const uint64_t separators = m.tokens & ~m.digits & before;
    return separators != 0 ? 64 - static_cast<uint32_t>(std::countl_zero(separators)) : 0;
}

// The shape of the unit at p where it is all digits and separators, with runs that pair up, and the kernel
// sees the next unit repeat it.
template <typename Shapes>
HEX_INLINE bool LearnShape(const char* p, bool fLineStart, typename Shapes::Learned& learned)
{
    const HexCharMasks m = Shapes::Masks(p);
    // Digits through all 128 in reach: 32 pairs of a run that goes on, learned only where a text's start is
    // looked at, a line of plain digits' one place.
    const bool fPlain = Shapes::LEARNS_AT_TEXT && m.digits == ~uint64_t{0} && Shapes::Masks(p + 64).digits == ~uint64_t{0};
    uint32_t cch = fPlain ? 64 : UnitChars(fLineStart, m);
    // A line of 64 digits (xxd -p -c32, a list of SHA-256 sums) is one unit with its LF, where the kernel
    // checks a unit's last character apart from the 64 (LAST_APART).
    if (Shapes::LAST_APART && fLineStart && cch == 0 && m.digits == ~uint64_t{0} && p[64] == '\n') cch = 65;
    if (cch == 0) return false;
    const uint64_t span = cch >= 64 ? ~uint64_t{0} : (uint64_t{1} << cch) - 1, digits = m.digits & span, firsts = PairFirstDigits(digits);
    if (firsts == 0 || (~m.tokens & span) != 0 || ((firsts << 1) & ~digits & span) != 0) return false;
    return Shapes::Learn(HexShape{cch, static_cast<uint32_t>(std::popcount(firsts)), digits, span}, p, learned);
}

// The units of the shape from p, the first at u, and comment lines between them, while they last and room is
// left; how many, but 2 for more. A full step's next starts where it is known at once.
template <typename Shapes>
HEX_INLINE uint32_t ConvertShapeRun(const typename Shapes::Learned& shape, typename Shapes::Unit u, const char*& pRun, uint8_t*& qRun, const HexKnown& known)
{
    // Copies the stores through q cannot reach, to stay in registers.
    const typename Shapes::Learned learned = shape;
    const char* p = pRun;
    uint8_t* q = qRun;
    const uintptr_t cchUnit = learned.cch, cbUnit = learned.cPairs;  // as wide as an address
    const uintptr_t pStop = reinterpret_cast<uintptr_t>(known.p) - (64 + (learned.cMost - 1) * cchUnit);
    for (;;) {
        const uint32_t cUnits = Shapes::ConvertUnits(learned, u, q);
        p += cUnits * cchUnit;
        q += cUnits * cbUnit;
        if (cUnits != learned.cMost) [[unlikely]] {
            // A comment line where a unit stopped (at most a unit past a start before pStop, so 64 characters
            // or more before known.p) is passed over in the run, its characters read anew.
            HEX_OPAQUE(p);
            const uint64_t lineFeeds = Shapes::LineFeeds(Shapes::LoadUnit(p));
            if (*p != ';' || lineFeeds == 0) break;
            p += std::countr_zero(lineFeeds) + 1;
        }
        if (reinterpret_cast<uintptr_t>(p) >= pStop) break;
        HEX_PREFETCH(reinterpret_cast<uintptr_t>(p) + HEX_PREFETCH_AHEAD);
        HEX_PREFETCH(reinterpret_cast<uintptr_t>(p) + HEX_PREFETCH_AHEAD + 64);
        u = Shapes::LoadUnit(p);
    }
    const uintptr_t cbDone = reinterpret_cast<uintptr_t>(q) - reinterpret_cast<uintptr_t>(qRun);
    pRun = p;
    qRun = q;
    // A run of plain digits counts only from 256 bytes on: leaving it costs as much as some 160 of them save.
    return cbDone >= (2 * cbUnit == cchUnit ? 256 : 2 * cbUnit) ? 2 : cbDone != 0;
}

// The shape learned last, if any, kept from one look to the next.
template <typename Shapes>
struct HexShapeState {
    typename Shapes::Learned learned;  // read only once learned; clearing it took AVX2 a rep stos a call
    bool fLearned = false;
};

// The units of the shapes at p, and the comment lines between, while HEX_SHAPE_READ_CHARS characters come
// before the terminator (looked for further as they need): the shape learned before, or one learned anew,
// once a call and only at a line's start or where no line ends in sight (elsewhere it would learn a line's
// rest), up to a unit that neither it nor learning takes. p, and every unit's end, starts a token after a
// separator or a plain run's pair (fAtText: p opens the text); how many.
template <typename Shapes>
HEX_INLINE uint32_t ConvertShapeRuns(const char*& pRuns, uint8_t*& qRuns, HexKnown& known, HexShapeState<Shapes>& shapes, bool fAtText)
{
    const char* const pFirst = pRuns;
    const char* p = pFirst;
    uint8_t* q = qRuns;
    uint32_t cUnits = 0;
    bool fLearnedHere = false;
    const char* pSightOfRun = nullptr;  // known.p when the shape learned here last ran
    for (;;) {
        if (reinterpret_cast<uintptr_t>(known.p) - reinterpret_cast<uintptr_t>(p) <= HEX_SHAPE_READ_CHARS && !ExtendKnown(known)) break;
        if (reinterpret_cast<uintptr_t>(known.p) - reinterpret_cast<uintptr_t>(p) <= HEX_SHAPE_READ_CHARS) continue;  // looked further, not yet far enough
        const typename Shapes::Unit u = Shapes::LoadUnit(p);
        const uint64_t lineFeeds = Shapes::LineFeeds(u);
        if (*p == ';') {
            // A comment line through its LF in 64 characters: no zero byte, which ends one too, is in sight.
            if (lineFeeds == 0) break;
            p += std::countr_zero(lineFeeds) + 1;
            continue;
        }
        const bool fLineStart = !fLearnedHere && ((fAtText && p == pFirst) || p[-1] == '\n');
        const bool fMayLearn = !fLearnedHere && (fLineStart || lineFeeds == 0);
        if (!shapes.fLearned) {
            if (!fMayLearn || !(shapes.fLearned = LearnShape<Shapes>(p, fLineStart, shapes.learned))) break;
            fLearnedHere = true;
        }
        if (pSightOfRun == known.p) break;  // that run stopped at a unit it does not take, not at the end of sight
        const uint32_t cRun = Shapes::ConvertRun(shapes.learned, u, p, q, known);
        pSightOfRun = fLearnedHere ? known.p : nullptr;
        if (cRun == 0 && !fMayLearn) break;
        shapes.fLearned = cRun != 0;
        cUnits += cRun;
    }
    pRuns = p;
    qRuns = q;
    return cUnits;
}

// Parses the block at s.p through its first LF (or, with none, nor comments or bad characters, its first
// separator), where shapes are looked for: 1; 0 at a stop before it (a miss); -1, no miss, with no room or
// place there. Its pairs go through a second copy of the kernel's store (CUT_BY_STORE), or, slower, through
// the reference's tables, where that copy is too big for the program.
template <typename Kernel>
HEX_INLINE int CutForShapes(HexBlockState<typename Kernel::Mask>& s, const char* pKnown)
{
    using Mask = typename Kernel::Mask;
    if (reinterpret_cast<uintptr_t>(pKnown) - reinterpret_cast<uintptr_t>(s.p) <= HEX_SHAPE_READ_CHARS + Kernel::BLOCK_CHARS) return -1;
    const typename Kernel::Block block = Kernel::LoadBlock(s.p - 1);
    const Mask lineFeeds = InRegister(Kernel::LineFeeds(block)) & static_cast<Mask>(~Mask{1});
    Mask cuts = lineFeeds;
    if (cuts == 0 && !Kernel::HasOthers(block) && s.fInComment == 0) {
        cuts = static_cast<Mask>(~Kernel::Digits(block) & ~Mask{1});
        if (cuts == 0) return Kernel::BLOCK_CHARS == 64 ? 0 : -1;  // all digits: 64 are a long run (a miss), 32 may be a line's middle
    }
    if (cuts == 0) return -1;
    const auto cut = static_cast<uint32_t>(std::countr_zero(cuts));
    if constexpr (Kernel::CUT_BY_STORE) {
        const Mask semicolons = InRegister(Kernel::Semicolons(block)), through = static_cast<Mask>((Mask{2} << cut) - 1);
        const Mask comment = Choose(s.fInComment, CommentChars<Mask>(semicolons, lineFeeds, 1), CommentChars<Mask>(semicolons, lineFeeds, 0));
        const auto pairs = PairDigits<Mask>(InRegister(Kernel::Digits(block)) & static_cast<Mask>(~comment & through), s.fOpen);
        if (((InRegister(Kernel::Others(block)) & static_cast<Mask>(~comment)) | pairs.unpaired) & through) return 0;
        s.q = Kernel::StorePairs(block, pairs.seconds, s.q);
    } else if (uint8_t* q = HexPairsBefore(s.p - (s.fOpen & 1), s.p - 1 + cut, s.q, s.fInComment != 0); q != nullptr) {
        s.q = q;
    } else {
        return 0;
    }
    s = {s.p + cut, s.q, 0, 0};
    return 1;
}
