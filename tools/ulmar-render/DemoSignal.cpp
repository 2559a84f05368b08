#include "DemoSignal.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <thread>

namespace render
{
namespace
{

// 120 beats per minute in 4/4: 15 bars of 2 s.
constexpr int kBeatFrames = kDemoSampleRate / 2;
constexpr int kEighthFrames = kBeatFrames / 2;
constexpr int kSixteenthFrames = kBeatFrames / 4;
constexpr int kBarFrames = 4 * kBeatFrames;
constexpr int kBars = kDemoFrames / kBarFrames;
constexpr double kFrameSeconds = 1.0 / kDemoSampleRate;
constexpr double kTwoPi = 6.283185307179586;

struct Section
{
    int firstBar;
    double gain; // the sections' level differences give the dynamics something to do
    double padCutoffHz;
    bool hats;
    bool bassAndKick;
    bool snareAndArpeggio;
};

const Section kSections[] = {
    {0, 0.25, 900.0, false, false, false},  // intro: pads alone
    {2, 0.28, 1200.0, true, false, false},  // intro: hats join
    {4, 0.55, 1600.0, true, true, false},   // verse
    {8, 1.00, 3000.0, true, true, true},    // chorus
    {13, 0.60, 1400.0, false, true, false}, // outro, faded out over the last 3 s
};
constexpr double kFadeOutSeconds = 3.0;

const Section& sectionOfBar(int bar)
{
    const Section* found = &kSections[0];
    for (const Section& section : kSections)
    {
        if (bar >= section.firstBar)
        {
            found = &section;
        }
    }
    return *found;
}

const Section& sectionAt(int frame)
{
    return sectionOfBar(frame / kBarFrames);
}

// A minor: Am, F, C, G, the pad voices moving by step, the bass on the roots.
struct Chord
{
    int bassNote;
    int padNotes[3];
};

const Chord kProgression[] = {
    {33, {57, 60, 64}},
    {29, {57, 60, 65}},
    {36, {55, 60, 64}},
    {31, {55, 59, 62}},
};

const Chord& chordOfBar(int bar)
{
    return kProgression[bar % 4];
}

// Numerical Recipes' LCG with a fixed seed: the same noise on every run.
class Noise
{
  public:
    float next()
    {
        mState = mState * 1664525u + 1013904223u;
        return static_cast<float>(mState >> 8) * (1.0f / 8388608.0f) - 1.0f;
    }

