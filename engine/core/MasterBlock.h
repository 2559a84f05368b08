// The 2048-byte parameter record of one engine instance (a profile) and its sub-blocks.
// Little-endian, every field 4 bytes wide (int32 for integers and 0/1 flags, IEEE float otherwise);
// sub-blocks follow each other without gaps. The same byte image is the store's record, the protocol
// payload, the profile-file record and the state blob, so every offset below is frozen.
// Conventions in field names: gains are linear factors, "Freq" is in Hz (truncated to an integer by
// the filters), "Ms" is in milliseconds; a "bypass" flag is 1 when the stage is off.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// Engine-level block (record offset 0).
struct VYKBlock
{
    int32_t sampleRate; // Hz; carried with the record, never applied
    int32_t bypass;     // 1: whole chain bypassed, only the user gain runs
};

// Input stage (record offset 8).
struct InputBlock
{
    float gain;             // target of the smoothed input gain (drive)
    float highPassFreq;     // limited to 20 .. 20000 and to sampleRate / 2 - 100
    int32_t highPassBypass; // 1: high-pass off
    int32_t bypass;
};

// Output stage: balance, delay and polarity (record offset 24).
struct OutputBlock
{
    float leftGain;     // balance gain target, channel 0
    float rightGain;    // balance gain target, channel 1
    float leftDelayMs;  // 0 .. 10
    float rightDelayMs; // 0 .. 10
    int32_t leftPhase;  // 1: polarity of channel 0 inverted
    int32_t rightPhase; // 1: polarity of channel 1 inverted
    int32_t bypass;
};

// One bell section: a parametric EQ band, a user tone section or a multiband detector EQ.
struct EqBandBlock
{
    float gain; // gain at the centre frequency; the EQs limit it to 0.1 .. 10
    float q;    // the EQs limit it to 0.4 .. 8
    float freq; // centre frequency; the EQs limit it to 28 .. 20000
    int32_t bypass;
};

constexpr int kUserBassSection = 0;
constexpr int kUserTrebleSection = 1;

// User gain and user tone (record offset 52).
struct UserBlock
{
    float gain[2];           // target of the user gain per channel
    EqBandBlock sections[2]; // kUserBassSection, kUserTrebleSection
    int32_t eqPosition;      // 0: before the parametric EQ, 1: after the multiband module
    int32_t bypass;          // 1: tone sections and user gain off
};

// Information block (record offset 100): not applied to any module.
struct ProfileInfoBlock
{
    int32_t reserved[20];  // zero in the built-in profiles, copied unchanged
    int32_t version;       // 1 in built-in profiles; the engine writes its version here on a read
    char description[512]; // NUL-terminated, NUL-filled
};

// Bass AGC (record offset 696).
struct BagcBlock
{
    float preLowShelfGain;   // shelf 0, before the compressor (side chain in linked mode)
    float postLowShelfGain;  // shelf 2, after the compressor (unlinked mode)
    float preHighShelfGain;  // shelf 1, before the compressor (side chain in linked mode)
    float postHighShelfGain; // shelf 3, after the compressor (unlinked mode)
    float threshold;         // compressor threshold
    float ratioRecip;        // 1 / ratio: 0.5 is 2:1
    float attackMs;
    float releaseMs;
    float makeupGain;
    float reserved36;   // not read by the module
    int32_t reserved40; // not read by the module
    int32_t reserved44; // not read by the module
    int32_t linked;     // 1: linked (side-chain) mode
    int32_t reserved52; // not read by the module
    int32_t bypass;
};

constexpr int kNumEqBands = 10;

// Ten-band parametric EQ (record offset 756).
struct EQBlock
{
    EqBandBlock bands[kNumEqBands];
    int32_t bypass;
};

// Noise gate (record offset 920).
struct NoiseGateBlock
{
    float attack;     // setting A: coefficient exp(-2000 / (rate x (A + 1)))
    float release;    // setting R: coefficient exp(-400 / (rate x (R + 1)))
    float hysteresis; // the gate reopens at hysteresis x threshold
    float floor;      // lowest gate gain
    float threshold;  // level below which the gate closes
    int32_t hold;     // per-sample closing factor 0.999 + hold x 0.00001
    int32_t bypass;
};

