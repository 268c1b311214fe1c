#include "convert/hex_parse_vector.h"

#include "convert/hex_parse_shapes.h"
#include "convert/hex_parse_token.h"

#include <cstddef>
#include <cstring>

namespace {

// The terminator is looked for this far ahead at a time, not once over the
// whole text: the stretch just measured is then parsed while still in
// cache, and a text that stops early is not read to its end.
constexpr size_t kLookahead = 4 * 1024;

// After a window the vectors do not recognise, the table-driven parser
// reads on to the end of the line (where the next shape is likely to
// start), or for this many characters, before the vectors try again.
constexpr ptrdiff_t kScalarStretch = 64;

}  // namespace

HexTextResult HexTextToBytesVector(const char* szText, uint8_t* pOut, HexBlockRunFn pfnRun)
{
    const char* p = szText;
    const char* pKnown = szText;  // no zero byte in [szText, pKnown)
    bool fEndKnown = false;       // pKnown is the terminator
    uint8_t* q = pOut;

    for (;;) {
        if (!fEndKnown && pKnown - p < static_cast<ptrdiff_t>(kLookahead / 2)) {
            // strnlen reads no further than the zero byte or the limit,
            // as the sanitizers see it, wherever it ends.
            const size_t cch = strnlen(pKnown, kLookahead);
            pKnown += cch;
            fEndKnown = cch < kLookahead;
        }
        if (pKnown - p < static_cast<ptrdiff_t>(kHexWindow)) {
            if (fEndKnown) break;
            continue;
        }

        p = pfnRun(p, pKnown, q);
        if (pKnown - p < static_cast<ptrdiff_t>(kHexWindow)) continue;

        if (*p == ';') {
            // No zero byte lies before pKnown, so the comment ends at the
            // first LF there; memchr finds it a vector at a time.
            const void* pLf = std::memchr(p + 1, '\n', static_cast<size_t>(pKnown - p - 1));
            if (pLf != nullptr) {
                p = static_cast<const char*>(pLf) + 1;
                continue;
            }
        }

        uint32_t n = static_cast<uint32_t>(q - pOut);
        HexTextStatus status = HEX_OK;
        const char* pResume = p + kScalarStretch;
        do {
            if (!HexParseToken(p, pOut, n, status)) return {n, status};
        } while (p < pResume && p[-1] != '\n');
        q = pOut + n;
        if (p > pKnown) pKnown = p;  // what the tokens read held no zero byte
    }

    // The last window, shorter than a vector: the reference from here.
    const HexTextResult tail = HexTextToBytesScalar(p, q);
    return {static_cast<uint32_t>(q - pOut) + tail.count, tail.status};
}
