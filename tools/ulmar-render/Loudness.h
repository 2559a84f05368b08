// Peak and loudness measurement of interleaved audio (ITU-R BS.1770 / EBU R 128): loudness, loudness
// range and sample peak with libebur128, true peak with TruePeakMeter.
#pragma once

#include "TruePeak.h"

#include <ebur128.h>

namespace render
{

/// Levels in decibels; minus infinity for silence (and integrated loudness of audio shorter than
/// one 400 ms gating block or entirely below the -70 LUFS gate). The loudness range (EBU Tech 3342)
/// is 0 for audio shorter than one 3 s window or without short-term blocks above the gates.
struct LoudnessResult
{
    double samplePeakDbfs;
    double truePeakDbtp;
    double integratedLufs;
    double loudnessRangeLu;
};

class LoudnessMeter
{
  public:
    /// Mono is measured as dual mono: as loud as the same signal on both speakers.
    /// Throws RenderError when libebur128 refuses the rate or channel count.
    LoudnessMeter(int channels, int sampleRate);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    void add(const float* interleaved, int frames);
    LoudnessResult result() const;

  private:
    ebur128_state* mState = nullptr;
    int mChannels;
    // libebur128's own true-peak oversampler costs several times the rest of the measurement.
    TruePeakMeter mTruePeak;
};

} // namespace render
