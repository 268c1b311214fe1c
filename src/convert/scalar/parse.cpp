#include "convert/scalar/hex_scalar.h"

namespace {

uint8_t HexCode(const char* p)
{
    return static_cast<uint8_t>(*p);  // plain char is signed: index as unsigned
}

// Skips the rest of a comment. Only the end of the text stops it: a TAB or any other control character is
// part of the comment. Returns the character after its LF, or null at the terminator.
const char* SkipComment(const char* p)
{
    for (;; ++p) {
        const uint8_t ch = HexCode(p);
        if (ch == '\0') return nullptr;
        if (ch == '\n') return p + 1;
    }
}

}  // namespace

HexTextResult HexTextToBytesScalar(const char* szText, uint8_t* pOut)
{
    return HexTextToBytesFrom(szText, pOut, 0, false);
}

HexTextResult HexTextToBytesFrom(const char* p, uint8_t* pOut, uint32_t cbDone, bool fInComment)
{
    uint32_t n = cbDone;
    if (fInComment && (p = SkipComment(p)) == nullptr) return {n, HEX_OK};
    for (;;) {
        const uint8_t c = HexCode(p);
        switch (CharClassTable[c]) {
        case CC_SEPARATOR:
            ++p;
            break;

        case CC_COMMENT:
            p = SkipComment(p + 1);
            if (p == nullptr) return {n, HEX_OK};
            break;

        case CC_HEXDIGIT: {
            const uint8_t d = HexCode(p + 1);
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

uint8_t* HexPairsBefore(const char* p, const char* pCut, uint8_t* pOut, bool fInComment)
{
    for (; !fInComment && p < pCut; ++p) {
        const uint8_t c = HexCode(p), cls = CharClassTable[c];
        if (cls == CC_COMMENT) break;  // through pCut, the first LF
        if (cls == CC_SEPARATOR) continue;
        const uint8_t d = HexCode(++p);
        if (cls != CC_HEXDIGIT || CharClassTable[d] != CC_HEXDIGIT) return nullptr;
        *pOut++ = static_cast<uint8_t>(HighNibbleTable[c] + LowNibbleTable[d]);
    }
    return pOut;
}
