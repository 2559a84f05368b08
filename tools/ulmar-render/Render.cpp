#include "Render.h"

#include "AlignedStream.h"
#include "AudioFile.h"
#include "BackgroundSink.h"
#include "DemoSignal.h"
#include "RenderError.h"
#include "Report.h"
#include "UlmarProfiles.h"

#include "vyk.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace render
{
namespace
{

using Clock = std::chrono::steady_clock;

// Frames read, processed, written and measured per pass: a whole number of engine blocks, so the
// block boundaries depend only on --block.
constexpr int kChunkTargetFrames = 8192;
constexpr size_t kMaxDescriptionLength = 80;

// Either an open input file or the generated demo, read the same way. The first frames can be read
// ahead for the pre-roll; read() then delivers them again.
class Source
{
  public:
    explicit Source(const std::string& path)
    {
        if (path.empty())
        {
            mDemo = generateDemoSignal();
            mChannels = kDemoChannels;
            mSampleRate = kDemoSampleRate;
            mTotalFrames = kDemoFrames;
            mName = "demo signal";
            mFormatText = "generated, 32-bit float";
        }
        else
        {
            mFile = std::make_unique<SoundFileReader>(path);
            mChannels = mFile->channels();
            mSampleRate = mFile->sampleRate();
            mTotalFrames = std::max<sf_count_t>(0, mFile->frames());
            mName = path;
            mFormat = mFile->format();
            mFormatText = describeFormat(mFormat);
        }
    }

    /// Up to `frames` frames from the start, without using them up. Only before the first read().
    const std::vector<float>& readAhead(long long frames)
    {
        mAhead.resize(static_cast<size_t>(frames) * mChannels);
        long long got = 0;
        while (got < frames)
        {
            const int want = static_cast<int>(std::min<long long>(frames - got, kChunkTargetFrames));
            const int count = readSource(mAhead.data() + static_cast<size_t>(got) * mChannels, want);
            got += count;
            if (count < want)
            {
                break;
            }
        }
        mAhead.resize(static_cast<size_t>(got) * mChannels);
        return mAhead;
    }

    /// Fewer frames than asked only at the end.
    int read(float* interleaved, int frames)
    {
        const size_t aheadFrames = mAhead.size() / mChannels;
        int count = 0;
        if (mAheadPosition < aheadFrames)
        {
            count = static_cast<int>(std::min(aheadFrames - mAheadPosition, static_cast<size_t>(frames)));
            std::memcpy(interleaved, mAhead.data() + mAheadPosition * mChannels,
                        static_cast<size_t>(count) * mChannels * sizeof(float));
            mAheadPosition += static_cast<size_t>(count);
        }
        if (count < frames)
        {
            count += readSource(interleaved + static_cast<size_t>(count) * mChannels, frames - count);
        }
        return count;
    }

    int channels() const { return mChannels; }
    int sampleRate() const { return mSampleRate; }
    int format() const { return mFormat; } // 0 for the demo
    long long totalFrames() const { return mTotalFrames; }
    const std::string& name() const { return mName; }
    const std::string& formatText() const { return mFormatText; }

  private:
    int readSource(float* interleaved, int frames)
    {
        if (mFile != nullptr)
        {
            return mFile->read(interleaved, frames);
        }
        const size_t available = mDemo.size() / kDemoChannels - mDemoPosition;
        const size_t count = std::min(available, static_cast<size_t>(frames));
        std::memcpy(interleaved, mDemo.data() + mDemoPosition * kDemoChannels,
                    count * kDemoChannels * sizeof(float));
        mDemoPosition += count;
        return static_cast<int>(count);
    }

    std::unique_ptr<SoundFileReader> mFile;
    std::vector<float> mDemo;
    size_t mDemoPosition = 0;
    std::vector<float> mAhead;
    size_t mAheadPosition = 0;
    int mChannels = 0;
    int mSampleRate = 0;
    int mFormat = 0;
    long long mTotalFrames = 0;
    std::string mName;
    std::string mFormatText;
};

// The pre-roll plays the input's opening backwards, so that it ends on the very first sample: the
// engine's envelopes settle on the levels around the start, and the audio runs on into the render
// without a jump (a jump would ring through the filters into the kept output). An opening shorter
// than the pre-roll is reflected back and forth.
void primeEngine(VYKLib& lib, const std::vector<float>& opening, long long prerollFrames, int channels,
                 int blockFrames)
{
    const long long openingFrames = static_cast<long long>(opening.size()) / channels;
    if (prerollFrames <= 0 || openingFrames == 0)
    {
        return;
    }
    std::vector<float> block(static_cast<size_t>(blockFrames) * channels);
    for (long long done = 0; done < prerollFrames;)
    {
        const int frames = static_cast<int>(std::min<long long>(blockFrames, prerollFrames - done));
        for (int frame = 0; frame < frames; ++frame)
        {
            // Distance from the start, counted backwards; the last pre-roll frame is frame 0.
            const long long back = (prerollFrames - 1 - (done + frame)) % (2 * openingFrames);
            const long long source = back < openingFrames ? back : 2 * openingFrames - 1 - back;
            std::memcpy(block.data() + static_cast<size_t>(frame) * channels,
                        opening.data() + static_cast<size_t>(source) * channels, sizeof(float) * channels);
        }
        lib.process(block.data(), nullptr, frames, channels);
        done += frames;
    }
}

// After closing: the file must open again with the stated shape. Write errors were caught on the
// way; this catches a container that did not finish its header.
void checkWrittenFile(const std::string& temporaryPath, const std::string& destination, int channels,
                      int sampleRate, long long expectedFrames)
{
    try
    {
        const SoundFileReader written(temporaryPath);
        if (written.channels() != channels || written.sampleRate() != sampleRate)
        {
            throw RenderError("it reads back with " + std::to_string(written.channels()) + " channels at " +
                              std::to_string(written.sampleRate()) + " Hz");
        }
        if (written.frames() != expectedFrames)
        {
            throw RenderError("it reads back with " + std::to_string(written.frames()) +
                              " frames instead of " + std::to_string(expectedFrames));
        }
    }
    catch (const RenderError& error)
    {
        throw RenderError("output '" + destination + "' is damaged: " + error.what());
    }
}

std::string profileDescription(const VYKLib& lib)
{
    MasterBlock master = {};
    lib.getAll(&master);
    std::string text(master.info.description,
                     strnlen(master.info.description, sizeof(master.info.description)));
    text = text.substr(0, text.find_first_of("\r\n"));
    for (char& c : text)
    {
        if (static_cast<unsigned char>(c) < 0x20)
        {
            c = ' ';
        }
    }
    if (text.size() > kMaxDescriptionLength)
    {
        text.resize(kMaxDescriptionLength);
    }
    return text;
}

std::string builtInProfileName(int index)
{
    for (const EmbeddedProfile& profile : UlmarProfiles)
    {
        if (profile.identifier - 1 == index)
        {
            return profile.name;
        }
    }
    return {};
}

void throwIfStopped(RenderObserver& observer)
{
    if (const int signalNumber = observer.stopSignal())
    {
        throw RenderInterrupted(signalNumber);
    }
}

} // namespace

void RenderObserver::started(long long, int) {}
void RenderObserver::progressed(long long) {}
int RenderObserver::stopSignal()
{
    return 0;
}
void RenderObserver::warning(const std::string&) {}

RenderPlan planRender(const RenderOptions& options)
{
    RenderPlan plan;
    plan.inputPath = options.demo ? std::string() : options.inputPath;
    plan.blockFrames = options.blockFrames;
    if (!options.outputPath.empty())
    {
        plan.outputPath = options.outputPath;
    }
    else if (plan.inputPath.empty())
    {
        plan.outputPath = kDemoOutputName;
    }
    else
    {
        plan.outputPath = defaultOutputPath(plan.inputPath);
    }

    plan.outputMajorFormat = majorFormatForPath(plan.outputPath);
    if (plan.outputMajorFormat == 0)
    {
        throw RenderError("cannot tell the output format from '" + plan.outputPath +
                              "' (known extensions: " + writtenExtensions() + ")",
                          kExitUsageError);
    }
    plan.reportPath = options.reportPath;
    // Nothing the render reads may be replaced by what it writes, nor may its two outputs collide.
    const std::pair<const char*, std::string> files[] = {{"input", plan.inputPath},
                                                         {"profile file", options.profilePath},
                                                         {"output", plan.outputPath},
                                                         {"report", plan.reportPath}};
    for (size_t written = 2; written < std::size(files); ++written)
    {
        for (size_t other = 0; other < written; ++other)
        {
            if (!files[written].second.empty() && !files[other].second.empty() &&
                isSameFile(files[written].second, files[other].second))
            {
                throw RenderError(std::string(files[other].first) + " and " + files[written].first +
                                      " are the same file ('" + files[written].second + "')",
                                  kExitUsageError);
            }
        }
    }

    plan.profile.builtIn = options.profile;
    plan.profile.filePath = options.profilePath;
    plan.profile.fileIndex = options.profileFileIndex.value_or(0);
    plan.controls = settleControls(options.controls);
    for (const ControlSetting& setting : plan.controls)
    {
        const std::string warning = adjustmentWarning(setting);
        if (!warning.empty())
        {
            plan.warnings.push_back(warning);
        }
    }
    plan.prerollSeconds = options.prerollSeconds;
    return plan;
}

RenderReport executeRender(const RenderPlan& plan, RenderObserver& observer)
{
    const Clock::time_point wallStart = Clock::now();
    Source source(plan.inputPath);
    const int channels = source.channels();
    const int sampleRate = source.sampleRate();
    const int outputFormat = chooseOutputFormat(plan.outputMajorFormat, source.format());

    VYKLib lib;
    for (const std::string& warning : configureEngine(lib, sampleRate, plan.profile, plan.controls))
    {
        observer.warning(warning);
    }
    const int latencyFrames = std::max(0, lib.getLatencySamples());
    ChainReductionMeter reduction(lib);

    SoundFileWriter writer(plan.outputPath, outputFormat, channels, sampleRate);
    std::optional<TextFileWriter> reportFile;
    if (!plan.reportPath.empty())
    {
        reportFile.emplace(plan.reportPath, "report");
    }
    // Measuring, encoding and writing run beside the engine; the meters and the writer outlive the
    // threads that feed them.
    LoudnessMeter inputMeter(channels, sampleRate);
    LoudnessMeter outputMeter(channels, sampleRate);
    BackgroundSink inputSink(channels, kChunkTargetFrames,
                             [&inputMeter](const float* interleaved, int frames)
                             { inputMeter.add(interleaved, frames); });
    BackgroundSink outputSink(channels, kChunkTargetFrames,
                              [&writer, &outputMeter](const float* interleaved, int frames)
                              {
                                  writer.write(interleaved, frames);
                                  outputMeter.add(interleaved, frames);
                              });
    observer.started(source.totalFrames(), sampleRate);

    const long long prerollFrames = std::llround(plan.prerollSeconds * sampleRate);
    const std::vector<float>& opening = source.readAhead(prerollFrames);
    primeEngine(lib, opening, prerollFrames, channels, plan.blockFrames);
    const long long primedFrames = opening.empty() ? 0 : prerollFrames;

    long long framesRead = 0;
    Clock::duration engineTime{};
    MetersBlock meters = {};
    AlignedStreamCallbacks callbacks;
    callbacks.read = [&](float* interleaved, int frames)
    {
        throwIfStopped(observer);
        const int count = source.read(interleaved, frames);
        inputSink.add(interleaved, count);
        framesRead += count;
        observer.progressed(framesRead);
        return count;
    };
    callbacks.process = [&](float* interleaved, int frames)
    {
        const Clock::time_point start = Clock::now();
        lib.process(interleaved, nullptr, frames, channels);
        engineTime += Clock::now() - start;
        lib.getMeters(&meters);
        reduction.addBlock(meters, frames);
    };
    callbacks.write = [&outputSink](const float* interleaved, int frames)
    { outputSink.add(interleaved, frames); };
    AlignedStreamLayout layout;
    layout.channels = channels;
    layout.blockFrames = plan.blockFrames;
    layout.chunkFrames = kChunkTargetFrames;
    layout.latencyFrames = latencyFrames;
    const long long framesWritten = streamAligned(layout, callbacks);
    inputSink.finish();
    outputSink.finish();
    writer.close();
    checkWrittenFile(writer.temporaryPath(), plan.outputPath, channels, sampleRate, framesWritten);

    RenderReport report;
    report.input = inputMeter.result();
    report.output = outputMeter.result();
    throwIfStopped(observer);

    report.inputName = source.name();
    report.inputFormat = source.formatText();
    report.outputPath = plan.outputPath;
    report.outputFormat = describeFormat(outputFormat);
    report.reportPath = plan.reportPath;
    report.sampleRate = sampleRate;
    report.channels = channels;
    report.blockFrames = plan.blockFrames;
    report.frames = framesWritten;
    report.engineVersion = lib.getVersion();
    report.engineInstance = lib.getInstanceId();
    report.profile = plan.profile;
    report.profileName =
        plan.profile.filePath.empty() ? builtInProfileName(plan.profile.builtIn) : profileDescription(lib);
    report.controls = plan.controls;
    report.latencyFrames = latencyFrames;
    report.prerollFrames = primedFrames;
    report.engineSeconds = std::chrono::duration<double>(engineTime).count();
    report.largestReductionDb = reduction.largestReductionDb();
    report.meanReductionDb = reduction.meanReductionDb();
    report.wallSeconds = std::chrono::duration<double>(Clock::now() - wallStart).count();

    if (reportFile)
    {
        reportFile->write(formatJsonReport(report));
    }
    writer.commit();
    if (reportFile)
    {
        reportFile->commit();
    }
    return report;
}

} // namespace render
