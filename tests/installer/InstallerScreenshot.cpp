// Walks through the setup program as a person would and saves two pictures:
//   installer_screenshot.exe <setup.exe> <language.bmp> <finish.bmp>
// The language page with its list of languages opened, then (English chosen,
// Next pressed until the end) the finish page, which Finish then closes. Then it
// removes the package again with the uninstall entry's quiet uninstall command.
// Needs a real display (Wine's x11 driver under Xvfb).
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ProcessTree.h"
#include "ScreenCapture.h"

namespace {

constexpr int kNextButton = 1;  // NSIS's Next / Install / Finish button
constexpr DWORD kPageTimeoutMs = 60000;
constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Veltrix KMX ASIO";

struct Search {
    DWORD processId;
    HWND except;
    HWND found;
    const wchar_t* className;
};

BOOL CALLBACK findWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (processId == search->processId && window != search->except && IsWindowVisible(window) &&
        lstrcmpW(className, search->className) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND waitForDialog(DWORD processId, HWND except) {
    Search search = {processId, except, nullptr, L"#32770"};
    const DWORD start = GetTickCount();
    while (!search.found && GetTickCount() - start < kPageTimeoutMs) {
        EnumWindows(findWindow, reinterpret_cast<LPARAM>(&search));
        if (!search.found) Sleep(100);
    }
    return search.found;
}

std::wstring text(HWND window) {
    wchar_t buffer[256] = {};
    GetWindowTextW(window, buffer, 256);
    return buffer;
}

void settle(HWND window) {
    SetForegroundWindow(window);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    Sleep(1500);
}

bool fail(const char* what) {
    std::fprintf(stderr, "installer_screenshot: %s\n", what);
    return false;
}

bool walkThrough(DWORD processId, const wchar_t* languagePicture, const wchar_t* finishPicture) {
    HWND language = waitForDialog(processId, nullptr);
    if (!language) return fail("the setup program showed no language page");
    HWND list = FindWindowExW(language, nullptr, L"ComboBox", nullptr);
    if (!list) return fail("the language page has no list of languages");
    // Every offered language visible at once in the opened list.
    const int languages = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
    SendMessageW(list, CB_SETMINVISIBLE, languages, 0);
    RECT box;
    GetWindowRect(list, &box);
    const int itemHeight = static_cast<int>(SendMessageW(list, CB_GETITEMHEIGHT, 0, 0));
    SetWindowPos(list, nullptr, 0, 0, box.right - box.left, (box.bottom - box.top) + (languages + 1) * itemHeight,
                 SWP_NOMOVE | SWP_NOZORDER);
    SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
    settle(language);
    RECT bounds;
    GetWindowRect(language, &bounds);
    // The opened list is a top-level window of its own (GetComboBoxInfo does not
    // reach into another process).
    Search opened = {processId, nullptr, nullptr, L"ComboLBox"};
    EnumWindows(findWindow, reinterpret_cast<LPARAM>(&opened));
    if (opened.found) {
        RECT dropped;
        GetWindowRect(opened.found, &dropped);
        UnionRect(&bounds, &bounds, &dropped);
    }
    if (!SaveScreenPicture(bounds, languagePicture)) return fail("could not write the language page's picture");
    SendMessageW(list, CB_SHOWDROPDOWN, FALSE, 0);
    PostMessageW(GetDlgItem(language, IDOK), BM_CLICK, 0, 0);

    HWND wizard = waitForDialog(processId, language);
    if (!wizard) return fail("the setup program showed no wizard after the language page");
    HWND next = GetDlgItem(wizard, kNextButton);
    // Next on the welcome page, then again once the files are installed, until
    // the button says Finish.
    const DWORD start = GetTickCount();
    while (text(next).find(L"Finish") == std::wstring::npos) {
        if (GetTickCount() - start > kPageTimeoutMs) return fail("the finish page did not come");
        if (IsWindowEnabled(next)) PostMessageW(next, BM_CLICK, 0, 0);
        Sleep(1000);
    }
    settle(wizard);
    if (!SaveWindowPicture(wizard, finishPicture)) return fail("could not write the finish page's picture");
    PostMessageW(next, BM_CLICK, 0, 0);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: installer_screenshot.exe <setup.exe> <language.bmp> <finish.bmp>\n");
        return 2;
    }
    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "installer_screenshot: CreateProcess failed (error %lu)\n", GetLastError());
        return 1;
    }
    bool done = walkThrough(process.dwProcessId, argv[2], argv[3]);
    if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    // The entry is in the native registry view (the 64-bit one on 64-bit Windows).
    char uninstall[MAX_PATH * 2] = {};
    DWORD size = sizeof(uninstall) - 1;
    HKEY key = nullptr;
    LSTATUS read = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | KEY_WOW64_64KEY, &key);
    if (read == ERROR_SUCCESS) {
        read = RegQueryValueExA(key, "QuietUninstallString", nullptr, nullptr, reinterpret_cast<BYTE*>(uninstall), &size);
        RegCloseKey(key);
    }
    if (read != ERROR_SUCCESS) {
        done = fail("no uninstall entry: the package was not installed");
    } else if (RunAndWaitForChildren(uninstall, kPageTimeoutMs) != 0) {
        done = fail("the uninstaller failed");
    }
    return done ? 0 : 1;
}
