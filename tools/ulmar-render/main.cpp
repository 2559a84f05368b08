// ulmar-render: masters an audio file (or the built-in demo) with the VYK engine from the command line.
#include "Render.h"
#include "RenderError.h"
#include "RenderOptions.h"
#include "Report.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace
{

constexpr long long kProgressBarMinSeconds = 5;
constexpr double kKeyValuePeriodSeconds = 0.5;

volatile std::sig_atomic_t sStopSignal = 0;

extern "C" void requestStop(int signalNumber)
{
    sStopSignal = signalNumber;
}

// The first SIGINT, SIGTERM or SIGHUP stops the render at the next chunk so the temporary files are
// removed; a second one ends the program at once.
void installStopHandlers()
{
    struct sigaction action = {};
    action.sa_handler = requestStop;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP})
    {
        sigaction(signalNumber, &action, nullptr);
    }
}

void printLine(const char* kind, std::string message)
{
    for (char& c : message)
    {
        if (c == '\n' || c == '\r')
        {
            c = ' ';
        }
    }
    std::fprintf(stderr, "ulmar-render: %s: %s\n", kind, message.c_str());
}

class CommandLineObserver final : public render::RenderObserver
{
  public:
    explicit CommandLineObserver(render::ProgressMode mode) : mMode(mode) {}

    void started(long long totalFrames, int sampleRate) override
    {
        mTotalFrames = totalFrames;
        mSampleRate = sampleRate;
        mStart = std::chrono::steady_clock::now();
        mBarEnabled = mMode == render::ProgressMode::bar && isatty(STDERR_FILENO) &&
                      totalFrames > kProgressBarMinSeconds * sampleRate;
        if (mMode == render::ProgressMode::kv)
        {
            writeKeyValues(0, false);
        }
    }

    void progressed(long long framesDone) override
    {
        if (mMode == render::ProgressMode::kv && secondsSince(mLastKeyValues) >= kKeyValuePeriodSeconds)
        {
            writeKeyValues(framesDone, false);
        }
        if (!mBarEnabled)
        {
            return;
        }
        const int percent = static_cast<int>(std::min(100LL, framesDone * 100 / std::max(1LL, mTotalFrames)));
        if (percent == mShownPercent)
        {
            return;
        }
        mShownPercent = percent;
        const std::string line = render::formatProgress(framesDone, mTotalFrames, mSampleRate);
        mShownWidth = line.size();
        std::fprintf(stderr, "\r%s", line.c_str());
        std::fflush(stderr);
    }

    int stopSignal() override { return sStopSignal; }

    void warning(const std::string& message) override
    {
        abandon();
        printLine("warning", message);
    }

    /// Leaves the finished bar on its own line, or ends the key=value stream.
    void finish(long long framesDone)
    {
        if (mShownPercent >= 0)
        {
            std::fputc('\n', stderr);
        }
        if (mMode == render::ProgressMode::kv)
        {
            writeKeyValues(framesDone, true);
        }
    }

    /// Wipes an unfinished bar so that the next line stands alone.
    void abandon()
    {
        if (mShownPercent >= 0)
        {
            std::fprintf(stderr, "\r%s\r", std::string(mShownWidth, ' ').c_str());
            mShownPercent = -1;
        }
    }

  private:
    static double secondsSince(std::chrono::steady_clock::time_point start)
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    void writeKeyValues(long long framesDone, bool finished)
    {
        mLastKeyValues = std::chrono::steady_clock::now();
        const std::string block = render::formatKeyValueProgress(framesDone, mTotalFrames, mSampleRate,
                                                                 secondsSince(mStart), finished);
        std::fputs(block.c_str(), stdout);
        std::fflush(stdout);
    }

    render::ProgressMode mMode;
    bool mBarEnabled = false;
    long long mTotalFrames = 0;
    int mSampleRate = 0;
    int mShownPercent = -1;
    size_t mShownWidth = 0;
    std::chrono::steady_clock::time_point mStart;
    std::chrono::steady_clock::time_point mLastKeyValues;
};

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const render::ParseResult parsed = render::parseRenderOptions(args);
    if (!parsed.error.empty())
    {
        printLine("error", parsed.error + " (see ulmar-render --help)");
        return render::kExitUsageError;
    }
    if (parsed.options.help)
    {
        std::fputs(render::renderHelpText().c_str(), stdout);
        return render::kExitOk;
    }
    if (parsed.options.listProfiles)
    {
        std::fputs(render::profileListText().c_str(), stdout);
        return render::kExitOk;
    }

    installStopHandlers();
    CommandLineObserver observer(parsed.options.progress);
    try
    {
        const render::RenderPlan plan = render::planRender(parsed.options);
        for (const std::string& warning : plan.warnings)
        {
            printLine("warning", warning);
        }
        const render::RenderReport report = render::executeRender(plan, observer);
        observer.finish(report.frames);
        std::fputs(render::formatReport(report).c_str(), stdout);
        return render::kExitOk;
    }
    catch (const render::RenderInterrupted& interrupted)
    {
        observer.abandon();
        printLine("error", interrupted.what());
        // End the way the signal would have, so a calling shell or script sees it.
        std::signal(interrupted.signalNumber(), SIG_DFL);
        std::raise(interrupted.signalNumber());
        return 128 + interrupted.signalNumber();
    }
    catch (const render::RenderError& error)
    {
        observer.abandon();
        printLine("error", error.what());
        return error.exitCode();
    }
    catch (const std::exception& error)
    {
        observer.abandon();
        printLine("error", error.what());
        return render::kExitIoError;
    }
}
