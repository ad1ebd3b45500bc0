// The driver's device object for one direction of the controller's audio
// interface. So far it only holds what the driver object's lifetime needs: it
// binds no filter yet, so it reports no channels.
#pragma once

class CAudioDevice {
public:
    CAudioDevice() = default;
    ~CAudioDevice() = default;
    CAudioDevice(const CAudioDevice&) = delete;
    CAudioDevice& operator=(const CAudioDevice&) = delete;

    int channelCount = 0;
};
