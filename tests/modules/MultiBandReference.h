// Plain restatement of the multiband block algorithm, built only from the dsp routines, one stage and one
// channel at a time. The module's optimised block path must match it bit for bit, state included.
#pragma once

#include "modules/MultiBandState.h"

/// Processes one block on `mb` exactly as VykMultiBandCompress does (virtual bass and subwoofer
/// routing inactive), writing meters into `meters`.
void referenceMultiBandCompress(MultiBandInstance& mb, MetersBlock& meters, float* samples, float* aux,
                                int frames, int channels);
