#include "VirtualPin.h"

#include <algorithm>

namespace {
constexpr LONG kStatusSuccess = 0;
constexpr LONG kStatusCancelled = static_cast<LONG>(0xC0000120);

LONGLONG CounterFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

// Samples travel the cable left-justified in 32 bits, so containers of any size
// meet at their most significant bytes.
int32_t ReadSample(const BYTE* bytes, WORD containerBytes) {
    uint32_t value = 0;
    for (WORD b = 0; b < containerBytes && b < 4; ++b) value |= uint32_t(bytes[b]) << (8 * (4 - containerBytes + b));
    return static_cast<int32_t>(value);
}

void WriteSample(BYTE* bytes, WORD containerBytes, int32_t sample) {
    uint32_t value = static_cast<uint32_t>(sample);
    for (WORD b = 0; b < containerBytes && b < 4; ++b) bytes[b] = BYTE(value >> (8 * (4 - containerBytes + b)));
}

uint32_t ValidMask(WORD validBits) { return validBits >= 32 ? 0xFFFFFFFFu : ~((1u << (32 - validBits)) - 1u); }
}  // namespace

VirtualPin::VirtualPin(Direction direction, const PinFormat& format)
    : m_direction(direction), m_format(format), m_ticksPerSecond(CounterFrequency()) {}

void VirtualPin::SetState(KSSTATE state, LONGLONG now) {
    if (state == m_state) return;
    if (m_state == KSSTATE_RUN) {
        // Nothing is processed here: the owner brought the pin up to `now` first.
        m_processedAtRunStart = m_processed;
    }
    if (state == KSSTATE_RUN) {
        m_runStartTicks = now;
        m_processedAtRunStart = m_processed;
    }
    if (state == KSSTATE_STOP) {
        CompleteAll(kStatusCancelled);
        m_inGap = false;
    }
    m_state = state;
}

void VirtualPin::Submit(KSSTREAM_HEADER* header, HANDLE event, OVERLAPPED* overlapped) {
    ULONG bytes = m_direction == Direction::Render ? header->DataUsed : header->FrameExtent;
    m_queue.push_back(Request{header, overlapped, event, bytes / m_format.blockAlign, 0});
    // A request of less than a frame has nothing to wait for.
    CompleteFinishedHeads();
}

// Frame ticks of the device's one sample clock: every pin of the controller counts
// frames on the same grid, so a render and a capture pin running at the same rate
// go through exactly the same number of frames between any two moments. Counting
// each pin from its own start instead would let the two drift by a frame now and
// then, and the loopback would gain a frame of silence each time.
ULONGLONG VirtualPin::ClockFrame(LONGLONG ticks) const {
    return ULONGLONG(ticks) * m_format.rate / ULONGLONG(m_ticksPerSecond);
}

void VirtualPin::RunUntil(LONGLONG now, LoopbackCable& cable, CaptureSource source) {
    if (!Running() || now <= m_runStartTicks) return;
    ULONGLONG position = m_processedAtRunStart + (ClockFrame(now) - ClockFrame(m_runStartTicks));
    if (position > m_processed) Process(position - m_processed, cable, source);
}

void VirtualPin::RunFrames(ULONGLONG frames, LoopbackCable& cable, CaptureSource source) {
    if (Running()) Process(frames, cable, source);
}

void VirtualPin::Freeze(LONGLONG now, LoopbackCable& cable, CaptureSource source) {
    if (m_frozen) return;
    RunUntil(now, cable, source);
    m_frozen = true;
}

void VirtualPin::Thaw(LONGLONG now) {
    if (!m_frozen) return;
    m_frozen = false;
    m_runStartTicks = now;
    m_processedAtRunStart = m_processed;
}

bool VirtualPin::NextDeadline(LONGLONG& ticks) const {
    if (!Running() || m_queue.empty()) return false;
    const Request& head = m_queue.front();
    ULONGLONG endFrame = m_processed + (head.frames - head.doneFrames);
    // The clock frame at which the request's last frame has played; the first
    // counter tick of that frame, rounded up, so a request is never due early.
    ULONGLONG clockFrame = ClockFrame(m_runStartTicks) + (endFrame - m_processedAtRunStart);
    ticks = LONGLONG((clockFrame * ULONGLONG(m_ticksPerSecond) + m_format.rate - 1) / m_format.rate);
    return true;
}

