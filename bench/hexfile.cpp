// hexfile bin2hex|hex2bin IN OUT
// hexfile --stream bin2hex IN OUT
// hexfile --kernel  (names the kernel the conversions run on this machine)
//
// The program's work as one process, to time beside other tools that run as
// processes. By default it works as the program does: IN is loaded whole
// into a zero-filled block with a zero byte after it and converted with the
// best kernel into a zero-filled block of the program's size, which is then
// written to OUT. With --stream, bin2hex instead goes through the file a
// slice at a time in two small blocks that stay in cache, as the streaming
// command-line tools do; the text it writes is the same, byte for byte.
#include "convert/hex_convert.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Whole lines, so that the slices' texts joined by the LF each one leaves
// out make the text of the whole file.
constexpr size_t kSliceBytes = 64 * 1024;
static_assert(kSliceBytes % 16 == 0, "a slice must end at the end of a line");

long FileSize(FILE* f)
{
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    return size;
}

int StreamBin2Hex(FILE* in, FILE* out)
{
    const long size = FileSize(in);
    if (size < 0) return 1;
    std::vector<uint8_t> slice(kSliceBytes);
    std::vector<char> text(4 * kSliceBytes);
    for (size_t cbLeft = static_cast<size_t>(size); cbLeft > 0;) {
        const size_t cbSlice = cbLeft < kSliceBytes ? cbLeft : kSliceBytes;
        if (std::fread(slice.data(), 1, cbSlice, in) != cbSlice) return 1;
        cbLeft -= cbSlice;
        size_t cchText = BytesToHexText(slice.data(), static_cast<uint32_t>(cbSlice), text.data());
        if (cbLeft > 0) text[cchText++] = '\n';  // the LF the slice's last line left out
        if (std::fwrite(text.data(), 1, cchText, out) != cchText) return 1;
    }
    return 0;
}

int WholeFile(bool toHex, FILE* in, FILE* out)
{
    const long size = FileSize(in);
    const size_t cbIn = size > 0 ? static_cast<size_t>(size) : 0;
    auto* pIn = static_cast<uint8_t*>(std::calloc(cbIn + 1, 1));
    if (pIn == nullptr) return 1;
    const size_t cbRead = std::fread(pIn, 1, cbIn, in);

    const size_t cbCapacity = toHex ? 4 * cbRead : (cbRead + 1) / 2;
    auto* pOut = static_cast<uint8_t*>(std::calloc(cbCapacity + 1, 1));
    if (pOut == nullptr) {
        std::free(pIn);
        return 1;
    }
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
    const size_t cbWritten = std::fwrite(pOut, 1, cbOut, out);
    std::free(pOut);
    return cbWritten == cbOut ? rc : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--kernel") == 0) {
        std::printf("%s\n", HexKernelName(BestHexKernel()));
        return 0;
    }
    const bool stream = argc == 5 && std::strcmp(argv[1], "--stream") == 0;
    if (stream) ++argv, --argc;
    if (argc != 4 || (std::strcmp(argv[1], "bin2hex") != 0 && std::strcmp(argv[1], "hex2bin") != 0) ||
        (stream && std::strcmp(argv[1], "bin2hex") != 0)) {
        std::fprintf(stderr, "usage: hexfile [--stream] bin2hex IN OUT | hexfile hex2bin IN OUT | hexfile --kernel\n");
        return 2;
    }
    const bool toHex = std::strcmp(argv[1], "bin2hex") == 0;

    FILE* in = std::fopen(argv[2], "rb");
    if (in == nullptr) return 1;
    FILE* out = std::fopen(argv[3], "wb");
    if (out == nullptr) {
        std::fclose(in);
        return 1;
    }
    int rc = stream ? StreamBin2Hex(in, out) : WholeFile(toHex, in, out);
    std::fclose(in);
    if (std::fclose(out) != 0 && rc == 0) rc = 1;
    return rc;
}
