#include "StreamThread.h"

#include <mmsystem.h>

#include "VeltrixControllerASIO.h"

std::atomic<VeltrixControllerASIO*> streamingDriver{nullptr};
std::atomic<bool> stopRequested{false};
HANDLE streamThread = nullptr;
DWORD streamThreadId = 0;
std::atomic<StreamPhase> streamPhase{StreamPhase::Idle};

DWORD WINAPI StreamThread(LPVOID) {
    // The 1 ms sleeps and the 50 ms waits are only as precise as the system timer.
    TIMECAPS caps = {};
    UINT period = 0;
    if (timeGetDevCaps(&caps, sizeof(caps)) == TIMERR_NOERROR) {
        period = caps.wPeriodMin;
        timeBeginPeriod(period);
    }
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    for (;;) {
        VeltrixControllerASIO* driver = streamingDriver.load();
        if (driver) {
            streamPhase = StreamPhase::Cycling;
            driver->ProcessCycle();
            streamPhase = StreamPhase::Idle;
        } else {
            Sleep(1);
        }
        if (stopRequested) break;
    }
    if (period != 0) timeEndPeriod(period);
    return 0;
}

bool JoinStreamThread(DWORD timeoutMs, bool notifyingIsEnough) {
    if (!streamThread) return true;
    // A host that stops the driver from inside its own buffer switch is on this
    // very thread: it cannot wait for itself.
    if (GetCurrentThreadId() == streamThreadId) return false;
    const DWORD start = GetTickCount();
    for (;;) {
        if (notifyingIsEnough && streamPhase == StreamPhase::Notifying) return true;
        DWORD remaining = INFINITE;
        if (timeoutMs != INFINITE) {
            DWORD elapsed = GetTickCount() - start;
            if (elapsed >= timeoutMs) return false;
            remaining = timeoutMs - elapsed;
        }
        // Wake up now and then to look at the phase when that is enough.
        if (notifyingIsEnough && (remaining == INFINITE || remaining > 10)) remaining = 10;
        DWORD result = MsgWaitForMultipleObjects(1, &streamThread, FALSE, remaining, QS_SENDMESSAGE);
        if (result == WAIT_OBJECT_0) {
            CloseHandle(streamThread);
            streamThread = nullptr;
            streamThreadId = 0;
            streamPhase = StreamPhase::Idle;
            return true;
        }
        if (result == WAIT_OBJECT_0 + 1) {
            MSG message;
            PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else if (result == WAIT_FAILED) {
            return false;
        }
    }
}
