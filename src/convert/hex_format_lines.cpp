#include "convert/hex_format_lines.h"

#include "convert/hex_format.h"
#include "convert/hex_line_layout.h"

#include <cstddef>

// Large texts are written with ordinary stores. Formatting into a block in
// L1 and streaming it out with non-temporal stores was measured here too
// (see docs/PERFORMANCE.md): slower on this machine at every block size.
uint32_t BytesToHexTextLines(const uint8_t* pSrc, uint32_t cbSrc, char* pDst, FormatLinesFn pfnLines)
{
    const uint32_t cLines = cbSrc == 0 ? 0 : (cbSrc - 1) / kLineBytes;
    pfnLines(pSrc, cLines, pDst);
    const size_t cbDone = size_t{kLineBytes} * cLines;
    return kLineChars * cLines +
           BytesToHexTextScalar(pSrc + cbDone, cbSrc - static_cast<uint32_t>(cbDone), pDst + size_t{kLineChars} * cLines);
}
