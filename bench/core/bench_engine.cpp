// Whole-chain cost of VykProcess: real-time factor = seconds of audio per second of CPU time.
#include "support/BenchAudio.h"
#include "vyk.h"

#include <benchmark/benchmark.h>

namespace
{
// Arguments: profile, frames per call.
void BM_VykProcess(benchmark::State& state)
{
    const int profile = static_cast<int>(state.range(0));
    const int frames = static_cast<int>(state.range(1));
    bench::prepareProfile(profile);
    const std::vector<float> source = bench::makeSource();
    bench::runBlocks(state, frames, source, [](float* samples, int blockFrames)
                     { VykProcess(0, samples, nullptr, blockFrames, bench::kChannels); });
}
} // namespace

BENCHMARK(BM_VykProcess)->ArgsProduct({{0}, {64, 512, 2048}})->ArgNames({"profile", "frames"});
