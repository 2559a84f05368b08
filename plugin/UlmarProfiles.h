// The plug-in's list of built-in mastering profiles: menu identifier, display name, visibility.
// JUCE-free, shared with the command-line renderer.
#pragma once

#include <optional>
#include <string_view>

struct EmbeddedProfile
{
    int identifier;   // 1 .. 20: menu item ID; identifier - 1 is the engine's built-in profile index
    const char* name; // display name
    bool shown;       // listed in the menu
};

constexpr int kNumUlmarProfiles = 20;

/// The entries in menu order.
extern const EmbeddedProfile UlmarProfiles[kNumUlmarProfiles];

/// Engine profile index (0 .. 19) of the entry whose name matches exactly, ignoring letter case.
std::optional<int> findProfileByName(std::string_view name);
