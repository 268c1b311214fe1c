// Any text: the parser agrees with the model on status, count and every byte,
// reads nothing past the terminator and writes nothing past ceil(strlen / 2).
#include "convert/hex_parse.h"
#include "hex_model.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::unique_ptr<char[]> z(new char[size + 1]);
    std::memcpy(z.get(), data, size);
    z[size] = '\0';
    const size_t cap = (std::strlen(z.get()) + 1) / 2;
    std::unique_ptr<uint8_t[]> out(new uint8_t[cap]);
    const HexTextResult r = HexTextToBytes(z.get(), out.get());

    const ModelParse want = ModelParseText(std::string(z.get(), size));
    if (r.status != want.status || r.count != want.bytes.size()) std::abort();
    if (r.count != 0 && std::memcmp(out.get(), want.bytes.data(), r.count) != 0) std::abort();
    return 0;
}
