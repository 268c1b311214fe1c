#include "convert/hex_parse.h"

namespace {

inline uint8_t Code(const char* p)
{
    return static_cast<uint8_t>(*p);  // plain char is signed: index as unsigned
}

}  // namespace

HexTextResult HexTextToBytes(const char* szText, uint8_t* pOut)
{
    const char* p = szText;
    uint32_t n = 0;
    for (;;) {
        const uint8_t c = Code(p);
        switch (CharClassTable[c]) {
        case CC_SEPARATOR:
            ++p;
            break;

        case CC_COMMENT:
            // A comment runs to its LF. Only the end of the text stops it:
            // a TAB or other control character is part of the comment.
            for (++p;; ++p) {
                const uint8_t ch = Code(p);
                if (ch == '\0') return {n, HEX_OK};
                if (ch == '\n') break;
            }
            ++p;
            break;

        case CC_HEXDIGIT: {
            const uint8_t d = Code(p + 1);
            pOut[n++] = static_cast<uint8_t>(HighNibbleTable[c] + LowNibbleTable[d]);
            if (CharClassTable[d] != CC_HEXDIGIT) return {n, HEX_UNPAIRED};
            p += 2;
            break;
        }

        default:  // CC_OTHER
            return {n, c == '\0' ? HEX_OK : HEX_BAD_CHAR};
        }
    }
}
