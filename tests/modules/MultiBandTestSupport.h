// Fixture and analytic responses shared by the multiband tests. The module is driven directly on
// instance 0 at 48 kHz; its settings are edited in the store's current record and applied the way every
// change is made (snapshot, write, apply).
#pragma once

#include "modules/MultiBandState.h"
#include "support/EngineFixture.h"
#include "support/Signals.h"

#include <algorithm>
#include <complex>
#include <cstdint>
#include <vector>

namespace multiband
{
constexpr int kInstance = 0;
constexpr int kRate = 48000;

inline void setCrossoverModeByte(MultiBandBandBlock& band, uint8_t mode)
{
    reinterpret_cast<uint8_t*>(&band)[26] = mode;
}

inline void setIsLastBandByte(MultiBandBandBlock& band, int8_t flag)
{
    reinterpret_cast<int8_t*>(&band)[27] = flag;
}

/// Every band enabled as a compressor with ratio 1 and makeup 1: the dynamics pass the audio untouched.
inline void makeNeutral(MasterBlock& master)
{
    for (MultiBandBandBlock& band : master.bands)
    {
        band.bandOff = 0;
        band.bandType = kBandTypeCompressor;
        band.compRatioRecip = 1.0f;
        band.compMakeupGain = 1.0f;
    }
    master.multiBandCore.virtualBassBypass = 1;
}

/// Only band `b` runs: a full-range band (both crossover sections off, no all-pass) unless edited.
inline void makeSingleBand(MasterBlock& master, int b)
{
    makeNeutral(master);
    for (int k = 0; k < kNumBands; ++k)
        master.bands[k].bandOff = k == b ? 0 : 1;
    MultiBandBandBlock& band = master.bands[b];
    band.lowPassEnabled = 0;
    band.highPassEnabled = 0;
    band.allPassMask = 0; // also parallel mode when b is 0
    setCrossoverModeByte(master.bands[0], kCrossoverParallel);
}

/// Response of one biquad of a section at `freqHz`, from its float coefficients, in double.
template <typename Section> std::complex<double> biquadResponse(const Section& s, double freqHz)
{
    const std::complex<double> z1 = std::polar(1.0, -2.0 * signals::kPi * freqHz / kRate);
    const std::complex<double> z2 = z1 * z1;
    return (double(s.b0) + double(s.b1) * z1 + double(s.b2) * z2) /
           (1.0 + double(s.a1) * z1 + double(s.a2) * z2);
}

/// A Linkwitz-Riley section is the same biquad twice.
inline std::complex<double> lr4Response(const LinkwitzRileyFilter& s, double freqHz)
{
    const std::complex<double> h = biquadResponse(s, freqHz);
    return h * h;
}

inline std::complex<double> delayResponse(int samples, double freqHz)
{
    return std::polar(1.0, -2.0 * signals::kPi * freqHz * samples / kRate);
}

class MultiBandTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_EQ(PlatformInit(nullptr, nullptr), 0);
        MultiBandSetSampleRate(kInstance, kRate);
    }

    static MasterBlock& record() { return *VYKCommGetMasterBlock(kInstance); }
    static MultiBandInstance& state() { return *MultiBandGetInstanceState(kInstance); }
    static MetersBlock& meters() { return *VYKCommGetMeters(kInstance); }

    /// Snapshot, edit the current record, apply the multiband part: only edited fields count as changed.
    template <typename Edit> static void apply(Edit edit)
    {
        VYKCommSaveState(kInstance);
        edit(record());
        MultiBandSetAll(kInstance, &record());
    }

    /// Runs the module over an interleaved buffer in blocks of at most `blockFrames` frames.
    static std::vector<float> run(std::vector<float> buffer, int channels, int blockFrames = 512)
    {
        const int frames = static_cast<int>(buffer.size()) / channels;
        for (int start = 0; start < frames; start += blockFrames)
            VykMultiBandCompress(kInstance, buffer.data() + static_cast<size_t>(start) * channels, nullptr,
                                 std::min(blockFrames, frames - start), channels);
        return buffer;
    }

    /// Mono impulse response of the module over `length` samples.
    static std::vector<float> impulseResponse(int length = 1 << 15)
    {
        return run(signals::impulse(length), 1);
    }
};

} // namespace multiband
