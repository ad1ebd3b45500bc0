// The controller coming and going while a host streams: a flood of reset
// messages, and many unplugs and replugs at random moments of a session, after
// which the host (this test, doing what hosts do) streams again with every
// looped-back sample accounted for, and nothing is left behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "DriverConstants.h"
#include "PresenceSupport.h"
#include "ScopedDeviceSystem.h"
#include "StreamHarness.h"
#include "TestSupport.h"
#include "VeltrixControllerASIO.h"
#include "VirtualController.h"

namespace {

using presence::Driver;
using presence::OnOtherThread;
using presence::Pump;

constexpr long kFrames = 128;

bool AwaitSwitches(StreamHarness& host, long count, DWORD timeoutMs = 10000) {
    const long target = host.Switches() + count;
    return host.PumpUntil(timeoutMs, [&] { return host.Switches() >= target; });
}

// After the stream has settled (the signal has come round again), every sample
// that comes back is the one played, except where the virtual controller counted
// a capture gap, which breaks the sequence at most once.
void ExpectContinuity(StreamHarness& host, VirtualController& controller, UnitId unit) {
    // A gap is counted when it happens and seen by the host a few blocks later:
    // the gaps of the settling time count too.
    const ULONG overrunsBefore = controller.CaptureCounters(unit).overruns;
    ASSERT_TRUE(AwaitSwitches(host, 30)) << "the stream does not run";
    const LoopbackSignal::ChannelResult before = host.Signal().Result(0);
    ASSERT_TRUE(AwaitSwitches(host, 60)) << "the stream stopped";
    const LoopbackSignal::ChannelResult after = host.Signal().Result(0);
    const ULONG overruns = controller.CaptureCounters(unit).overruns - overrunsBefore;
    EXPECT_GT(after.checkedSamples - before.checkedSamples, 40 * kFrames) << "the loopback does not flow";
    EXPECT_LE(after.errors - before.errors, static_cast<long long>(overruns))
        << "broken samples beyond the device's gaps, first at frame " << after.firstErrorFrame;
}

class PresenceStream : public ::testing::Test {
protected:
    void SetUp() override { unit = controller.Connect(ControllerModel::KmxB7); }

