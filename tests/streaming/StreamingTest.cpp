// Streaming through the driver object and a virtual controller: host buffers,
// the stream thread paced by the device, and every sample of the loopback checked.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "DriverSettings.h"
#include "LoopbackSignal.h"
#include "ScopedDeviceSystem.h"
#include "TestSupport.h"
#include "VeltrixControllerASIO.h"
#include "VirtualController.h"

namespace {

// A minimal host: plays the test signal on every output and checks every input.
struct TestHost {
    long frames = 256;
    int sampleBytes = 4;
    int inputs = 2, outputs = 4;
    ASIOBufferInfo infos[6] = {};
    std::unique_ptr<LoopbackSignal> signal;
    std::atomic<long> switches{0};
    long long position = 0;
    std::vector<long> indices;  // host half of each switch
    bool timeInfo = true;
    std::atomic<int> resetRequests{0};
    std::atomic<bool> stopping{false};
};
TestHost* g_host = nullptr;

void Switch(long index, ASIOBool) {
    TestHost& h = *g_host;
    if (h.indices.size() < 4096) h.indices.push_back(index);
    // Once the host has begun to stop, a last switch may bring an input half the
    // device no longer refreshed.
    if (!h.stopping)
        for (int i = 0; i < h.inputs; ++i) h.signal->Check(i, h.position, h.frames, h.infos[i].buffers[index]);
    for (int o = 0; o < h.outputs; ++o) h.signal->Generate(o, h.position, h.frames, h.infos[h.inputs + o].buffers[index]);
    h.position += h.frames;
    ++h.switches;
}
ASIOTime* SwitchTimeInfo(ASIOTime* time, long index, ASIOBool direct) {
    Switch(index, direct);
    return time;
}
void RateChanged(ASIOSampleRate) {}
long Message(long selector, long, void*, double*) {
    if (selector == kAsioSupportsTimeInfo) return g_host->timeInfo ? 1 : 0;
    if (selector == kAsioResetRequest) ++g_host->resetRequests;
    return 0;
}
ASIOCallbacks g_callbacks = {Switch, RateChanged, Message, SwitchTimeInfo};

class Driver {
public:
    Driver() : m_driver(new VeltrixControllerASIO(nullptr)) { m_driver->InnerAddRef(); }
    ~Driver() { m_driver->InnerRelease(); }
    VeltrixControllerASIO* operator->() const { return m_driver; }

private:
    VeltrixControllerASIO* m_driver;
};

TEST(Streaming, SmokeLoopback) {
    testsupport::ScratchSettings scratch;
    VirtualController controller;
    controller.Connect(ControllerModel::KmxB7);
    ScopedDeviceSystem scope(controller);
    Driver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    TestHost host;
    g_host = &host;
    for (int i = 0; i < 2; ++i) host.infos[i] = {ASIOTrue, i, {nullptr, nullptr}};
    for (int o = 0; o < 4; ++o) host.infos[2 + o] = {ASIOFalse, o, {nullptr, nullptr}};
    host.signal.reset(new LoopbackSignal(4, 4, 2));
    ASSERT_EQ(driver->createBuffers(host.infos, 6, 256, &g_callbacks), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    Sleep(1000);
    host.stopping = true;
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    g_host = nullptr;
    EXPECT_GT(host.switches.load(), 100);
    for (int i = 0; i < 2; ++i) {
        const auto& r = host.signal->Result(i);
        EXPECT_EQ(r.lockOns, 1);
        EXPECT_EQ(r.errors, 0);
        EXPECT_GT(r.checkedSamples, 10000);
    }
}

}  // namespace