// Stereo widener (record offset 948).
struct StereoWidenBlock
{
    float compThreshold;  // side-chain compressor threshold
    float compRatioRecip; // 1 / ratio
    float compAttackMs;
    float compReleaseMs;
    float compMakeupGain; // applied to the side signal
    float reserved20[4];  // not read by the module
    int32_t compBypass;
    float xoverLoFreq; // low-pass corner of the low band
    float xoverHiFreq; // high-pass corner of the upper band
    float keyLoShelfGain;
    float keyHiShelfGain;
    float mGain;   // upper band mid gain at decoding
    float sGain;   // upper band side gain at decoding
    float loGain;  // low band gain
    float midGain; // upper band gain
    int32_t bypass;
};

// Band types of MultiBandBandBlock::bandType.
constexpr int kBandTypeCompressor = 0;
constexpr int kBandTypeLimiter = 1;
constexpr int kBandTypeClipper = 2;
constexpr int kBandTypeGain = 3;

// One multiband band (record offset 1024 + 152 x band).
struct MultiBandBandBlock
{
    int32_t bandIndex;        // 0 .. 4; a record with a larger index is ignored
    int32_t bandType;         // kBandType*; other values: no dynamics stage
    int32_t lowPassEnabled;   // first low-pass section active
    int32_t highPassEnabled;  // first high-pass section active
    int32_t lowPass8thOrder;  // second low-pass section in use
    int32_t highPass8thOrder; // second high-pass section in use
    int32_t allPassMask;      // bit k: all-pass section k; byte 26 of band 0: crossover mode (uint8);
                              // byte 27: is-last-band flag (int8)
    float lowPassFreq;
    float highPassFreq;
    float gainOnlyGain; // output gain of kBandTypeGain
    float limiterInputGain;
    float limiterThreshold;
    float limiterClip;
    float limiterReleaseMs;
    int32_t limiterBypass;
    float compThreshold;
    float compRatioRecip; // 1 / ratio: 0.5 is 2:1, 1 no compression, 0 limiting
    float compAttackMs;
    float compReleaseMs;
    float compMakeupGain;
    int32_t reserved80[4]; // not read by the module
    int32_t compBypass;
    int32_t softClip;       // 1: soft clipper curve, 0: hard
    float clipperThreshold; // clipper input gain
    float clipperOutputGain;
    int32_t reserved112; // not read by the module
    EqBandBlock detectorEq[2];
    int32_t bandOff; // 1: band disabled
};

// Multiband crossover settings, virtual bass and subwoofer output (record offset 1784).
struct MultiBandCoreBlock
{
    float virtualBassRecovery; // weight of the virtual-bass contribution
    float virtualBassThreshold;
    float virtualBassLevelTarget; // target of the average virtual-bass level
    float virtualBassMaxBoost;    // upper limit of the virtual-bass gain; 1.0 switches the control off
    float resonantLowPassQ;
    float resonantLowPassFreq;
    int32_t virtualBassResponse; // response index: speed of the gain control
    int32_t virtualBassBypass;
    int32_t virtualBassIntoBand0; // 1: virtual bass mixed into band 0
    int32_t virtualBassIntoBand1; // 1: virtual bass mixed into band 1
    float allPassQ;               // Q of all 25 all-pass sections
    int32_t subwooferBandMask;    // bit b: band b feeds the subwoofer output
    float subwooferGain;
    float subwooferUserGain;
    float subwooferDelayMs; // 0 .. 10
    int32_t subwooferPhase; // 1: inverted
    int32_t bypass;         // whole multiband module
};

// Types of OutputCompressorBlock::compressorType.
constexpr int kOutputCompressorTypeCompressor = 0;
constexpr int kOutputCompressorTypeLimiter = 1;
constexpr int kOutputCompressorTypeClipper = 2;
constexpr int kOutputCompressorTypeGain = 3;

// Output compressor, limiter and clipper (record offset 1852).
struct OutputCompressorBlock
{
    int32_t compressorType; // kOutputCompressorType*; other values: delay only
    float limiterInputGain; // 0 .. 3.162278
    float limiterThreshold; // 0.031623 .. 1
    float limiterClip;      // ceiling of limited peaks, 0.031623 .. 1
    float limiterReleaseMs; // 1 .. 4000
    int32_t limiterBypass;
    int32_t softClip;       // 1: soft clipper curve, 0: hard
    float clipperThreshold; // clipper input gain
    float clipperOutputGain;
    int32_t reserved36; // not read by the module
    float outputGain;   // target of the smoothed output gain, applied even when bypassed
    int32_t bypass;     // dynamics stage off
};

