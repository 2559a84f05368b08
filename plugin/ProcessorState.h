// The host-state blob of the plug-in: profile indices, profile-file path and the engine state.
// Three layouts are read (the current one with a header, an older one without, and a bare engine
// state); the current one is written. JUCE-free.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

constexpr int kProcessorStateHeaderSize = 552;   // length word, padding, indices, path field
constexpr int kProcessorStatePathField = 512;    // UTF-8, NUL-terminated
constexpr int kProcessorStateTrailer = 0x00010200;
constexpr int kEngineRecordSize = 2048;          // the smallest engine state the facade accepts
constexpr int kLegacyProcessorStateMaxSize = 2568;
constexpr int kMaxEngineStateSize = 1 << 20;     // larger header lengths are not a state of ours

struct ProcessorStateContents
{
    bool hasProfileFields = false; // false for a bare engine state: indices and path stay as they are
    int fileProfileIndex = -1;
    int embeddedProfileIndex = -1;
    std::string profileFilePath; // UTF-8
    bool hasEngineState = false; // false when the engine part is too short (or absurdly long) to apply
    std::vector<unsigned char> engineState;
};

/// The current layout: float length, 28 zero bytes, two int32 indices, the 512-byte path field
/// (text cut to 511 bytes at a character boundary), the engine state, the constant trailer.
std::vector<unsigned char> buildProcessorState(const void* engineState, int engineStateSize, int fileProfileIndex,
                                               int embeddedProfileIndex, const std::string& profileFilePath);

/// Reads any of the three layouts, chosen by size. An engine part shorter than one record is
/// refused; a header length beyond the data present is filled with zeros.
ProcessorStateContents parseProcessorState(const void* data, size_t size);
