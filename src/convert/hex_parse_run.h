// The loop of the parser kernels, the same for every instruction set.
#pragma once

#include "convert/hex_parse_shapes.h"
#include "convert/simd_target.h"

#include <cstddef>
#include <cstdint>

// Kernel is a set of inline helpers for one instruction set:
//   HexWindowClasses Classify(const char* p)       the classes of 64 characters
//   void DecodeShape(const char* p, const HexShape& shape, uint8_t* pOut)
//   bool DecodeLine(const char* p, uint8_t* pOut)  the formatter's exact line,
//       checked by comparison; writes nothing and returns false otherwise
// Called from a HEX_FLATTEN entry with the kernel's target attribute, which
// compiles all of it for that instruction set. See HexBlockRunFn.
template <typename Kernel>
HEX_INLINE const char* RunHexBlocks(const char* p, const char* pLimit, uint8_t*& pOut)
{
    uint8_t* q = pOut;
    HexWindowClasses w{0, 0, 0};
    for (;;) {
        // Line after line of the formatter's text takes this path alone; the
        // LF check keeps it from costing other texts much.
        if (w.cValid == 0 && pLimit - p >= static_cast<ptrdiff_t>(kLineChars) && p[kLineChars - 1] == '\n' &&
            Kernel::DecodeLine(p, q)) {
            q += 16;
            p += kLineChars;
        } else if (const HexShape* shape = MatchHexShape(w)) {
            Kernel::DecodeShape(p, *shape, q);
            q += 16;
            p += shape->cch;
            ConsumeClasses(w, shape->cch);
        } else if (w.separators & 1) {
            const uint32_t cch = LeadingSeparators(w);
            p += cch;
            ConsumeClasses(w, cch);
        } else if (const uint32_t cPairs = ShortRunPairs(w)) {
            alignas(16) uint8_t decoded[16];
            Kernel::DecodeShape(p, kPlainShape, decoded);
            CopyShortRun(q, decoded, cPairs);
            q += cPairs;
            p += 2 * cPairs;
            ConsumeClasses(w, 2 * cPairs);
        } else if (w.cValid == kHexWindow || pLimit - p < static_cast<ptrdiff_t>(kHexWindow)) {
            break;  // a whole window not recognised, or the known text ends
        } else {
            w = Kernel::Classify(p);
        }
    }
    pOut = q;
    return p;
}