// Karaoke: echo and reverb (record offset 1900).
struct KaraokeBlock
{
    int32_t combLpfBypass;        // 1: no low-pass after each comb bank
    int32_t allPassLpfBypass;     // 1: no low-pass after each all-pass
    int32_t reverbPreDelayBypass; // 1: no reverb pre-delay
    float combGain[4];            // feedback gain of combs 0 .. 3 (both banks)
    float dryGain;
    float wetGain;
    float reverbGain;        // reverb level inside the effect signal
    float echoGain;          // gain of each echo repeat
    int32_t echoDelayMs;     // 0 .. 340
    int32_t reverbDelayMs;   // pre-delay, 0 .. 160
    int32_t feedbackLpfFreq; // 20 .. 20000
    int32_t echoLpfFreq;     // 20 .. 20000
    int32_t bypass;
};

// Feedback suppressor (record offset 1964); every field is an integer.
struct FbxBlock
{
    int32_t locked;              // nonzero: filter set frozen
    int32_t spectralFlatness;    // dB, 10 .. 60
    int32_t speed;               // 20 .. 1000
    int32_t limit;               // 5 .. 1000
    int32_t bufferSize;          // FFT length: 256 .. 4096, other values mean 4096
    int32_t frequencyThreshold;  // bins, 1 .. 8
    int32_t feedbackSensitivity; // bins, 1 .. 10
    int32_t numFilters;          // 2 .. 10
    int32_t bypass;
};

// Pitch shifter (record offset 2000).
struct PitchShiftBlock
{
    float pitchShift;  // frequency factor, 1.0 = off, applied within 0.5 .. 2
    int32_t frameSize; // hop: 256, 512 or 1024
    int32_t bypass;
};

// Virtual 3D (record offset 2012).
struct V3dBlock
{
    float mainLevel;      // dry channel level (matrix path), 0 .. 40
    float midLevel;       // mono sum level (matrix path), 0 .. 40
    float widenLevel;     // filtered difference level (matrix path), 0 .. 40
    float sideGain;       // right-channel weight of the FIR path, 0 .. 40
    int32_t delaySamples; // mono sum delay, 1 .. 13 frames
    int32_t mode;         // preset 0 .. 17
    int32_t numTaps;      // FIR taps used, 80 .. 512
    int32_t algo;         // 0 matrix path, 1 .. 8 FIR families (validation accepts 0 .. 9)
    int32_t bypass;
};

constexpr int kNumBands = 5;

struct MasterBlock
{
    VYKBlock vyk;
    InputBlock input;
    OutputBlock output;
    UserBlock user;
    ProfileInfoBlock info;
    BagcBlock bagc;
    EQBlock eq;
    NoiseGateBlock noiseGate;
    StereoWidenBlock stereoWiden;
    MultiBandBandBlock bands[kNumBands];
    MultiBandCoreBlock multiBandCore;
    OutputCompressorBlock outputCompressor;
    KaraokeBlock karaoke;
    FbxBlock fbx;
    PitchShiftBlock pitchShift;
    V3dBlock v3d;
};

constexpr int kMasterBlockSize = 2048;
static_assert(sizeof(MasterBlock) == kMasterBlockSize, "MasterBlock must be 2048 bytes");
static_assert(std::is_standard_layout_v<MasterBlock> && std::is_trivially_copyable_v<MasterBlock>);
static_assert(offsetof(MasterBlock, vyk) == 0);
static_assert(offsetof(MasterBlock, input) == 8);
static_assert(offsetof(MasterBlock, output) == 24);
static_assert(offsetof(MasterBlock, user) == 52);
static_assert(offsetof(MasterBlock, info) == 100);
static_assert(offsetof(MasterBlock, bagc) == 696);
static_assert(offsetof(MasterBlock, eq) == 756);
static_assert(offsetof(MasterBlock, noiseGate) == 920);
static_assert(offsetof(MasterBlock, stereoWiden) == 948);
static_assert(offsetof(MasterBlock, bands) == 1024);
static_assert(offsetof(MasterBlock, multiBandCore) == 1784);
static_assert(offsetof(MasterBlock, outputCompressor) == 1852);
static_assert(offsetof(MasterBlock, karaoke) == 1900);
static_assert(offsetof(MasterBlock, fbx) == 1964);
static_assert(offsetof(MasterBlock, pitchShift) == 2000);
static_assert(offsetof(MasterBlock, v3d) == 2012);

