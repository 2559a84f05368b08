#include "modules/Input.h"

#include "dsp/SafeConversions.h"
#include "core/VykComm.h"
#include "core/VykEngine.h"
#include "dsp/BufferUtils.h"
#include "dsp/LinkwitzRiley.h"

namespace
{
constexpr int kHighPass = 0; // isLowPass argument of the Linkwitz-Riley section

struct InputInstance
{
    float targetGain;
    float currentGain;
    LinkwitzRileyFilter highPass;
    LinkwitzRileyState highPassStates[kLinkwitzRileyChannels];
    int sampleRate;
    int bypass;
};

int sNumInstances = 0;
InputInstance sInputs[kMaxInstances];

bool isValid(int instance)
{
    return instance >= 0 && instance < sNumInstances;
}

void setHighPass(InputInstance& input, int freqHz)
{
    LinkwitzRileyFilterSetFreqAndIsLowPass(&input.highPass, freqHz, input.sampleRate, kHighPass);
}
} // namespace

int InputInit(int count)
{
    if (count > kMaxInstances)
        return -1;
    sNumInstances = count;
    for (InputInstance& input : sInputs)
    {
        input.targetGain = 1.0f;
        input.currentGain = 1.0f;
        LinkwitzRileyInit(&input.highPass, input.highPassStates);
        input.sampleRate = kDefaultSampleRate;
        // The corner survives re-initialisation; at first start it is 0, which the section raises to 20 Hz.
        setHighPass(input, input.highPass.frequency);
        input.bypass = 0;
    }
    return 0;
}

void InputSetSampleRate(int instance, int rate)
{
    if (!isValid(instance) || rate <= 0)
        return;
    InputInstance& input = sInputs[instance];
    input.sampleRate = rate;
    setHighPass(input, input.highPass.frequency);
}

void InputResetAudio(int instance)
{
    if (!isValid(instance))
        return;
    InputInstance& input = sInputs[instance];
    input.currentGain = input.targetGain;
    for (LinkwitzRileyState& state : input.highPassStates)
        state = LinkwitzRileyState{};
}

void InputSetAll(int instance, InputBlock* block)
{
    if (!isValid(instance) || block == nullptr)
        return;
    InputInstance& input = sInputs[instance];
    input.bypass = block->bypass;
    input.targetGain = block->gain;
    if (VYKCommCheckParamChanged(&block->highPassFreq))
        InputSetHighPassFreq(instance, truncateHz(block->highPassFreq));
    InputSetHighPassBypass(instance, block->highPassBypass);
}

void InputSetBypass(int instance, int flag)
{
    if (isValid(instance))
        sInputs[instance].bypass = flag;
}

int InputGetBypass(int instance)
{
    return isValid(instance) ? sInputs[instance].bypass : 0;
}

void VykInputProcess(int instance, float* samples, int frames, int channels)
{
    if (!isValid(instance) || channels < 1 || channels > kLinkwitzRileyChannels)
        return;
    InputInstance& input = sInputs[instance];
    if (input.bypass)
        return;
    for (int ch = 0; ch < channels; ++ch)
    {
        // Every channel starts from the same gain; only the last one stores the ramp's end.
        steppedScaleBuffer(channels, &input.currentGain, ch == channels - 1, samples + ch, frames,
                           input.targetGain);
        linkwitzRiley(channels, &input.highPassStates[ch], &input.highPass, samples + ch, samples + ch,
                      frames);
    }
}

void InputSetInputGain(int instance, float gain)
{
    if (isValid(instance))
        sInputs[instance].targetGain = gain;
}

void InputSetHighPassFreq(int instance, int freqHz)
{
    if (isValid(instance))
        setHighPass(sInputs[instance], freqHz);
}

void InputSetHighPassBypass(int instance, int flag)
{
    if (isValid(instance))
        LinkwitzRileyFilterSetBypass(&sInputs[instance].highPass, flag);
}
