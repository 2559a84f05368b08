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

    // Validators of the four older record layouts (2044, 2008, 1996 and 1808 bytes): each listed flag,
    // read as uint32, is at most 1 and the layout's last tested word is below its limit.
    static bool validateMasterBlock2036(const unsigned char* record);
    static bool validateMasterBlock20123(const unsigned char* record);
    static bool validateMasterBlock20120(const unsigned char* record);
    static bool validateMasterBlock201104(const unsigned char* record);

    // Reads record `index` of a profile file in one layout, validates it and maps it into `record`;
    // fields an old layout has no source for keep what `record` held, missing sub-blocks come from
    // built-in profile 0. False (and `record` untouched) when the file cannot be opened, the record
    // lies past the end, is cut short, or fails validation.
    static bool importFromFileCurrent(const char* path, MasterBlock* record, int index);
    static bool importFromFile2036(const char* path, MasterBlock* record, int index);
    static bool importFromFile20123(const char* path, MasterBlock* record, int index);
    static bool importFromFile20120(const char* path, MasterBlock* record, int index);
    static bool importFromFile201104(const char* path, MasterBlock* record, int index);

    // Import type 0 current, 1 2036, 2 20123, 3 20120, 4 201104; other types return false.
    static bool importFromKtvs(const char* path, MasterBlock* record, int index, int type);
};

// Record sizes of the five profile-file layouts, by import type.
constexpr int kLayoutSizeCurrent = 2048;
constexpr int kLayoutSize2036 = 2044;
constexpr int kLayoutSize20123 = 2008;
constexpr int kLayoutSize20120 = 1996;
constexpr int kLayoutSize201104 = 1808;
constexpr int kNumImportTypes = 5;
