// The application object of our dialog programs: one per process, whose start-up
// routine does all the program's work (typically running one modal dialog). When
// it returns, the program ends; there is no message loop of our own.
#pragma once

#include <windows.h>

class Application {
public:
    explicit Application(HINSTANCE instance) : m_instance(instance) {}
    virtual ~Application() = default;

    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Prepares the common controls the dialog templates use, runs the start-up
    // routine and gives the process exit code.
    int run();

    HINSTANCE instance() const { return m_instance; }

protected:
    // The program's work. Returns the process exit code.
    virtual int initInstance() = 0;

private:
    HINSTANCE m_instance;
};
