#include "dsp/LookAhead.h"

void LookAheadInit(LookAheadLine* line)
{
    *line = LookAheadLine{};
}

float lookAhead(LookAheadLine* line, int length, float x)
{
    if (length > kLookAheadMaxLength)
    {
        length = kLookAheadMaxLength;
    }
    if (length <= 0)
    {
        return x;
    }
    // The position counts down, so each cell is read back exactly `length` calls after its write.
    const int position = (line->position == 0 ? length : line->position) - 1;
    line->position = position;
    const float y = line->memory[position];
    line->memory[position] = x;
    return y;
}