    testsupport::ScratchSettings scratch;
    VirtualController controller;
    UnitId unit = 0;
    ScopedDeviceSystem scope{controller};
};

TEST_F(PresenceStream, AFloodOfResetMessagesGivesOneRequestEachAndTheStreamGoesOn) {
    Driver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    StreamHarness host(driver.get());
    ASSERT_EQ(host.CreateBuffers(2, 4, kFrames), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(AwaitSwitches(host, 20));
    const HWND window = driver->NotifyWindow();
    constexpr int kSent = 300, kPosted = 300, kFromProbe = 200;
    // Sent from another thread, posted into the window's queue, with parameters
    // that mean nothing, and sent from another process, all while streaming.
    ASSERT_TRUE(OnOtherThread([&] {
        for (int i = 0; i < kSent; ++i) SendMessageA(window, kResetRequestMessage, i, -i);
        for (int i = 0; i < kPosted; ++i) PostMessageA(window, kResetRequestMessage, 0xFFFF, i);
    }));
    ASSERT_EQ(presence::RunProbe("send " + std::to_string(kFromProbe)), 0);
    host.PumpUntil(5000, [&] { return host.ResetRequests() >= kSent + kPosted + kFromProbe; });
    EXPECT_EQ(host.ResetRequests(), kSent + kPosted + kFromProbe);
    for (DWORD thread : host.ResetThreads()) ASSERT_EQ(thread, GetCurrentThreadId());
    ExpectContinuity(host, controller, unit);
    host.StopAndDispose();
}

// The devices found at init hold handles that died with the cable, and the host
// was told nothing (it had no buffers). Its stream must still find the
// controller, or, when it is gone, ask for a reset, rather than run empty.
TEST_F(PresenceStream, ACablePulledWhileIdleIsNoticedOnceTheHostStreams) {
    for (bool backBeforeStart : {true, false}) {
        SCOPED_TRACE(backBeforeStart ? "plugged back before start" : "still away at start");
        Driver driver;
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        StreamHarness host(driver.get());
        ASSERT_TRUE(OnOtherThread([&] { controller.Unplug(unit); }));
        if (backBeforeStart) {
            ASSERT_TRUE(OnOtherThread([&] { controller.Plug(unit); }));
        }
        ASSERT_EQ(host.CreateBuffers(2, 4, kFrames), ASE_OK);
        ASSERT_EQ(driver->start(), ASE_OK);
        if (backBeforeStart) {
            ExpectContinuity(host, controller, unit);
            EXPECT_EQ(host.ResetRequests(), 0);
        } else {
            ASSERT_TRUE(host.PumpUntil(10000, [&] { return host.ResetRequests() >= 1; }));
            host.PumpUntil(200, [] { return false; });
            EXPECT_EQ(host.ResetRequests(), 1) << "the stream thread's request, after its reopen attempts";
            EXPECT_EQ(host.ResetThreads()[0], GetCurrentThreadId());
        }
        host.StopAndDispose();
        if (!backBeforeStart) {
            ASSERT_TRUE(OnOtherThread([&] { controller.Plug(unit); }));
        }
    }
}

// A window of the driver's class in another process (another host, say) must not
// get this stream's request: this host would never learn of its lost device.
TEST_F(PresenceStream, TheStreamThreadAsksItsOwnHostEvenWithAnotherProcessWindowAround) {
    Driver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    // The other window comes after ours, so that a search by class alone finds it
    // first.
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"VeltrixPanelTestDriverWindowReady");
    ASSERT_NE(ready, nullptr);
    std::string commandLine = "\"" + testsupport::BuildBinDirectory() + "\\panel_driver_window_stub.exe\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION stub = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &stub));
    CloseHandle(stub.hThread);
    EXPECT_EQ(WaitForSingleObject(ready, 20000), WAIT_OBJECT_0);
    CloseHandle(ready);
    {
        StreamHarness host(driver.get());
        ASSERT_EQ(host.CreateBuffers(2, 4, kFrames), ASE_OK);
        ASSERT_EQ(driver->start(), ASE_OK);
        ASSERT_TRUE(AwaitSwitches(host, 10));
        ASSERT_TRUE(OnOtherThread([&] { controller.Unplug(unit); }));
        // The removal, then the stream thread's request once its attempts fail.
        EXPECT_TRUE(host.PumpUntil(10000, [&] { return host.ResetRequests() >= 2; }));
        host.StopAndDispose();
        ASSERT_TRUE(OnOtherThread([&] { controller.Plug(unit); }));
    }
    // The stub exits with the number of messages it got when its window closes.
    for (HWND window = FindWindowA(kNotifyWindowClass, nullptr); window;
         window = FindWindowExA(nullptr, window, kNotifyWindowClass, nullptr)) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == stub.dwProcessId) PostMessageA(window, WM_CLOSE, 0, 0);
    }
    EXPECT_EQ(WaitForSingleObject(stub.hProcess, 20000), WAIT_OBJECT_0);
    DWORD received = 1234;
    GetExitCodeProcess(stub.hProcess, &received);
    EXPECT_EQ(received, 0u);
    CloseHandle(stub.hProcess);
}

enum class Moment { Idle, Prepared, Running, InsideSwitch };
const char* const kMomentNames[] = {"idle", "prepared", "running", "inside a buffer switch"};

// One session from init to release with the cable pulled at `moment`, for
// `outageMs`, and the host's answer to what followed.
class Cycle {
public:
    Cycle(VirtualController& controller, UnitId unit) : m_controller(controller), m_unit(unit) {}

