// Any bytes: the reference writes the model's text within 4 * n bytes, every
// kernel this processor supports writes exactly the same bytes into an
// exactly sized block, and the parser reads the text back to the same bytes.
#include "convert/hex_convert.h"
#include "convert/scalar/hex_scalar.h"
#include "hex_model.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint32_t n = static_cast<uint32_t>(size);
    std::unique_ptr<char[]> text(new char[4 * size]);
    std::memset(text.get(), 0x5A, 4 * size);
    const uint32_t len = BytesToHexTextScalar(data, n, text.get());

    const std::string want = ModelFormat(std::vector<uint8_t>(data, data + size));
    if (len != want.size() || std::memcmp(text.get(), want.data(), len) != 0) std::abort();
    if (n != 0 && text[len] != '\0') std::abort();

    for (int k = 0; k < HEX_KERNEL_COUNT; ++k) {
        if (!SelectHexKernel(static_cast<HexKernel>(k))) continue;
        std::unique_ptr<char[]> got(new char[4 * size]);
        std::memset(got.get(), 0x5A, 4 * size);
        if (BytesToHexText(data, n, got.get()) != len) std::abort();
        if (size != 0 && std::memcmp(got.get(), text.get(), 4 * size) != 0) std::abort();
    }

    std::unique_ptr<char[]> z(new char[len + 1]);
    std::memcpy(z.get(), text.get(), len);
    z[len] = '\0';
    std::unique_ptr<uint8_t[]> back(new uint8_t[(len + 1) / 2]);
    const HexTextResult r = HexTextToBytesScalar(z.get(), back.get());
    if (r.status != HEX_OK || r.count != n) std::abort();
    if (n != 0 && std::memcmp(back.get(), data, size) != 0) std::abort();
    return 0;
}
