// Helpers of the panel's tests: the installer language, the driver's window in
// another process, and finding a program's top-level windows.
#pragma once

#include <windows.h>

#include <string>

namespace paneltest {

// Sets the installer's two language sources (HKLM) for one test and removes them
// again. A source given as nullopt-like "absent" is deleted.
class ScratchInstallLanguage {
public:
    ScratchInstallLanguage();
    ~ScratchInstallLanguage();
    ScratchInstallLanguage(const ScratchInstallLanguage&) = delete;
    ScratchInstallLanguage& operator=(const ScratchInstallLanguage&) = delete;

    void setNumber(DWORD language);
    void setRaw(DWORD type, const void* data, DWORD size);
    void setText(const wchar_t* text);
    void clear();
};

// A program of ours in another process that owns a window of the driver's class
// and counts the WM_APP + 1 messages it gets (with both parameters 0).
class DriverWindowStub {
public:
    DriverWindowStub();
    ~DriverWindowStub();
    DriverWindowStub(const DriverWindowStub&) = delete;
    DriverWindowStub& operator=(const DriverWindowStub&) = delete;

    bool running() const { return m_process != nullptr; }
    // Closes the window and returns how many messages it received, -1 on failure.
    long stop();

private:
    HANDLE m_process = nullptr;
};

// The first visible top-level window of the process with this window class
// ("#32770" for dialogs and message boxes), waiting up to timeoutMs for it.
HWND WaitForTopLevelWindow(DWORD processId, const wchar_t* className, DWORD timeoutMs);

std::wstring WindowText(HWND window);

std::string PanelPath();

}  // namespace paneltest
