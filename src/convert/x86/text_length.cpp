// The Windows program's look for the terminator (see generic/parse_blocks.h), with SSE2, which every
// processor that runs the vector kernels has.
#include "convert/generic/parse_blocks.h"
#include "convert/generic/simd_target.h"

#if defined(_WIN32) && HEXBIN_X86

#include <immintrin.h>

namespace {

HEX_TARGET("sse2") HEX_INLINE uint64_t ZeroBytesOf16(const char* p)
{
    return static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128())));
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
