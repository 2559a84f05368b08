#include "EngineSetup.h"

#include "RenderError.h"
#include "RenderOptions.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>

namespace render
{
namespace
{

namespace fs = std::filesystem;

// The smallest record of the five profile-file layouts.
constexpr long long kSmallestRecordBytes = kLayoutSize201104;

std::string optionText(ControlId control)
{
    return std::string("--") + controlOptionName(control);
}

std::string decibelText(float value)
{
    return valueText(value) + " dB";
}

// Every way a profile file can be unusable before the importer looks inside it, each with its own
// message; the importer itself only says yes or no.
void checkProfileFile(const std::string& path)
{
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found)
    {
        throw RenderError("profile file '" + path + "' does not exist", kExitIoError);
    }
    if (status.type() == fs::file_type::directory)
    {
        throw RenderError("profile file '" + path + "' is a directory", kExitIoError);
    }
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
    {
        throw RenderError("cannot open profile file '" + path + "': " + std::strerror(errno), kExitIoError);
    }
    ::close(descriptor);
}

void explainFailedLoad(const std::string& path, int index)
{
    std::error_code error;
    const auto bytes = static_cast<long long>(fs::file_size(path, error));
    if (!error && (static_cast<long long>(index) + 1) * kSmallestRecordBytes > bytes)
    {
        throw RenderError("profile file '" + path + "' (" + std::to_string(bytes) +
                              " bytes) is too short to hold record " + std::to_string(index),
                          kExitIoError);
    }
    throw RenderError("record " + std::to_string(index) + " of profile file '" + path +
                          "' is not a valid profile in any of the five layouts",
                      kExitIoError);
}

} // namespace

std::vector<ControlSetting> settleControls(const std::optional<float> (&given)[kNumControls])
{
    std::vector<ControlSetting> settings;
    for (int index = 0; index < kNumControls; ++index)
    {
        if (given[index])
        {
            const auto control = static_cast<ControlId>(index);
            settings.push_back({control, *given[index], snapToControl(control, *given[index])});
        }
    }
    return settings;
}

std::string adjustmentWarning(const ControlSetting& setting)
{
    const ControlSpec& meta = kControlSpecs[setting.control];
    const std::string given = optionText(setting.control) + " " + decibelText(setting.given);
    if (setting.given < meta.minimum || setting.given > meta.maximum)
    {
        return given + " is outside " + valueText(meta.minimum) + " to " + decibelText(meta.maximum) +
               "; using " + decibelText(setting.applied);
    }
    // Decimal input such as -3.1 is not exactly representable; only a real step change is reported.
    if (std::fabs(setting.applied - setting.given) > 1e-3f * meta.step)
    {
        return given + " is not on the " + decibelText(meta.step) + " grid; using " +
               decibelText(setting.applied);
    }
    return {};
}

std::string appliedText(const ControlSetting& setting)
{
    if (kControlSpecs[setting.control].isSwitch)
    {
        return setting.applied != 0.0f ? "on" : "off";
    }
    return decibelText(setting.applied);
}

std::vector<std::string> configureEngine(VYKLib& lib, int sampleRate, const ProfileChoice& profile,
                                         const std::vector<ControlSetting>& controls)
{
    if (lib.getInstanceId() < 0)
    {
        throw RenderError("no free engine instance", kExitIoError);
    }
    lib.setSampleRate(sampleRate);
    if (profile.filePath.empty())
    {
        lib.loadEmbeddedProfile(profile.builtIn);
    }
    else
    {
        checkProfileFile(profile.filePath);
        if (!lib.loadProfileFromFile(profile.filePath.c_str(), profile.fileIndex))
        {
            explainFailedLoad(profile.filePath, profile.fileIndex);
        }
    }
    for (const ControlSetting& setting : controls)
    {
        applyControl(lib, setting.control, setting.applied);
    }

    std::vector<std::string> warnings;
    const auto isGiven = [&controls](ControlId control)
    {
        return std::any_of(controls.begin(), controls.end(),
                           [control](const ControlSetting& setting) { return setting.control == control; });
    };
    if (isGiven(kControlCeiling) && !readControl(lib, kControlCeiling))
    {
        warnings.push_back("--ceiling has no effect: this profile's output stage is neither a limiter nor "
                           "a clipper");
    }
    if (isGiven(kControlStereoWide) && readControl(lib, kControlStereoBypassed) == 0.0f)
    {
        warnings.push_back("--width has no effect while stereo enhancement is off in this profile (add "
                           "--stereo on)");
    }
    return warnings;
}

ChainReductionMeter::ChainReductionMeter(const VYKLib& lib) : mChainRuns(lib.getEnabled())
{
    for (int band = 0; band < kNumBands; ++band)
    {
        MultiBandBandBlock block = {};
        lib.getMultiBandBand(&block, band);
        mBandInUse[band] = block.bandOff == 0;
    }
}

float ChainReductionMeter::chainGain(const MetersBlock& meters) const
{
    float gain = 99.0f;
    bool measured = false;
    const auto consider = [&](float meter)
    {
        if (std::isfinite(meter) && meter > 0.0f)
        {
            gain = std::min(gain, meter);
            measured = true;
        }
    };
    for (int band = 0; band < kNumBands; ++band)
    {
        if (mBandInUse[band])
        {
            consider(meters.values[kMeterBandGain0 + band]);
        }
    }
    consider(meters.values[kMeterBagcGain0]);
    consider(meters.values[kMeterOutputLimiterGain]);
    return measured ? gain : 1.0f;
}

void ChainReductionMeter::addBlock(const MetersBlock& meters, int frames)
{
    if (!mChainRuns || frames <= 0)
    {
        return;
    }
    const float gain = chainGain(meters);
    const double reductionDb = gain < 1.0f ? -20.0 * std::log10(static_cast<double>(gain)) : 0.0;
    mLargestDb = std::max(mLargestDb, reductionDb);
    mWeightedSumDb += reductionDb * frames;
    mFrames += frames;
}

double ChainReductionMeter::meanReductionDb() const
{
    return mFrames > 0 ? mWeightedSumDb / static_cast<double>(mFrames) : 0.0;
}

} // namespace render
