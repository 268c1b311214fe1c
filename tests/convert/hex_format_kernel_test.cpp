// Every formatter kernel against the reference routine and the model: the
// same length and the same bytes everywhere in the caller's 4 * n block,
// which is sized exactly and prefilled (for some rows right before a page
// that may not be touched), so a byte written past the terminator, or past
// the block, is caught.
#include "convert/generic/line_layout.h"
#include "convert/scalar/hex_scalar.h"
#include "hex_model.h"
#include "hex_random_text.h"
#include "kernel_param.h"

#include <cstring>
#include <random>
#include <vector>

namespace {

using FormatKernel = KernelTest;

constexpr unsigned char kFill = 0xA5;

void ExpectSameAsReference(const std::vector<uint8_t>& bytes, size_t srcAlign, size_t dstAlign, const std::string& model,
                           bool fGuarded = false)
{
    const uint32_t n = static_cast<uint32_t>(bytes.size());
    ExactBlock src = MakeExactBlock(srcAlign, n, 0, fGuarded);
    if (n != 0) std::memcpy(src.p, bytes.data(), n);

    ExactBlock want = MakeExactBlock(0, 4 * size_t{n}, kFill);
    const uint32_t wantLen = BytesToHexTextScalar(src.p, n, reinterpret_cast<char*>(want.p));
    ExactBlock got = MakeExactBlock(dstAlign, 4 * size_t{n}, kFill, fGuarded);
    const uint32_t gotLen = BytesToHexText(src.p, n, reinterpret_cast<char*>(got.p));

    ASSERT_EQ(gotLen, wantLen) << "n=" << n;
    ASSERT_TRUE(std::string(reinterpret_cast<char*>(got.p), gotLen) == model) << "n=" << n;
    ASSERT_EQ(std::memcmp(got.p, want.p, 4 * size_t{n}), 0)
        << "n=" << n << " src+" << srcAlign << " dst+" << dstAlign;
}

TEST_P(FormatKernel, EveryLengthAtEveryAlignment)
{
    std::mt19937 rng(11);
    for (uint32_t n = 0; n <= 300; ++n) {
        const auto bytes = RandomBytes(rng, n);
        const std::string model = ModelFormat(bytes);
        for (size_t srcAlign = 0; srcAlign < 16; ++srcAlign) {
            for (size_t dstAlign = 0; dstAlign < 32; dstAlign += (n < 64 ? 1 : 5)) {
                ExpectSameAsReference(bytes, srcAlign, dstAlign, model);
                if (HasFatalFailure()) return;
            }
        }
    }
}

// Every byte value in every column of a line, so every digit placement of
// the shuffles meets every digit.
TEST_P(FormatKernel, EveryValueInEveryColumn)
{
    std::vector<uint8_t> bytes(16 * 256 + 1);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i / 16 + i % 16);
    ExpectSameAsReference(bytes, 0, 0, ModelFormat(bytes));
}

// Up to blocks whose text is streamed out (see HEX_STREAM_MIN_CHARS); their
// rows start the output at different places against the 32-byte vectors
// the stream is aligned to.
TEST_P(FormatKernel, LargeBlocksEndingInEveryColumn)
{
    constexpr auto cbStreamed = static_cast<uint32_t>((HEX_STREAM_MIN_CHARS / 51 + 2) * 16);
    std::mt19937 rng(12);
    for (uint32_t cb : {1u << 20, cbStreamed}) {
        for (uint32_t extra : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 32u}) {
            if (cb == cbStreamed && extra % 8 != 1) continue;  // three rows of the largest, guarded
            const auto bytes = RandomBytes(rng, cb + 16 * extra + extra);
            ExpectSameAsReference(bytes, extra % 16, extra % 32, ModelFormat(bytes), extra % 2 == 1);
        }
    }
}

INSTANTIATE_FOR_EVERY_KERNEL(FormatKernel);

}  // namespace
