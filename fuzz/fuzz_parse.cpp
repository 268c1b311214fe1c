// Any text: the reference agrees with the model on status, count and every
// byte, and every kernel this processor supports agrees with the reference
// on status, count and every byte of the output block (the AVX-512 parser
// on stand-ins for its instructions where the processor lacks them or
// HEXBIN_AVX512_EMULATED is set), and so does the 32-bit build's AVX2
// parser. No parser reads past the terminator or writes past
// ceil(strlen / 2): both blocks are sized exactly.
#include "convert/hex_convert.h"
#include "convert/hex_kernel.h"
#include "convert/scalar/hex_scalar.h"
#include "hex_model.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

extern const HexKernelEntry Avx512EmulatedEntry, NarrowAvx2Entry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::unique_ptr<char[]> z(new char[size + 1]);
    std::memcpy(z.get(), data, size);
    z[size] = '\0';
    const size_t cap = (std::strlen(z.get()) + 1) / 2;
    std::unique_ptr<uint8_t[]> out(new uint8_t[cap]);
    std::memset(out.get(), 0x5A, cap);
    const HexTextResult r = HexTextToBytesScalar(z.get(), out.get());

    const ModelParse want = ModelParseText(std::string(z.get(), size));
    if (r.status != want.status || r.count != want.bytes.size()) std::abort();
    if (r.count != 0 && std::memcmp(out.get(), want.bytes.data(), r.count) != 0) std::abort();

    for (int k = 0; k <= HEX_KERNEL_COUNT; ++k) {
        if (k == HEX_KERNEL_COUNT) {  // last, the 32-bit build's AVX2 parser
            if (!IsHexKernelSupported(HEX_KERNEL_AVX2)) continue;
            g_pHexKernel.store(&NarrowAvx2Entry);
        } else if (k == HEX_KERNEL_AVX512 && (!IsHexKernelSupported(HEX_KERNEL_AVX512) || std::getenv("HEXBIN_AVX512_EMULATED") != nullptr)) {
            g_pHexKernel.store(&Avx512EmulatedEntry);
        } else if (!SelectHexKernel(static_cast<HexKernel>(k))) {
            continue;
        }
        std::unique_ptr<uint8_t[]> got(new uint8_t[cap]);
        std::memset(got.get(), 0x5A, cap);
        const HexTextResult rk = HexTextToBytes(z.get(), got.get());
        if (rk.status != r.status || rk.count != r.count) std::abort();
        if (r.count != 0 && std::memcmp(got.get(), out.get(), r.count) != 0) std::abort();
    }
    return 0;
}