// Sub-block sizes and field offsets within each sub-block.
static_assert(sizeof(VYKBlock) == 8);
static_assert(offsetof(VYKBlock, sampleRate) == 0);
static_assert(offsetof(VYKBlock, bypass) == 4);

static_assert(sizeof(InputBlock) == 16);
static_assert(offsetof(InputBlock, gain) == 0);
static_assert(offsetof(InputBlock, highPassFreq) == 4);
static_assert(offsetof(InputBlock, highPassBypass) == 8);
static_assert(offsetof(InputBlock, bypass) == 12);

static_assert(sizeof(OutputBlock) == 28);
static_assert(offsetof(OutputBlock, leftGain) == 0);
static_assert(offsetof(OutputBlock, rightGain) == 4);
static_assert(offsetof(OutputBlock, leftDelayMs) == 8);
static_assert(offsetof(OutputBlock, rightDelayMs) == 12);
static_assert(offsetof(OutputBlock, leftPhase) == 16);
static_assert(offsetof(OutputBlock, rightPhase) == 20);
static_assert(offsetof(OutputBlock, bypass) == 24);

static_assert(sizeof(EqBandBlock) == 16);
static_assert(offsetof(EqBandBlock, gain) == 0);
static_assert(offsetof(EqBandBlock, q) == 4);
static_assert(offsetof(EqBandBlock, freq) == 8);
static_assert(offsetof(EqBandBlock, bypass) == 12);

static_assert(sizeof(UserBlock) == 48);
static_assert(offsetof(UserBlock, gain) == 0);
static_assert(offsetof(UserBlock, sections) == 8);
static_assert(offsetof(UserBlock, sections) + sizeof(EqBandBlock) * kUserTrebleSection == 24);
static_assert(offsetof(UserBlock, eqPosition) == 40);
static_assert(offsetof(UserBlock, bypass) == 44);

static_assert(sizeof(ProfileInfoBlock) == 596);
static_assert(offsetof(ProfileInfoBlock, reserved) == 0);
static_assert(offsetof(ProfileInfoBlock, version) == 80);
static_assert(offsetof(ProfileInfoBlock, description) == 84);

static_assert(sizeof(BagcBlock) == 60);
static_assert(offsetof(BagcBlock, preLowShelfGain) == 0);
static_assert(offsetof(BagcBlock, postLowShelfGain) == 4);
static_assert(offsetof(BagcBlock, preHighShelfGain) == 8);
static_assert(offsetof(BagcBlock, postHighShelfGain) == 12);
static_assert(offsetof(BagcBlock, threshold) == 16);
static_assert(offsetof(BagcBlock, ratioRecip) == 20);
static_assert(offsetof(BagcBlock, attackMs) == 24);
static_assert(offsetof(BagcBlock, releaseMs) == 28);
static_assert(offsetof(BagcBlock, makeupGain) == 32);
static_assert(offsetof(BagcBlock, reserved36) == 36);
static_assert(offsetof(BagcBlock, reserved40) == 40);
static_assert(offsetof(BagcBlock, reserved44) == 44);
static_assert(offsetof(BagcBlock, linked) == 48);
static_assert(offsetof(BagcBlock, reserved52) == 52);
static_assert(offsetof(BagcBlock, bypass) == 56);

static_assert(sizeof(EQBlock) == 164);
static_assert(offsetof(EQBlock, bands) == 0);
static_assert(offsetof(EQBlock, bypass) == 160);

static_assert(sizeof(NoiseGateBlock) == 28);
static_assert(offsetof(NoiseGateBlock, attack) == 0);
static_assert(offsetof(NoiseGateBlock, release) == 4);
static_assert(offsetof(NoiseGateBlock, hysteresis) == 8);
static_assert(offsetof(NoiseGateBlock, floor) == 12);
static_assert(offsetof(NoiseGateBlock, threshold) == 16);
static_assert(offsetof(NoiseGateBlock, hold) == 20);
static_assert(offsetof(NoiseGateBlock, bypass) == 24);

