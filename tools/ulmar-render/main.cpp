// ulmar-render: masters an audio file (or the built-in demo) with the VYK engine from the command line.
#include "Render.h"
#include "RenderError.h"
#include "RenderOptions.h"
#include "Report.h"

#include "vyk.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace
{

constexpr long long kProgressMinSeconds = 5;

volatile std::sig_atomic_t sStopSignal = 0;

extern "C" void requestStop(int signalNumber)
{
    sStopSignal = signalNumber;
}

// The first SIGINT, SIGTERM or SIGHUP stops the render at the next chunk so the temporary file is
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

void printError(std::string message)
{
    for (char& c : message)
    {
        if (c == '\n' || c == '\r')
        {
            c = ' ';
        }
    }
    std::fprintf(stderr, "ulmar-render: error: %s\n", message.c_str());
}

class CommandLineObserver final : public render::RenderObserver
{
  public:
    explicit CommandLineObserver(bool quiet) : mQuiet(quiet) {}

    void started(long long totalFrames, int sampleRate) override
    {
        mTotalFrames = totalFrames;
        mSampleRate = sampleRate;
        mEnabled = !mQuiet && isatty(STDERR_FILENO) && totalFrames > kProgressMinSeconds * sampleRate;
    }

    void progressed(long long framesDone) override
    {
        if (!mEnabled)
        {
            return;
        }
        const int percent = static_cast<int>(std::min(100LL, framesDone * 100 / mTotalFrames));
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

    /// Leaves the finished bar on its own line.
    void finish()
    {
        if (mShownPercent >= 0)
        {
            std::fputc('\n', stderr);
        }
    }

    /// Wipes an unfinished bar so the error line stands alone.
    void abandon()
    {
        if (mShownPercent >= 0)
        {
            std::fprintf(stderr, "\r%s\r", std::string(mShownWidth, ' ').c_str());
        }
    }

  private:
    bool mQuiet;
    bool mEnabled = false;
    long long mTotalFrames = 0;
    int mSampleRate = 0;
    int mShownPercent = -1;
    size_t mShownWidth = 0;
};

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const render::ParseResult parsed = render::parseRenderOptions(args);
    if (!parsed.error.empty())
    {
        printError(parsed.error + " (see ulmar-render --help)");
        return render::kExitUsageError;
    }
    if (parsed.options.help)
    {
        std::fputs(render::renderHelpText().c_str(), stdout);
        return render::kExitOk;
    }

    installStopHandlers();
    CommandLineObserver observer(parsed.options.quiet);
    try
    {
        const render::RenderPlan plan = render::planRender(parsed.options);
        const render::RenderReport report = render::executeRender(plan, observer);
        observer.finish();
        std::fputs(render::formatReport(report, VykGetVersion()).c_str(), stdout);
        return render::kExitOk;
    }
    catch (const render::RenderInterrupted& interrupted)
    {
        observer.abandon();
        printError(interrupted.what());
        // End the way the signal would have, so a calling shell or script sees it.
        std::signal(interrupted.signalNumber(), SIG_DFL);
        std::raise(interrupted.signalNumber());
        return 128 + interrupted.signalNumber();
    }
    catch (const render::RenderError& error)
    {
        observer.abandon();
        printError(error.what());
        return error.exitCode();
    }
    catch (const std::exception& error)
    {
        observer.abandon();
        printError(error.what());
        return render::kExitRuntimeError;
    }
}
