#include "CVersionApp.h"

#include "CVersionDialog.h"
#include "VersionIdentity.h"

int CVersionApp::initInstance() {
    // Another copy holds the mutex: its window is on screen, so end silently.
    if (HANDLE existing = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, kVersionMutexName)) {
        CloseHandle(existing);
        return kExitAlreadyRunning;
    }
    // A copy started in the same instant may have created the mutex after our look;
    // creation then hands us that copy's mutex, and this one ends as well rather
    // than showing a second window. A failure to create it leaves the utility
    // without the guard, but running.
    m_instanceMutex.reset(CreateMutexW(nullptr, TRUE, kVersionMutexName));
    if (m_instanceMutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        m_instanceMutex.reset();
        return kExitAlreadyRunning;
    }

    {
        CVersionDialog dialog(instance());
        dialog.doModal();
    }
    m_instanceMutex.reset();
    return kExitOk;
}
