// The audio device's probing against virtual controllers: which filter it binds,
// and the channels, rates and sample containers it finds by opening pins on trial.
#include <gtest/gtest.h>

#include <string>

#include "CAudioDevice.h"
#include "CKsEnumFilters.h"
#include "ScopedDeviceSystem.h"
#include "VirtualController.h"

namespace {

struct Probe {
    int channelCount;
    int rateMask;
    int sampleBytes;
    int extensible;
};

Probe ProbeOf(const CAudioDevice& device) {
    if (device.filterCount == 0) return {device.channelCount, 0, 0, 0};
    return {device.channelCount, device.rateMask[0], device.sampleBytes[0], device.extensible[0]};
}

TEST(AudioDevice, DefaultModelsAsProbed) {
    struct Case {
        ControllerModel model;
        int direction, maxChannels, hostBytes;
        Probe expected;
    } cases[] = {
        {ControllerModel::KmxA7, CAudioDevice::kRender, 4, 4, {4, 0x3, 3, 1}},
        {ControllerModel::KmxA7, CAudioDevice::kCapture, 2, 4, {2, 0x3, 3, 1}},
        {ControllerModel::KmxB7, CAudioDevice::kRender, 4, 4, {4, 0xF, 3, 1}},
        {ControllerModel::KmxB7, CAudioDevice::kCapture, 2, 2, {2, 0xF, 3, 1}},
        {ControllerModel::KmxNova, CAudioDevice::kRender, 4, 4, {4, 0xF, 4, 1}},
        {ControllerModel::KmxNova, CAudioDevice::kCapture, 2, 2, {2, 0xF, 4, 1}},
    };
    for (const Case& c : cases) {
        VirtualController controller;
        controller.Connect(c.model);
        ScopedDeviceSystem scope(controller);
        CAudioDevice device(c.direction, c.maxChannels, c.hostBytes);
        Probe probe = ProbeOf(device);
        SCOPED_TRACE(IdentityOf(c.model).name + std::string(c.direction == 1 ? " render" : " capture"));
        EXPECT_EQ(probe.channelCount, c.expected.channelCount);
        EXPECT_EQ(probe.rateMask, c.expected.rateMask);
        EXPECT_EQ(probe.sampleBytes, c.expected.sampleBytes);
        EXPECT_EQ(probe.extensible, c.expected.extensible);
    }
}

}  // namespace