static_assert(sizeof(StereoWidenBlock) == 76);
static_assert(offsetof(StereoWidenBlock, compThreshold) == 0);
static_assert(offsetof(StereoWidenBlock, compRatioRecip) == 4);
static_assert(offsetof(StereoWidenBlock, compAttackMs) == 8);
static_assert(offsetof(StereoWidenBlock, compReleaseMs) == 12);
static_assert(offsetof(StereoWidenBlock, compMakeupGain) == 16);
static_assert(offsetof(StereoWidenBlock, reserved20) == 20);
static_assert(offsetof(StereoWidenBlock, compBypass) == 36);
static_assert(offsetof(StereoWidenBlock, xoverLoFreq) == 40);
static_assert(offsetof(StereoWidenBlock, xoverHiFreq) == 44);
static_assert(offsetof(StereoWidenBlock, keyLoShelfGain) == 48);
static_assert(offsetof(StereoWidenBlock, keyHiShelfGain) == 52);
static_assert(offsetof(StereoWidenBlock, mGain) == 56);
static_assert(offsetof(StereoWidenBlock, sGain) == 60);
static_assert(offsetof(StereoWidenBlock, loGain) == 64);
static_assert(offsetof(StereoWidenBlock, midGain) == 68);
static_assert(offsetof(StereoWidenBlock, bypass) == 72);

static_assert(sizeof(MultiBandBandBlock) == 152);
static_assert(offsetof(MultiBandBandBlock, bandIndex) == 0);
static_assert(offsetof(MultiBandBandBlock, bandType) == 4);
static_assert(offsetof(MultiBandBandBlock, lowPassEnabled) == 8);
static_assert(offsetof(MultiBandBandBlock, highPassEnabled) == 12);
static_assert(offsetof(MultiBandBandBlock, lowPass8thOrder) == 16);
static_assert(offsetof(MultiBandBandBlock, highPass8thOrder) == 20);
static_assert(offsetof(MultiBandBandBlock, allPassMask) == 24);
static_assert(offsetof(MultiBandBandBlock, lowPassFreq) == 28);
static_assert(offsetof(MultiBandBandBlock, highPassFreq) == 32);
static_assert(offsetof(MultiBandBandBlock, gainOnlyGain) == 36);
static_assert(offsetof(MultiBandBandBlock, limiterInputGain) == 40);
static_assert(offsetof(MultiBandBandBlock, limiterThreshold) == 44);
static_assert(offsetof(MultiBandBandBlock, limiterClip) == 48);
static_assert(offsetof(MultiBandBandBlock, limiterReleaseMs) == 52);
static_assert(offsetof(MultiBandBandBlock, limiterBypass) == 56);
static_assert(offsetof(MultiBandBandBlock, compThreshold) == 60);
static_assert(offsetof(MultiBandBandBlock, compRatioRecip) == 64);
static_assert(offsetof(MultiBandBandBlock, compAttackMs) == 68);
static_assert(offsetof(MultiBandBandBlock, compReleaseMs) == 72);
static_assert(offsetof(MultiBandBandBlock, compMakeupGain) == 76);
static_assert(offsetof(MultiBandBandBlock, reserved80) == 80);
static_assert(offsetof(MultiBandBandBlock, compBypass) == 96);
static_assert(offsetof(MultiBandBandBlock, softClip) == 100);
static_assert(offsetof(MultiBandBandBlock, clipperThreshold) == 104);
static_assert(offsetof(MultiBandBandBlock, clipperOutputGain) == 108);
static_assert(offsetof(MultiBandBandBlock, reserved112) == 112);
static_assert(offsetof(MultiBandBandBlock, detectorEq) == 116);
static_assert(offsetof(MultiBandBandBlock, detectorEq) + sizeof(EqBandBlock) == 132);
static_assert(offsetof(MultiBandBandBlock, bandOff) == 148);

static_assert(sizeof(MultiBandCoreBlock) == 68);
static_assert(offsetof(MultiBandCoreBlock, virtualBassRecovery) == 0);
static_assert(offsetof(MultiBandCoreBlock, virtualBassThreshold) == 4);
static_assert(offsetof(MultiBandCoreBlock, virtualBassLevelTarget) == 8);
static_assert(offsetof(MultiBandCoreBlock, virtualBassMaxBoost) == 12);
static_assert(offsetof(MultiBandCoreBlock, resonantLowPassQ) == 16);
static_assert(offsetof(MultiBandCoreBlock, resonantLowPassFreq) == 20);
static_assert(offsetof(MultiBandCoreBlock, virtualBassResponse) == 24);
static_assert(offsetof(MultiBandCoreBlock, virtualBassBypass) == 28);
static_assert(offsetof(MultiBandCoreBlock, virtualBassIntoBand0) == 32);
static_assert(offsetof(MultiBandCoreBlock, virtualBassIntoBand1) == 36);
static_assert(offsetof(MultiBandCoreBlock, allPassQ) == 40);
static_assert(offsetof(MultiBandCoreBlock, subwooferBandMask) == 44);
static_assert(offsetof(MultiBandCoreBlock, subwooferGain) == 48);
static_assert(offsetof(MultiBandCoreBlock, subwooferUserGain) == 52);
static_assert(offsetof(MultiBandCoreBlock, subwooferDelayMs) == 56);
static_assert(offsetof(MultiBandCoreBlock, subwooferPhase) == 60);
static_assert(offsetof(MultiBandCoreBlock, bypass) == 64);

