// The conversion kernels and the choice among them.
//
// BytesToHexText and HexTextToBytes run through a function pointer set once,
// on their first call, to the best kernel the processor supports. Every
// kernel gives exactly the reference's result; they differ only in speed.
// SelectHexKernel exists for the tests and the benchmark, which run each
// kernel in turn; the program itself never calls it.
#pragma once

#include <cstdint>

enum HexKernel : uint8_t {
    HEX_KERNEL_SCALAR = 0,  // the table-driven reference routines
    HEX_KERNEL_SSSE3 = 1,
    HEX_KERNEL_AVX2 = 2,
    HEX_KERNEL_COUNT = 3,
};

const char* HexKernelName(HexKernel kernel);
bool IsHexKernelSupported(HexKernel kernel);
HexKernel BestHexKernel();

// Makes both entry points run the given kernel. Returns false, changing
// nothing, when this processor or this build does not have it.
bool SelectHexKernel(HexKernel kernel);
HexKernel SelectedHexKernel();
