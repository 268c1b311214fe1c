#include "app/format_decimal.h"

void FormatDecimal(int32_t lValue, char* szDst)
{
    char* p = szDst;
    // Work on the magnitude as unsigned, so the smallest value needs no special case.
    uint32_t uMagnitude = static_cast<uint32_t>(lValue);
    if (lValue < 0) {
        *p++ = '-';
        uMagnitude = 0u - uMagnitude;
    }

    // Least significant digit first, then reversed in place.
    char* pFirstDigit = p;
    do {
        *p++ = static_cast<char>('0' + uMagnitude % 10);
        uMagnitude /= 10;
    } while (uMagnitude != 0);
    *p = '\0';

    for (char* pLast = p - 1; pFirstDigit < pLast; ++pFirstDigit, --pLast) {
        const char ch = *pFirstDigit;
        *pFirstDigit = *pLast;
        *pLast = ch;
    }
}
