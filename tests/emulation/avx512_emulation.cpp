// The AVX-512 parser kernel built on plain C++ stand-ins for the AVX-512
// instructions it uses, so that the tests and the fuzzer can run its code
// on a processor (or a virtual machine) without AVX-512. Each stand-in does
// what Intel's reference says of its instruction, and reads and writes
// exactly the bytes the instruction would, so the sanitizers check the
// kernel's accesses as on the real thing. The kernel's source is compiled
// here unchanged, under the name HexTextToBytesAvx512Emulated, and reached
// through the kernel entry Avx512EmulatedEntry.
// The kernel's shared headers with their real targets, before they go.
#include "convert/generic/parse_text.h"
#include "convert/generic/simd_target.h"
#include "convert/hex_kernel.h"

#include <cstdint>
#include <cstring>
#include <immintrin.h>

#if HEXBIN_AVX512

#undef HEX_TARGET
#define HEX_TARGET(isa)

namespace avx512_emulation {

struct Zmm {
    uint8_t b[64];
};
struct Ymm {
    uint8_t b[32];
};

inline Zmm Load64(const void* p)
{
    Zmm r;
    std::memcpy(r.b, p, 64);
    return r;
}

inline Zmm Set1(int v)
{
    Zmm r;
    std::memset(r.b, v & 0xFF, 64);
    return r;
}

inline Zmm Set1Word(int v)
{
    Zmm r;
    for (int i = 0; i < 64; ++i) r.b[i] = static_cast<uint8_t>(i % 2 == 0 ? v & 0xFF : (v >> 8) & 0xFF);
    return r;
}

inline Zmm And(Zmm a, Zmm b)
{
    for (int i = 0; i < 64; ++i) a.b[i] &= b.b[i];
    return a;
}

inline Zmm Permute2(Zmm a, Zmm idx, Zmm b)
{
    Zmm r;
    for (int i = 0; i < 64; ++i) r.b[i] = (idx.b[i] & 0x40) ? b.b[idx.b[i] & 0x3F] : a.b[idx.b[i] & 0x3F];
    return r;
}

inline Zmm MaskzPermute(uint64_t k, Zmm idx, Zmm a)
{
    Zmm r;
    for (int i = 0; i < 64; ++i) r.b[i] = ((k >> i) & 1) ? a.b[idx.b[i] & 0x3F] : 0;
    return r;
}

inline Zmm MaskzPermute2(uint64_t k, Zmm a, Zmm idx, Zmm b)
{
    Zmm r = Permute2(a, idx, b);
    for (int i = 0; i < 64; ++i) r.b[i] = ((k >> i) & 1) ? r.b[i] : 0;
    return r;
}

inline Zmm AddBytes(Zmm a, Zmm b)
{
    for (int i = 0; i < 64; ++i) a.b[i] = static_cast<uint8_t>(a.b[i] + b.b[i]);
    return a;
}

inline uint64_t CompareNotEqual(Zmm a, Zmm b)
{
    uint64_t r = 0;
    for (int i = 0; i < 64; ++i) r |= static_cast<uint64_t>(a.b[i] != b.b[i]) << i;
    return r;
}

// kortestc: the carry, set where the OR of the masks is all ones; kortestz:
// the zero flag, set where it is zero.
inline unsigned char OrTestAllOnes(uint64_t a, uint64_t b)
{
    return (a | b) == ~uint64_t{0};
}

inline unsigned char OrTestZero(uint64_t a, uint64_t b)
{
    return (a | b) == 0;
}

inline uint64_t SameMask(uint64_t k)
{
    return k;
}

inline void Store32(Ymm* p, Ymm a)
{
    std::memcpy(p, a.b, 32);
}

inline uint64_t TopBits(Zmm a)
{
    uint64_t k = 0;
    for (int i = 0; i < 64; ++i) k |= static_cast<uint64_t>(a.b[i] >> 7) << i;
    return k;
}

inline uint64_t Test(Zmm a, Zmm b)
{
    uint64_t k = 0;
    for (int i = 0; i < 64; ++i) k |= static_cast<uint64_t>((a.b[i] & b.b[i]) != 0) << i;
    return k;
}

inline Zmm Compress(uint64_t k, Zmm a)
{
    Zmm r{};
    int m = 0;
    for (int i = 0; i < 64; ++i) {
        if ((k >> i) & 1) r.b[m++] = a.b[i];
    }
    return r;
}

inline Zmm MaskzExpand(uint64_t k, Zmm a)
{
    Zmm r{};
    int m = 0;
    for (int i = 0; i < 64; ++i) {
        if ((k >> i) & 1) r.b[i] = a.b[m++];
    }
    return r;
}

inline Zmm MaskMov(Zmm src, uint64_t k, Zmm a)
{
    for (int i = 0; i < 64; ++i) src.b[i] = ((k >> i) & 1) ? a.b[i] : src.b[i];
    return src;
}

inline Zmm MaskzMov(uint64_t k, Zmm a)
{
    return MaskMov(Zmm{}, k, a);
}

inline void Store64(void* p, Zmm a)
{
    std::memcpy(p, a.b, 64);
}

// Unsigned bytes of a times signed bytes of b, adjacent products summed
// with signed saturation into words.
inline Zmm MaddUbs(Zmm a, Zmm b)
{
    Zmm r;
    for (int j = 0; j < 32; ++j) {
        int sum = a.b[2 * j] * static_cast<int8_t>(b.b[2 * j]) + a.b[2 * j + 1] * static_cast<int8_t>(b.b[2 * j + 1]);
        sum = sum < -32768 ? -32768 : sum > 32767 ? 32767 : sum;
        r.b[2 * j] = static_cast<uint8_t>(sum & 0xFF);
        r.b[2 * j + 1] = static_cast<uint8_t>((sum >> 8) & 0xFF);
    }
    return r;
}

}  // namespace avx512_emulation

