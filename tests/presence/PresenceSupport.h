// What the presence tests share: a driver object owned as COM owns it, serving
// this thread's window messages while something else happens (another thread,
// another process), and looking at the process's notification windows.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

class VeltrixControllerASIO;

namespace presence {

class Driver {
public:
    Driver();
    ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;
    VeltrixControllerASIO* operator->() const { return m_driver; }
    VeltrixControllerASIO* get() const { return m_driver; }
    // Releases the object now (its destructor runs on this thread).
    void Destroy();

private:
    VeltrixControllerASIO* m_driver;
};

// Serves this thread's window messages for up to ms milliseconds, or until
// `until` returns true; true when it did.
bool Pump(DWORD ms, const std::function<bool()>& until = [] { return false; });

// Runs `work` on a thread of its own while this thread serves its window
// messages (the notification window lives here); false when it did not end
// within timeoutMs.
bool OnOtherThread(const std::function<void()>& work, DWORD timeoutMs = 20000);

// Runs tests' helper presence_probe.exe with these arguments while serving this
// thread's messages; its exit code, or -1 when it could not run or hung.
long RunProbe(const std::string& arguments, DWORD timeoutMs = 30000);

// Top-level windows of the driver's class owned by this process.
int OwnNotifyWindows();

// Handles and threads of this process.
DWORD ProcessHandleCount();
int ProcessThreadCount();

}  // namespace presence
