// One step of the table-driven parser, shared by the reference routine and
// by the vector kernels, which hand over to it whatever they do not
// recognise and take back from the token after.
#pragma once

#include "convert/hex_parse.h"

inline uint8_t HexCode(const char* p)
{
    return static_cast<uint8_t>(*p);  // plain char is signed: index as unsigned
}

// Reads the token at p: a separator, a comment with its LF, or a pair (whose
// byte goes to pOut[n]). Returns true to go on from the advanced p, or false
// with the status at which the text ends.
inline bool HexParseToken(const char*& p, uint8_t* pOut, uint32_t& n, HexTextStatus& status)
{
    const uint8_t c = HexCode(p);
    switch (CharClassTable[c]) {
    case CC_SEPARATOR:
        ++p;
        return true;

    case CC_COMMENT:
        // A comment runs to its LF. Only the end of the text stops it:
        // a TAB or other control character is part of the comment.
        for (++p;; ++p) {
            const uint8_t ch = HexCode(p);
            if (ch == '\0') {
                status = HEX_OK;
                return false;
            }
            if (ch == '\n') break;
        }
        ++p;
        return true;

    case CC_HEXDIGIT: {
        const uint8_t d = HexCode(p + 1);
        pOut[n++] = static_cast<uint8_t>(HighNibbleTable[c] + LowNibbleTable[d]);
        if (CharClassTable[d] != CC_HEXDIGIT) {
            status = HEX_UNPAIRED;
            return false;
        }
        p += 2;
        return true;
    }

    default:  // CC_OTHER
        status = c == '\0' ? HEX_OK : HEX_BAD_CHAR;
        return false;
    }
}
