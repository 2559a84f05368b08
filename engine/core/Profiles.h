// The twenty built-in profiles compiled into the engine.
#pragma once

#include "core/MasterBlock.h"

constexpr int kNumBuiltInProfiles = 20;

// Number of built-in profiles (20); valid profile numbers are 0 .. gNumProfiles - 1.
extern const int gNumProfiles;

// The built-in profiles, 2048-byte records back to back (profile n at byte 2048 x n). Constant data,
// initialised at compile time, so it is usable from any code, including other static initialisers.
// Profile 0 is the engine's default record and the source of sub-blocks that old profile files lack.
extern const MasterBlock gProfiles[kNumBuiltInProfiles];
