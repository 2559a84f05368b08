// Cost of the input and output stages, the output compressor and the bass AGC, each driven directly on
// engine instance 0 with built-in profile 0, and of the whole chain with profile 0; 48 kHz stereo.
// Real-time factor = seconds of audio per second of CPU time.
#include "vyk.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace
{
constexpr int kRate = 48000;
constexpr int kChannels = 2;
constexpr int kInstance = 0;

// A second of stereo material whose level swells through the compressors' thresholds, replayed block
// by block.
std::vector<float> makeSource()
{
    std::vector<float> source(static_cast<size_t>(kRate * kChannels));
    const double twoPi = 6.283185307179586;
    for (int n = 0; n < kRate; ++n)
    {
        const double t = static_cast<double>(n) / kRate;
        const double swell = 0.6 + 0.4 * std::sin(twoPi * 2.0 * t);
        const double mid =
            swell * (0.45 * std::sin(twoPi * 62.0 * t) + 0.3 * std::sin(twoPi * 440.0 * t) +
                     0.15 * std::sin(twoPi * 2500.0 * t) + 0.08 * std::sin(twoPi * 9000.0 * t));
        const double side = 0.1 * std::sin(twoPi * 1234.5 * t);
        source[static_cast<size_t>(n * kChannels)] = static_cast<float>(mid + side);
        source[static_cast<size_t>(n * kChannels + 1)] = static_cast<float>(mid - side);
    }
    return source;
}

template <typename Process> void runBlocks(benchmark::State& state, int frames, Process process)
{
    const std::vector<float> source = makeSource();
    std::vector<float> block(static_cast<size_t>(frames * kChannels));
    int position = 0;
    for (auto _ : state)
    {
        if (position + frames > kRate)
            position = 0;
        std::copy_n(source.begin() + position * kChannels, frames * kChannels, block.begin());
        process(block.data(), frames);
        benchmark::DoNotOptimize(block.data());
        position += frames;
    }
    const double audioSeconds = static_cast<double>(state.iterations()) * frames / kRate;
    state.counters["realtime_x"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
}

void prepareProfile0()
{
    PlatformInit(nullptr, nullptr);
    VYKLoadProfile(0, kInstance, nullptr);
    VykSetSampleRate(kInstance, kRate);
}

constexpr int kFrames = 512;

// Argument: 0 = profile 0 (drive only, the high-pass is bypassed), 1 = high-pass on at 40 Hz.
void BM_Input(benchmark::State& state)
{
    prepareProfile0();
    InputSetInputGain(kInstance, 1.5f);
    if (state.range(0))
    {
        InputSetHighPassFreq(kInstance, 40);
        InputSetHighPassBypass(kInstance, 0);
    }
    runBlocks(state, kFrames,
              [](float* samples, int frames) { VykInputProcess(kInstance, samples, frames, kChannels); });
}

// Argument: 0 = profile 0 (no delay, no inversion), 1 = 1 ms / 2.5 ms delays, left inverted, balance.
void BM_Output(benchmark::State& state)
{
    prepareProfile0();
    if (state.range(0))
    {
        OutputSetDelay(kInstance, 0, 1.0f);
        OutputSetDelay(kInstance, 1, 2.5f);
        OutputSetPhaseEnabled(kInstance, 0, 1);
        OutputSetBalanceGain(kInstance, 1, 0.8f);
    }
    runBlocks(state, kFrames,
              [](float* samples, int frames) { VykOutputProcess(kInstance, samples, frames, kChannels); });
}

// Argument: compressor type (profile 0 runs type 1, the W1 limiter).
void BM_OutputCompressor(benchmark::State& state)
{
    prepareProfile0();
    OutputCompressorSetCompressorType(kInstance, static_cast<int>(state.range(0)));
    OutputCompressorCompressorSetRatio(kInstance, 3.0f);
    OutputCompressorCompressorSetThreshold(kInstance, 0.3f);
    OutputCompressorCompressorSetAttack(kInstance, 5.0f);
    OutputCompressorCompressorSetRelease(kInstance, 100.0f);
    runBlocks(state, kFrames,
              [](float* samples, int frames)
              { VykOutputCompressorCompress(kInstance, samples, frames, kChannels); });
}

// Argument: 0 = profile 0 (unlinked), 1 = linked.
void BM_Bagc(benchmark::State& state)
{
    prepareProfile0();
    BagcSetLinked(kInstance, static_cast<int>(state.range(0)));
    runBlocks(state, kFrames,
              [](float* samples, int frames) { VykBagcProcess(kInstance, samples, frames, kChannels); });
}

// The whole chain with profile 0; modules not built yet pass the signal through.
void BM_VykProcessProfile0(benchmark::State& state)
{
    prepareProfile0();
    runBlocks(state, kFrames,
              [](float* samples, int frames) { VykProcess(kInstance, samples, nullptr, frames, kChannels); });
}
} // namespace

BENCHMARK(BM_Input)->Arg(0)->Arg(1)->ArgName("highpass");
BENCHMARK(BM_Output)->Arg(0)->Arg(1)->ArgName("delays");
BENCHMARK(BM_OutputCompressor)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Arg(7)->ArgName("type");
BENCHMARK(BM_Bagc)->Arg(0)->Arg(1)->ArgName("linked");
BENCHMARK(BM_VykProcessProfile0);
