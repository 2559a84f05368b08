// Cost of the multiband dynamics and the stereo widener, each driven directly on engine instance 0 with
// built-in profile 0 at 48 kHz stereo: real-time factor = seconds of audio per second of CPU time.
#include "vyk.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace
{
constexpr int kRate = 48000;
constexpr int kChannels = 2;

// A second of stereo material with bass, mids and highs loud enough to keep every band's compressor
// working, replayed block by block.
std::vector<float> makeSource()
{
    std::vector<float> source(static_cast<size_t>(kRate * kChannels));
    const double twoPi = 6.283185307179586;
    for (int n = 0; n < kRate; ++n)
    {
        const double t = static_cast<double>(n) / kRate;
        const double swell = 0.6 + 0.4 * std::sin(twoPi * 2.0 * t);
        const double mid =
            swell * (0.35 * std::sin(twoPi * 62.0 * t) + 0.25 * std::sin(twoPi * 440.0 * t) +
                     0.15 * std::sin(twoPi * 2500.0 * t) + 0.08 * std::sin(twoPi * 9000.0 * t));
        const double side = 0.1 * std::sin(twoPi * 1234.5 * t);
        source[static_cast<size_t>(n * kChannels)] = static_cast<float>(mid + side);
        source[static_cast<size_t>(n * kChannels + 1)] = static_cast<float>(mid - side);
    }
    return source;
}

template <typename Process> void runBlocks(benchmark::State& state, Process process)
{
    const int frames = static_cast<int>(state.range(0));
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
    VYKLoadProfile(0, 0, nullptr);
    VykSetSampleRate(0, kRate);
}

// Profile 0: five compressor bands in parallel mode.
void BM_MultiBand(benchmark::State& state)
{
    prepareProfile0();
    runBlocks(state, [](float* samples, int frames)
              { VykMultiBandCompress(0, samples, nullptr, frames, kChannels); });
}

// Profile 0's widener settings with the widener switched on (the profile ships it bypassed).
void BM_StereoWiden(benchmark::State& state)
{
    prepareProfile0();
    StereoWidenSetBypass(0, 0);
    runBlocks(state,
              [](float* samples, int frames) { VykStereoWidenProcess(0, samples, frames, kChannels); });
}
} // namespace

BENCHMARK(BM_MultiBand)->Arg(64)->Arg(512)->Arg(2048)->ArgName("frames");
BENCHMARK(BM_StereoWiden)->Arg(64)->Arg(512)->Arg(2048)->ArgName("frames");