  private:
    uint32_t mState = 0x2545f491u;
};

double midiToHz(int note)
{
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// Sine of a cycle phase 0..1 from a refined parabola (error about 0.1 %): plain arithmetic in the
// per-sample path, so the waveform does not hang on the math library's rounding.
double sineOfPhase(double phase)
{
    const double x = 2.0 * phase - 1.0;
    double y = 4.0 * x * (1.0 - std::fabs(x));
    y = 0.225 * (y * std::fabs(y) - y) + y;
    return -y;
}

// Polynomial band-limited step, subtracted from a naive saw so the pads do not alias.
double polyBlep(double phase, double step)
{
    if (phase < step)
    {
        const double t = phase / step;
        return t + t - t * t - 1.0;
    }
    if (phase > 1.0 - step)
    {
        const double t = (phase - 1.0) / step;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

double advance(double phase, double step)
{
    phase += step;
    return phase >= 1.0 ? phase - 1.0 : phase;
}

// A struck note: linear attack, exponential decay, and a 5 ms linear release before its end so
// no note stops with a click.
class Envelope
{
  public:
    Envelope(double attackSeconds, double decaySeconds, double lengthSeconds)
        : mAttackFrames(std::max(1.0, attackSeconds * kDemoSampleRate)),
          mDecayPerFrame(std::exp(-kFrameSeconds / decaySeconds)),
          mLengthFrames(static_cast<int>(lengthSeconds * kDemoSampleRate))
    {
    }

    int lengthFrames() const { return mLengthFrames; }

    /// Gain of frame `index` of the note, called with index 0, 1, 2, ... in turn.
    double next(int index)
    {
        const double releaseFrames = 0.005 * kDemoSampleRate;
        double gain = mDecay;
        mDecay *= mDecayPerFrame;
        if (index < mAttackFrames)
        {
            gain *= index / mAttackFrames;
        }
        const double framesLeft = mLengthFrames - index;
        if (framesLeft < releaseFrames)
        {
            gain *= std::max(0.0, framesLeft / releaseFrames);
        }
        return gain;
    }

  private:
    double mAttackFrames;
    double mDecayPerFrame;
    int mLengthFrames;
    double mDecay = 1.0;
};

struct StereoBuffer
{
    std::vector<double> left = std::vector<double>(kDemoFrames, 0.0);
    std::vector<double> right = std::vector<double>(kDemoFrames, 0.0);

    void add(int frame, double leftValue, double rightValue)
    {
        if (frame >= 0 && frame < kDemoFrames)
        {
            left[static_cast<size_t>(frame)] += leftValue;
            right[static_cast<size_t>(frame)] += rightValue;
        }
    }
};

void addPads(StereoBuffer& mix, Noise& noise)
{
    constexpr double kGain = 0.11;
    constexpr double kDetuneRatio = 1.004050; // 7 cents
    const int attackFrames = kDemoSampleRate / 4;
    const int releaseFrames = kDemoSampleRate * 3 / 10;

    StereoBuffer raw;
    for (int bar = 0; bar < kBars; ++bar)
    {
        const int start = bar * kBarFrames;
        for (int voice = 0; voice < 3; ++voice)
        {
            // The two detuned saws of a note sit on opposite sides, each note at its own width.
            const double spread = 0.25 + 0.2 * voice;
            const double nearGain = 0.5 + 0.5 * spread;
            const double farGain = 0.5 - 0.5 * spread;
            const double freqHz = midiToHz(chordOfBar(bar).padNotes[voice]);
            const double stepUp = freqHz * kDetuneRatio * kFrameSeconds;
            const double stepDown = freqHz / kDetuneRatio * kFrameSeconds;
            double phaseUp = 0.5 * (noise.next() + 1.0f);
            double phaseDown = 0.5 * (noise.next() + 1.0f);
            for (int i = 0; i < kBarFrames + releaseFrames; ++i)
            {
                double gain = kGain;
                if (i < attackFrames)
                {
                    gain *= static_cast<double>(i) / attackFrames;
                }
                if (i >= kBarFrames)
                {
                    gain *= 1.0 - static_cast<double>(i - kBarFrames) / releaseFrames;
                }
                const double up = (2.0 * phaseUp - 1.0 - polyBlep(phaseUp, stepUp)) * gain;
                const double down = (2.0 * phaseDown - 1.0 - polyBlep(phaseDown, stepDown)) * gain;
                raw.add(start + i, up * nearGain + down * farGain, up * farGain + down * nearGain);
                phaseUp = advance(phaseUp, stepUp);
                phaseDown = advance(phaseDown, stepDown);
            }
        }
    }

    // Two one-pole low-passes per channel, opening up in the louder sections.
    double coefficients[std::size(kSections)];
    for (size_t i = 0; i < std::size(kSections); ++i)
    {
        coefficients[i] = 1.0 - std::exp(-kTwoPi * kSections[i].padCutoffHz * kFrameSeconds);
    }
    double left1 = 0.0, left2 = 0.0, right1 = 0.0, right2 = 0.0;
    for (int frame = 0; frame < kDemoFrames; ++frame)
    {
        const double coefficient = coefficients[&sectionAt(frame) - kSections];
        left1 += coefficient * (raw.left[static_cast<size_t>(frame)] - left1);
        left2 += coefficient * (left1 - left2);
        right1 += coefficient * (raw.right[static_cast<size_t>(frame)] - right1);
        right2 += coefficient * (right1 - right2);
        mix.add(frame, left2, right2);
    }
}

void addBass(StereoBuffer& mix)
{
    constexpr double kGain = 0.42;
    const int pattern[8] = {0, 0, 12, 0, 0, 12, 7, 0}; // semitones above the root, per eighth
    for (int start = 0; start < kDemoFrames; start += kEighthFrames)
    {
        if (!sectionAt(start).bassAndKick)
        {
            continue;
        }
        const int note = chordOfBar(start / kBarFrames).bassNote + pattern[(start / kEighthFrames) % 8];
        const double step = midiToHz(note) * kFrameSeconds;
        Envelope envelope(0.004, 0.2, 0.24);
        double phase = 0.0;
        for (int i = 0; i < envelope.lengthFrames(); ++i)
        {
            // A little second harmonic and soft saturation so the bass is heard on small speakers.
            const double octavePhase = advance(phase, phase); // twice the phase, wrapped
            const double tone = sineOfPhase(phase) + 0.3 * sineOfPhase(octavePhase);
            const double shaped = 1.2 * tone - 0.25 * tone * tone * tone;
            const double value = shaped * envelope.next(i) * kGain;
            mix.add(start + i, value, value);
            phase = advance(phase, step);
        }
    }
}

void addKick(StereoBuffer& mix)
{
    constexpr double kGain = 0.85;
    const double sweepPerFrame = std::exp(-kFrameSeconds / 0.035);
    for (int start = 0; start < kDemoFrames; start += kBeatFrames)
    {
        if (!sectionAt(start).bassAndKick)
        {
            continue;
        }
        // Pitch falls from about 160 Hz to 48 Hz: the thump of a bass drum.
        Envelope envelope(0.001, 0.22, 0.38);
        double sweep = 110.0;
        double phase = 0.0;
        for (int i = 0; i < envelope.lengthFrames(); ++i)
        {
            const double value = sineOfPhase(phase) * envelope.next(i) * kGain;
            mix.add(start + i, value, value);
            phase = advance(phase, (48.0 + sweep) * kFrameSeconds);
            sweep *= sweepPerFrame;
        }
    }
}

void addSnare(StereoBuffer& mix, Noise& noise)
{
    constexpr double kGain = 0.42;
    for (int start = kBeatFrames; start < kDemoFrames; start += 2 * kBeatFrames)
    {
        if (!sectionAt(start).snareAndArpeggio)
        {
            continue;
        }
        Envelope toneEnvelope(0.001, 0.06, 0.3);
        Envelope noiseEnvelope(0.001, 0.1, 0.3);
        double phase = 0.0;
        float previousLeft = 0.0f;
        float previousRight = 0.0f;
        for (int i = 0; i < toneEnvelope.lengthFrames(); ++i)
        {
            // Independent noise per channel makes the snare wide; the difference tilts it bright.
            const float left = noise.next();
            const float right = noise.next();
            const double tone = 0.5 * sineOfPhase(phase) * toneEnvelope.next(i);
            const double rattle = 0.5 * noiseEnvelope.next(i);
            mix.add(start + i, (tone + rattle * (left - previousLeft)) * kGain,
                    (tone + rattle * (right - previousRight)) * kGain);
            previousLeft = left;
            previousRight = right;
            phase = advance(phase, 185.0 * kFrameSeconds);
        }
    }
}

void addHats(StereoBuffer& mix, Noise& noise)
{
    constexpr double kGain = 0.16;
    constexpr double kLeftGain = 0.55;
    constexpr double kRightGain = 0.85;
    for (int start = 0; start < kDemoFrames; start += kEighthFrames)
    {
        if (!sectionAt(start).hats)
        {
            continue;
        }
        const double accent = (start / kEighthFrames) % 2 == 1 ? 1.0 : 0.6;
        Envelope envelope(0.0005, 0.03, 0.09);
        float previous = 0.0f;
        float difference = 0.0f;
        for (int i = 0; i < envelope.lengthFrames(); ++i)
        {
            // Second difference of white noise: a steep high-pass, the hiss of a closed hat.
            const float sample = noise.next();
            const float nextDifference = sample - previous;
            const double value = (nextDifference - difference) * envelope.next(i) * accent * kGain;
            mix.add(start + i, value * kLeftGain, value * kRightGain);
            previous = sample;
            difference = nextDifference;
        }
    }
}

void addArpeggio(StereoBuffer& mix)
{
    constexpr double kGain = 0.2;
    constexpr int kEchoFrames = 3 * kSixteenthFrames;
    const int order[8] = {0, 1, 2, 1, 0, 2, 1, 2};
    std::vector<double> line(kDemoFrames, 0.0);
    for (int start = 0; start < kDemoFrames; start += kSixteenthFrames)
    {
        if (!sectionAt(start).snareAndArpeggio)
        {
            continue;
        }
        const int note = chordOfBar(start / kBarFrames).padNotes[order[(start / kSixteenthFrames) % 8]] + 12;
        const double step = midiToHz(note) * kFrameSeconds;
        Envelope envelope(0.002, 0.09, 0.14);
        double phase = 0.0;
        for (int i = 0; i < envelope.lengthFrames() && start + i < kDemoFrames; ++i)
        {
            const double triangle = 1.0 - 4.0 * std::fabs(phase - 0.5);
            line[static_cast<size_t>(start + i)] += triangle * envelope.next(i) * kGain;
            phase = advance(phase, step);
        }
    }
    // Dry on the left, a dotted-eighth echo on the right.
    for (int frame = 0; frame < kDemoFrames; ++frame)
    {
        const double dry = line[static_cast<size_t>(frame)];
        const double echo = frame >= kEchoFrames ? line[static_cast<size_t>(frame - kEchoFrames)] : 0.0;
        mix.add(frame, 0.8 * dry, 0.25 * dry + 0.45 * echo);
    }
}

} // namespace

std::vector<float> generateDemoSignal()
{
    // The pads, the costliest layer, are generated on a second thread. They draw their start phases
    // from the noise before the drums do, so the drums' noise skips those draws.
    Noise padNoise;
    Noise noise = padNoise;
    for (int draw = 0; draw < kBars * 3 * 2; ++draw)
        noise.next();
    StereoBuffer pads;
    std::thread padThread([&pads, &padNoise] { addPads(pads, padNoise); });

    StereoBuffer mix;
    addBass(mix);
    addKick(mix);
    addSnare(mix, noise);
    addHats(mix, noise);
    addArpeggio(mix);
    padThread.join();
    for (size_t frame = 0; frame < static_cast<size_t>(kDemoFrames); ++frame)
    {
        mix.left[frame] += pads.left[frame];
        mix.right[frame] += pads.right[frame];
    }

    // Section levels glide over about 30 ms so the changes do not click.
    const double glide = 1.0 - std::exp(-kFrameSeconds / 0.03);
    const int fadeStart = kDemoFrames - static_cast<int>(kFadeOutSeconds * kDemoSampleRate);
    double gain = kSections[0].gain;
    double peak = 0.0;
    for (int frame = 0; frame < kDemoFrames; ++frame)
    {
        gain += glide * (sectionAt(frame).gain - gain);
        double frameGain = gain;
        if (frame >= fadeStart)
        {
            frameGain *= static_cast<double>(kDemoFrames - frame) / (kDemoFrames - fadeStart);
        }
        double& left = mix.left[static_cast<size_t>(frame)];
        double& right = mix.right[static_cast<size_t>(frame)];
        left *= frameGain;
        right *= frameGain;
        peak = std::max(peak, std::max(std::fabs(left), std::fabs(right)));
    }

    const double scale = peak > 0.0 ? std::pow(10.0, kDemoPeakDb / 20.0) / peak : 0.0;
    std::vector<float> interleaved(static_cast<size_t>(kDemoFrames) * kDemoChannels);
    for (size_t frame = 0; frame < static_cast<size_t>(kDemoFrames); ++frame)
    {
        interleaved[2 * frame] = static_cast<float>(mix.left[frame] * scale);
        interleaved[2 * frame + 1] = static_cast<float>(mix.right[frame] * scale);
    }
    return interleaved;
}

} // namespace render
