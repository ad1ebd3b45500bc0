// The stream surviving the device: a refused transfer reopens the devices
// silently, a controller that stays away leads to a reset request through the
// notification window, one that comes back in time lets the stream go on, and a
// stop during a recovery never frees what the stream thread still uses.
#include <gtest/gtest.h>

#include "DriverObject.h"
#include "ScopedDeviceSystem.h"
#include "StreamHarness.h"
#include "TestSupport.h"
#include "VeltrixControllerASIO.h"
#include "VirtualController.h"

namespace {

bool AwaitSwitches(StreamHarness& host, long count, DWORD timeoutMs = 10000) {
    const long target = host.Switches() + count;
    return host.PumpUntil(timeoutMs, [&] { return host.Switches() >= target; });
}

class Recovery : public ::testing::Test {
protected:
    void SetUp() override {
        unit = controller.Connect(ControllerModel::KmxB7);
        // init on this thread, which serves the notification window's messages
        // while the test pumps.
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        ASSERT_EQ(host.CreateBuffers(2, 4, 256), ASE_OK);
        ASSERT_EQ(driver->start(), ASE_OK);
        ASSERT_TRUE(AwaitSwitches(host, 20));
    }
    void TearDown() override { host.StopAndDispose(); }

    testsupport::ScratchSettings scratch;
    VirtualController controller;
    UnitId unit = 0;
    ScopedDeviceSystem scope{controller};
    testsupport::DriverObject driver;
    StreamHarness host{driver.get()};
};

TEST_F(Recovery, ARefusedWriteReopensTheDevicesSilently) {
    const long checkedBefore = host.Signal().Result(0).checkedSamples;
    controller.RefuseNext(RequestKind::Write, 1, ERROR_GEN_FAILURE);
    ASSERT_TRUE(AwaitSwitches(host, 60));
    EXPECT_EQ(host.ResetRequests(), 0) << "the controller is still there: the host is not bothered";
    long in = 0, out = 0;
    driver->getChannels(&in, &out);
    EXPECT_EQ(out, 4);
    // The reopened stream carries the signal again, sample for sample.
    const LoopbackSignal::ChannelResult& r = host.Signal().Result(0);
    EXPECT_GT(r.checkedSamples - checkedBefore, 5000);
    const long long brokenAt = r.lastErrorFrame;
    ASSERT_TRUE(AwaitSwitches(host, 40));
    EXPECT_EQ(host.Signal().Result(0).lastErrorFrame, brokenAt) << "continuity restored after the reopen";
}

TEST_F(Recovery, AControllerThatStaysAwayEndsInAResetRequestOnTheInitThread) {
    controller.Unplug(unit);
    // The window reports the removal at once; the stream thread's reopen attempts
    // (one capture, eleven render) then fail and it asks through the window again.
    ASSERT_TRUE(host.PumpUntil(10000, [&] { return host.ResetRequests() >= 2; }));
    host.PumpUntil(300, [] { return false; });
    EXPECT_EQ(host.ResetRequests(), 2);
    for (DWORD thread : host.ResetThreads()) EXPECT_EQ(thread, GetCurrentThreadId());
    long in = -1, out = -1;
    driver->getChannels(&in, &out);
    EXPECT_EQ(in, 0) << "the devices are gone";
    EXPECT_EQ(out, 0);
    // Running without devices: the host still gets its switches, at about the
    // block rate rather than as fast as the loop can spin.
    const long before = host.Switches();
    host.PumpUntil(200, [] { return false; });
    const long during = host.Switches() - before;
    EXPECT_GT(during, 0);
    EXPECT_LT(during, 200) << "an unpaced loop would make thousands";
}

TEST_F(Recovery, AControllerBackWithinTheAttemptsLetsTheStreamGoOn) {
    controller.Unplug(unit);
    host.PumpUntil(300, [] { return false; });
    controller.Plug(unit);
    ASSERT_TRUE(AwaitSwitches(host, 100));
    // The window reported the removal and the arrival; the stream thread found the
    // controller again and asked for nothing.
    host.PumpUntil(200, [] { return false; });
    EXPECT_EQ(host.ResetRequests(), 2);
    long in = 0, out = 0;
    driver->getChannels(&in, &out);
    EXPECT_EQ(out, 4);
    const long long checked = host.Signal().Result(0).checkedSamples;
    ASSERT_TRUE(AwaitSwitches(host, 40));
    EXPECT_GT(host.Signal().Result(0).checkedSamples, checked + 8000) << "the loopback flows again";
}

TEST_F(Recovery, StopDuringARecoveryFreesNothingTheStreamThreadStillUses) {
    // The reopen attempts take over a second: stop's join gives up first.
    controller.Unplug(unit);
    host.PumpUntil(100, [] { return false; });
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    host.PumpUntil(1500, [] { return false; });
    controller.Plug(unit);
    // Used again afterwards, the driver is whole.
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASSERT_EQ(host.CreateBuffers(2, 4, 256), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_TRUE(AwaitSwitches(host, 20));
}

}  // namespace
