// The driver's per-user settings as the panel reads them at start-up and writes
// them when the user applies a change. The driver reads the same key.
#pragma once

#include <windows.h>

inline constexpr wchar_t kSoftwareKeyPath[] = L"SOFTWARE";
inline constexpr wchar_t kSettingsKeyName[] = L"Veltrix KMX ASIO";
inline constexpr wchar_t kBlockNumValue[] = L"blockNum";
inline constexpr wchar_t kBitResolutionValue[] = L"bitResolution";
inline constexpr wchar_t kToggleNumValue[] = L"toggleNum";
inline constexpr wchar_t kSampleRateValue[] = L"sampleRate";

struct PanelSettings {
    long blockNum;       // buffer size in units of 64 samples
    long bitResolution;  // 0 = 16 bit, 1 = 24 bit
    long toggleNum;      // kernel buffers, 2 to 4
    long sampleRate;     // Hz; shown, never edited
};

// What the panel shows when nothing usable is stored.
inline constexpr PanelSettings kStandardSettings = {4, 1, 3, 44100};

// Reads the four values; any that is missing, not 4 bytes or out of the panel's
// range takes its standard value.
PanelSettings ReadPanelSettings();

// Writes blockNum, bitResolution and toggleNum, creating the key when needed.
// False when the key could not be opened or created (nothing written).
bool WritePanelSettings(long blockNum, long bitResolution, long toggleNum);
