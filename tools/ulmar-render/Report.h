// What the renderer prints: the report (as text on standard output, as JSON into a file) and the
// progress (a bar on standard error, or key=value blocks on standard output).
#pragma once

#include "Render.h"

#include <string>

namespace render
{

/// "-1.00" style level with two decimals, "-inf" for silence, right-aligned to `width`.
std::string formatLevel(double decibels, int width);

/// 0x05000302 -> "5.0.3.2": one byte per part, most significant first.
std::string formatEngineVersion(int version);

/// The multi-line report of a finished render.
std::string formatReport(const RenderReport& report);

/// The same report as one JSON object with a fixed key order; levels that are minus infinity and
/// real-time factors that could not be measured are null.
std::string formatJsonReport(const RenderReport& report);

/// One progress line (without carriage return), e.g. "[#####-----]  50%  15.0 s of 30.0 s".
std::string formatProgress(long long framesDone, long long totalFrames, int sampleRate);

/// One key=value progress block, each line ending in a newline, the last "progress=continue" or
/// (when `finished`) "progress=end". `wallSeconds` is the time since the render started.
std::string formatKeyValueProgress(long long framesDone, long long totalFrames, int sampleRate,
                                   double wallSeconds, bool finished);

} // namespace render
