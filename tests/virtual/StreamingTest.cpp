// Overlapped streaming against the device clock: loopback bit-exactness, pacing,
// underruns, and unplug and plug while streaming with the broadcasts a window gets.
#include "KsTestHelpers.h"
#include "ScopedDeviceSystem.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>

using namespace kstest;

namespace {
constexpr ULONG kFrames = 64;
constexpr int kRing = 3;

uint32_t Sample24(int frame, int channel) { return uint32_t(frame * 7 + channel * 0x10001 + 0x123456) & 0xFFFFFF; }

class Streaming : public ::testing::Test {
protected:
    Streaming() : install(controller) { unit = controller.Connect(ControllerModel::KmxA7); }
    void SetUp() override {
        renderFilter = OpenFilter(KSCATEGORY_RENDER, "pid_2a01");
        captureFilter = OpenFilter(KSCATEGORY_CAPTURE, "pid_2a01");
        ASSERT_EQ(CreatePin(renderFilter, {false, 4, 48000, 3, 0}, &renderPin), DWORD(ERROR_SUCCESS));
        ASSERT_EQ(CreatePin(captureFilter, {false, 2, 48000, 3, 0}, &capturePin), DWORD(ERROR_SUCCESS));
        for (int i = 0; i < kRing; ++i) {
            writes.push_back(std::make_unique<StreamBuffer>(kFrames * 4 * 3));
            reads.push_back(std::make_unique<StreamBuffer>(kFrames * 2 * 3));
        }
    }
    void TearDown() override {
        DeviceSystem& system = DeviceSystemInstance();
        for (HANDLE h : {renderPin, capturePin, renderFilter, captureFilter})
            if (h != INVALID_HANDLE_VALUE) system.CloseHandle(h);
        EXPECT_EQ(controller.OpenHandleCount(), 0);
    }
    void FillBlock(StreamBuffer& buffer, int firstFrame) {
        for (ULONG f = 0; f < kFrames; ++f)
            for (int c = 0; c < 4; ++c) {
                uint32_t s = Sample24(firstFrame + int(f), c);
                BYTE* at = buffer.data.data() + (f * 4 + c) * 3;
                at[0] = BYTE(s), at[1] = BYTE(s >> 8), at[2] = BYTE(s >> 16);
            }
    }
    void Run() {
        ASSERT_EQ(SetState(renderPin, KSSTATE_ACQUIRE), DWORD(ERROR_SUCCESS));
        ASSERT_EQ(SetState(renderPin, KSSTATE_PAUSE), DWORD(ERROR_SUCCESS));
        ASSERT_EQ(SetState(capturePin, KSSTATE_PAUSE), DWORD(ERROR_SUCCESS));
        ASSERT_EQ(SetState(renderPin, KSSTATE_RUN), DWORD(ERROR_SUCCESS));
        ASSERT_EQ(SetState(capturePin, KSSTATE_RUN), DWORD(ERROR_SUCCESS));
    }

    VirtualController controller;
    ScopedDeviceSystem install;
    UnitId unit = 0;
    HANDLE renderFilter = INVALID_HANDLE_VALUE, captureFilter = INVALID_HANDLE_VALUE;
    HANDLE renderPin = INVALID_HANDLE_VALUE, capturePin = INVALID_HANDLE_VALUE;
    std::vector<std::unique_ptr<StreamBuffer>> writes, reads;
};
}  // namespace

