// Cost of the multiband dynamics and the stereo widener, each driven directly on engine instance 0 with
// built-in profile 0 at 48 kHz stereo: real-time factor = seconds of audio per second of CPU time.
#include "support/BenchAudio.h"
#include "vyk.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace
{
using bench::kChannels;
using bench::kRate;

// Loud enough in every band to keep each band's compressor working.
const std::vector<float> kSource = bench::makeSource(0.35);

// Profile 0: five compressor bands in parallel mode.
void BM_MultiBand(benchmark::State& state)
{
    bench::prepareProfile(0);
    bench::runBlocks(state, static_cast<int>(state.range(0)), kSource, [](float* samples, int frames)
              { VykMultiBandCompress(0, samples, nullptr, frames, kChannels); });
}

// Profile 0's widener settings with the widener switched on (the profile ships it bypassed).
void BM_StereoWiden(benchmark::State& state)
{
    bench::prepareProfile(0);
    StereoWidenSetBypass(0, 0);
    bench::runBlocks(state, static_cast<int>(state.range(0)), kSource,
              [](float* samples, int frames) { VykStereoWidenProcess(0, samples, frames, kChannels); });
}
} // namespace

BENCHMARK(BM_MultiBand)->Arg(64)->Arg(512)->Arg(2048)->ArgName("frames");
BENCHMARK(BM_StereoWiden)->Arg(64)->Arg(512)->Arg(2048)->ArgName("frames");
