// The driver's one worker thread, and the process-wide state it shares with the
// driver objects. One stream thread serves one driver object at a time.
#pragma once

#include <windows.h>

#include <atomic>

class VeltrixControllerASIO;

// The object the stream thread serves; set by start.
extern std::atomic<VeltrixControllerASIO*> streamingDriver;
// Ends the stream thread's loop; cleared by start, set by stop.
extern std::atomic<bool> stopRequested;
// The running stream thread, or null.
extern HANDLE streamThread;
extern DWORD streamThreadId;

// What the stream thread is doing, so that a caller that cannot wait for it to end
// knows whether it still touches devices and host buffers.
enum class StreamPhase { Idle, Cycling, Notifying };
extern std::atomic<StreamPhase> streamPhase;

DWORD WINAPI StreamThread(LPVOID);

// Waits for the stream thread to end, at most timeoutMs (INFINITE for no limit),
// while serving messages other threads send to windows of the calling thread: the
// stream thread may itself be waiting for such a message to be handled. When
// notifyingIsEnough is set, also returns true once the thread only has the host's
// reset request left to deliver and touches nothing else. True when done waiting.
bool JoinStreamThread(DWORD timeoutMs, bool notifyingIsEnough = false);
