// One kernel's parse of one source tree, exported under one name, so that
// scripts/parse-ab.sh can load two trees' builds of it into one process.
#include "convert/hex_kernel.h"
#include "convert/scalar/hex_scalar.h"

extern "C" __attribute__((visibility("default"))) HexTextResult AbParse(const char* szText, uint8_t* pOut)
{
    return HEX_AB_KERNEL(szText, pOut);
}
