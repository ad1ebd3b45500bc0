#include "PresenceSupport.h"

#include <tlhelp32.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "DriverConstants.h"
#include "TestSupport.h"
#include "VeltrixControllerASIO.h"

namespace presence {

Driver::Driver() : m_driver(new VeltrixControllerASIO(nullptr)) { m_driver->InnerAddRef(); }

Driver::~Driver() { Destroy(); }

void Driver::Destroy() {
    if (m_driver) m_driver->InnerRelease();
    m_driver = nullptr;
}

bool Pump(DWORD ms, const std::function<bool()>& until) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (until()) return true;
        if (GetTickCount() - start >= ms) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
}

bool OnOtherThread(const std::function<void()>& work, DWORD timeoutMs) {
    std::atomic<bool> done{false};
    std::thread thread([&] {
        work();
        done = true;
    });
    bool ended = Pump(timeoutMs, [&] { return done.load(); });
    // A thread that hangs is a failure either way; it must still be joined.
    if (!ended) Pump(INFINITE, [&] { return done.load(); });
    thread.join();
    return ended;
}

long RunProbe(const std::string& arguments, DWORD timeoutMs) {
    std::string commandLine = "\"" + testsupport::BuildBinDirectory() + "\\presence_probe.exe\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    CloseHandle(process.hThread);
    const DWORD start = GetTickCount();
    long code = -1;
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) {
            TerminateProcess(process.hProcess, 1);
            break;
        }
        DWORD result = MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        if (result == WAIT_OBJECT_0) {
            DWORD exitCode = 0;
            GetExitCodeProcess(process.hProcess, &exitCode);
            code = static_cast<long>(exitCode);
            break;
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    CloseHandle(process.hProcess);
    return code;
}

namespace {
BOOL CALLBACK CountOwnWindow(HWND window, LPARAM count) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char name[64] = {};
    if (process == GetCurrentProcessId() && GetClassNameA(window, name, sizeof(name)) &&
        std::strcmp(name, kNotifyWindowClass) == 0)
        ++*reinterpret_cast<int*>(count);
    return TRUE;
}
}  // namespace

int OwnNotifyWindows() {
    int count = 0;
    EnumWindows(CountOwnWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

DWORD ProcessHandleCount() {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count;
}

int ProcessThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    int count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
    return count;
}

}  // namespace presence
