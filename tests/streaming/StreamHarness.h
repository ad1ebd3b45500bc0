// A host for tests that stream through a driver object in this process: it
// creates buffers for the channels asked for, plays the loopback test signal on
// every output, checks every input, and records what each buffer switch saw.
// ASIO callbacks carry no context, so one harness is active at a time.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "Asio.h"
#include "LoopbackSignal.h"

class VeltrixControllerASIO;

struct SwitchRecord {
    long index;            // host half
    long cycleCounter;     // the driver's cycle counter during the switch
    bool timeInfo;         // bufferSwitchTimeInfo rather than bufferSwitch
    unsigned long flags;   // time info flags seen
    ASIOSamples position;  // time info sample position (or getSamplePosition)
    ASIOSamples timeCode;  // time code samples
    LONGLONG counter;      // QueryPerformanceCounter when the switch began
};

class StreamHarness {
public:
    explicit StreamHarness(VeltrixControllerASIO* driver);
    ~StreamHarness();
    StreamHarness(const StreamHarness&) = delete;
    StreamHarness& operator=(const StreamHarness&) = delete;

    // The answer to kAsioSupportsTimeInfo.
    bool timeInfo = true;
    // Called on the stream thread at the end of every buffer switch, with the
    // switch's number (0 for the first); set it before start.
    std::function<void(long)> duringSwitch;

    ASIOError CreateBuffers(int inputs, int outputs, long frames);
    // Stops checking the inputs: a switch during stop may bring a stale half.
    void StopChecking() { m_checking = false; }
    // Stops checking, then stops and disposes.
    void StopAndDispose();

    // Serves the calling thread's window messages for up to ms milliseconds, or
    // until `until` returns true.
    template <typename Predicate>
    bool PumpUntil(DWORD ms, Predicate until) {
        const DWORD start = GetTickCount();
        for (;;) {
            if (until()) return true;
            if (GetTickCount() - start >= ms) return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        }
    }

    long Switches() const { return m_switches.load(); }
    std::vector<SwitchRecord> Records();
    const LoopbackSignal& Signal() const { return *m_signal; }
    int ResetRequests() const { return m_resetRequests.load(); }
    // Threads the reset requests came on.
    std::vector<DWORD> ResetThreads();
    int SampleRateChanges() const { return m_rateChanges.load(); }

private:
    static void OnSwitch(long index, ASIOBool direct);
    static ASIOTime* OnSwitchTimeInfo(ASIOTime* time, long index, ASIOBool direct);
    static void OnRateChanged(ASIOSampleRate rate);
    static long OnMessage(long selector, long value, void* message, double* opt);
    void Process(long index, const ASIOTime* time);

    VeltrixControllerASIO* m_driver;
    ASIOCallbacks m_callbacks;
    std::vector<ASIOBufferInfo> m_infos;
    int m_inputs = 0, m_outputs = 0;
    long m_frames = 0;
    std::unique_ptr<LoopbackSignal> m_signal;
    long long m_position = 0;
    std::atomic<bool> m_checking{true};
    std::atomic<long> m_switches{0};
    std::mutex m_lock;  // guards the records and reset threads against the test thread
    std::vector<SwitchRecord> m_records;
    std::vector<DWORD> m_resetThreads;
    std::atomic<int> m_resetRequests{0};
    std::atomic<int> m_rateChanges{0};
};
