#include "Report.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

#ifndef ULMAR_VERSION
#define ULMAR_VERSION "unknown"
#endif

namespace render
{
namespace
{

constexpr int kLabelWidth = 10;
constexpr int kLevelWidth = 9; // the number; the unit follows it, so a column is 14 wide

std::string printed(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}

std::string label(const char* name)
{
    std::string text = name;
    text.resize(std::max<size_t>(text.size() + 1, kLabelWidth), ' ');
    return text;
}

double secondsOf(long long frames, int sampleRate)
{
    return sampleRate > 0 ? static_cast<double>(frames) / sampleRate : 0.0;
}

// Seconds of audio per second of wall time; not a number when the time was too short to measure.
double realTimeFactor(double audioSeconds, double wallSeconds)
{
    return wallSeconds > 0.0 ? audioSeconds / wallSeconds : NAN;
}

std::string formatDuration(long long frames, int sampleRate)
{
    const double seconds = secondsOf(frames, sampleRate);
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

std::string formatSpeed(double seconds, double audioSeconds)
{
    const double factor = realTimeFactor(audioSeconds, seconds);
    return printed("%.3f s", seconds) + (std::isfinite(factor) ? printed(" (%.1fx real time)", factor)
                                                               : std::string(" (too short to time)"));
}

std::string headerRow()
{
    char text[128];
    std::snprintf(text, sizeof(text), "%*s%14s%14s%14s%11s\n", kLabelWidth - 2, "", "sample peak",
                  "true peak", "integrated", "range");
    return text;
}

std::string levelRow(const char* name, const LoudnessResult& levels)
{
    std::string row = label(name).substr(0, kLabelWidth - 2);
    row += formatLevel(levels.samplePeakDbfs, kLevelWidth) + " dBFS";
    row += formatLevel(levels.truePeakDbtp, kLevelWidth) + " dBTP";
    row += formatLevel(levels.integratedLufs, kLevelWidth) + " LUFS";
    row += formatLevel(levels.loudnessRangeLu, 8) + " LU\n";
    return row;
}

std::string profileText(const RenderReport& report)
{
    if (report.profile.filePath.empty())
    {
        return std::to_string(report.profile.builtIn) + " \"" + report.profileName + "\"";
    }
    std::string text =
        "record " + std::to_string(report.profile.fileIndex) + " of '" + report.profile.filePath + "'";
    if (!report.profileName.empty())
    {
        text += " (\"" + report.profileName + "\")";
    }
    return text;
}

std::string controlsText(const RenderReport& report)
{
    if (report.controls.empty())
    {
        return "as the profile sets them";
    }
    std::string text;
    for (const ControlSetting& setting : report.controls)
    {
        text += (text.empty() ? "" : ", ") + std::string(controlOptionName(setting.control)) + " " +
                appliedText(setting);
    }
    return text;
}

// A small JSON writer: objects of named members, two-space indent, members in the order written.
class JsonWriter
{
  public:
    JsonWriter() { mText = "{"; }

    void beginObject(const char* key)
    {
        startMember(key);
        mText += "{";
        mFirst.push_back(true);
    }

    void endObject()
    {
        mFirst.pop_back();
        mText += "\n" + indent() + "}";
    }

    void member(const char* key, const std::string& value)
    {
        startMember(key);
        appendString(value);
    }

    void member(const char* key, const char* value) { member(key, std::string(value)); }

    void member(const char* key, long long value)
    {
        startMember(key);
        mText += std::to_string(value);
    }

    void member(const char* key, int value) { member(key, static_cast<long long>(value)); }

    void member(const char* key, bool value)
    {
        startMember(key);
        mText += value ? "true" : "false";
    }

    // Shortest text that reads back as the same double; null for infinities and not-a-number.
    void member(const char* key, double value)
    {
        startMember(key);
        if (!std::isfinite(value))
        {
            mText += "null";
            return;
        }
        char text[64];
        const auto result = std::to_chars(text, text + sizeof(text), value);
        mText.append(text, result.ptr);
    }

    void nullMember(const char* key)
    {
        startMember(key);
        mText += "null";
    }

    std::string finish()
    {
        mText += "\n}\n";
        return mText;
    }

  private:
    std::string indent() const { return std::string(2 * mFirst.size(), ' '); }

    void startMember(const char* key)
    {
        mText += mFirst.back() ? "\n" : ",\n";
        mFirst.back() = false;
        mText += indent();
        appendString(key);
        mText += ": ";
    }

    void appendString(const std::string& value)
    {
        mText += '"';
        for (const char c : value)
        {
            const auto byte = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\')
            {
                mText += '\\';
                mText += c;
            }
            else if (byte < 0x20)
            {
                char escaped[8];
                std::snprintf(escaped, sizeof(escaped), "\\u%04x", byte);
                mText += escaped;
            }
            else
            {
                mText += c;
            }
        }
        mText += '"';
    }

    std::string mText;
    std::vector<bool> mFirst = {true};
};

void levelMembers(JsonWriter& json, const LoudnessResult& levels)
{
    json.member("sample_peak_dbfs", levels.samplePeakDbfs);
    json.member("true_peak_dbtp", levels.truePeakDbtp);
    json.member("integrated_lufs", levels.integratedLufs);
    json.member("loudness_range_lu", levels.loudnessRangeLu);
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

std::string formatReport(const RenderReport& report)
{
    const double audioSeconds = secondsOf(report.frames, report.sampleRate);
    const std::string preroll =
        report.prerollFrames > 0
            ? printed("pre-roll %.3f s", secondsOf(report.prerollFrames, report.sampleRate))
            : std::string("no pre-roll");
    std::ostringstream text;
    text << "ulmar-render " << ULMAR_VERSION << ", VYK engine " << formatEngineVersion(report.engineVersion)
         << "\n"
         << label("input") << report.inputName << " (" << report.inputFormat << ")\n"
         << label("output") << report.outputPath << " (" << report.outputFormat << ")\n";
    if (!report.reportPath.empty())
    {
        text << label("report") << report.reportPath << " (JSON)\n";
    }
    text << label("audio") << formatDuration(report.frames, report.sampleRate) << ", " << report.frames
         << " frames, " << report.sampleRate << " Hz, " << (report.channels == 1 ? "mono" : "stereo") << "\n"
         << label("profile") << profileText(report) << "\n"
         << label("controls") << controlsText(report) << "\n"
         << label("engine") << "instance " << report.engineInstance << ", blocks of " << report.blockFrames
         << " frames, latency " << report.latencyFrames << " frames trimmed, " << preroll << "\n"
         << label("speed") << "engine " << formatSpeed(report.engineSeconds, audioSeconds) << ", in all "
         << formatSpeed(report.wallSeconds, audioSeconds) << "\n"
         << "\n"
         << headerRow() << levelRow("input", report.input) << levelRow("output", report.output)
         << label("reduction") << printed("largest %.2f dB", report.largestReductionDb)
         << printed(", mean %.2f dB", report.meanReductionDb) << "\n";
    return text.str();
}

std::string formatJsonReport(const RenderReport& report)
{
    const double audioSeconds = secondsOf(report.frames, report.sampleRate);
    JsonWriter json;
    json.member("tool", "ulmar-render");
    json.member("tool_version", ULMAR_VERSION);
    json.member("engine_version", formatEngineVersion(report.engineVersion));

    json.beginObject("input");
    json.member("name", report.inputName);
    json.member("format", report.inputFormat);
    levelMembers(json, report.input);
    json.endObject();

    json.beginObject("output");
    json.member("path", report.outputPath);
    json.member("format", report.outputFormat);
    levelMembers(json, report.output);
    json.endObject();

    json.beginObject("audio");
    json.member("sample_rate", report.sampleRate);
    json.member("channels", report.channels);
    json.member("frames", report.frames);
    json.member("seconds", audioSeconds);
    json.endObject();

    json.beginObject("profile");
    if (report.profile.filePath.empty())
    {
        json.member("source", "built-in");
        json.member("number", report.profile.builtIn);
        json.nullMember("file");
        json.nullMember("index");
    }
    else
    {
        json.member("source", "file");
        json.nullMember("number");
        json.member("file", report.profile.filePath);
        json.member("index", report.profile.fileIndex);
    }
    json.member("name", report.profileName);
    json.endObject();

    // Every control in parameter order: the value applied, or null where the profile's own stays.
    json.beginObject("controls");
    for (int index = 0; index < kNumControls; ++index)
    {
        const auto control = static_cast<ControlId>(index);
        const bool isSwitch = kControlSpecs[control].isSwitch;
        const std::string key = std::string(controlOptionName(control)) + (isSwitch ? "" : "_db");
        const auto given =
            std::find_if(report.controls.begin(), report.controls.end(),
                         [control](const ControlSetting& setting) { return setting.control == control; });
        if (given == report.controls.end())
        {
            json.nullMember(key.c_str());
        }
        else if (isSwitch)
        {
            json.member(key.c_str(), given->applied != 0.0f);
        }
        else
        {
            json.member(key.c_str(), static_cast<double>(given->applied));
        }
    }
    json.endObject();

    json.beginObject("engine");
    json.member("instance", report.engineInstance);
    json.member("block_frames", report.blockFrames);
    json.member("latency_frames", report.latencyFrames);
    json.member("preroll_frames", report.prerollFrames);
    json.endObject();

    json.beginObject("gain_reduction_db");
    json.member("largest", report.largestReductionDb);
    json.member("mean", report.meanReductionDb);
    json.endObject();

    json.beginObject("speed");
    json.member("engine_seconds", report.engineSeconds);
    json.member("engine_realtime_factor", realTimeFactor(audioSeconds, report.engineSeconds));
    json.member("wall_seconds", report.wallSeconds);
    json.member("realtime_factor", realTimeFactor(audioSeconds, report.wallSeconds));
    json.endObject();
    return json.finish();
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

std::string formatKeyValueProgress(long long framesDone, long long totalFrames, int sampleRate,
                                   double wallSeconds, bool finished)
{
    const long long outTimeMs = sampleRate > 0 ? framesDone * 1000 / sampleRate : 0;
    const long long totalMs = sampleRate > 0 ? totalFrames * 1000 / sampleRate : 0;
    char clock[48];
    std::snprintf(clock, sizeof(clock), "%02lld:%02lld:%02lld.%03lld", outTimeMs / 3600000,
                  outTimeMs / 60000 % 60, outTimeMs / 1000 % 60, outTimeMs % 1000);
    const double speed = realTimeFactor(secondsOf(framesDone, sampleRate), wallSeconds);

    std::string block;
    block += "frames=" + std::to_string(framesDone) + "\n";
    block += "total_frames=" + std::to_string(totalFrames) + "\n";
    block += "out_time_ms=" + std::to_string(outTimeMs) + "\n";
    block += "total_time_ms=" + std::to_string(totalMs) + "\n";
    block += std::string("out_time=") + clock + "\n";
    block +=
        "speed=" + (std::isfinite(speed) && framesDone > 0 ? printed("%.1fx", speed) : std::string("N/A")) +
        "\n";
    block += finished ? "progress=end\n" : "progress=continue\n";
    return block;
}

} // namespace render
