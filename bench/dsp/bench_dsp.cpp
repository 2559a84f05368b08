// Cost of each DSP building block per sample per channel ("per_sample", e.g. 2.9n = 2.9 ns), on 512-frame
// blocks of noise at a level that keeps the dynamics blocks working. In-place blocks start each iteration
// from a fresh copy of the input (a 512-float copy, a few percent of the smallest figures).
#include "dsp/Dsp.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace
{

constexpr int kFrames = 512;
constexpr int kSampleRate = 48000;

std::vector<float> noise(int count, float amplitude)
{
    std::vector<float> out(static_cast<size_t>(count));
    uint32_t state = 2463534242u;
    for (float& x : out)
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        x = amplitude * (static_cast<float>(state) / 2147483648.0f - 1.0f);
    }
    return out;
}

// Reports CPU time per sample per channel; `samples` is what one iteration processes, all channels.
void reportPerSample(benchmark::State& state, int samples)
{
    state.counters["per_sample"] =
        benchmark::Counter(static_cast<double>(samples),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Runs `process(buffer)` on a fresh copy of interleaved stereo noise each iteration.
template <typename Process> void runStereoInPlace(benchmark::State& state, float amplitude, Process process)
{
    const std::vector<float> input = noise(2 * kFrames, amplitude);
    std::vector<float> buffer(input.size());
    for (auto _ : state)
    {
        std::memcpy(buffer.data(), input.data(), sizeof(float) * input.size());
        process(buffer.data());
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    reportPerSample(state, 2 * kFrames);
}

void BM_Lattice(benchmark::State& state)
{
    LatticeFilter filter;
    LatticeState states[kLatticeChannels];
    LatticeInit(&filter, states, kSampleRate);
    LatticeSetFreqAndQ(&filter, 1000, kSampleRate, 1.5f);
    LatticeSetGain(&filter, 1.05f);
    runStereoInPlace(state, 0.5f,
                     [&](float* x)
                     {
                         lattice(2, &states[0], &filter, x, kFrames);
                         lattice(2, &states[1], &filter, x + 1, kFrames);
                     });
}
BENCHMARK(BM_Lattice);

void BM_Shelf(benchmark::State& state)
{
    ShelfFilter filter{};
    compute_ShelfFilter_coef(&filter, kSampleRate);
    ShelfSetIsLowShelf(&filter, 1);
    ShelfSetGain(&filter, state.range(0) ? 2.0f : 0.5f);
    ShelfState states[2] = {};
    runStereoInPlace(state, 0.5f,
                     [&](float* x)
                     {
                         shelf(2, &states[0], &filter, x, kFrames);
                         shelf(2, &states[1], &filter, x + 1, kFrames);
                     });
    state.SetLabel(state.range(0) ? "boost" : "cut");
}
BENCHMARK(BM_Shelf)->Arg(0)->Arg(1);

void BM_LinkwitzRiley(benchmark::State& state)
{
    LinkwitzRileyFilter filter;
    LinkwitzRileyState states[kLinkwitzRileyChannels];
    LinkwitzRileyInit(&filter, states);
    LinkwitzRileyFilterSetFreqAndIsLowPass(&filter, 850, kSampleRate, 1);
    runStereoInPlace(state, 0.5f,
                     [&](float* x)
                     {
                         linkwitzRiley(2, &states[0], &filter, x, x, kFrames);
                         linkwitzRiley(2, &states[1], &filter, x + 1, x + 1, kFrames);
                     });
}
BENCHMARK(BM_LinkwitzRiley);

void BM_AllPass(benchmark::State& state)
{
    AllPassFilter filter;
    AllPassInit(&filter);
    AllPassSetQuality(&filter, kSampleRate, 1.0f);
    AllPassSetFreq(&filter, 850, kSampleRate);
    runStereoInPlace(state, 0.5f,
                     [&](float* x)
                     {
                         allPass(2, 0, &filter, x, x, kFrames);
                         allPass(2, 1, &filter, x + 1, x + 1, kFrames);
                     });
}
BENCHMARK(BM_AllPass);

void BM_ResonantLowPass(benchmark::State& state)
{
    ResonantLowPass filter{};
    filter.frequency = 120.0f;
    filter.q = 0.9f;
    compute_rlpf(&filter, kSampleRate);
    const std::vector<float> input = noise(kFrames, 0.5f);
    std::vector<float> buffer(input.size());
    for (auto _ : state)
    {
        std::memcpy(buffer.data(), input.data(), sizeof(float) * input.size());
        rlpf(&filter, buffer.data(), kFrames);
        benchmark::DoNotOptimize(buffer.data());
    }
    reportPerSample(state, kFrames);
}
BENCHMARK(BM_ResonantLowPass);

void BM_Fir1(benchmark::State& state)
{
    const int taps = static_cast<int>(state.range(0));
    std::vector<double> coefficients(static_cast<size_t>(taps));
    const std::vector<float> shape = noise(taps, 0.1f);
    for (int k = 0; k < taps; ++k)
    {
        coefficients[size_t(k)] = shape[size_t(k)];
    }
    Fir1Data fir;
    Fir1Init(&fir, coefficients.data(), static_cast<uint32_t>(taps));
    const std::vector<float> input = noise(kFrames, 0.5f);
    for (auto _ : state)
    {
        double sum = 0.0;
        for (float x : input)
        {
            sum += Fir1Filter(&fir, x);
        }
        benchmark::DoNotOptimize(sum);
    }
    reportPerSample(state, kFrames);
    Fir1Destroy(&fir);
}
BENCHMARK(BM_Fir1)->Arg(256)->Arg(512);

void setupCompressor(Compressor& compressor, CompressorEnvelope* envelopes, float ratio, int link)
{
    CompressorInit(&compressor, envelopes);
    CompressorSetAttack(&compressor, 5.0f, kSampleRate);
    CompressorSetRelease(&compressor, 100.0f, kSampleRate);
    CompressorSetMakeupGain(&compressor, 1.0f);
    CompressorSetThreshold(&compressor, 0.1f);
    CompressorSetRatio(&compressor, ratio);
    CompressorSetBypass(&compressor, 0);
    compressor.link = link;
}

// Unlinked: one call per channel; linked: both channels in one call.
void BM_Compressor(benchmark::State& state)
{
    CompressorGlobalInit();
    const bool linked = state.range(0) != 0;
    Compressor compressor{};
    CompressorEnvelope envelopes[2];
    setupCompressor(compressor, envelopes, 4.0f, linked ? 1 : 0);
    runStereoInPlace(state, 0.8f,
                     [&](float* x)
                     {
                         if (linked)
                         {
                             vykcompress(2, x, &compressor, &envelopes[0], 2, kFrames);
                         }
                         else
                         {
                             vykcompress(2, x, &compressor, &envelopes[0], 2, kFrames);
                             vykcompress(2, x + 1, &compressor, &envelopes[1], 2, kFrames);
                         }
                     });
    state.SetLabel(linked ? "linked" : "unlinked");
}
BENCHMARK(BM_Compressor)->Arg(0)->Arg(1);

void BM_SideChainCompressor(benchmark::State& state)
{
    CompressorGlobalInit();
    Compressor compressor{};
    CompressorEnvelope envelopes[2];
    setupCompressor(compressor, envelopes, 4.0f, 1);
    const std::vector<float> key = noise(2 * kFrames, 0.9f);
    runStereoInPlace(state, 0.5f,
                     [&](float* x)
                     { sidechaincompress(2, x, key.data(), &compressor, &envelopes[0], 2, 0.01f, kFrames); });
    state.SetLabel("linked");
}
BENCHMARK(BM_SideChainCompressor);

void BM_W1Limiter(benchmark::State& state)
{
    const int channels = static_cast<int>(state.range(0));
    W1Limiter limiter{};
    W1LimiterState limiterState;
    W1LimiterInit(&limiterState);
    W1LimiterSetInputGainAndThresholdAndClip(&limiter, 1.0f, 0.5f, 0.9f);
    W1LimiterSetReleaseTime(&limiter, 150.0f, kSampleRate);
    const std::vector<float> input = noise(channels * kFrames, 1.0f);
    std::vector<float> output(input.size());
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(
            w1limit(channels, &limiterState, &limiter, input.data(), output.data(), nullptr, kFrames));
        benchmark::ClobberMemory();
    }
    reportPerSample(state, channels * kFrames);
    state.SetLabel(channels == 1 ? "mono" : "stereo");
}
BENCHMARK(BM_W1Limiter)->Arg(1)->Arg(2);

void BM_Clipper(benchmark::State& state)
{
    Clipper clipper{};
    ClipperSetSoftHard(&clipper, state.range(0) ? 1 : 0);
    ClipperSetOutput_dB(&clipper, 0.0f);
    ClipperSetThresh_dB(&clipper, -6.0f);
    runStereoInPlace(state, 0.8f,
                     [&](float* x)
                     {
                         clip(&clipper, 2, x, kFrames, 2);
                         clip(&clipper, 2, x + 1, kFrames, 2);
                     });
    state.SetLabel(state.range(0) ? "hard" : "soft");
}
BENCHMARK(BM_Clipper)->Arg(0)->Arg(1);

void BM_LookAhead(benchmark::State& state)
{
    LookAheadLine lines[2];
    LookAheadInit(&lines[0]);
    LookAheadInit(&lines[1]);
    runStereoInPlace(state, 0.5f,
                     [&](float* x)
                     {
                         for (int n = 0; n < kFrames; ++n)
                         {
                             x[2 * n] = lookAhead(&lines[0], 64, x[2 * n]);
                             x[2 * n + 1] = lookAhead(&lines[1], 64, x[2 * n + 1]);
                         }
                     });
}
BENCHMARK(BM_LookAhead);

void BM_SteppedScaleBuffer(benchmark::State& state)
{
    float gain = 1.0f;
    float target = 0.5f;
    runStereoInPlace(state, 0.5f,
                     [&](float* x)
                     {
                         steppedScaleBuffer(2, &gain, 0, x, kFrames, target);
                         steppedScaleBuffer(2, &gain, 1, x + 1, kFrames, target);
                         target = target == 0.5f ? 1.0f : 0.5f;
                     });
}
BENCHMARK(BM_SteppedScaleBuffer);

} // namespace
