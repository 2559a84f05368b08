// The record layouts are header-only; compiling the header on its own checks its layout assertions.
#include "core/MasterBlock.h"