// The low half is no instruction of its own (a register's lower part).
#define HEX_AVX512_STAND_INS 1
inline avx512_emulation::Ymm LowHalfAvx512(avx512_emulation::Zmm a)
{
    avx512_emulation::Ymm r;
    std::memcpy(r.b, a.b, 32);
    return r;
}

#define __m512i avx512_emulation::Zmm
#define __m256i avx512_emulation::Ymm
#define _mm512_loadu_si512 avx512_emulation::Load64
#define _mm512_load_si512 avx512_emulation::Load64
#define _mm512_set1_epi8 avx512_emulation::Set1
#define _mm512_set1_epi16 avx512_emulation::Set1Word
#define _mm512_and_si512 avx512_emulation::And
#define _mm512_permutex2var_epi8 avx512_emulation::Permute2
#define _mm512_maskz_permutex2var_epi8 avx512_emulation::MaskzPermute2
#define _mm256_storeu_si256 avx512_emulation::Store32
#define _mm512_maskz_permutexvar_epi8 avx512_emulation::MaskzPermute
#define _mm512_movepi8_mask avx512_emulation::TopBits
#define _mm512_test_epi8_mask avx512_emulation::Test
#define _mm512_maskz_compress_epi8 avx512_emulation::Compress
#define _mm512_maskz_expand_epi8 avx512_emulation::MaskzExpand
#define _mm512_mask_mov_epi8 avx512_emulation::MaskMov
#define _mm512_maskz_mov_epi8 avx512_emulation::MaskzMov
#define _mm512_store_si512 avx512_emulation::Store64
#define _mm512_maddubs_epi16 avx512_emulation::MaddUbs
#define _mm512_add_epi8 avx512_emulation::AddBytes
#undef _mm512_cmpneq_epi8_mask  // a macro in clang's header
#define _mm512_cmpneq_epi8_mask avx512_emulation::CompareNotEqual
#undef _kortestc_mask64_u8
#undef _kortestz_mask64_u8
#define _kortestc_mask64_u8 avx512_emulation::OrTestAllOnes
#define _kortestz_mask64_u8 avx512_emulation::OrTestZero
#define _cvtmask64_u64 avx512_emulation::SameMask
#define _cvtu64_mask64 avx512_emulation::SameMask
#define HexTextToBytesAvx512 HexTextToBytesAvx512Emulated

#include "convert/avx512/parse.cpp"

// The formatter has no stand-ins: the reference takes its place.
extern const HexKernelEntry Avx512EmulatedEntry = {HEX_KERNEL_AVX512, "avx512", 0, BytesToHexTextScalar,
                                                   HexTextToBytesAvx512Emulated};

#endif
