#include "convert/hex_parse.h"

#include "convert/hex_parse_token.h"

HexTextResult HexTextToBytesScalar(const char* szText, uint8_t* pOut)
{
    const char* p = szText;
    uint32_t n = 0;
    HexTextStatus status = HEX_OK;
    while (HexParseToken(p, pOut, n, status)) {
    }
    return {n, status};
}