void VirtualPin::CompleteAll(LONG status) {
    while (!m_queue.empty()) {
        Complete(m_queue.front(), 0, status);
        m_queue.pop_front();
    }
}

void VirtualPin::Process(ULONGLONG frames, LoopbackCable& cable, CaptureSource source) {
    const WORD block = m_format.blockAlign;
    const WORD bytes = m_format.containerBytes;
    const uint32_t mask = ValidMask(m_format.validBits);
    while (frames > 0) {
        CompleteFinishedHeads();
        if (m_queue.empty()) {
            // Frames came due with nothing queued: the device plays silence or drops
            // what it recorded.
            if (!m_inGap) {
                if (m_direction == Direction::Render) ++m_counters.underruns;
                else ++m_counters.overruns;
                m_inGap = true;
            }
            for (ULONGLONG i = 0; i < frames; ++i) {
                if (m_direction == Direction::Render) cable.Push(LoopbackCable::Frame{});
                else SourceFrame(cable, source, m_processed + i);
            }
            m_processed += frames;
            if (m_direction == Direction::Render) m_counters.framesPlayed += frames;
            else m_counters.framesRecorded += frames;
            return;
        }
        m_inGap = false;
        Request& head = m_queue.front();
        ULONG take = ULONG(std::min<ULONGLONG>(frames, head.frames - head.doneFrames));
        BYTE* data = static_cast<BYTE*>(head.header->Data) + size_t(head.doneFrames) * block;
        for (ULONG f = 0; f < take; ++f, data += block) {
            if (m_direction == Direction::Render) {
                LoopbackCable::Frame frame{};
                for (WORD c = 0; c < m_format.channels && c < LoopbackCable::kChannels; ++c)
                    frame[c] = int32_t(uint32_t(ReadSample(data + c * bytes, bytes)) & mask);
                cable.Push(frame);
            } else {
                LoopbackCable::Frame frame = SourceFrame(cable, source, m_processed + f);
                for (WORD c = 0; c < m_format.channels; ++c)
                    WriteSample(data + c * bytes, bytes, c < LoopbackCable::kChannels ? frame[c] : 0);
            }
        }
        head.doneFrames += take;
        frames -= take;
        m_processed += take;
        if (m_direction == Direction::Render) m_counters.framesPlayed += take;
        else m_counters.framesRecorded += take;
    }
    CompleteFinishedHeads();
}

void VirtualPin::CompleteFinishedHeads() {
    while (!m_queue.empty() && m_queue.front().doneFrames >= m_queue.front().frames) {
        Request& head = m_queue.front();
        if (m_direction == Direction::Render) {
            Complete(head, head.header->DataUsed, kStatusSuccess);
            ++m_counters.writesCompleted;
        } else {
            Complete(head, head.frames * m_format.blockAlign, kStatusSuccess);
            ++m_counters.readsCompleted;
        }
        m_queue.pop_front();
    }
}

void VirtualPin::Complete(Request& request, ULONG dataUsed, LONG status) {
    request.header->DataUsed = dataUsed;
    request.overlapped->InternalHigh = request.header->Size;
    request.overlapped->Internal = ULONG_PTR(status);
    if (request.event) SetEvent(request.event);
}

LoopbackCable::Frame VirtualPin::SourceFrame(LoopbackCable& cable, CaptureSource source, ULONGLONG frameIndex) {
    switch (source) {
    case CaptureSource::Loopback:
        return cable.Pop();
    case CaptureSource::Silence:
        return LoopbackCable::Frame{};
    case CaptureSource::Signal: {
        LoopbackCable::Frame frame;
        int32_t value = int32_t(uint32_t(frameIndex) << (32 - m_format.validBits));
        frame.fill(value);
        return frame;
    }
    }
    return LoopbackCable::Frame{};
}
