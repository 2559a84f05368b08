#include "Render.h"

#include "AudioFile.h"
#include "DemoSignal.h"
#include "RenderError.h"

#include "vyk.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace render
{
namespace
{

// Frames read, processed and written per pass: a whole number of engine blocks, so the block
// boundaries depend only on --block.
constexpr int kChunkTargetFrames = 8192;

// The plug-in processes with denormals flushed to zero; the renderer matches it so both give the
// same output. Restored afterwards so measurement and file conversion run in the default mode.
class ScopedFlushDenormals
{
  public:
    ScopedFlushDenormals()
    {
#if defined(__SSE__)
        mSaved = _mm_getcsr();
        _mm_setcsr(mSaved | 0x8040u); // flush-to-zero and denormals-are-zero
#elif defined(__aarch64__)
        __asm__ __volatile__("mrs %0, fpcr" : "=r"(mSaved));
        __asm__ __volatile__("msr fpcr, %0" : : "r"(mSaved | (1ull << 24)));
#endif
    }

    ~ScopedFlushDenormals()
    {
#if defined(__SSE__)
        _mm_setcsr(mSaved);
#elif defined(__aarch64__)
        __asm__ __volatile__("msr fpcr, %0" : : "r"(mSaved));
#endif
    }

    ScopedFlushDenormals(const ScopedFlushDenormals&) = delete;
    ScopedFlushDenormals& operator=(const ScopedFlushDenormals&) = delete;

  private:
#if defined(__aarch64__)
    unsigned long long mSaved = 0;
#else
    unsigned int mSaved = 0;
#endif
};

void prepareEngine(int sampleRate)
{
    // The engine is process-wide and is started once; each render then only sets the rate.
    static const int sStartResult = PlatformInit(nullptr, nullptr);
    if (sStartResult != 0)
    {
        throw RenderError("the engine failed to start (" + std::to_string(sStartResult) + ")");
    }
    VykSetSampleRate(kEngineInstance, sampleRate);
}

// Either an open input file or the generated demo, read the same way.
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

    int read(float* interleaved, int frames)
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

    int channels() const { return mChannels; }
    int sampleRate() const { return mSampleRate; }
    int format() const { return mFormat; } // 0 for the demo
    long long totalFrames() const { return mTotalFrames; }
    const std::string& name() const { return mName; }
    const std::string& formatText() const { return mFormatText; }

  private:
    std::unique_ptr<SoundFileReader> mFile;
    std::vector<float> mDemo;
    size_t mDemoPosition = 0;
    int mChannels = 0;
    int mSampleRate = 0;
    int mFormat = 0;
    long long mTotalFrames = 0;
    std::string mName;
    std::string mFormatText;
};

// Reads the written file back: proves it complete and measures what a listener will get (after
// quantisation or lossy coding), not what the engine produced.
LoudnessResult measureWrittenFile(const std::string& temporaryPath, const std::string& destination,
                                  int channels, int sampleRate, long long expectedFrames,
                                  RenderObserver& observer)
{
    try
    {
        SoundFileReader written(temporaryPath);
        if (written.channels() != channels || written.sampleRate() != sampleRate)
        {
            throw RenderError("it reads back with " + std::to_string(written.channels()) + " channels at " +
                              std::to_string(written.sampleRate()) + " Hz");
        }
        LoudnessMeter meter(channels, sampleRate);
        std::vector<float> buffer(static_cast<size_t>(kChunkTargetFrames) * channels);
        long long frames = 0;
        while (const int got = written.read(buffer.data(), kChunkTargetFrames))
        {
            if (const int signalNumber = observer.stopSignal())
            {
                throw RenderInterrupted(signalNumber);
            }
            meter.add(buffer.data(), got);
            frames += got;
        }
        if (frames != expectedFrames)
        {
            throw RenderError("it reads back with " + std::to_string(frames) + " frames instead of " +
                              std::to_string(expectedFrames));
        }
        return meter.result();
    }
    catch (const RenderInterrupted&)
    {
        throw;
    }
    catch (const RenderError& error)
    {
        throw RenderError("output '" + destination + "' is damaged: " + error.what());
    }
}

} // namespace

void RenderObserver::started(long long, int) {}
void RenderObserver::progressed(long long) {}
int RenderObserver::stopSignal()
{
    return 0;
}

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
    if (!plan.inputPath.empty() && isSameFile(plan.inputPath, plan.outputPath))
    {
        throw RenderError("input and output are the same file ('" + plan.outputPath + "')", kExitUsageError);
    }
    return plan;
}

RenderReport executeRender(const RenderPlan& plan, RenderObserver& observer)
{
    Source source(plan.inputPath);
    const int channels = source.channels();
    const int sampleRate = source.sampleRate();
    const int outputFormat = chooseOutputFormat(plan.outputMajorFormat, source.format());

    LoudnessMeter inputMeter(channels, sampleRate);
    SoundFileWriter writer(plan.outputPath, outputFormat, channels, sampleRate);
    prepareEngine(sampleRate);
    observer.started(source.totalFrames(), sampleRate);

    const int blockFrames = plan.blockFrames;
    const int chunkFrames = blockFrames * std::max(1, kChunkTargetFrames / blockFrames);
    std::vector<float> chunk(static_cast<size_t>(chunkFrames) * channels);
    long long framesDone = 0;
    std::chrono::steady_clock::duration engineTime{};

    while (const int frames = source.read(chunk.data(), chunkFrames))
    {
        if (const int signalNumber = observer.stopSignal())
        {
            throw RenderInterrupted(signalNumber);
        }
        inputMeter.add(chunk.data(), frames);
        {
            ScopedFlushDenormals flushDenormals;
            const auto start = std::chrono::steady_clock::now();
            for (int offset = 0; offset < frames; offset += blockFrames)
            {
                VykProcess(kEngineInstance, chunk.data() + static_cast<size_t>(offset) * channels, nullptr,
                           std::min(blockFrames, frames - offset), channels);
            }
            engineTime += std::chrono::steady_clock::now() - start;
        }
        writer.write(chunk.data(), frames);
        framesDone += frames;
        observer.progressed(framesDone);
    }
    writer.close();

    RenderReport report;
    report.output = measureWrittenFile(writer.temporaryPath(), plan.outputPath, channels, sampleRate,
                                       framesDone, observer);
    if (const int signalNumber = observer.stopSignal())
    {
        throw RenderInterrupted(signalNumber);
    }
    writer.commit();

    report.inputName = source.name();
    report.inputFormat = source.formatText();
    report.outputPath = plan.outputPath;
    report.outputFormat = describeFormat(outputFormat);
    report.sampleRate = sampleRate;
    report.channels = channels;
    report.blockFrames = blockFrames;
    report.frames = framesDone;
    report.engineSeconds = std::chrono::duration<double>(engineTime).count();
    report.input = inputMeter.result();
    return report;
}

} // namespace render
