// The driver's per-user tuning values and the machine-wide panel location.
// None of these report errors: a missing or invalid value gives the default, a
// failed write leaves the driver with its in-memory value.
#pragma once

#include <windows.h>

inline constexpr char kSettingsKeyPath[] = "Software\\Veltrix KMX ASIO";
inline constexpr char kPanelLocationKeyPath[] = "Software\\Veltrix\\Veltrix KMX";

inline constexpr char kBlockNumValue[] = "blockNum";
inline constexpr char kBitResolutionValue[] = "bitResolution";
inline constexpr char kToggleNumValue[] = "toggleNum";
inline constexpr char kSampleRateValue[] = "sampleRate";
inline constexpr char kPanelPathValue[] = "AsioConfig";

// Sample rates the driver and its device object know, in this order; a rate's
// index is its bit in the device's rate masks.
inline constexpr long kSampleRates[] = {44100, 48000, 88200, 96000};
inline constexpr int kSampleRateCount = 4;

inline constexpr long kFramesPerBlockUnit = 64;
inline constexpr long kMinBlockNum = 1;
inline constexpr long kMaxBlockNum = 30;
inline constexpr long kDefaultBlockNum = 4;
inline constexpr long kDefaultToggleNum = 3;
inline constexpr long kDefaultSampleRate = 44100;

// Size of the buffer ReadPanelPath fills, including the terminating zero.
inline constexpr DWORD kPanelPathSize = 260;

long ReadBlockNum();          // 1..30, else 4
long ReadBitResolution();     // bytes per host sample: 2 when "bitResolution" is 0, else 4
long ReadToggleNum();         // 2..4, else 3
long ReadSampleRate();        // one of kSampleRates, else 44100
void WriteBlockNum(long value);
void WriteSampleRate(long value);

// Reads "AsioConfig" into buffer (kPanelPathSize bytes). Leaves the buffer as it
// was when the value is missing, is not a string, or does not fit with its
// terminating zero.
void ReadPanelPath(char* buffer);
