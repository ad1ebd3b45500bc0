#include "PanelTestSupport.h"

#include <vector>

#include "LocalizedStrings.h"
#include "TestSupport.h"

namespace paneltest {

namespace {
constexpr wchar_t kStubReadyEvent[] = L"VeltrixPanelTestDriverWindowReady";
constexpr wchar_t kDriverWindowClass[] = L"Veltrix_KMX_ASIO_WndProc";
}  // namespace

ScratchInstallLanguage::ScratchInstallLanguage() { clear(); }
ScratchInstallLanguage::~ScratchInstallLanguage() { clear(); }

void ScratchInstallLanguage::clear() {
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kInstallLanguageKeyPath, kInstallLanguageValue);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
}

void ScratchInstallLanguage::setRaw(DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kInstallLanguageKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, kInstallLanguageValue, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void ScratchInstallLanguage::setNumber(DWORD language) { setRaw(REG_DWORD, &language, sizeof(language)); }

void ScratchInstallLanguage::setText(const wchar_t* text) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, kUninstallLanguageValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

DriverWindowStub::DriverWindowStub() {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, kStubReadyEvent);
    std::string command = "\"" + testsupport::BuildBinDirectory() + "\\panel_driver_window_stub.exe\"";
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        HANDLE waits[] = {ready, process.hProcess};
        if (WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0)
            m_process = process.hProcess;
        else
            CloseHandle(process.hProcess);
    }
    CloseHandle(ready);
}

DriverWindowStub::~DriverWindowStub() { stop(); }

long DriverWindowStub::stop() {
    if (!m_process) return -1;
    if (HWND window = FindWindowW(kDriverWindowClass, nullptr)) PostMessageW(window, WM_CLOSE, 0, 0);
    long result = -1;
    if (WaitForSingleObject(m_process, 20000) == WAIT_OBJECT_0) {
        DWORD code = 0;
        if (GetExitCodeProcess(m_process, &code)) result = static_cast<long>(code);
    } else {
        TerminateProcess(m_process, 1);
    }
    CloseHandle(m_process);
    m_process = nullptr;
    return result;
}

namespace {
struct Search {
    DWORD processId;
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK findWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (processId == search->processId && IsWindowVisible(window) && lstrcmpW(className, search->className) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

HWND WaitForTopLevelWindow(DWORD processId, const wchar_t* className, DWORD timeoutMs) {
    Search search = {processId, className, nullptr};
    const DWORD start = GetTickCount();
    for (;;) {
        EnumWindows(findWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found || GetTickCount() - start > timeoutMs) return search.found;
        Sleep(20);
    }
}

std::wstring WindowText(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

std::string PanelPath() { return testsupport::BuildBinDirectory() + "\\Veltrix_KMX_ASIO_Config.exe"; }

}  // namespace paneltest
