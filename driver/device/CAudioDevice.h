// The driver's device object for one direction of the controller's audio
// interface. This version binds no filter yet: it is what the full device object
// reports when no controller is found (no channels, and with no bound filter every
// table rate counts as supported). Probing the controller's filters replaces it.
#pragma once

class CAudioDevice {
public:
    static constexpr int kRender = 1;
    static constexpr int kCapture = 2;

    CAudioDevice(int direction, int maxChannels, int hostSampleBytes);
    ~CAudioDevice() = default;
    CAudioDevice(const CAudioDevice&) = delete;
    CAudioDevice& operator=(const CAudioDevice&) = delete;

    bool SupportsSampleRate(int rate) const;
    const char* GetChannelModel(int channel, int* outNumber, int* outOrdinal, int* outCount) const;

    int direction;
    int channelCount = 0;
};
