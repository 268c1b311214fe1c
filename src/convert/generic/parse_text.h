// The entry of every vector parser: the terminator looked for a stretch at a time, the blocks, and the run
// shapes; each kernel's parse.cpp has its own.
#pragma once

#include "convert/generic/shapes.h"

#include <algorithm>

// Blocks between two looks for the shapes: doubled after each look that finds none, up to this many, so that
// a text without them pays little for them.
constexpr uint32_t HEX_MAX_BLOCKS_TO_SHAPES = 256;

// The blocks to the next look for shapes, and the shapes' state, if any.
template <typename Kernel>
struct HexLooks {
    uint32_t cBlocksToShapes = 1;
};

template <typename Kernel>
    requires requires { typename Kernel::Shapes; }
struct HexLooks<Kernel> : HexShapeState<typename Kernel::Shapes> {
    uint32_t cBlocksToShapes = 0;  // the first look is in the first block: a text shows its layout from its first line
    bool fAtText = false;  // the parse stands at the text's first character, which opens a line
};

// The blocks and shapes that start before known.p - BLOCK_CHARS + 1 (a run of shapes looks further as it
// goes); false at the first stop, the state at its block's start.
template <typename Kernel>
HEX_INLINE bool ParseKnownText(HexBlockState<typename Kernel::Mask>& state, HexKnown& known, [[maybe_unused]] HexLooks<Kernel>& looks)
{
    constexpr uint32_t step = Kernel::BLOCK_CHARS - 1;
    if constexpr (!requires { typename Kernel::Shapes; }) {
        return ParseKnownBlocks<Kernel>(state, known.p - (step - 1));
    } else {
        while (state.p < known.p - (step - 1)) {
            int found = 1;
            if (!looks.fAtText) {
                const char* pLast = known.p - (step - 1);
                const uintptr_t cchLeft = reinterpret_cast<uintptr_t>(pLast) - reinterpret_cast<uintptr_t>(state.p);
                const uintptr_t cchBlocks = uintptr_t{looks.cBlocksToShapes} * step;
                if (!ParseKnownBlocks<Kernel>(state, cchLeft > cchBlocks ? state.p + cchBlocks : pLast)) return false;
                if (state.p >= pLast) break;
                found = CutForShapes<Kernel>(state, known.p);
            }
            const char* pRuns = state.p;
            if (found > 0) found = ConvertShapeRuns<typename Kernel::Shapes>(state.p, state.q, known, looks, looks.fAtText) >= 2 ? 1 : 0;
            if (looks.fAtText && state.p == pRuns) state = {pRuns + 1, state.q, 0, ~typename Kernel::Mask{0}};  // none: blocks from its second
            looks.fAtText = false;
            if (found > 0 || looks.cBlocksToShapes == 0) looks.cBlocksToShapes = 1;
            else if (found == 0) looks.cBlocksToShapes = std::min(2 * looks.cBlocksToShapes, HEX_MAX_BLOCKS_TO_SHAPES);
        }
        return true;
    }
}

// A block is parsed only where its last character comes before the terminator, so that its reads and its
// whole stores stay inside the text and the output. The text's first character is taken as the one before the
// first block: the state says whether it opens a pair or a comment.
template <typename Kernel>
HEX_INLINE HexTextResult ParseHexBlocks(const char* szText, uint8_t* pOut)
{
    using Mask = typename Kernel::Mask;
    constexpr uint32_t step = Kernel::BLOCK_CHARS - 1;
    const uint8_t cls = CharClassTable[static_cast<uint8_t>(*szText)];
    if (cls == CC_OTHER) return HexTextToBytesFrom(szText, pOut, 0, false);
    HexBlockState<Mask> state = {szText + 1, pOut, cls == CC_COMMENT ? ~Mask{0} : 0, cls == CC_HEXDIGIT ? ~Mask{0} : 0};
    HexKnown known = {szText + 1, false};
    HexLooks<Kernel> looks;
    if constexpr (requires { typename Kernel::Shapes; }) {
        // A text that opens with a digit, as a tool's does, may open with a run of its first line's shape.
        if (Kernel::Shapes::LEARNS_AT_TEXT && cls == CC_HEXDIGIT) {
            state = {szText, pOut, 0, 0};
            looks.fAtText = true;
        }
    }
    while (ExtendKnown(known)) {
        if (reinterpret_cast<uintptr_t>(known.p) - reinterpret_cast<uintptr_t>(state.p) >= step && !ParseKnownText<Kernel>(state, known, looks)) break;
    }
    const auto cbDone = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(state.q) - reinterpret_cast<uintptr_t>(pOut));
    return HexTextToBytesFrom(state.p - (state.fOpen & 1), pOut, cbDone, state.fInComment != 0);
}
