#include "convert/scalar/hex_scalar.h"

#include <cstring>

uint32_t BytesToHexTextScalar(const uint8_t* pSrc, uint32_t cbSrc, char* pDst)
{
    if (cbSrc == 0) {
        return 0;
    }

    char* pOut = pDst;
    uint32_t k = 0;  // pairs written on the current line
    for (uint32_t i = 0; i < cbSrc; ++i) {
        std::memcpy(pOut, HexPairTable[pSrc[i]].data(), 2);
        pOut[2] = ' ';
        pOut += 3;
        ++k;
        if (k == 8) {
            pOut[0] = '-';
            pOut[1] = ' ';
            pOut += 2;
        } else if (k == 16) {
            pOut[-1] = '\r';
            *pOut++ = '\n';
            k = 0;
        }
    }

    // The last character written (a space or an LF) becomes the terminator. The length is the addresses'
    // unsigned difference: in the 32-bit program a text may pass 2 GiB, beyond what a pointer difference
    // holds.
    --pOut;
    *pOut = '\0';
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pOut) - reinterpret_cast<uintptr_t>(pDst));
}
