// Whole-chain cost of VykProcess: real-time factor = seconds of audio per second of CPU time.
#include "vyk.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace
{
constexpr int kRate = 48000;

void fillMusicLike(std::vector<float>& block, int frames, int channels, int offset)
{
    for (int f = 0; f < frames; ++f)
    {
        const float t = static_cast<float>(offset + f) / kRate;
        const float v = 0.5f * std::sin(2.0f * 3.14159265f * 110.0f * t) + 0.3f * std::sin(2.0f * 3.14159265f * 1234.5f * t);
        for (int ch = 0; ch < channels; ++ch)
            block[static_cast<size_t>(f * channels + ch)] = ch == 0 ? v : -0.8f * v;
    }
}

// Arguments: profile, frames per call.
void BM_VykProcess(benchmark::State& state)
{
    const int profile = static_cast<int>(state.range(0));
    const int frames = static_cast<int>(state.range(1));
    constexpr int channels = 2;
    PlatformInit(nullptr, nullptr);
    VYKLoadProfile(profile, 0, nullptr);
    VykSetSampleRate(0, kRate);

    // A second of varied input, replayed block by block so the dynamics see a real signal.
    std::vector<float> source(static_cast<size_t>(kRate * channels));
    fillMusicLike(source, kRate, channels, 0);
    std::vector<float> block(static_cast<size_t>(frames * channels));
    int position = 0;
    for (auto _ : state)
    {
        if (position + frames > kRate)
            position = 0;
        std::copy_n(source.begin() + position * channels, frames * channels, block.begin());
        VykProcess(0, block.data(), nullptr, frames, channels);
        benchmark::DoNotOptimize(block.data());
        position += frames;
    }
    const double audioSeconds = static_cast<double>(state.iterations()) * frames / kRate;
    state.counters["realtime_x"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
}
} // namespace

BENCHMARK(BM_VykProcess)->ArgsProduct({{0}, {64, 512, 2048}})->ArgNames({"profile", "frames"});