TEST_F(Streaming, LoopbackReturnsEveryBlockBitExactAndNothingCompletesEarly) {
    controller.UseManualClock();
    // Queued while paused, as the driver primes its rings before the clock runs.
    ASSERT_EQ(SetState(renderPin, KSSTATE_PAUSE), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(SetState(capturePin, KSSTATE_PAUSE), DWORD(ERROR_SUCCESS));
    const int blocks = 24;
    for (int b = 0; b < kRing; ++b) {
        FillBlock(*writes[b], b * int(kFrames));
        ASSERT_TRUE(writes[b]->Write(renderPin));
        ASSERT_TRUE(reads[b]->Read(capturePin));
    }
    controller.AdvanceClock(kFrames);  // paused: the clock stands
    EXPECT_FALSE(writes[0]->Done());
    Run();
    for (int b = 0; b < blocks; ++b) {
        StreamBuffer& write = *writes[b % kRing];
        StreamBuffer& read = *reads[b % kRing];
        controller.AdvanceClock(kFrames - 1);
        EXPECT_FALSE(write.Done()) << "block " << b << " completed before its last frame played";
        EXPECT_FALSE(read.Done()) << "block " << b;
        controller.AdvanceClock(1);
        ASSERT_TRUE(write.Done()) << b;
        ASSERT_TRUE(read.Done()) << b;
        EXPECT_EQ(read.header.DataUsed, kFrames * 2 * 3);
        for (ULONG f = 0; f < kFrames; ++f)
            for (int c = 0; c < 2; ++c) {
                const BYTE* at = read.data.data() + (f * 2 + c) * 3;
                uint32_t got = at[0] | (at[1] << 8) | (at[2] << 16);
                ASSERT_EQ(got, Sample24(b * int(kFrames) + int(f), c)) << "block " << b << " frame " << f;
            }
        FillBlock(write, (b + kRing) * int(kFrames));
        ASSERT_TRUE(write.Write(renderPin));
        ASSERT_TRUE(read.Read(capturePin));
    }
    EXPECT_EQ(controller.RenderCounters(unit).underruns, 0u);
    EXPECT_EQ(controller.CaptureCounters(unit).overruns, 0u);
    EXPECT_EQ(controller.RenderCounters(unit).writesCompleted, ULONG(blocks));

    // Frames with nothing queued count once per gap.
    ASSERT_EQ(SetState(renderPin, KSSTATE_STOP), DWORD(ERROR_SUCCESS));  // cancels the queue
    ASSERT_EQ(SetState(capturePin, KSSTATE_STOP), DWORD(ERROR_SUCCESS));
    EXPECT_TRUE(writes[0]->Done());
    EXPECT_EQ(reads[0]->header.DataUsed, 0u);
    Run();
    controller.AdvanceClock(kFrames * 4);
    EXPECT_EQ(controller.RenderCounters(unit).underruns, 1u);
    EXPECT_EQ(controller.CaptureCounters(unit).overruns, 1u);
}

TEST_F(Streaming, RealClockNeverCompletesAheadOfTheSampleRate) {
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    for (auto& write : writes) ASSERT_TRUE(write->Write(renderPin) || true);  // stopped: refused, requeued below
    ASSERT_EQ(SetState(renderPin, KSSTATE_PAUSE), DWORD(ERROR_SUCCESS));
    for (auto& write : writes) ASSERT_TRUE(write->Write(renderPin));
    QueryPerformanceCounter(&start);
    ASSERT_EQ(SetState(renderPin, KSSTATE_RUN), DWORD(ERROR_SUCCESS));
    ULONGLONG completedFrames = 0;
    for (int b = 0; b < 150; ++b) {  // 200 ms of audio
        StreamBuffer& write = *writes[b % kRing];
        ASSERT_EQ(WaitForSingleObject(write.event, 2000), WAIT_OBJECT_0) << b;
        QueryPerformanceCounter(&now);
        completedFrames += kFrames;
        ULONGLONG elapsedFrames = ULONGLONG(now.QuadPart - start.QuadPart) * 48000 / ULONGLONG(frequency.QuadPart);
        ASSERT_LE(completedFrames, elapsedFrames) << "block " << b << " completed ahead of the clock";
        ASSERT_TRUE(write.Write(renderPin));
    }
}

namespace {
struct Heard {
    WPARAM event;
    DWORD deviceType;
    GUID interfaceClass;
    std::string name;
    DWORD thread;
};
std::vector<Heard> g_heard;

LRESULT CALLBACK ListeningWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE && (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
        auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(lParam);
        g_heard.push_back({wParam, record->dbcc_devicetype, record->dbcc_classguid, record->dbcc_name,
                           GetCurrentThreadId()});
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Runs `action` on another thread while this thread handles its window's messages.
void WhilePumping(const std::function<void()>& action) {
    HANDLE finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread worker([&] {
        action();
        SetEvent(finished);
    });
    while (MsgWaitForMultipleObjects(1, &finished, FALSE, 5000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    worker.join();
    CloseHandle(finished);
}
}  // namespace

TEST_F(Streaming, UnplugCompletesPendingEmptyFailsLaterCallsAndTellsTheWindow) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ListeningWindow;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "VirtualControllerListener";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = GUID_DEVINTERFACE_USB_DEVICE;
    HDEVNOTIFY notification =
        DeviceSystemInstance().RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    ASSERT_NE(notification, nullptr);
    g_heard.clear();

    controller.StallCompletions(true);  // keep every request pending until the unplug
    Run();
    for (int b = 0; b < kRing; ++b) {
        ASSERT_TRUE(writes[b]->Write(renderPin));
        ASSERT_TRUE(reads[b]->Read(capturePin));
    }
    size_t heardWhenUnplugReturned = 0;
    WhilePumping([&] {
        controller.Unplug(unit);
        heardWhenUnplugReturned = g_heard.size();
    });
    controller.StallCompletions(false);

    ASSERT_EQ(g_heard.size(), 1u);
    EXPECT_EQ(heardWhenUnplugReturned, 1u) << "the broadcast is delivered before Unplug returns";
    EXPECT_EQ(g_heard[0].event, WPARAM(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(g_heard[0].deviceType, DWORD(DBT_DEVTYP_DEVICEINTERFACE));
    EXPECT_EQ(g_heard[0].thread, GetCurrentThreadId()) << "delivered on the window's own thread";
    EXPECT_NE(g_heard[0].name.find("usb#vid_7f1d&pid_2a01#"), std::string::npos) << g_heard[0].name;

    for (int b = 0; b < kRing; ++b) {
        EXPECT_TRUE(writes[b]->Done());
        EXPECT_TRUE(reads[b]->Done());
        EXPECT_EQ(reads[b]->header.DataUsed, 0u);
        EXPECT_EQ(reads[b]->data[0], 0x7F);
    }
    EXPECT_FALSE(writes[0]->Write(renderPin));
    EXPECT_EQ(writes[0]->lastError, DWORD(ERROR_DEVICE_REMOVED));
    EXPECT_EQ(SetState(renderPin, KSSTATE_STOP), DWORD(ERROR_DEVICE_REMOVED));
    ULONG count = 0;
    EXPECT_EQ(PinProperty(renderFilter, 0, KSPROPERTY_PIN_CTYPES, &count, 4, nullptr), DWORD(ERROR_DEVICE_REMOVED));
    HANDLE pin;
    EXPECT_EQ(CreatePin(renderFilter, {false, 4, 48000, 3, 0}, &pin), DWORD(ERROR_DEVICE_REMOVED));
    EXPECT_EQ(OpenFilter(KSCATEGORY_RENDER, "pid_2a01"), INVALID_HANDLE_VALUE);

    g_heard.clear();
    WhilePumping([&] { controller.Plug(unit); });
    ASSERT_EQ(g_heard.size(), 1u);
    EXPECT_EQ(g_heard[0].event, WPARAM(DBT_DEVICEARRIVAL));
    // Handles from before the removal stay dead; a fresh open works.
    EXPECT_EQ(SetState(renderPin, KSSTATE_RUN), DWORD(ERROR_DEVICE_REMOVED));
    HANDLE again = OpenFilter(KSCATEGORY_RENDER, "pid_2a01");
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    DeviceSystemInstance().CloseHandle(again);

    EXPECT_TRUE(DeviceSystemInstance().UnregisterDeviceNotification(notification));
    DestroyWindow(window);
    UnregisterClassA(windowClass.lpszClassName, windowClass.hInstance);
}
