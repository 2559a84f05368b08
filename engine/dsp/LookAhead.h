// Single-sample delay line of up to 480 samples (10 ms at 48 kHz).
#pragma once

#include <cstdint>

constexpr int kLookAheadMaxLength = 480;

struct LookAheadLine
{
    int32_t position;
    float memory[kLookAheadMaxLength];
};
static_assert(sizeof(LookAheadLine) == 4 + 4 * kLookAheadMaxLength, "LookAheadLine: position and memory");

/// Position 0, memory zeroed.
void LookAheadInit(LookAheadLine* line);
/// Returns the sample passed `length` calls earlier and stores `x`; length 0 returns x. Lengths are
/// clamped to 0 .. 480; a new length takes effect when the position next wraps. Audio thread.
float lookAhead(LookAheadLine* line, int length, float x);
