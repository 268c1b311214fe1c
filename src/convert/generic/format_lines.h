// The loop of the vector formatters, the same for every instruction set:
// full lines by the kernel, streamed out where the text is long, and the
// last line by the reference routine.
#pragma once

#include "convert/generic/line_layout.h"
#include "convert/generic/simd_target.h"
#include "convert/scalar/hex_scalar.h"

#include <cstddef>
#include <cstdint>

// From this many characters of full lines on, the AVX2 and AVX-512 kernels
// write them with non-temporal stores: a text this long cannot stay in the
// cache, and such stores write whole lines of memory without first reading
// them in, as ordinary stores do.
constexpr size_t HEX_STREAM_MIN_CHARS = size_t{16} << 20;

// A vector formatter writes the full lines before the last 1 to 16 bytes;
// the reference writes those with the terminator.
constexpr uint32_t VectorLineCount(uint32_t cbSrc)
{
    return cbSrc == 0 ? 0 : (cbSrc - 1) / HEX_LINE_BYTES;
}

// Streaming, for texts of HEX_STREAM_MIN_CHARS and more: full lines go to
// a stage that stays in the cache, then out a vector at a time with
// non-temporal stores, which write whole lines of memory without first
// reading them in as ordinary stores do.
constexpr uintptr_t HEX_PAGE_SIZE = 4096;

// The lines before the first one that starts on a boundary of cbAlign (a
// power of two up to 64; one of any cbAlign lines in a row does).
inline uint32_t LinesBeforeAlignment(const char* pDst, uint32_t cLines, uintptr_t cbAlign)
{
    uint32_t cHead = 0;
    while (cHead < cLines && (reinterpret_cast<uintptr_t>(pDst + size_t{HEX_LINE_CHARS} * cHead) & (cbAlign - 1)) != 0) ++cHead;
    return cHead;
}

// A stage of cch characters (a multiple of cbAlign, less than a page)
// inside buffer, which holds 2 * cch: aligned by hand, as the Windows stack
// is not whatever alignas says, and inside one page, as streaming from a
// stage that crossed into the next page ran at less than half the speed.
inline char* PlaceStage(char* buffer, size_t cch, uintptr_t cbAlign)
{
    uintptr_t uStage = (reinterpret_cast<uintptr_t>(buffer) + cbAlign - 1) & ~(cbAlign - 1);
    if ((uStage & (HEX_PAGE_SIZE - 1)) + cch > HEX_PAGE_SIZE) uStage = (uStage + HEX_PAGE_SIZE - 1) & ~(HEX_PAGE_SIZE - 1);
    return buffer + (uStage - reinterpret_cast<uintptr_t>(buffer));
}

// The length of the whole text, once the cLines full lines are written.
inline uint32_t FinishHexText(const uint8_t* pSrc, uint32_t cbSrc, char* pDst, uint32_t cLines)
{
    const size_t cbDone = size_t{HEX_LINE_BYTES} * cLines;
    return HEX_LINE_CHARS * cLines +
           BytesToHexTextScalar(pSrc + cbDone, cbSrc - static_cast<uint32_t>(cbDone), pDst + size_t{HEX_LINE_CHARS} * cLines);
}

// A vector formatter's whole text: its full lines, streamed from
// HEX_STREAM_MIN_CHARS on, then the reference's last line. Lines is
//   VECTOR_BYTES   the width of its vectors, 32 or 64
//   void FormatLines(const uint8_t* pSrc, uint32_t cLines, char* pDst)
//   void StreamVector(char* pDst, const char* pStage)   one aligned vector, non-temporal
//   void Fence()   orders the streamed stores before any that follow
// Compiled in an entry with the kernel's target attribute and HEX_FLATTEN.
template <typename Lines>
HEX_INLINE void StreamLinesWith(const uint8_t* pSrc, uint32_t cLines, char* pDst)
{
    // As 51 is odd, as many lines as a vector has bytes are a whole number
    // of vectors, and one of any that many lines in a row starts on one.
    constexpr uint32_t cStageLines = Lines::VECTOR_BYTES;
    constexpr size_t cchStage = size_t{cStageLines} * HEX_LINE_CHARS;
    static_assert(cchStage % Lines::VECTOR_BYTES == 0 && cchStage < HEX_PAGE_SIZE);
    const uint32_t cHead = LinesBeforeAlignment(pDst, cLines, Lines::VECTOR_BYTES);
    Lines::FormatLines(pSrc, cHead, pDst);
    pSrc += size_t{HEX_LINE_BYTES} * cHead;
    pDst += size_t{HEX_LINE_CHARS} * cHead;
    cLines -= cHead;

    char buffer[2 * cchStage];
    char* const pStage = PlaceStage(buffer, cchStage, Lines::VECTOR_BYTES);
    for (; cLines >= cStageLines; cLines -= cStageLines) {
        Lines::FormatLines(pSrc, cStageLines, pStage);
        for (size_t i = 0; i < cchStage; i += Lines::VECTOR_BYTES) Lines::StreamVector(pDst + i, pStage + i);
        pSrc += size_t{HEX_LINE_BYTES} * cStageLines;
        pDst += cchStage;
    }
    Lines::Fence();
    Lines::FormatLines(pSrc, cLines, pDst);
}

template <typename Lines>
HEX_INLINE uint32_t FormatHexTextWith(const uint8_t* pSrc, uint32_t cbSrc, char* pDst)
{
    const uint32_t cLines = VectorLineCount(cbSrc);
    if (size_t{HEX_LINE_CHARS} * cLines >= HEX_STREAM_MIN_CHARS) {
        StreamLinesWith<Lines>(pSrc, cLines, pDst);
    } else {
        Lines::FormatLines(pSrc, cLines, pDst);
    }
    return FinishHexText(pSrc, cbSrc, pDst, cLines);
}
