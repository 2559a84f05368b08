// Checks and reads profile records that come from outside the engine (profile buffers and files).
#pragma once

#include "core/MasterBlock.h"

class ProfileImporter
{
  public:
    // True when the record may be loaded: each of the fourteen bypass flags, read as uint32, is 0 or 1,
    // and the virtual-3D selector (record offset 2040), read as uint32, is below 10. Nothing else is
    // checked. A null record is invalid.
    static bool validateMasterBlock(const MasterBlock* record);
};
