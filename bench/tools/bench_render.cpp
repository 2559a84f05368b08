// Speed of mastering: VYKLib::process for every built-in profile (48 kHz stereo, 512-frame blocks,
// real-time factor per CPU second on one core), and whole renders of the demo as the command runs
// them (wall clock, generating, processing, measuring and writing included).
#include "DemoSignal.h"
#include "Render.h"
#include "UlmarProfiles.h"

#include "vyk.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace
{

constexpr int kBlockFrames = 512;

// The demo is music-like, with quiet and loud sections, so the dynamics do real work.
const std::vector<float>& demoSignal()
{
    static const std::vector<float> signal = render::generateDemoSignal();
    return signal;
}

void BM_FacadeProcess(benchmark::State& state)
{
    const int profile = static_cast<int>(state.range(0));
    VYKLib lib;
    lib.setSampleRate(render::kDemoSampleRate);
    lib.loadEmbeddedProfile(profile);

    const std::vector<float>& source = demoSignal();
    const size_t sourceFrames = source.size() / render::kDemoChannels;
    std::vector<float> block(static_cast<size_t>(kBlockFrames) * render::kDemoChannels);
    size_t position = 0;
    for (auto _ : state)
    {
        if (position + kBlockFrames > sourceFrames)
        {
            position = 0;
        }
        // A 4 KB copy per block, small beside the chain, keeps the input real instead of reprocessed.
        std::copy_n(source.begin() + static_cast<long>(position * render::kDemoChannels), block.size(),
                    block.begin());
        lib.process(block.data(), nullptr, kBlockFrames, render::kDemoChannels);
        benchmark::DoNotOptimize(block.data());
        position += kBlockFrames;
    }
    const double audioSeconds =
        static_cast<double>(state.iterations()) * kBlockFrames / render::kDemoSampleRate;
    state.counters["realtime_x"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
    state.SetLabel(UlmarProfiles[profile].name);
}

// The whole command on the demo, default settings, into a WAV file in a scratch directory.
void BM_RenderDemo(benchmark::State& state)
{
    std::string directory = (std::filesystem::temp_directory_path() / "ulmar-bench-XXXXXX").string();
    if (mkdtemp(directory.data()) == nullptr)
    {
        state.SkipWithError("cannot create a scratch directory");
        return;
    }
    render::RenderOptions options;
    options.demo = true;
    options.outputPath = directory + "/demo.wav";
    const render::RenderPlan plan = render::planRender(options);
    render::RenderObserver quiet;

    double engineSeconds = 0.0;
    for (auto _ : state)
    {
        const render::RenderReport report = render::executeRender(plan, quiet);
        engineSeconds += report.engineSeconds;
        benchmark::DoNotOptimize(report.frames);
    }
    const double audioSeconds = static_cast<double>(state.iterations()) * render::kDemoSeconds;
    state.counters["realtime_x"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
    // The same renders' time inside VYKLib::process alone, for the ratio of the two.
    state.counters["engine_realtime_x"] = engineSeconds > 0.0 ? audioSeconds / engineSeconds : 0.0;
    std::filesystem::remove_all(directory);
}

} // namespace

BENCHMARK(BM_FacadeProcess)->DenseRange(0, kNumUlmarProfiles - 1)->ArgName("profile");
BENCHMARK(BM_RenderDemo)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
