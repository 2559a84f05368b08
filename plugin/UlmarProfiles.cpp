#include "UlmarProfiles.h"

#include <cctype>

const EmbeddedProfile UlmarProfiles[kNumUlmarProfiles] = {
    {1, "Master Shine", true},
    {2, "Warm with Transient Detail", true},
    {3, "Vocal Bright", true},
    {4, "Instrument Definition", true},
    {5, "Subtle Bright Presence", true},
    {6, "Subtle Bass Control", true},
    {7, "Tight and Punchy", true},
    {8, "Sub Bass Enhancer", true},
    {9, "Crystal Clarity", true},
    {10, "Broken Speaker", true},
    {11, "Strong Center", true},
    {12, "Analog Warmth", true},
    {13, "Vintage", true},
    {14, "Full Range Compression", true},
    {15, "Loud and Proud", true},
    {16, "Power Punch", true},
    {17, "Vocal Enhancer", true},
    {18, "Light Compression Darker", true},
    {19, "Balanced Depth", true},
    {20, "Rich Warmth", true},
};

std::optional<int> findProfileByName(std::string_view name)
{
    for (const EmbeddedProfile& profile : UlmarProfiles)
    {
        const std::string_view candidate(profile.name);
        if (candidate.size() != name.size())
            continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(name[i])) ==
                   std::tolower(static_cast<unsigned char>(candidate[i]));
        if (same)
            return profile.identifier - 1;
    }
    return std::nullopt;
}
