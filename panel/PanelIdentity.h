// Names the settings panel shares with the driver and with other panel processes.
#pragma once

#include <windows.h>

// One panel per machine: Global so that it covers every session.
inline constexpr wchar_t kPanelMutexName[] = L"Global\\NTVeltrixKMXASIOConfig";

// The name under which the driver is registered in the ASIO driver list.
inline constexpr char kDriverName[] = "Veltrix KMX ASIO";

// The driver's hidden window in a host process and the message that makes the
// driver ask its host for a reset, so that the next init reads the new settings.
inline constexpr wchar_t kDriverWindowClass[] = L"Veltrix_KMX_ASIO_WndProc";
inline constexpr UINT kDriverResetMessage = WM_APP + 1;

// The panel carries the Brazilian Portuguese table.
inline constexpr WORD kPanelPortugueseTable = 1046;
