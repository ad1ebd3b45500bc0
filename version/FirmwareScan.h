// Which controllers are connected, and the firmware revision each reports in its
// USB hardware ID ("USB\VID_7F1D&PID_2A02&REV_0102" carries revision 102).
#pragma once

#include <windows.h>

#include <cstddef>

struct FirmwareScan {
    static constexpr int kMaxControllers = 4;
    static constexpr std::size_t kNameSize = 128;

    // Controllers found, at most kMaxControllers, in model-table order and within
    // a model in the device system's order.
    int count = 0;
    DWORD revisions[kMaxControllers] = {};
    wchar_t names[kMaxControllers][kNameSize] = {};
};

// Appends to scan the revision of every present device whose hardware IDs hold
// hardwareIdPrefix followed by exactly four characters, until scan is full.
void scanModelRevisions(const wchar_t* hardwareIdPrefix, FirmwareScan& scan);

// Scans every model of the table and names what it found: "KMX-B7" for a model
// found once, "KMX-A7 [1]", "KMX-A7 [2]" for a model found more than once.
FirmwareScan scanControllers();
