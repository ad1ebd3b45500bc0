// Numbers of the driver's contract with hosts that more than one file uses.
#pragma once

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
