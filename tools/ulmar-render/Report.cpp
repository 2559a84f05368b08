#include "Report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#ifndef ULMAR_VERSION
#define ULMAR_VERSION "unknown"
#endif

namespace render
{
namespace
{

std::string printed(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}

std::string formatDuration(long long frames, int sampleRate)
{
    const double seconds = sampleRate > 0 ? static_cast<double>(frames) / sampleRate : 0.0;
    std::string text = printed("%.3f s", seconds);
    if (seconds >= 60.0)
    {
        const long long minutes = static_cast<long long>(seconds / 60.0);
        char clock[64];
        std::snprintf(clock, sizeof(clock), " (%lld:%06.3f)", minutes,
                      seconds - 60.0 * static_cast<double>(minutes));
        text += clock;
    }
    return text;
}

constexpr int kLabelWidth = 8;
constexpr int kLevelWidth = 9; // the number; the unit follows it, so a column is 14 wide

std::string headerRow()
{
    char text[128];
    std::snprintf(text, sizeof(text), "%*s%14s%14s%14s\n", kLabelWidth, "", "sample peak", "true peak",
                  "integrated");
    return text;
}

std::string levelRow(const char* label, const LoudnessResult& levels)
{
    std::string row = label;
    row.resize(kLabelWidth, ' ');
    row += formatLevel(levels.samplePeakDbfs, kLevelWidth) + " dBFS";
    row += formatLevel(levels.truePeakDbtp, kLevelWidth) + " dBTP";
    row += formatLevel(levels.integratedLufs, kLevelWidth) + " LUFS\n";
    return row;
}

} // namespace

std::string formatLevel(double decibels, int width)
{
    std::string text = std::isfinite(decibels) ? printed("%.2f", decibels) : std::string("-inf");
    if (static_cast<int>(text.size()) < width)
    {
        text.insert(0, static_cast<size_t>(width) - text.size(), ' ');
    }
    return text;
}

std::string formatEngineVersion(int version)
{
    const unsigned bits = static_cast<unsigned>(version);
    return std::to_string((bits >> 24) & 0xffu) + "." + std::to_string((bits >> 16) & 0xffu) + "." +
           std::to_string((bits >> 8) & 0xffu) + "." + std::to_string(bits & 0xffu);
}

std::string formatReport(const RenderReport& report, int engineVersion)
{
    const double audioSeconds =
        report.sampleRate > 0 ? static_cast<double>(report.frames) / report.sampleRate : 0.0;
    const std::string realTime = report.engineSeconds > 0.0
                                     ? printed("%.1fx real time", audioSeconds / report.engineSeconds)
                                     : std::string("real time factor not measurable");

    std::ostringstream text;
    text << "ulmar-render " << ULMAR_VERSION << ", VYK engine " << formatEngineVersion(engineVersion) << "\n"
         << "input   " << report.inputName << " (" << report.inputFormat << ")\n"
         << "output  " << report.outputPath << " (" << report.outputFormat << ")\n"
         << "audio   " << formatDuration(report.frames, report.sampleRate) << ", " << report.frames
         << " frames, " << report.sampleRate << " Hz, " << (report.channels == 1 ? "mono" : "stereo") << "\n"
         << "engine  instance " << kEngineInstance << ", blocks of " << report.blockFrames << " frames, "
         << printed("%.3f s", report.engineSeconds) << ", " << realTime << "\n"
         << "\n"
         << headerRow() << levelRow("input", report.input) << levelRow("output", report.output);
    return text.str();
}

std::string formatProgress(long long framesDone, long long totalFrames, int sampleRate)
{
    constexpr int kBarWidth = 40;
    const double fraction =
        totalFrames > 0
            ? std::clamp(static_cast<double>(framesDone) / static_cast<double>(totalFrames), 0.0, 1.0)
            : 0.0;
    const int filled = static_cast<int>(fraction * kBarWidth);
    std::string line = "[" + std::string(static_cast<size_t>(filled), '#') +
                       std::string(static_cast<size_t>(kBarWidth - filled), '-') + "]";
    char tail[96];
    std::snprintf(tail, sizeof(tail), " %3d%%  %.1f s of %.1f s", static_cast<int>(fraction * 100.0),
                  static_cast<double>(framesDone) / sampleRate,
                  static_cast<double>(totalFrames) / sampleRate);
    return line + tail;
}

} // namespace render
