// Names and fixed values of the version utility.
#pragma once

#include <windows.h>

#include <cstddef>

#include "LocalizedStrings.h"

// One version utility per machine: Global so that it covers every session.
inline constexpr wchar_t kVersionMutexName[] = L"Global\\NTVeltrixKMXVersion";

// The version utility carries the Portuguese table of Portugal.
inline constexpr WORD kVersionPortugueseTable = kPortugueseTableOfPortugal;

// Texts are loaded into buffers of this many UTF-16 units; the longest string of
// the twelve tables has 107.
inline constexpr std::size_t kVersionTextSize = 1024;

// Where the driver file lives: formatted with the Windows directory.
inline constexpr wchar_t kDriverFileFormat[] = L"%s\\System32\\Veltrix_KMX_ASIO.dll";
inline constexpr std::size_t kDriverPathSize = MAX_PATH;

// The driver file keeps its version strings under Japanese with the Unicode code
// page; the second key accepts the same language with code page 0.
inline constexpr const wchar_t* kProductVersionKeys[] = {
    L"\\StringFileInfo\\041104B0\\ProductVersion",
    L"\\StringFileInfo\\04110000\\ProductVersion",
};
