// DSP building blocks: filter sections, dynamics primitives, buffer utilities, circular buffer.
#pragma once

#include "dsp/AllPass.h"
#include "dsp/BufferUtils.h"
#include "dsp/CircBuffer.h"
#include "dsp/Clipper.h"
#include "dsp/Compressor.h"
#include "dsp/Fir1.h"
#include "dsp/Lattice.h"
#include "dsp/LinkwitzRiley.h"
#include "dsp/LookAhead.h"
#include "dsp/ResonantLowPass.h"
#include "dsp/SafeConversions.h"
#include "dsp/Shelf.h"
#include "dsp/W1Limiter.h"
