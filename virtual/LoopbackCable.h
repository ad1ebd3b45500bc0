// The cable from a controller's render output to its capture input: the frames
// the render pin played, left-justified 32-bit samples, waiting to be recorded.
// Bounded so that a capture pin that never runs cannot make it grow without end.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <deque>

class LoopbackCable {
public:
    static constexpr int kChannels = 8;
    using Frame = std::array<int32_t, kChannels>;

    void Push(const Frame& frame) {
        if (m_frames.size() >= kCapacityFrames) m_frames.pop_front();
        m_frames.push_back(frame);
    }

    // The oldest frame played and not yet recorded, or silence.
    Frame Pop() {
        if (m_frames.empty()) return Frame{};
        Frame frame = m_frames.front();
        m_frames.pop_front();
        return frame;
    }

    void Clear() { m_frames.clear(); }

private:
    static constexpr size_t kCapacityFrames = 192000;  // two seconds at the highest rate
    std::deque<Frame> m_frames;
};
