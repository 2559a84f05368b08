// Shared material and block loop of the engine benchmarks: 48 kHz stereo, real-time factor reported as
// the counter "realtime_x" (seconds of audio per second of CPU time).
#pragma once

#include "vyk.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace bench
{
constexpr int kRate = 48000;
constexpr int kChannels = 2;

/// A second of stereo material whose level swells through the compressors' thresholds: bass, mids and
/// highs under a 2 Hz swell, with a little side signal.
inline std::vector<float> makeSource(double bassLevel = 0.45)
{
    std::vector<float> source(static_cast<size_t>(kRate * kChannels));
    const double twoPi = 6.283185307179586;
    for (int n = 0; n < kRate; ++n)
    {
        const double t = static_cast<double>(n) / kRate;
        const double swell = 0.6 + 0.4 * std::sin(twoPi * 2.0 * t);
        const double mid =
            swell * (bassLevel * std::sin(twoPi * 62.0 * t) + 0.3 * std::sin(twoPi * 440.0 * t) +
                     0.15 * std::sin(twoPi * 2500.0 * t) + 0.08 * std::sin(twoPi * 9000.0 * t));
        const double side = 0.1 * std::sin(twoPi * 1234.5 * t);
        source[static_cast<size_t>(n * kChannels)] = static_cast<float>(mid + side);
        source[static_cast<size_t>(n * kChannels + 1)] = static_cast<float>(mid - side);
    }
    return source;
}

/// Replays `source` block by block through `process(samples, frames)` and reports the real-time factor.
template <typename Process>
void runBlocks(benchmark::State& state, int frames, const std::vector<float>& source, Process process)
{
    std::vector<float> block(static_cast<size_t>(frames * kChannels));
    const int sourceFrames = static_cast<int>(source.size()) / kChannels;
    int position = 0;
    for (auto _ : state)
    {
        if (position + frames > sourceFrames)
            position = 0;
        std::copy_n(source.begin() + position * kChannels, frames * kChannels, block.begin());
        process(block.data(), frames);
        benchmark::DoNotOptimize(block.data());
        position += frames;
    }
    const double audioSeconds = static_cast<double>(state.iterations()) * frames / kRate;
    state.counters["realtime_x"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
}

/// The engine started, built-in profile `profile` on `instance`, at 48 kHz.
inline void prepareProfile(int profile, int instance = 0)
{
    PlatformInit(nullptr, nullptr);
    VYKLoadProfile(profile, instance, nullptr);
    VykSetSampleRate(instance, kRate);
}
} // namespace bench
