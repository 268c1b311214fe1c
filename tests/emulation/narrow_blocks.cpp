// The 32-bit build's AVX2 parser, whose blocks are 32 characters with
// 32-bit masks, built in the 64-bit build too, so that every host tests it
// under the sanitizers: its source compiled unchanged, under a name of its
// own, and reached through the entry NarrowAvx2Entry.
#include "convert/cpu_features.h"
#include "convert/hex_kernel.h"

#if HEXBIN_X86

#define HEX_AVX2_KERNEL Avx2Kernel32
#define HexTextToBytesAvx2 HexTextToBytesAvx2Narrow

#include "convert/avx2/parse.cpp"

extern const HexKernelEntry NarrowAvx2Entry = {HEX_KERNEL_AVX2, "avx2", CPU_AVX2, BytesToHexTextAvx2, HexTextToBytesAvx2Narrow};

#endif
