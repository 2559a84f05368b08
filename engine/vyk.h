// The VYK engine's public interface: every entry point, record and constant.
// Plain functions over process-wide state for up to 20 instances; no JUCE.
#pragma once

#include "core/MasterBlock.h"
#include "core/StoreBlocks.h"
#include "core/Profiles.h"
#include "core/ProfileImporter.h"
#include "core/VykEngine.h"
#include "core/VykComm.h"
#include "core/Platform.h"
#include "facade/VYKLib.h"

#if __has_include("dsp/Dsp.h")
#include "dsp/Dsp.h"
#endif

#include "modules/NoiseGate.h"
#include "modules/Input.h"
#include "modules/V3d.h"
#include "modules/Fbx.h"
#include "modules/Karaoke.h"
#include "modules/StereoWiden.h"
#include "modules/Bagc.h"
#include "modules/User.h"
#include "modules/Eq.h"
#include "modules/MultiBand.h"
#include "modules/Output.h"
#include "modules/PitchShift.h"
#include "modules/OutputCompressor.h"

#include "VykCommParser.h"