static_assert(sizeof(OutputCompressorBlock) == 48);
static_assert(offsetof(OutputCompressorBlock, compressorType) == 0);
static_assert(offsetof(OutputCompressorBlock, limiterInputGain) == 4);
static_assert(offsetof(OutputCompressorBlock, limiterThreshold) == 8);
static_assert(offsetof(OutputCompressorBlock, limiterClip) == 12);
static_assert(offsetof(OutputCompressorBlock, limiterReleaseMs) == 16);
static_assert(offsetof(OutputCompressorBlock, limiterBypass) == 20);
static_assert(offsetof(OutputCompressorBlock, softClip) == 24);
static_assert(offsetof(OutputCompressorBlock, clipperThreshold) == 28);
static_assert(offsetof(OutputCompressorBlock, clipperOutputGain) == 32);
static_assert(offsetof(OutputCompressorBlock, reserved36) == 36);
static_assert(offsetof(OutputCompressorBlock, outputGain) == 40);
static_assert(offsetof(OutputCompressorBlock, bypass) == 44);

static_assert(sizeof(KaraokeBlock) == 64);
static_assert(offsetof(KaraokeBlock, combLpfBypass) == 0);
static_assert(offsetof(KaraokeBlock, allPassLpfBypass) == 4);
static_assert(offsetof(KaraokeBlock, reverbPreDelayBypass) == 8);
static_assert(offsetof(KaraokeBlock, combGain) == 12);
static_assert(offsetof(KaraokeBlock, dryGain) == 28);
static_assert(offsetof(KaraokeBlock, wetGain) == 32);
static_assert(offsetof(KaraokeBlock, reverbGain) == 36);
static_assert(offsetof(KaraokeBlock, echoGain) == 40);
static_assert(offsetof(KaraokeBlock, echoDelayMs) == 44);
static_assert(offsetof(KaraokeBlock, reverbDelayMs) == 48);
static_assert(offsetof(KaraokeBlock, feedbackLpfFreq) == 52);
static_assert(offsetof(KaraokeBlock, echoLpfFreq) == 56);
static_assert(offsetof(KaraokeBlock, bypass) == 60);

static_assert(sizeof(FbxBlock) == 36);
static_assert(offsetof(FbxBlock, locked) == 0);
static_assert(offsetof(FbxBlock, spectralFlatness) == 4);
static_assert(offsetof(FbxBlock, speed) == 8);
static_assert(offsetof(FbxBlock, limit) == 12);
static_assert(offsetof(FbxBlock, bufferSize) == 16);
static_assert(offsetof(FbxBlock, frequencyThreshold) == 20);
static_assert(offsetof(FbxBlock, feedbackSensitivity) == 24);
static_assert(offsetof(FbxBlock, numFilters) == 28);
static_assert(offsetof(FbxBlock, bypass) == 32);

static_assert(sizeof(PitchShiftBlock) == 12);
static_assert(offsetof(PitchShiftBlock, pitchShift) == 0);
static_assert(offsetof(PitchShiftBlock, frameSize) == 4);
static_assert(offsetof(PitchShiftBlock, bypass) == 8);

static_assert(sizeof(V3dBlock) == 36);
static_assert(offsetof(V3dBlock, mainLevel) == 0);
static_assert(offsetof(V3dBlock, midLevel) == 4);
static_assert(offsetof(V3dBlock, widenLevel) == 8);
static_assert(offsetof(V3dBlock, sideGain) == 12);
static_assert(offsetof(V3dBlock, delaySamples) == 16);
static_assert(offsetof(V3dBlock, mode) == 20);
static_assert(offsetof(V3dBlock, numTaps) == 24);
static_assert(offsetof(V3dBlock, algo) == 28);
static_assert(offsetof(V3dBlock, bypass) == 32);
