// Block-path stages of the multiband module: each runs one processing stage over a whole block for all
// channels at once. With two channels a two-lane vector operation advances both channels' recursions,
// and stages read their input from where the previous stage left it instead of from copies. Each lane
// performs exactly the operations, in the same order and in single precision, of the dsp routine its
// stage stands for, and every state lives in the dsp records between blocks, so the results are
// bit-identical to running those routines one channel at a time (the block-path tests compare them with
// a plain reference built from the dsp routines). Internal to MultiBand.cpp.
#pragma once

#include "modules/MultiBandState.h"

#include <cmath>
#include <cstring>

namespace multiband_kernels
{

#if defined(__GNUC__) || defined(__clang__)
typedef float Float2 __attribute__((vector_size(8)));
#else
struct Float2
{
    float lane[2];
    float operator[](int i) const { return lane[i]; }
};
inline Float2 operator+(Float2 a, Float2 b)
{
    return {{a.lane[0] + b.lane[0], a.lane[1] + b.lane[1]}};
}
inline Float2 operator-(Float2 a, Float2 b)
{
    return {{a.lane[0] - b.lane[0], a.lane[1] - b.lane[1]}};
}
inline Float2 operator*(Float2 a, Float2 b)
{
    return {{a.lane[0] * b.lane[0], a.lane[1] * b.lane[1]}};
}
#endif

// One frame of C interleaved channels as one value: a float, or a two-lane vector.
template <int C> struct Frame;

template <> struct Frame<1>
{
    using V = float;
    static V load(const float* p) { return *p; }
    static void store(float* p, V v) { *p = v; }
    static V make(float channel0, float) { return channel0; }
    static float lane(V v, int) { return v; }
};

template <> struct Frame<2>
{
    using V = Float2;
    static V load(const float* p)
    {
        V v;
        std::memcpy(&v, p, sizeof(v));
        return v;
    }
    static void store(float* p, V v) { std::memcpy(p, &v, sizeof(v)); }
    static V make(float channel0, float channel1) { return V{channel0, channel1}; }
    static float lane(V v, int i) { return v[i]; }
};

// Direct-form-I biquad: a Linkwitz-Riley half, an all-pass section, or a lattice all-pass
// (b0 = a2 = k2, b1 = a1 = k1, b2 = 1: multiplying x2 by exactly 1 changes nothing).
template <typename V> struct Biquad
{
    V b0, b1, b2, a1, a2;
};

template <int C> Biquad<typename Frame<C>::V> biquadOf(float b0, float b1, float b2, float a1, float a2)
{
    using F = Frame<C>;
    return {F::make(b0, b0), F::make(b1, b1), F::make(b2, b2), F::make(a1, a1), F::make(a2, a2)};
}

template <typename V> struct History
{
    V x1, x2, y1, y2; // last two inputs, last two outputs
};

template <typename V> inline V biquadStep(const Biquad<V>& c, V x, History<V>& h)
{
    const V y = c.b0 * x + c.b1 * h.x1 + c.b2 * h.x2 - c.a1 * h.y1 - c.a2 * h.y2;
    h.x2 = h.x1;
    h.x1 = x;
    h.y2 = h.y1;
    h.y1 = y;
    return y;
}

// Gathers four history fields of the channels' state records into lanes, and scatters them back.
template <int C, typename State>
History<typename Frame<C>::V> loadHistory(const State* states, float State::*x1, float State::*x2,
                                          float State::*y1, float State::*y2)
{
    using F = Frame<C>;
    const State& s0 = states[0];
    const State& s1 = states[C - 1];
    return {F::make(s0.*x1, s1.*x1), F::make(s0.*x2, s1.*x2), F::make(s0.*y1, s1.*y1),
            F::make(s0.*y2, s1.*y2)};
}

template <int C, typename State>
void storeHistory(const History<typename Frame<C>::V>& h, State* states, float State::*x1, float State::*x2,
                  float State::*y1, float State::*y2)
{
    using F = Frame<C>;
    for (int ch = 0; ch < C; ++ch)
    {
        states[ch].*x1 = F::lane(h.x1, ch);
        states[ch].*x2 = F::lane(h.x2, ch);
        states[ch].*y1 = F::lane(h.y1, ch);
        states[ch].*y2 = F::lane(h.y2, ch);
    }
}

// A Linkwitz-Riley section is the same biquad twice; the second one's input history (u1, u2) is the
// first one's output.
template <int C> struct LinkwitzRileyLanes
{
    using V = typename Frame<C>::V;
    Biquad<V> c;
    History<V> first;
    History<V> second;
    LinkwitzRileyState* states;

    LinkwitzRileyLanes(const LinkwitzRileyFilter* filter, LinkwitzRileyState* channelStates)
        : c(biquadOf<C>(filter->b0, filter->b1, filter->b2, filter->a1, filter->a2)),
          first(loadHistory<C>(channelStates, &LinkwitzRileyState::x1, &LinkwitzRileyState::x2,
                               &LinkwitzRileyState::y1, &LinkwitzRileyState::y2)),
          second(loadHistory<C>(channelStates, &LinkwitzRileyState::u1, &LinkwitzRileyState::u2,
                                &LinkwitzRileyState::z1, &LinkwitzRileyState::z2)),
          states(channelStates)
    {
    }

    V step(V x) { return biquadStep(c, biquadStep(c, x, first), second); }

    void save() const
    {
        storeHistory<C>(first, states, &LinkwitzRileyState::x1, &LinkwitzRileyState::x2,
                        &LinkwitzRileyState::y1, &LinkwitzRileyState::y2);
        storeHistory<C>(second, states, &LinkwitzRileyState::u1, &LinkwitzRileyState::u2,
                        &LinkwitzRileyState::z1, &LinkwitzRileyState::z2);
    }
};

// One Linkwitz-Riley section, `in` to `out`. (Fusing sections or the all-pass into one pass was measured
// slower: the extra histories no longer fit the vector registers.)
template <int C>
void linkwitzRileyPass(const LinkwitzRileyFilter* section, LinkwitzRileyState* states, const float* in,
                       float* out, int frames)
{
    using F = Frame<C>;
    LinkwitzRileyLanes<C> lanes(section, states);
    for (int n = 0; n < frames; ++n)
        F::store(out + n * C, lanes.step(F::load(in + n * C)));
    lanes.save();
}

template <int C> void allPassPass(AllPassFilter* section, const float* in, float* out, int frames)
{
    using F = Frame<C>;
    const auto c = biquadOf<C>(section->b0, section->b1, section->b2, section->a1, section->a2);
    auto h = loadHistory<C>(section->history, &AllPassHistory::x1, &AllPassHistory::x2, &AllPassHistory::y1,
                            &AllPassHistory::y2);
    for (int n = 0; n < frames; ++n)
        F::store(out + n * C, biquadStep(c, F::load(in + n * C), h));
    storeHistory<C>(h, section->history, &AllPassHistory::x1, &AllPassHistory::x2, &AllPassHistory::y1,
                    &AllPassHistory::y2);
}

// Subtractive crossovers: stored = -source (the band's signal kept for its neighbour) and, with a
// neighbour's stored signal, out = source + neighbour (sum_two_buffers()).
template <int C>
void storeNegatedAndAdd(const float* source, float* stored, const float* neighbour, float* out, int frames)
{
    const int count = frames * C;
    if (neighbour == nullptr)
    {
        for (int k = 0; k < count; ++k)
            stored[k] = -source[k];
        return;
    }
    for (int k = 0; k < count; ++k)
    {
        const float x = source[k];
        stored[k] = -x;
        out[k] = x + neighbour[k];
    }
}

// The channels' look-ahead lines at the fixed length: per sample exactly lookAhead(line, 64, x).
template <int C> struct LookAheadLanes
{
    LookAheadLine* lines;
    int position[C];

    explicit LookAheadLanes(LookAheadLine* channelLines) : lines(channelLines)
    {
        for (int ch = 0; ch < C; ++ch)
            position[ch] = channelLines[ch].position;
    }

    // Stores the delayed frame at `out` and returns it (built from the samples, not reloaded, so the
    // next stage need not wait for the stores).
    typename Frame<C>::V step(const float* in, float* out)
    {
        float y[C];
        for (int ch = 0; ch < C; ++ch)
        {
            const int p = (position[ch] == 0 ? kMultiBandLookAhead : position[ch]) - 1;
            position[ch] = p;
            y[ch] = lines[ch].memory[p];
            lines[ch].memory[p] = in[ch];
            out[ch] = y[ch];
        }
        return Frame<C>::make(y[0], y[C - 1]);
    }

    void save() const
    {
        for (int ch = 0; ch < C; ++ch)
            lines[ch].position = position[ch];
    }
};

template <int C> void lookAheadPass(LookAheadLine* lines, const float* in, float* out, int frames)
{
    LookAheadLanes<C> delay(lines);
    for (int n = 0; n < frames; ++n)
        delay.step(in + n * C, out + n * C);
    delay.save();
}

// One detector EQ section in lanes: the all-pass of x mixed with x (lattice()), with each channel's own
// mixes.
template <int C> struct LatticeLanes
{
    using V = typename Frame<C>::V;
    Biquad<V> c;
    History<V> history;
    V directMix;
    V allPassMix;
    LatticeState* states;

    LatticeLanes(const LatticeFilter& filter, LatticeState* channelStates, const float* directMixes,
                 const float* allPassMixes)
        : c(biquadOf<C>(filter.k2, filter.k1, 1.0f, filter.k1, filter.k2)),
          history(loadHistory<C>(channelStates, &LatticeState::x1, &LatticeState::x2, &LatticeState::y1,
                                 &LatticeState::y2)),
          directMix(Frame<C>::make(directMixes[0], directMixes[C - 1])),
          allPassMix(Frame<C>::make(allPassMixes[0], allPassMixes[C - 1])), states(channelStates)
    {
    }

    V step(V x)
    {
        const V a = biquadStep(c, x, history);
        return directMix * x + allPassMix * a;
    }

    void save() const
    {
        storeHistory<C>(history, states, &LatticeState::x1, &LatticeState::x2, &LatticeState::y1,
                        &LatticeState::y2);
    }
};

// The band's detector EQ sections, `in` to `side`; returns where the side chain is. With kDelay the
// input first passes the look-ahead lines into `delayed` and the EQ runs on the delayed signal, in the
// same pass. A section's gain ramp advances once per channel call of lattice(), so each channel gets its
// own mixes: the ramp is advanced by zero-length lattice() calls in channel order before the block runs.
template <int C, bool kDelay>
const float* detectorPass(MultiBandBand& band, const float* in, float* delayed, float* side, int frames)
{
    using F = Frame<C>;
    int active[kMultiBandDetectorEqs];
    int count = 0;
    for (int eq = 0; eq < kMultiBandDetectorEqs; ++eq)
        if (!band.eq[eq].bypass)
            active[count++] = eq;
    if (count == 0)
    {
        if constexpr (kDelay)
        {
            lookAheadPass<C>(band.lookAhead, in, delayed, frames);
            return delayed;
        }
        return in;
    }

    float directMix[kMultiBandDetectorEqs][C];
    float allPassMix[kMultiBandDetectorEqs][C];
    for (int ch = 0; ch < C; ++ch)
    {
        for (int i = 0; i < count; ++i)
        {
            LatticeFilter& filter = band.eq[active[i]];
            lattice(C, &band.eqState[active[i]][ch], &filter, side, 0);
            directMix[i][ch] = filter.directMix;
            allPassMix[i][ch] = filter.allPassMix;
        }
    }

    LookAheadLanes<C> delay(band.lookAhead);
    const auto input = [&](int n)
    {
        if constexpr (kDelay)
            return delay.step(in + n * C, delayed + n * C);
        else
            return F::load(in + n * C);
    };
    LatticeLanes<C> a(band.eq[active[0]], band.eqState[active[0]], directMix[0], allPassMix[0]);
    if (count == 1)
    {
        for (int n = 0; n < frames; ++n)
            F::store(side + n * C, a.step(input(n)));
    }
    else
    {
        LatticeLanes<C> b(band.eq[active[1]], band.eqState[active[1]], directMix[1], allPassMix[1]);
        for (int n = 0; n < frames; ++n)
            F::store(side + n * C, b.step(a.step(input(n))));
        b.save();
    }
    a.save();
    if constexpr (kDelay)
        delay.save();
    return side;
}

// One makeup ramp step (the compressor's): stops exactly on the target.
inline void advanceMakeup(float& current, float& step, float target)
{
    const float next = current + step;
    if ((step > 0.0f && next > target) || (step < 0.0f && next < target))
    {
        current = target;
        step = 0.0f;
    }
    else
    {
        current = next;
    }
}

// sidechaincompress(C, samples, side, compressor, envelope, C, floor, frames), with the per-frame
// branches hoisted out of the loop and the curve lookup's rounding done inline instead of through a
// library call (which would force the envelope out of its register every frame). The curve index is
// round-half-away(m * 64) limited to 2046; m > 1 there, so the position lies above 64 and below 2046 it
// is exactly representable plus one half: truncating position + 0.5 gives the same index.
template <int C, bool kLinked>
float compressFrames(Compressor* compressor, CompressorEnvelope* envelope, float* samples, const float* side,
                     float floorGain, int frames)
{
    const float target = compressor->makeup;
    float makeup = compressor->currentMakeup;
    float step = (target - makeup) * 0.001f;
    const float ratio = compressor->ratio;
    const float* table = compressor->ratioTable;
    const float attackCoefficient = compressor->attackCoefficient;
    const float releaseCoefficient = compressor->releaseCoefficient;
    const float inverseThreshold = compressor->inverseThreshold;
    const bool limiting = ratio == kLimitingRatio;
    float level = envelope->level;
    float smallestGain = 1.0f;
    for (int n = 0; n < frames; ++n)
    {
        float* frame = samples + n * C;
        const float* sense = side + n * C;
        const float input = kLinked ? std::fabs(sense[0] + sense[1]) * 0.5f : std::fabs(sense[0]);
        const float coefficient = input < level ? releaseCoefficient : attackCoefficient;
        level = (level - input) * coefficient + input;

        const float m = level * inverseThreshold;
        float gain = 1.0f;
        if (m > 1.0f)
        {
            if (limiting)
            {
                gain = 1.0f / m;
            }
            else
            {
                const float position = m * static_cast<float>(kRatioTableStepsPerUnit);
                const int i = position < static_cast<float>(kRatioTableSize - 2)
                                  ? static_cast<int>(position + 0.5f)
                                  : kRatioTableSize - 2;
                float frac = std::fabs(position - static_cast<float>(i));
                if (frac > 1.0f)
                    frac = 1.0f;
                gain = table[i] + (table[i + 1] - table[i]) * frac;
            }
        }
        if (gain < floorGain)
            gain = floorGain;

        const float applied = gain * makeup;
        frame[0] *= applied;
        if constexpr (kLinked)
            frame[1] *= applied;
        if (gain < smallestGain)
            smallestGain = gain;
        advanceMakeup(makeup, step, target);
    }
    envelope->level = level;
    compressor->currentMakeup = makeup;
    return smallestGain;
}

template <int C> float compressBand(MultiBandBand& band, float* samples, const float* side, int frames)
{
    Compressor* compressor = &band.compressor;
    const bool linked = C == 2 && compressor->link != 0;
    const bool curve = compressor->ratio == kLimitingRatio || compressor->ratioTable != nullptr;
    // Bypassed and ratio-1 compressors keep the library's own paths.
    if (compressor->bypass || compressor->ratio == 1.0f || !curve)
        return sidechaincompress(C, samples, side, compressor, band.envelope, C, kMultiBandCompressorFloor,
                                 frames);
    if (linked)
        return compressFrames<C, true>(compressor, band.envelope, samples, side, kMultiBandCompressorFloor,
                                       frames);
    return compressFrames<C, false>(compressor, band.envelope, samples, side, kMultiBandCompressorFloor,
                                    frames);
}

// output += band per channel, with the band's peak per channel (computeMaxLevel()).
template <int C> void accumulatePass(const float* band, float* output, float* peaks, int frames)
{
    float peak0 = 0.0f;
    float peak1 = 0.0f;
    for (int n = 0; n < frames; ++n)
    {
        const float x0 = band[n * C];
        if (std::fabs(x0) > peak0)
            peak0 = std::fabs(x0);
        output[n * C] = output[n * C] + x0;
        if constexpr (C == 2)
        {
            const float x1 = band[n * C + 1];
            if (std::fabs(x1) > peak1)
                peak1 = std::fabs(x1);
            output[n * C + 1] = output[n * C + 1] + x1;
        }
    }
    peaks[0] = peak0;
    if constexpr (C == 2)
        peaks[1] = peak1;
}

} // namespace multiband_kernels