    void Run(Moment moment, DWORD delayMs, DWORD outageMs, long switchesFirst) {
        OpenSession(moment != Moment::Idle, false);
        if (::testing::Test::HasFatalFailure()) return;
        if (moment == Moment::Running || moment == Moment::InsideSwitch) {
            std::atomic<bool> pulled{false};
            if (moment == Moment::InsideSwitch) {
                const long at = m_host->Switches() + switchesFirst;
                m_host->duringSwitch = [&, at](long number) {
                    if (number == at) {
                        m_controller.Unplug(m_unit);
                        pulled = true;
                    }
                };
            }
            ASSERT_EQ((*m_driver)->start(), ASE_OK);
            if (moment == Moment::InsideSwitch) {
                ASSERT_TRUE(m_host->PumpUntil(10000, [&] { return pulled.load(); }));
                ASSERT_TRUE(OnOtherThread([&] {
                    Sleep(outageMs);
                    m_controller.Plug(m_unit);
                }));
            } else {
                ASSERT_TRUE(AwaitSwitches(*m_host, switchesFirst));
                PullAndPlug(delayMs, outageMs);
            }
            // Back within the reopen attempts: the stream went on by itself.
            ExpectContinuity(*m_host, m_controller, m_unit);
        } else {
            PullAndPlug(delayMs, outageMs);
        }
        if (moment == Moment::Idle) {
            // No buffers, nothing told; the devices found at init are stale, and
            // the stream has to find the controller again by itself.
            EXPECT_EQ(m_host->ResetRequests(), 0);
            ASSERT_EQ(m_host->CreateBuffers(2, 4, kFrames), ASE_OK);
            ASSERT_EQ((*m_driver)->start(), ASE_OK);
            ExpectContinuity(*m_host, m_controller, m_unit);
        } else {
            // With buffers the window reported the removal and the arrival; the
            // host honours the request: a new object, init, buffers, start.
            EXPECT_EQ(m_host->ResetRequests(), 2);
            for (DWORD thread : m_host->ResetThreads()) EXPECT_EQ(thread, GetCurrentThreadId());
            CloseSession();
            OpenSession(true, true);
            if (::testing::Test::HasFatalFailure()) return;
            ExpectContinuity(*m_host, m_controller, m_unit);
            EXPECT_EQ(m_host->ResetRequests(), 0);
        }
        CloseSession();
    }

    ~Cycle() { CloseSession(); }

private:
    void OpenSession(bool buffers, bool start) {
        m_driver.reset(new Driver);
        m_host.reset(new StreamHarness(m_driver->get()));
        ASSERT_EQ((*m_driver)->init(nullptr), ASIOTrue);
        if (buffers) {
            ASSERT_EQ(m_host->CreateBuffers(2, 4, kFrames), ASE_OK);
        }
        if (start) {
            ASSERT_EQ((*m_driver)->start(), ASE_OK);
        }
    }
    void CloseSession() {
        if (m_host && m_driver) m_host->StopAndDispose();
        m_host.reset();
        m_driver.reset();
    }
    void PullAndPlug(DWORD delayMs, DWORD outageMs) {
        ASSERT_TRUE(OnOtherThread([&] {
            Sleep(delayMs);
            m_controller.Unplug(m_unit);
            Sleep(outageMs);
            m_controller.Plug(m_unit);
        }));
    }

    VirtualController& m_controller;
    UnitId m_unit;
    std::unique_ptr<Driver> m_driver;
    std::unique_ptr<StreamHarness> m_host;
};

TEST_F(PresenceStream, FiftyUnplugsAtRandomMomentsLeaveNoHandleOrThreadBehind) {
    const unsigned seed = GetTickCount();
    std::mt19937 random(seed);
    std::printf("seed %u\n", seed);
    // One session of each kind first: threads and handles made once (by the
    // system, and the watcher thread of the test framework's first trace) are
    // there before counting.
    for (Moment moment : {Moment::Idle, Moment::Prepared, Moment::Running, Moment::InsideSwitch}) {
        SCOPED_TRACE(std::string("warm-up, ") + kMomentNames[static_cast<int>(moment)]);
        Cycle warmUp(controller, unit);
        warmUp.Run(moment, 0, 50, 5);
    }
    ASSERT_FALSE(HasFailure());
    const DWORD handlesBefore = presence::ProcessHandleCount();
    const int threadsBefore = presence::ProcessThreadCount();
    const int deviceHandlesBefore = controller.OpenHandleCount();
    for (int i = 0; i < 50 && !HasFailure(); ++i) {
        const Moment moment = static_cast<Moment>(random() % 4);
        // Short outages, well within the stream thread's reopen attempts.
        const DWORD delayMs = random() % 30;
        const DWORD outageMs = random() % 250;
        const long switchesFirst = 1 + random() % 20;
        SCOPED_TRACE("cycle " + std::to_string(i) + ", seed " + std::to_string(seed) + ": " +
                     kMomentNames[static_cast<int>(moment)] + ", out for " + std::to_string(outageMs) + " ms");
        Cycle cycle(controller, unit);
        cycle.Run(moment, delayMs, outageMs, switchesFirst);
    }
    EXPECT_EQ(controller.OpenHandleCount(), deviceHandlesBefore);
    EXPECT_EQ(presence::ProcessThreadCount(), threadsBefore);
    EXPECT_EQ(presence::ProcessHandleCount(), handlesBefore);
    EXPECT_EQ(presence::OwnNotifyWindows(), 0);
}

}  // namespace
