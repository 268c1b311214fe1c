// hexbin_timing RANDOM_FILE
//
// The Windows build's timing of every kernel it has against the reference,
// where Google Benchmark is not built: hexbin_bench's inputs of 1 MiB of the
// random bytes, warm (the output block allocated and touched once, then
// reused). Every kernel in turn, in rounds whose order is reversed every
// round (with one order, the later kernel measured faster even where both
// ran the same code); each turn a batch of about 20 ms, timed by
// QueryPerformanceCounter; the median round counts. Prints a line a case:
// NAME SECONDS BYTES_IN BYTES_OUT, NAME as hexbin_bench names the case.
#include "bench_data.h"

#include "convert/hex_kernel.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr size_t kSize = 1u << 20;
constexpr int kRounds = 15;
constexpr double kBatchSeconds = 0.02;

volatile size_t g_sink;  // what the conversions wrote, so that none is left out

double Seconds()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Seconds a conversion takes with the selected kernel, over a batch of n.
double TimeBatch(Workload work, const WorkInput& in, uint8_t* pOut, int n)
{
    size_t cb = 0;
    const double t0 = Seconds();
    for (int i = 0; i < n; ++i) cb += RunConversion(work, in, pOut);
    const double t = Seconds() - t0;
    g_sink = cb;
    return t / n;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || !LoadRandomBytes(argv[1]) || RandomByteCount() < kSize) {
        std::fprintf(stderr, "usage: hexbin_timing RANDOM_FILE (of at least 1 MiB; scripts/bench.py writes it)\n");
        return 2;
    }
    std::vector<HexKernel> kernels;
    for (int k = 0; k < HEX_KERNEL_COUNT; ++k) {
        if (IsHexKernelSupported(static_cast<HexKernel>(k))) kernels.push_back(static_cast<HexKernel>(k));
    }
    for (int w = 0; w < WORK_COUNT; ++w) {
        const auto work = static_cast<Workload>(w);
        const WorkInput& in = GetWorkInput(work, kSize);
        std::vector<uint8_t> out(in.cbCapacity + 1, 1);
        std::vector<int> batch;
        for (HexKernel kernel : kernels) {
            SelectHexKernel(kernel);
            TimeBatch(work, in, out.data(), 1);
            batch.push_back(static_cast<int>(kBatchSeconds / std::max(TimeBatch(work, in, out.data(), 1), kBatchSeconds / 1e4)) + 1);
        }
        std::vector<std::vector<double>> times(kernels.size());
        for (int round = 0; round < kRounds; ++round) {
            for (size_t j = 0; j < kernels.size(); ++j) {
                const size_t k = round % 2 == 0 ? j : kernels.size() - 1 - j;
                SelectHexKernel(kernels[k]);
                times[k].push_back(TimeBatch(work, in, out.data(), batch[k]));
            }
        }
        for (size_t k = 0; k < kernels.size(); ++k) {
            std::sort(times[k].begin(), times[k].end());
            std::printf("convert/%s/1MiB/%s/warm %.9g %.0f %.0f\n", WorkloadName(work), HexKernelName(kernels[k]), times[k][kRounds / 2],
                        static_cast<double>(in.cbIn), static_cast<double>(in.cbOut));
        }
    }
    return 0;
}
