// Signal helpers shared by the test programs: generators, single-frequency DFTs, impulse responses,
// level measurements and decibel conversions. Header-only; double precision for every measurement.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace signals
{

constexpr double kPi = 3.14159265358979323846;

inline double toDb(double linear)
{
    return 20.0 * std::log10(linear);
}

inline double fromDb(double dB)
{
    return std::pow(10.0, dB / 20.0);
}

inline double radiansToDegrees(double radians)
{
    return radians * 180.0 / kPi;
}

/// Wraps an angle in radians into (-pi, pi].
inline double wrapPhase(double radians)
{
    double wrapped = std::remainder(radians, 2.0 * kPi);
    if (wrapped <= -kPi)
    {
        wrapped += 2.0 * kPi;
    }
    return wrapped;
}

/// amplitude * sin(2 pi freqHz n / sampleRate + phase) for n = 0 .. frames - 1, computed in double.
inline std::vector<float> sine(double freqHz, double sampleRate, int frames, double amplitude = 1.0,
                               double phase = 0.0)
{
    std::vector<float> out(static_cast<size_t>(frames));
    for (int n = 0; n < frames; ++n)
    {
        out[static_cast<size_t>(n)] =
            static_cast<float>(amplitude * std::sin(2.0 * kPi * freqHz * n / sampleRate + phase));
    }
    return out;
}

/// Unit impulse at `position` in `frames` zeros.
inline std::vector<float> impulse(int frames, int position = 0, float height = 1.0f)
{
    std::vector<float> out(static_cast<size_t>(frames), 0.0f);
    out[static_cast<size_t>(position)] = height;
    return out;
}

/// Uniform white noise in [-amplitude, amplitude] from a fixed seed (reproducible across platforms).
inline std::vector<float> noise(int frames, double amplitude = 1.0, uint32_t seed = 12345u)
{
    std::vector<float> out(static_cast<size_t>(frames));
    uint32_t state = seed ? seed : 1u;
    for (auto& x : out)
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        x = static_cast<float>(amplitude * (static_cast<double>(state) / 2147483647.5 - 1.0));
    }
    return out;
}

/// Interleaves equally long channels into frames.
inline std::vector<float> interleave(const std::vector<std::vector<float>>& channels)
{
    const size_t count = channels.size();
    const size_t frames = count ? channels[0].size() : 0;
    std::vector<float> out(frames * count);
    for (size_t n = 0; n < frames; ++n)
    {
        for (size_t ch = 0; ch < count; ++ch)
        {
            out[n * count + ch] = channels[ch][n];
        }
    }
    return out;
}

/// Channel `channel` of an interleaved buffer of `channels` channels.
inline std::vector<float> channelOf(const std::vector<float>& interleaved, int channels, int channel)
{
    std::vector<float> out(interleaved.size() / static_cast<size_t>(channels));
    for (size_t n = 0; n < out.size(); ++n)
    {
        out[n] = interleaved[n * static_cast<size_t>(channels) + static_cast<size_t>(channel)];
    }
    return out;
}

/// sum of x[n] e^(-j w n) over `count` samples taken `stride` apart, w = 2 pi freqHz / sampleRate.
/// Applied to an impulse response this is the frequency response H(e^jw).
inline std::complex<double> dftAt(const float* x, int count, double freqHz, double sampleRate, int stride = 1)
{
    const double w = 2.0 * kPi * freqHz / sampleRate;
    std::complex<double> sum = 0.0;
    for (int n = 0; n < count; ++n)
    {
        sum += static_cast<double>(x[static_cast<size_t>(n) * static_cast<size_t>(stride)]) *
               std::polar(1.0, -w * n);
    }
    return sum;
}

inline std::complex<double> dftAt(const std::vector<float>& x, double freqHz, double sampleRate)
{
    return dftAt(x.data(), static_cast<int>(x.size()), freqHz, sampleRate);
}

/// Amplitude and phase (radians, relative to a sine of phase 0 at n = 0) of the `freqHz` component of
/// x over samples [start, start + count), `count` spanning whole cycles.
inline std::complex<double> sinePhasor(const std::vector<float>& x, int start, int count, double freqHz,
                                       double sampleRate)
{
    const double w = 2.0 * kPi * freqHz / sampleRate;
    std::complex<double> sum = 0.0;
    for (int n = start; n < start + count; ++n)
    {
        sum += static_cast<double>(x[static_cast<size_t>(n)]) * std::polar(1.0, -w * n);
    }
    // A sine A sin(w n + phi) correlates to (A / 2) e^{j(phi - pi/2)} per sample.
    return sum * (2.0 / count) * std::complex<double>(0.0, 1.0);
}

/// Impulse response of a mono in-place process `run(buffer, frames)` over `length` samples, processed
/// in blocks of `blockSize`.
inline std::vector<float> impulseResponse(const std::function<void(float*, int)>& run, int length,
                                          int blockSize = 512)
{
    std::vector<float> buffer = impulse(length);
    for (int start = 0; start < length; start += blockSize)
    {
        run(buffer.data() + start, std::min(blockSize, length - start));
    }
    return buffer;
}

/// Largest magnitude of x[start, end).
inline double peak(const std::vector<float>& x, size_t start = 0, size_t end = SIZE_MAX)
{
    end = std::min(end, x.size());
    double result = 0.0;
    for (size_t n = start; n < end; ++n)
    {
        result = std::max(result, std::fabs(static_cast<double>(x[n])));
    }
    return result;
}

/// Root mean square of x[start, end).
inline double rms(const std::vector<float>& x, size_t start = 0, size_t end = SIZE_MAX)
{
    end = std::min(end, x.size());
    if (end <= start)
    {
        return 0.0;
    }
    double sum = 0.0;
    for (size_t n = start; n < end; ++n)
    {
        sum += static_cast<double>(x[n]) * x[n];
    }
    return std::sqrt(sum / static_cast<double>(end - start));
}

/// Largest |a[n] - b[n]| over the common length.
inline double maxAbsDifference(const std::vector<float>& a, const std::vector<float>& b)
{
    const size_t count = std::min(a.size(), b.size());
    double result = 0.0;
    for (size_t n = 0; n < count; ++n)
    {
        result = std::max(result, std::fabs(static_cast<double>(a[n]) - b[n]));
    }
    return result;
}

/// Frequencies spaced logarithmically from lowHz to highHz inclusive.
inline std::vector<double> logFrequencies(double lowHz, double highHz, int count)
{
    std::vector<double> out(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
    {
        out[static_cast<size_t>(i)] =
            lowHz * std::pow(highHz / lowHz, count > 1 ? double(i) / (count - 1) : 0.0);
    }
    return out;
}

/// The lag (0 .. maxLag - 1 frames) at which `output` best matches broadband `input`: the delay of a
/// chain whose filters smear an impulse over a few samples but pass noise at their look-ahead delay.
inline int measuredDelay(const float* input, const float* output, int frames, int stride = 1, int maxLag = 1024)
{
    int best = 0;
    double bestScore = -1.0;
    for (int lag = 0; lag < maxLag; ++lag)
    {
        double score = 0.0;
        for (int i = 0; i + lag < frames; ++i)
            score += static_cast<double>(input[static_cast<size_t>(i) * stride]) *
                     output[static_cast<size_t>(i + lag) * stride];
        if (score > bestScore)
        {
            bestScore = score;
            best = lag;
        }
    }
    return best;
}

} // namespace signals
