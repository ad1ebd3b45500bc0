#include "LoopbackSignal.h"

#include <cstring>

namespace {
// Offsets keep the output channels' sequences apart, so a channel mix-up shows.
constexpr std::uint32_t kChannelOffset = 0x1000;
}  // namespace

LoopbackSignal::LoopbackSignal(int sampleBytes, int outputChannels, int inputChannels)
    : m_sampleBytes(sampleBytes),
      m_outputChannels(outputChannels),
      m_mask(sampleBytes == 2 ? 0xFFFFu : 0xFFFFFFu),
      m_tracking(inputChannels > 0 ? inputChannels : 0),
      m_results(inputChannels > 0 ? inputChannels : 0) {}

// Values run 1 .. m_mask and wrap: 0 is what silence looks like.
std::uint32_t LoopbackSignal::ValueOf(int channel, std::int64_t frame) const {
    const std::int64_t period = m_mask;
    return static_cast<std::uint32_t>((frame + channel * static_cast<std::int64_t>(kChannelOffset)) % period) + 1;
}

std::uint32_t LoopbackSignal::Encode(std::uint32_t value) const {
    return m_sampleBytes == 2 ? value : value << 8;
}

std::uint32_t LoopbackSignal::Decode(std::uint32_t sample) const {
    return m_sampleBytes == 2 ? (sample & 0xFFFFu) : (sample >> 8) & 0xFFFFFFu;
}

std::uint32_t LoopbackSignal::Read(const void* buffer, int index) const {
    if (m_sampleBytes == 2) {
        std::uint16_t sample;
        std::memcpy(&sample, static_cast<const char*>(buffer) + index * 2, 2);
        return sample;
    }
    std::uint32_t sample;
    std::memcpy(&sample, static_cast<const char*>(buffer) + index * 4, 4);
    return sample;
}

void LoopbackSignal::Generate(int channel, std::int64_t firstFrame, int frames, void* buffer) const {
    for (int k = 0; k < frames; ++k) {
        std::uint32_t sample = Encode(ValueOf(channel, firstFrame + k));
        if (m_sampleBytes == 2) {
            std::uint16_t narrow = static_cast<std::uint16_t>(sample);
            std::memcpy(static_cast<char*>(buffer) + k * 2, &narrow, 2);
        } else {
            std::memcpy(static_cast<char*>(buffer) + k * 4, &sample, 4);
        }
    }
}

void LoopbackSignal::Check(int channel, std::int64_t firstFrame, int frames, const void* buffer) {
    if (channel < 0 || channel >= InputChannels()) return;
    Tracking& track = m_tracking[channel];
    ChannelResult& result = m_results[channel];
    for (int k = 0; k < frames; ++k) {
        std::uint32_t raw = Read(buffer, k);
        std::uint32_t value = Decode(raw);
        if (!track.locked) {
            // Silence before the first recorded output is expected, not an error.
            if (raw == 0) continue;
            track.locked = true;
            ++result.lockOns;
            if (result.latencyFrames < 0) {
                // The value names the output frame that came back now.
                const std::int64_t period = m_mask;
                std::int64_t played = (static_cast<std::int64_t>(value) - 1 - channel * std::int64_t{kChannelOffset}) % period;
                std::int64_t now = (firstFrame + k) % period;
                result.latencyFrames = ((now - played) % period + period) % period;
            }
        } else if (raw == 0) {
            ++result.silentSamples;
            continue;
        } else {
            ++result.checkedSamples;
            if (value != track.expected) {
                ++result.errors;
                ++result.errorsSinceResync;
                if (result.firstErrorFrame < 0) result.firstErrorFrame = firstFrame + k;
                result.lastErrorFrame = firstFrame + k;
            }
        }
        track.expected = value % m_mask + 1;
    }
}

void LoopbackSignal::Resync() {
    for (Tracking& track : m_tracking) track.locked = false;
    for (ChannelResult& result : m_results) result.errorsSinceResync = 0;
}
