#include "CConfigApp.h"

#include "CConfigDialog.h"
#include "CDriverLoader.h"
#include "PanelIdentity.h"
#include "PanelSettings.h"
#include "PanelStrings.h"
#include "resource.h"

namespace {
constexpr int kExitOk = 0;
constexpr int kExitAlreadyRunning = 1;
constexpr int kExitNotInstalled = 2;
}  // namespace

void CConfigApp::loadLocalizedString(UINT id, wchar_t* buffer, std::size_t capacity) const {
    ::loadLocalizedString(instance(), kPanelPortugueseTable, id, buffer, capacity);
}

int CConfigApp::initInstance() {
    // Another panel holds the mutex: it is already on screen, so end silently.
    if (HANDLE existing = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, kPanelMutexName)) {
        m_instanceMutex.reset(existing);
        return kExitAlreadyRunning;
    }
    // A panel started in the same instant may have created it after our look; the
    // creation then hands us that panel's mutex, and this one ends as well. A
    // failure to create it leaves the panel without the guard, but running.
    m_instanceMutex.reset(CreateMutexW(nullptr, TRUE, kPanelMutexName));
    if (m_instanceMutex && GetLastError() == ERROR_ALREADY_EXISTS) return kExitAlreadyRunning;

    if (CDriverLoader::instance().loadByName(kDriverName) < 0) {
        wchar_t text[kPanelShortTextSize];
        wchar_t caption[kPanelShortTextSize];
        loadLocalizedString(IDS_NOT_INSTALLED, text, kPanelShortTextSize);
        loadLocalizedString(IDS_CAPTION, caption, kPanelShortTextSize);
        MessageBoxW(nullptr, text, caption, MB_ICONERROR | MB_OK);
        return kExitNotInstalled;
    }

    const PanelSettings settings = ReadPanelSettings();
    CConfigDialog dialog(instance());
    dialog.setBlockNum(settings.blockNum);
    dialog.setBitResolution(settings.bitResolution);
    dialog.setToggleNum(settings.toggleNum);
    dialog.setSampleRate(settings.sampleRate);
    dialog.doModal();

    m_instanceMutex.reset();
    return kExitOk;
}
