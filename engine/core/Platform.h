// The platform layer: the command dispatcher behind the store, its fade sequences, and the
// engine-wide settings it reports (active instances, configuration ID, info and notes).
#pragma once

#include "core/VykComm.h"

/// Registers `callback` as the outside callback, the dispatcher as the store's platform callback and
/// `commCallback` (or a sink that drops replies) as the comm callback; then VykInit(20).
/// Returns VykInit's result.
int PlatformInit(VykPlatformCallback callback, VykCommCallback commCallback);
/// Feeds one protocol byte to the parser (one feeding thread at a time).
void PlatformReceiveByte(unsigned char byte);
void PlatformSetNumActiveInstances(int n);
int PlatformGetNumActiveInstances();
void PlatformSetConfigId(int id);
/// Copies each non-null string, cut to 255 characters.
void PlatformSetInfoNotes(const char* info, const char* notes);

/// The dispatcher: applies a written block to the engine (fade sequences for channels 3, 32, 33 and
/// 39 when auto-mute is on), fills read blocks, then hands the command to the outside callback.
int defaultPlatformCallback(int channel, int slot, void* data, void* reply);
