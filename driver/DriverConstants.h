// Numbers of the driver's contract with hosts that more than one file uses.
#pragma once

#include <windows.h>

// init's search for the controller: capture gets one attempt, render up to eleven
// (a controller that was just plugged in needs a moment before its render
// interface appears), each failed attempt followed by this pause.
inline constexpr int kCaptureAttempts = 1;
inline constexpr int kRenderAttempts = 11;
inline constexpr unsigned kDeviceRetryPauseMs = 100;

// Host buffer sizes reported by getBufferSize.
inline constexpr long kMinBufferFrames = 64;
inline constexpr long kMaxBufferFrames = 1920;
inline constexpr long kBufferGranularity = 64;

// Channel limits fixed by the driver's buffer tables.
inline constexpr long kMaxInputChannels = 2;
inline constexpr long kMaxOutputChannels = 4;

inline constexpr char kClockSourceName[] = "Internal";

// The stream: a ring position that does not complete within this is skipped for
// the cycle; stop waits this long for the stream thread to end.
inline constexpr unsigned kRingWaitMs = 50;
inline constexpr unsigned kStreamJoinTimeoutMs = 1000;

// The hidden notification window every driver object of the process reports
// through, and the private message that makes it ask the host for a reset.
inline constexpr char kNotifyWindowClass[] = "Veltrix_KMX_ASIO_WndProc";
inline constexpr unsigned kResetRequestMessage = 0x8001;  // WM_APP + 1

// GUID_DEVINTERFACE_USB_DEVICE: the interface class whose arrival and removal the
// notification window is registered for.
inline constexpr GUID kUsbDeviceInterfaceClass = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
