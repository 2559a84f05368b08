// Conversions of record values that must not hit undefined behaviour whatever a record holds.
#pragma once

#include <climits>
#include <cmath>

/// A frequency in Hz truncated to whole Hz, as the filters use it; NaN gives 0 and values beyond the
/// int range saturate instead of reaching an undefined cast.
inline int truncateHz(float freqHz)
{
    if (freqHz >= 2147483520.0f)
        return INT_MAX;
    if (freqHz > -2147483520.0f)
        return static_cast<int>(freqHz);
    return freqHz < 0.0f ? INT_MIN : 0;
}

/// 1 / x without a floating division by zero: +0 gives +inf and -0 gives -inf, which the compressor's
/// ratio setter turns into limiting and into no compression.
inline float reciprocal(float x)
{
    if (x == 0.0f)
        return std::signbit(x) ? -INFINITY : INFINITY;
    return 1.0f / x;
}
