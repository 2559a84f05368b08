#include "VykCommParser.h"

// Frames are not decoded yet: received bytes are dropped.
void VYKCommParseByte(unsigned char)
{
}
