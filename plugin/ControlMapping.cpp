#include "ControlMapping.h"

#include "facade/VYKLib.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <sstream>

const ControlSpec kControlSpecs[kNumControls] = {
    {"VykBypassed", "VYK On/Off", "VYK On/Off", 0.0f, 1.0f, 1.0f, true},
    {"VykDrive", "Drive", "", -10.0f, 10.0f, 0.5f, false},
    {"VykCeiling", "Ceiling", "", -10.0f, 0.0f, 0.1f, false},
    {"VykLowGain", "Low Frequency Gain", "Low Frequency Gain", -12.0f, 12.0f, 0.5f, false},
    {"VykHighGain", "High Frequency Gain", "High Frequency Gain", -12.0f, 12.0f, 0.5f, false},
    {"kParamVykStereoWide", "Stereo Enhancement Amount", "Stereo Enhancement Amount", 0.0f, 12.0f, 0.5f, false},
    {"kParamVykStereoBypassed", "Stereo Enhancement On/Off", "Stereo Enhancement On/Off", 0.0f, 1.0f, 1.0f, true},
};

namespace
{
bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}
} // namespace

std::optional<ControlId> findControl(std::string_view id)
{
    for (int control = 0; control < kNumControls; ++control)
        if (equalsIgnoringCase(id, kControlSpecs[control].id))
            return static_cast<ControlId>(control);
    return std::nullopt;
}

float gainFromDb(float db)
{
    return db > -100.0f ? std::pow(10.0f, 0.05f * db) : 0.0f;
}

float dbFromGain(float gain)
{
    if (gain <= 0.0f)
        return -100.0f;
    return std::max(-100.0f, 20.0f * std::log10(gain));
}

float snapToControl(ControlId control, float value)
{
    const ControlSpec& meta = kControlSpecs[control];
    if (std::isnan(value))
        return meta.minimum;
    const float clamped = std::min(meta.maximum, std::max(meta.minimum, value));
    const float snapped = meta.minimum + meta.step * std::floor((clamped - meta.minimum) / meta.step + 0.5f);
    return std::min(meta.maximum, std::max(meta.minimum, snapped));
}

const char* bypassText(float value)
{
    return value == 0.0f ? "Enabled" : "Bypassed";
}

std::string valueText(float value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

void applyControl(VYKLib& lib, ControlId control, float value)
{
    switch (control)
    {
    case kControlBypassed:
        lib.setEnabled(value == 0.0f);
        break;
    case kControlDrive:
        lib.setInputGain(gainFromDb(value));
        break;
    case kControlCeiling:
    {
        OutputCompressorBlock block;
        lib.getOutputCompressor(&block);
        if (block.compressorType == kOutputCompressorTypeClipper)
        {
            block.clipperOutputGain = gainFromDb(value);
        }
        else if (block.compressorType == kOutputCompressorTypeLimiter)
        {
            block.limiterThreshold = gainFromDb(value);
            block.limiterClip = gainFromDb(value);
        }
        lib.setOutputCompressor(&block);
        break;
    }
    case kControlLowGain:
        lib.setToneBassGain(gainFromDb(value));
        break;
    case kControlHighGain:
        lib.setToneTrebleGain(gainFromDb(value));
        break;
    case kControlStereoWide:
    {
        StereoWidenBlock block;
        lib.getStereoWiden(&block);
        block.sGain = gainFromDb(value);
        lib.setStereoWiden(&block);
        break;
    }
    case kControlStereoBypassed:
    {
        StereoWidenBlock block;
        lib.getStereoWiden(&block);
        block.bypass = value == 0.0f ? 1 : 0;
        lib.setStereoWiden(&block);
        break;
    }
    default:
        break;
    }
}

std::optional<float> readControl(const VYKLib& lib, ControlId control)
{
    switch (control)
    {
    case kControlBypassed:
        return lib.getEnabled() ? 0.0f : 1.0f;
    case kControlDrive:
        return dbFromGain(lib.getInputGain());
    case kControlCeiling:
    {
        OutputCompressorBlock block;
        lib.getOutputCompressor(&block);
        if (block.compressorType == kOutputCompressorTypeClipper)
            return dbFromGain(block.clipperOutputGain);
        if (block.compressorType == kOutputCompressorTypeLimiter)
            return dbFromGain(block.limiterClip);
        return std::nullopt;
    }
    case kControlLowGain:
        return dbFromGain(lib.getToneBassGain());
    case kControlHighGain:
        return dbFromGain(lib.getToneTrebleGain());
    case kControlStereoWide:
    {
        StereoWidenBlock block;
        lib.getStereoWiden(&block);
        return dbFromGain(block.sGain);
    }
    case kControlStereoBypassed:
    {
        StereoWidenBlock block;
        lib.getStereoWiden(&block);
        return block.bypass != 1 ? 1.0f : 0.0f;
    }
    default:
        return std::nullopt;
    }
}
