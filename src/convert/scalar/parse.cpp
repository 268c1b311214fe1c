#include "convert/hex_kernel.h"
#include "convert/hex_parse.h"
#include "convert/generic/parse_blocks.h"

namespace {

uint8_t HexCode(const char* p)
{
    return static_cast<uint8_t>(*p);  // plain char is signed: index as unsigned
}

// Skips the rest of a comment. Only the end of the text stops it: a TAB or
// any other control character is part of the comment. Returns the character
// after its LF, or null at the terminator.
const char* SkipComment(const char* p)
{
    for (;; ++p) {
        const uint8_t ch = HexCode(p);
        if (ch == '\0') return nullptr;
        if (ch == '\n') return p + 1;
    }
}

}  // namespace

HexTextResult HexTextToBytes(const char* szText, uint8_t* pOut)
{
    return g_pfnParse.load(std::memory_order_relaxed)(szText, pOut);
}

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

#if defined(_WIN32) && HEXBIN_X86

namespace {

// The look for the terminator of the Windows program (see generic/parse_blocks.h).
HEX_TARGET("sse2") HEX_INLINE uint64_t ZeroBytesOf16(const char* p)
{
    return static_cast<uint16_t>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128())));
}

// Bit k set where byte k of the aligned 64 at pLine is zero.
HEX_TARGET("sse2") HEX_INLINE uint64_t ZeroBytesOfLine(const char* pLine)
{
    return ZeroBytesOf16(pLine) | ZeroBytesOf16(pLine + 16) << 16 | ZeroBytesOf16(pLine + 32) << 32 | ZeroBytesOf16(pLine + 48) << 48;
}

HEX_TARGET("sse2") HEX_INLINE bool LineHasZeroByte(const char* pLine)
{
    const __m128i* v = reinterpret_cast<const __m128i*>(pLine);
    const __m128i least = _mm_min_epu8(_mm_min_epu8(_mm_load_si128(v), _mm_load_si128(v + 1)),
                                       _mm_min_epu8(_mm_load_si128(v + 2), _mm_load_si128(v + 3)));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(least, _mm_setzero_si128())) != 0;
}

}  // namespace

HEX_TARGET("sse2") HEX_NOINLINE size_t TextLengthWithin(const char* p, size_t cchMax)
{
    const auto skip = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p) % 64);
    const char* pLine = p - skip;
    uint64_t zeros = ZeroBytesOfLine(pLine) >> skip;
    size_t cch = 0;  // from p to the line in zeros
    if (zeros == 0) {
        cch = 64 - skip;
        pLine += 64;
        while (cch < cchMax && !LineHasZeroByte(pLine)) {
            cch += 64;
            pLine += 64;
        }
        if (cch >= cchMax) return cchMax;
        zeros = ZeroBytesOfLine(pLine);
    }
    return std::min(cch + static_cast<size_t>(std::countr_zero(zeros)), cchMax);
}

#endif
