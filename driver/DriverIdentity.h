// The names and IDs by which hosts, the settings panel and COM know the driver.
#pragma once

#include <windows.h>

// The driver's COM class. Hosts also pass it as the interface ID when they create
// the object: ASIO has no interface ID of its own.
inline constexpr GUID kDriverClassId = {0x3C71A0E2, 0x58B4, 0x4D0F, {0x9A, 0x26, 0x1E, 0x7B, 0x40, 0xC8, 0xD5, 0xF3}};

// Key name in the ASIO driver list, its "Description", the class key's default
// value, the caption of the registration message boxes and getDriverName's answer.
inline constexpr char kDriverName[] = "Veltrix KMX ASIO";

// The registration entry points find their own module by this name.
inline constexpr char kDriverFileName[] = "Veltrix_KMX_ASIO.dll";

inline constexpr long kDriverVersion = 1;
