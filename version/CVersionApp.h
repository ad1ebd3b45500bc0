// The version utility program: one copy per machine, showing one modal dialog.
#pragma once

#include "Application.h"
#include "UniqueHandle.h"

class CVersionApp : public Application {
public:
    explicit CVersionApp(HINSTANCE instance) : Application(instance) {}

    // Exit codes: the dialog ran, or another copy was already running.
    static constexpr int kExitOk = 0;
    static constexpr int kExitAlreadyRunning = 1;

protected:
    int initInstance() override;

private:
    UniqueHandle m_instanceMutex;
};
