// Cost of the input and output stages, the output compressor and the bass AGC, each driven directly on
// engine instance 0 with built-in profile 0, and of the whole chain with profile 0; 48 kHz stereo.
// Real-time factor = seconds of audio per second of CPU time.
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
constexpr int kInstance = 0;
const std::vector<float> kSource = bench::makeSource();

constexpr int kFrames = 512;

// Argument: 0 = profile 0 (drive only, the high-pass is bypassed), 1 = high-pass on at 40 Hz.
void BM_Input(benchmark::State& state)
{
    bench::prepareProfile(0, kInstance);
    InputSetInputGain(kInstance, 1.5f);
    if (state.range(0))
    {
        InputSetHighPassFreq(kInstance, 40);
        InputSetHighPassBypass(kInstance, 0);
    }
    bench::runBlocks(state, kFrames, kSource,
              [](float* samples, int frames) { VykInputProcess(kInstance, samples, frames, kChannels); });
}

// Argument: 0 = profile 0 (no delay, no inversion), 1 = 1 ms / 2.5 ms delays, left inverted, balance.
void BM_Output(benchmark::State& state)
{
    bench::prepareProfile(0, kInstance);
    if (state.range(0))
    {
        OutputSetDelay(kInstance, 0, 1.0f);
        OutputSetDelay(kInstance, 1, 2.5f);
        OutputSetPhaseEnabled(kInstance, 0, 1);
        OutputSetBalanceGain(kInstance, 1, 0.8f);
    }
    bench::runBlocks(state, kFrames, kSource,
              [](float* samples, int frames) { VykOutputProcess(kInstance, samples, frames, kChannels); });
}

// Argument: compressor type (profile 0 runs type 1, the W1 limiter).
void BM_OutputCompressor(benchmark::State& state)
{
    bench::prepareProfile(0, kInstance);
    OutputCompressorSetCompressorType(kInstance, static_cast<int>(state.range(0)));
    OutputCompressorCompressorSetRatio(kInstance, 3.0f);
    OutputCompressorCompressorSetThreshold(kInstance, 0.3f);
    OutputCompressorCompressorSetAttack(kInstance, 5.0f);
    OutputCompressorCompressorSetRelease(kInstance, 100.0f);
    bench::runBlocks(state, kFrames, kSource,
              [](float* samples, int frames)
              { VykOutputCompressorCompress(kInstance, samples, frames, kChannels); });
}

// Argument: 0 = profile 0 (unlinked), 1 = linked.
void BM_Bagc(benchmark::State& state)
{
    bench::prepareProfile(0, kInstance);
    BagcSetLinked(kInstance, static_cast<int>(state.range(0)));
    bench::runBlocks(state, kFrames, kSource,
              [](float* samples, int frames) { VykBagcProcess(kInstance, samples, frames, kChannels); });
}

// The whole chain with profile 0; modules not built yet pass the signal through.
void BM_VykProcessProfile0(benchmark::State& state)
{
    bench::prepareProfile(0, kInstance);
    bench::runBlocks(state, kFrames, kSource,
              [](float* samples, int frames) { VykProcess(kInstance, samples, nullptr, frames, kChannels); });
}
} // namespace

BENCHMARK(BM_Input)->Arg(0)->Arg(1)->ArgName("highpass");
BENCHMARK(BM_Output)->Arg(0)->Arg(1)->ArgName("delays");
BENCHMARK(BM_OutputCompressor)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Arg(7)->ArgName("type");
BENCHMARK(BM_Bagc)->Arg(0)->Arg(1)->ArgName("linked");
BENCHMARK(BM_VykProcessProfile0);
