// Throughput of every kernel of both conversions, warm and cold, and the
// memory limits measured on the same buffers in the same run.
//
// hexbin_bench RANDOM_FILE [google benchmark flags]
//
// Warm: the output block is allocated and touched once, then reused.
// Cold: every conversion gets a freshly allocated zero-filled block, as the
// program allocates one; only the conversion call is timed, exactly the
// window the program shows, so the first-touch page faults are inside it.
// Every case reports the bytes it reads and writes (bytes_in, bytes_out)
// so throughput can be given per input and per output byte.
#include "bench_data.h"

#include "convert/hex_convert.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr size_t kSizes[] = {4u << 10, 1u << 20, 64u << 20};

enum Operation { OP_CONVERT, OP_MEMSET, OP_MEMCPY };

// The operation on the output block pOut: the conversion, writing the
// output size alone, or copying the input.
void RunOnce(Operation op, Workload work, const WorkInput& in, uint8_t* pOut)
{
    if (op == OP_CONVERT) {
        benchmark::DoNotOptimize(RunConversion(work, in, pOut));
    } else if (op == OP_MEMSET) {
        std::memset(pOut, 0x20, in.cbOut);
    } else {
        std::memcpy(pOut, in.buffer.data(), in.cbIn);
    }
    benchmark::ClobberMemory();
}

size_t BlockSize(Operation op, const WorkInput& in)
{
    return op == OP_MEMCPY ? in.cbIn : in.cbCapacity;
}

void SetCounters(benchmark::State& state, Operation op, const WorkInput& in)
{
    const double cbIn = op == OP_MEMSET ? 0.0 : static_cast<double>(in.cbIn);
    const double cbOut = op == OP_MEMCPY ? static_cast<double>(in.cbIn) : static_cast<double>(in.cbOut);
    state.counters["bytes_in"] = cbIn;
    state.counters["bytes_out"] = cbOut;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(op == OP_MEMSET ? cbOut : cbIn));
}

void RunWarm(benchmark::State& state, Operation op, Workload work, size_t cbData)
{
    const WorkInput& in = GetWorkInput(work, cbData);
    uint8_t* pOut = static_cast<uint8_t*>(std::calloc(BlockSize(op, in) + 1, 1));
    std::memset(pOut, 1, BlockSize(op, in) + 1);  // fault every page in before timing
    for (auto _ : state) RunOnce(op, work, in, pOut);
    std::free(pOut);
    SetCounters(state, op, in);
}

void RunCold(benchmark::State& state, Operation op, Workload work, size_t cbData)
{
    const WorkInput& in = GetWorkInput(work, cbData);
    for (auto _ : state) {
        uint8_t* pOut = static_cast<uint8_t*>(std::calloc(BlockSize(op, in) + 1, 1));
        const auto t0 = std::chrono::steady_clock::now();
        RunOnce(op, work, in, pOut);
        const auto t1 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        std::free(pOut);
    }
    SetCounters(state, op, in);
}

std::string SizeName(size_t cb)
{
    return cb >= (1u << 20) ? std::to_string(cb >> 20) + "MiB" : std::to_string(cb >> 10) + "KiB";
}

void Register(const std::string& name, Operation op, Workload work, size_t cbData, HexKernel kernel)
{
    for (const bool cold : {false, true}) {
        const std::string full = name + (cold ? "/cold" : "/warm");
        auto* b = benchmark::RegisterBenchmark(full.c_str(), [=](benchmark::State& state) {
            if (op == OP_CONVERT && !SelectHexKernel(kernel)) {
                state.SkipWithError("kernel not supported on this processor");
                for (auto _ : state) {
                }
                return;
            }
            if (cold) {
                RunCold(state, op, work, cbData);
            } else {
                RunWarm(state, op, work, cbData);
            }
        });
        b->Unit(benchmark::kMicrosecond);
        if (cold) b->UseManualTime();
        // The largest cases take a good part of a second each: a few runs do.
        if (cbData >= (64u << 20)) {
            b->Iterations(5);
        } else {
            b->MinTime(0.1);
        }
    }
}

void RegisterAll()
{
    for (int w = 0; w < WORK_COUNT; ++w) {
        const auto work = static_cast<Workload>(w);
        for (size_t cbData : kSizes) {
            const std::string suffix = std::string("/") + WorkloadName(work) + "/" + SizeName(cbData);
            for (int k = 0; k < HEX_KERNEL_COUNT; ++k) {
                const auto kernel = static_cast<HexKernel>(k);
                Register(std::string("convert") + suffix + "/" + HexKernelName(kernel), OP_CONVERT, work, cbData, kernel);
            }
            // The limit: writing the formatter's output, copying the parser's input.
            if (work == WORK_FORMAT) {
                Register("memset" + suffix, OP_MEMSET, work, cbData, HEX_KERNEL_SCALAR);
            } else {
                Register("memcpy" + suffix, OP_MEMCPY, work, cbData, HEX_KERNEL_SCALAR);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || !LoadRandomBytes(argv[1]) || RandomByteCount() < kSizes[std::size(kSizes) - 1]) {
        std::fprintf(stderr, "usage: hexbin_bench RANDOM_FILE [benchmark flags]\n"
                             "RANDOM_FILE must hold at least 64 MiB (scripts/bench.py writes it)\n");
        return 2;
    }
    // Every block from 128 KiB up is a fresh mapping, as a large GlobalAlloc
    // is, instead of memory the allocator recycles once the threshold adapts.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
