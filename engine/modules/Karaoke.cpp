#include "modules/Karaoke.h"

#include "modules/PassThroughTable.h"

namespace
{
PassThroughTable sTable;
} // namespace

int KaraokeInit(int count)
{
    return sTable.init(count);
}

void KaraokeSetSampleRate(int, int)
{
}

// Nothing to clear: the stage keeps no audio history while it passes audio through.
void KaraokeResetAudio(int)
{
}

void KaraokeSetAll(int, KaraokeBlock*)
{
}

void KaraokeSetBypass(int instance, int flag)
{
    sTable.setBypass(instance, flag);
}

int KaraokeGetBypass(int instance)
{
    return sTable.getBypass(instance);
}

void VykKaraokeProcess(int, float*, int, int)
{
}

void KaraokeLoadPreset(int, int, KaraokeBlock*)
{
}
