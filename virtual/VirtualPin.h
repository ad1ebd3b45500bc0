// One instance of a streaming pin: its format, its connection state, its queue of
// overlapped stream requests and its position on the device clock. The owner
// (the virtual controller) serialises every call under its lock.
#pragma once

#include "LoopbackCable.h"
#include "UnitConfig.h"
#include "VirtualController.h"

#include <deque>

struct PinFormat {
    WORD channels = 0;
    DWORD rate = 0;
    WORD containerBytes = 0;
    WORD validBits = 0;
    WORD blockAlign = 0;
};

class VirtualPin {
public:
    enum class Direction { Render, Capture };

    VirtualPin(Direction direction, const PinFormat& format);
    // The owner completes what is queued (CompleteAll) before deleting a pin.
    ~VirtualPin() = default;

    Direction GetDirection() const { return m_direction; }
    const PinFormat& Format() const { return m_format; }
    KSSTATE State() const { return m_state; }

    // Moves to the state at time `now` (performance-counter ticks). Leaving PAUSE
    // for STOP cancels the queue, as a Kernel Streaming pin does.
    void SetState(KSSTATE state, LONGLONG now);

    // Queues one request; the header was validated by the caller.
    void Submit(KSSTREAM_HEADER* header, HANDLE event, OVERLAPPED* overlapped);

    // Real clock: processes every frame that came due up to `now`.
    void RunUntil(LONGLONG now, LoopbackCable& cable, CaptureSource source);
    // The device clock's frame count at a counter value.
    ULONGLONG ClockFrame(LONGLONG ticks) const;
    // Manual clock: processes `frames` more frames if running.
    void RunFrames(ULONGLONG frames, LoopbackCable& cable, CaptureSource source);

    // The clock of this pin stops (stall) or goes on from `now`.
    void Freeze(LONGLONG now, LoopbackCable& cable, CaptureSource source);
    void Thaw(LONGLONG now);

    // When the head request will have finished, in counter ticks; false when the pin
    // is not running or nothing is queued.
    bool NextDeadline(LONGLONG& ticks) const;

    // Completes every queued request without data, with this final status.
    void CompleteAll(LONG status);

    const StreamCounters& Counters() const { return m_counters; }
    bool HasPending() const { return !m_queue.empty(); }

private:
    struct Request {
        KSSTREAM_HEADER* header;
        OVERLAPPED* overlapped;
        HANDLE event;
        ULONG frames;
        ULONG doneFrames;
    };

    bool Running() const { return m_state == KSSTATE_RUN && !m_frozen; }
    void Process(ULONGLONG frames, LoopbackCable& cable, CaptureSource source);
    void CompleteFinishedHeads();
    void Complete(Request& request, ULONG dataUsed, LONG status);
    LoopbackCable::Frame SourceFrame(LoopbackCable& cable, CaptureSource source, ULONGLONG frameIndex);

    Direction m_direction;
    PinFormat m_format;
    KSSTATE m_state = KSSTATE_STOP;
    bool m_frozen = false;
    LONGLONG m_runStartTicks = 0;         // when the clock last started counting
    ULONGLONG m_processedAtRunStart = 0;  // frames processed by then
    ULONGLONG m_processed = 0;            // frames the device clock has gone through
    bool m_inGap = false;                 // the last frame found no request queued
    std::deque<Request> m_queue;
    StreamCounters m_counters;
    LONGLONG m_ticksPerSecond;
};
