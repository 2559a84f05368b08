target_sources(vyk_engine PRIVATE
    dsp/AllPass.cpp
    dsp/BufferUtils.cpp
    dsp/CircBuffer.cpp
    dsp/Clipper.cpp
    dsp/Compressor.cpp
    dsp/Fir1.cpp
    dsp/Lattice.cpp
    dsp/LinkwitzRiley.cpp
    dsp/LookAhead.cpp
    dsp/ResonantLowPass.cpp
    dsp/Shelf.cpp
    dsp/W1Limiter.cpp
)
