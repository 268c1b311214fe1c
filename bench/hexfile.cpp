// hexfile bin2hex|hex2bin IN OUT
// hexfile --kernel  (names the kernel the conversions run on this machine)
// Loads IN whole into a zero-filled block with a zero byte after it, converts
// it with the best kernel into a zero-filled block of the program's size, and
// writes the result to OUT: the program's work as one process, to time beside
// other tools that run as processes.
#include "convert/hex_format.h"
#include "convert/hex_kernel.h"
#include "convert/hex_parse.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--kernel") == 0) {
        std::printf("%s\n", HexKernelName(BestHexKernel()));
        return 0;
    }
    if (argc != 4 || (std::strcmp(argv[1], "bin2hex") != 0 && std::strcmp(argv[1], "hex2bin") != 0)) {
        std::fprintf(stderr, "usage: hexfile bin2hex|hex2bin IN OUT\n");
        return 2;
    }
    const bool toHex = std::strcmp(argv[1], "bin2hex") == 0;

    FILE* in = std::fopen(argv[2], "rb");
    if (in == nullptr) return 1;
    std::fseek(in, 0, SEEK_END);
    const long size = std::ftell(in);
    std::fseek(in, 0, SEEK_SET);
    const size_t cbIn = size > 0 ? static_cast<size_t>(size) : 0;
    auto* pIn = static_cast<uint8_t*>(std::calloc(cbIn + 1, 1));
    const size_t cbRead = std::fread(pIn, 1, cbIn, in);
    std::fclose(in);

    const size_t cbCapacity = toHex ? 4 * cbRead : (cbRead + 1) / 2;
    auto* pOut = static_cast<uint8_t*>(std::calloc(cbCapacity + 1, 1));
    size_t cbOut = 0;
    int rc = 0;
    if (toHex) {
        cbOut = BytesToHexText(pIn, static_cast<uint32_t>(cbRead), reinterpret_cast<char*>(pOut));
    } else {
        const HexTextResult r = HexTextToBytes(reinterpret_cast<const char*>(pIn), pOut);
        cbOut = r.count;
        rc = r.status == HEX_OK ? 0 : 3;
    }
    std::free(pIn);

    FILE* out = std::fopen(argv[3], "wb");
    if (out == nullptr) return 1;
    const size_t cbWritten = std::fwrite(pOut, 1, cbOut, out);
    std::fclose(out);
    std::free(pOut);
    return cbWritten == cbOut ? rc : 1;
}
