// The host's test signal and its check after the round trip through the device.
//
// Every output channel plays a frame counter: the sample of frame n (counted from
// the start of the session) is n + 1 + the channel's offset, left-justified so that
// only bits every container keeps are used (the low byte of a 32-bit host sample is
// dropped by 24-bit devices). An input channel that records a loopback of output
// channel c therefore receives the same counter, delayed by the round trip; the
// checker finds the delay from the first counter value it sees and then expects
// every following sample to be exactly the next value. Any lost, repeated or
// altered sample breaks the sequence and is counted. Silence inside the sequence
// (a render underrun plays zeros and then goes on where it was) is counted apart:
// it delays the signal but loses nothing.
#pragma once

#include <cstdint>
#include <vector>

class LoopbackSignal {
public:
    LoopbackSignal(int sampleBytes, int outputChannels, int inputChannels);

    // Fills frames [firstFrame, firstFrame + frames) of one output channel.
    void Generate(int channel, std::int64_t firstFrame, int frames, void* buffer) const;
    // Checks frames of one input channel recorded at [firstFrame, ...).
    void Check(int channel, std::int64_t firstFrame, int frames, const void* buffer);
    // The device was reopened: the sequence may start anew.
    void Resync();

    struct ChannelResult {
        std::int64_t checkedSamples = 0;  // samples compared after lock-on
        std::int64_t errors = 0;          // samples that broke the sequence
        std::int64_t silentSamples = 0;   // silence inside the sequence (the device ran dry)
        std::int64_t latencyFrames = -1;  // round trip of the first lock-on, -1 before
        int lockOns = 0;                  // times the sequence was (re)found
        std::int64_t firstErrorFrame = -1;  // input frames of the first and last break
        std::int64_t lastErrorFrame = -1;
        std::int64_t errorsSinceResync = 0;  // breaks in the current stream only
    };
    const ChannelResult& Result(int channel) const { return m_results[channel]; }
    int InputChannels() const { return static_cast<int>(m_results.size()); }

private:
    std::uint32_t ValueOf(int channel, std::int64_t frame) const;  // counter, before justification
    std::uint32_t Encode(std::uint32_t value) const;
    std::uint32_t Decode(std::uint32_t sample) const;
    std::uint32_t Read(const void* buffer, int index) const;

    int m_sampleBytes;
    int m_outputChannels;
    std::uint32_t m_mask;  // counter values wrap within the bits that survive
    struct Tracking {
        bool locked = false;
        std::uint32_t expected = 0;
    };
    std::vector<Tracking> m_tracking;
    std::vector<ChannelResult> m_results;
};
