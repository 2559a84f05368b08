// What the renderer prints: the report on standard output and the progress bar on standard error.
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
std::string formatReport(const RenderReport& report, int engineVersion);

/// One progress line (without carriage return), e.g. "[#####-----]  50%  15.0 s of 30.0 s".
std::string formatProgress(long long framesDone, long long totalFrames, int sampleRate);

} // namespace render
