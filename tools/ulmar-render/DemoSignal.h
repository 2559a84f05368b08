// The built-in demo: a deterministic, music-like stereo excerpt generated in code, so the renderer
// can be tried and compared without any audio file.
#pragma once

#include <vector>

namespace render
{

constexpr int kDemoSampleRate = 48000;
constexpr int kDemoChannels = 2;
constexpr int kDemoSeconds = 30;
constexpr int kDemoFrames = kDemoSampleRate * kDemoSeconds;
constexpr float kDemoPeakDb = -1.0f;
constexpr const char* kDemoOutputName = "ulmar-demo-mastered.wav";

/// 30 s of interleaved stereo at 48 kHz, identical on every call: a four-chord progression on
/// detuned saw pads, bass, kick, snare, hi-hats and an arpeggio with a cross-channel echo, in
/// sections of different loudness (quiet intro, verse, loud chorus, fading outro). The loudest
/// sample is at -1 dBFS.
std::vector<float> generateDemoSignal();

} // namespace render
