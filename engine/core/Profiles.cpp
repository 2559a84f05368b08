#include "core/Profiles.h"

namespace
{

// 10^(db / 20) rounded once to float. std::pow cannot run in a constant expression, so e^|x| is summed
// as a Taylor series in double (all terms positive, so the error stays at a few double ulps, far below
// float resolution); negative decibels take the reciprocal.
constexpr float gainFromDb(double db)
{
    constexpr double kLn10Over20 = 0.115129254649702284200899572734218210380055074431438;
    const double x = (db < 0.0 ? -db : db) * kLn10Over20;
    double term = 1.0;
    double sum = 1.0;
    for (int n = 1; n < 60; ++n)
    {
        term *= x / n;
        sum += term;
    }
    return static_cast<float>(db < 0.0 ? 1.0 / sum : sum);
}

// Shared by every built-in profile: the information block is identical in all of them.
constexpr char kDescription[] = "Ulmar built-in mastering profile";
static_assert(sizeof(kDescription) <= sizeof(ProfileInfoBlock::description));

constexpr EqBandBlock bell(float gain, float q, float freq, int32_t bypass)
{
    EqBandBlock band{};
    band.gain = gain;
    band.q = q;
    band.freq = freq;
    band.bypass = bypass;
    return band;
}

constexpr void setDefaultEngineStages(MasterBlock& m)
{
    m.vyk.sampleRate = 48000;
    m.vyk.bypass = 0;

    m.input.gain = 1.0f;
    m.input.highPassFreq = 20.0f;
    m.input.highPassBypass = 1;
    m.input.bypass = 0;

    m.output.leftGain = 1.0f;
    m.output.rightGain = 1.0f;
    m.output.leftDelayMs = 0.0f;
    m.output.rightDelayMs = 0.0f;
    m.output.leftPhase = 0;
    m.output.rightPhase = 0;
    m.output.bypass = 0;

    m.user.gain[0] = 1.0f;
    m.user.gain[1] = 1.0f;
    m.user.sections[kUserBassSection] = bell(1.0f, 1.4f, 160.0f, 1);
    m.user.sections[kUserTrebleSection] = bell(1.0f, 1.4f, 4000.0f, 1);
    m.user.eqPosition = 0;
    m.user.bypass = 0;

    // info.reserved stays zero.
    m.info.version = 1;
    for (unsigned i = 0; i < sizeof(kDescription); ++i)
        m.info.description[i] = kDescription[i];
}

constexpr void setDefaultBassAgc(BagcBlock& b)
{
    b.preLowShelfGain = gainFromDb(-12.0);
    b.postLowShelfGain = gainFromDb(12.0);
    b.preHighShelfGain = gainFromDb(9.0);
    b.postHighShelfGain = gainFromDb(-9.0);
    b.threshold = gainFromDb(-10.0);
    b.ratioRecip = 0.5f;
    b.attackMs = 35.0f;
    b.releaseMs = 180.0f;
    b.makeupGain = gainFromDb(4.0);
    b.reserved36 = 1.0f;
    b.reserved40 = 0;
    b.reserved44 = 0;
    b.linked = 0;
    b.reserved52 = 0;
    b.bypass = 0;
}

constexpr void setDefaultEq(EQBlock& eq)
{
    // Flat bells an octave apart from 50 Hz, the top two spread to 9.6 and 12.8 kHz.
    constexpr float kCentreFreq[kNumEqBands] = {50, 100, 200, 400, 800, 1600, 3200, 6400, 9600, 12800};
    for (int b = 0; b < kNumEqBands; ++b)
        eq.bands[b] = bell(1.0f, 1.0f, kCentreFreq[b], 0);
    eq.bypass = 0;
}

constexpr void setDefaultNoiseGate(NoiseGateBlock& g)
{
    g.attack = 1.0f;
    g.release = 79.0f;
    g.hysteresis = gainFromDb(3.0);
    g.floor = gainFromDb(-20.0);
    g.threshold = gainFromDb(-40.0);
    g.hold = 90;
    g.bypass = 1;
}

constexpr void setDefaultStereoWiden(StereoWidenBlock& w)
{
    w.compThreshold = gainFromDb(-15.0);
    w.compRatioRecip = 0.5f;
    w.compAttackMs = 0.0f;
    w.compReleaseMs = 90.0f;
    w.compMakeupGain = 1.0f;
    w.reserved20[0] = 1.0f;
    w.reserved20[1] = 0.0f;
    w.reserved20[2] = 0.0f;
    w.reserved20[3] = 0.0f;
    w.compBypass = 0; // the side-chain compressor is part of the widening whenever the widener runs
    w.xoverLoFreq = 500.0f;
    w.xoverHiFreq = 500.0f;
    w.keyLoShelfGain = gainFromDb(-12.0);
    w.keyHiShelfGain = gainFromDb(12.0);
    w.mGain = 1.0f;
    w.sGain = gainFromDb(6.0);
    w.loGain = 1.0f;
    w.midGain = gainFromDb(6.0); // restores the 6 dB that mid/side encoding and decoding lose
    w.bypass = 1;
}

// Profile 0's multiband bands, one row per field, one column per band.
constexpr void setDefaultBands(MultiBandBandBlock (&bands)[kNumBands])
{
    constexpr int32_t kLowPassEnabled[kNumBands] = {1, 1, 1, 1, 0};
    constexpr int32_t kHighPassEnabled[kNumBands] = {0, 1, 1, 1, 1};
    constexpr int32_t kAllPassMask[kNumBands] = {1, 2, 4, 8, 8};
    constexpr float kLowPassFreq[kNumBands] = {100, 300, 1000, 5000, 10000};
    constexpr float kHighPassFreq[kNumBands] = {30, 100, 300, 1000, 5000};
    constexpr double kLimiterClipDb[kNumBands] = {0, -8, -8, -8, -8};
    constexpr double kCompThresholdDb[kNumBands] = {-10, -12, -14, -16, -16};
    constexpr float kCompAttackMs[kNumBands] = {30, 30, 30, 21, 15};
    constexpr float kCompReleaseMs[kNumBands] = {250, 200, 140, 100, 50};
    constexpr int32_t kSoftClip[kNumBands] = {0, 0, 1, 0, 0};
    constexpr double kClipperThresholdDb[kNumBands] = {6, 0, 6, 0, 0};
    constexpr double kClipperOutputDb[kNumBands] = {-12, 0, -10, 0, 0};
    constexpr double kEq1GainDb[kNumBands] = {0, 5, 5, 6, 6};
    constexpr float kEq1Q[kNumBands] = {1, 1.4f, 1.4f, 1.4f, 1.4f};
    constexpr float kEq1Freq[kNumBands] = {42, 100, 300, 1000, 3571.43f};
    constexpr int32_t kEq1Bypass[kNumBands] = {1, 0, 0, 0, 0};
    constexpr double kEq2GainDb[kNumBands] = {1, 1, 6, 6, 0};
    constexpr float kEq2Q[kNumBands] = {1.4f, 1.4f, 1.4f, 1.4f, 1};
    constexpr float kEq2Freq[kNumBands] = {100, 300, 1000, 7000, 100};
    constexpr int32_t kEq2Bypass[kNumBands] = {0, 0, 0, 0, 1};

    for (int k = 0; k < kNumBands; ++k)
    {
        MultiBandBandBlock& b = bands[k];
        b.bandIndex = k;
        b.bandType = kBandTypeCompressor;
        b.lowPassEnabled = kLowPassEnabled[k];
        b.highPassEnabled = kHighPassEnabled[k];
        b.lowPass8thOrder = 0;
        b.highPass8thOrder = 0;
        b.allPassMask = kAllPassMask[k]; // crossover mode and is-last-band bytes stay 0
        b.lowPassFreq = kLowPassFreq[k];
        b.highPassFreq = kHighPassFreq[k];
        b.gainOnlyGain = 1.0f;
        b.limiterInputGain = 1.0f;
        b.limiterThreshold = gainFromDb(-8.0);
        b.limiterClip = gainFromDb(kLimiterClipDb[k]);
        b.limiterReleaseMs = 300.0f;
        b.limiterBypass = 0;
        b.compThreshold = gainFromDb(kCompThresholdDb[k]);
        b.compRatioRecip = 0.5f;
        b.compAttackMs = kCompAttackMs[k];
        b.compReleaseMs = kCompReleaseMs[k];
        b.compMakeupGain = gainFromDb(-6.0);
        b.reserved80[0] = 1065353216; // bit pattern of 1.0f
        b.reserved80[1] = 0;
        b.reserved80[2] = 1;
        b.reserved80[3] = 1;
        b.compBypass = 0;
        b.softClip = kSoftClip[k];
        b.clipperThreshold = gainFromDb(kClipperThresholdDb[k]);
        b.clipperOutputGain = gainFromDb(kClipperOutputDb[k]);
        b.reserved112 = 0;
        b.detectorEq[0] = bell(gainFromDb(kEq1GainDb[k]), kEq1Q[k], kEq1Freq[k], kEq1Bypass[k]);
        b.detectorEq[1] = bell(gainFromDb(kEq2GainDb[k]), kEq2Q[k], kEq2Freq[k], kEq2Bypass[k]);
        b.bandOff = 0;
    }
}

constexpr void setDefaultMultiBandCore(MultiBandCoreBlock& c)
{
    c.virtualBassRecovery = gainFromDb(-10.0);
    c.virtualBassThreshold = gainFromDb(10.0);
    c.virtualBassLevelTarget = gainFromDb(-6.0);
    c.virtualBassMaxBoost = gainFromDb(10.0);
    c.resonantLowPassQ = 1.0f;
    c.resonantLowPassFreq = 90.0f;
    c.virtualBassResponse = 50;
    c.virtualBassBypass = 1;
    c.virtualBassIntoBand0 = 1;
    c.virtualBassIntoBand1 = 0;
    c.allPassQ = 0.4f;
    c.subwooferBandMask = 0;
    c.subwooferGain = 1.0f;
    c.subwooferUserGain = 1.0f;
    c.subwooferDelayMs = 0.0f;
    c.subwooferPhase = 0;
    c.bypass = 0;
}

constexpr void setDefaultOutputCompressor(OutputCompressorBlock& o)
{
    o.compressorType = kOutputCompressorTypeLimiter;
    o.limiterInputGain = 1.0f;
    o.limiterThreshold = 1.0f;
    o.limiterClip = 1.0f;
    o.limiterReleaseMs = 300.0f;
    o.limiterBypass = 0;
    o.softClip = 0;
    o.clipperThreshold = 1.0f;
    o.clipperOutputGain = 1.0f;
    o.reserved36 = 1;
    o.outputGain = gainFromDb(6.0);
    o.bypass = 0;
}

constexpr void setDefaultKaraoke(KaraokeBlock& k)
{
    k.combLpfBypass = 0;
    k.allPassLpfBypass = 0;
    k.reverbPreDelayBypass = 1;
    for (float& gain : k.combGain)
        gain = 0.812830985f;
    k.dryGain = 1.0f;
    k.wetGain = 1.0f;
    k.reverbGain = 1.0f;
    k.echoGain = gainFromDb(-11.0);
    k.echoDelayMs = 250;
    k.reverbDelayMs = 75;
    k.feedbackLpfFreq = 8000;
    k.echoLpfFreq = 4000;
    k.bypass = 1;
}

constexpr void setDefaultFbx(FbxBlock& f)
{
    f.locked = 0;
    f.spectralFlatness = 40;
    f.speed = 500;
    f.limit = 50;
    f.bufferSize = 1024;
    f.frequencyThreshold = 4;
    f.feedbackSensitivity = 5;
    f.numFilters = 10;
    f.bypass = 1;
}

constexpr void setDefaultPitchShift(PitchShiftBlock& p)
{
    p.pitchShift = 1.0f;
    p.frameSize = 512;
    p.bypass = 1;
}

constexpr void setDefaultV3d(V3dBlock& v)
{
    v.mainLevel = 1.0f;
    v.midLevel = 1.0f;
    v.widenLevel = 1.0f;
    v.sideGain = 1.0f;
    v.delaySamples = 3;
    v.mode = 0;
    v.numTaps = 256;
    v.algo = 1;
    v.bypass = 1;
}

// Built-in profile 0, the engine's default record.
constexpr MasterBlock makeDefaultProfile()
{
    MasterBlock m{};
    setDefaultEngineStages(m);
    setDefaultBassAgc(m.bagc);
    setDefaultEq(m.eq);
    setDefaultNoiseGate(m.noiseGate);
    setDefaultStereoWiden(m.stereoWiden);
    setDefaultBands(m.bands);
    setDefaultMultiBandCore(m.multiBandCore);
    setDefaultOutputCompressor(m.outputCompressor);
    setDefaultKaraoke(m.karaoke);
    setDefaultFbx(m.fbx);
    setDefaultPitchShift(m.pitchShift);
    setDefaultV3d(m.v3d);
    return m;
}

// What sets one built-in profile apart from profile 0. Every other field keeps profile 0's value.
struct ProfileVoicing
{
    float highPassFreq;           // input high-pass corner (the high-pass itself stays bypassed)
    bool bassAgc;                 // bass AGC enabled
    bool virtualBass;             // virtual bass enabled
    float virtualBassLowPassFreq; // resonant low-pass corner of the virtual bass
    int bandsInUse;               // the lowest bandsInUse bands run, the rest are off
    int32_t bandTypes[kNumBands];
    int32_t compressorType; // output compressor type
    double outputGainDb;    // output compressor output gain
    bool slowWidener;       // widener compressor 32 ms / 400 ms with crossovers at 675 Hz
};

// Band types in the table: C compressor, L W1 limiter, X clipper, G gain only.
constexpr int C = kBandTypeCompressor;
constexpr int L = kBandTypeLimiter;
constexpr int X = kBandTypeClipper;
constexpr int G = kBandTypeGain;
constexpr int32_t kLim = kOutputCompressorTypeLimiter;
constexpr int32_t kClip = kOutputCompressorTypeClipper;

// clang-format off
constexpr ProfileVoicing kVoicings[kNumBuiltInProfiles] = {
    // HP Hz bagc   vbass  vb LP   bands band types       out    dB   slow widener
    {20.0f,  true,  false,  90.0f, 5,    {C, C, C, C, C}, kLim,  6.0, false}, //  0 Master Shine
    {20.0f,  true,  true,  70.93f, 5,    {C, C, C, C, C}, kLim,  6.0, false}, //  1 Warm with Transient Detail
    {20.0f,  true,  false, 70.93f, 5,    {C, C, C, C, C}, kLim,  4.0, false}, //  2 Vocal Bright
    {20.0f,  true,  true,  70.93f, 5,    {C, C, C, C, C}, kClip, 3.0, false}, //  3 Instrument Definition
    {20.0f,  true,  false,  90.0f, 5,    {C, C, C, C, C}, kLim,  6.0, false}, //  4 Subtle Bright Presence
    {20.0f,  true,  true,   90.0f, 5,    {C, C, C, C, C}, kClip, 6.0, false}, //  5 Subtle Bass Control
    {20.0f,  true,  false,  90.0f, 3,    {C, G, C, C, C}, kLim,  0.0, false}, //  6 Tight and Punchy
    {20.0f,  true,  true,   90.0f, 3,    {C, X, C, C, C}, kLim,  0.0, false}, //  7 Sub Bass Enhancer
    {131.0f, true,  true,  119.2f, 3,    {X, X, L, C, C}, kLim,  4.0, false}, //  8 Crystal Clarity
    {131.0f, true,  true,  140.7f, 3,    {X, X, X, C, C}, kLim,  6.0, false}, //  9 Broken Speaker
    {20.0f,  false, false,  90.0f, 3,    {L, L, L, C, C}, kLim,  6.0, true},  // 10 Strong Center
    {20.0f,  false, true,   90.0f, 3,    {L, L, L, C, C}, kClip, 4.0, false}, // 11 Analog Warmth
    {20.0f,  false, false,  90.0f, 5,    {L, L, L, L, L}, kLim,  2.0, false}, // 12 Vintage
    {20.0f,  false, true,   60.0f, 5,    {L, L, L, L, L}, kClip, 0.0, false}, // 13 Full Range Compression
    {20.0f,  true,  false,  60.0f, 5,    {L, L, L, L, L}, kLim,  0.0, false}, // 14 Loud and Proud
    {20.0f,  true,  true,   60.0f, 5,    {L, L, L, L, L}, kClip, 0.0, false}, // 15 Power Punch
    {20.0f,  true,  false,  90.0f, 5,    {X, X, X, X, C}, kLim,  4.0, false}, // 16 Vocal Enhancer
    {20.0f,  true,  true,   90.0f, 5,    {X, X, X, C, C}, kClip, 0.0, false}, // 17 Light Compression Darker
    {20.0f,  true,  false,  90.0f, 5,    {X, X, X, X, C}, kClip, 0.0, true},  // 18 Balanced Depth
    {20.0f,  true,  true,   55.0f, 5,    {X, X, X, X, L}, kClip, 0.0, false}, // 19 Rich Warmth
};
// clang-format on

constexpr MasterBlock makeProfile(int number)
{
    const ProfileVoicing& v = kVoicings[number];
    MasterBlock m = makeDefaultProfile();
    m.input.highPassFreq = v.highPassFreq;
    m.bagc.bypass = v.bassAgc ? 0 : 1;
    m.multiBandCore.virtualBassBypass = v.virtualBass ? 0 : 1;
    m.multiBandCore.resonantLowPassFreq = v.virtualBassLowPassFreq;
    for (int k = 0; k < kNumBands; ++k)
    {
        m.bands[k].bandType = v.bandTypes[k];
        m.bands[k].bandOff = k < v.bandsInUse ? 0 : 1;
    }
    // The highest band in use runs open-ended, as band 4 does in profile 0; with its crossover low-pass
    // still on, everything above it would be lost with the bands that are off.
    m.bands[v.bandsInUse - 1].lowPassEnabled = 0;
    m.outputCompressor.compressorType = v.compressorType;
    m.outputCompressor.outputGain = gainFromDb(v.outputGainDb);
    if (v.slowWidener)
    {
        m.stereoWiden.compAttackMs = 32.0f;
        m.stereoWiden.compReleaseMs = 400.0f;
        m.stereoWiden.xoverLoFreq = 675.0f;
        m.stereoWiden.xoverHiFreq = 675.0f;
    }
    return m;
}

} // namespace

const int gNumProfiles = kNumBuiltInProfiles;

// constexpr makes the table constant-initialised: it is complete before any dynamic initialiser runs.
constexpr MasterBlock gProfiles[kNumBuiltInProfiles] = {
    makeProfile(0),  makeProfile(1),  makeProfile(2),  makeProfile(3),  makeProfile(4),
    makeProfile(5),  makeProfile(6),  makeProfile(7),  makeProfile(8),  makeProfile(9),
    makeProfile(10), makeProfile(11), makeProfile(12), makeProfile(13), makeProfile(14),
    makeProfile(15), makeProfile(16), makeProfile(17), makeProfile(18), makeProfile(19),
};
