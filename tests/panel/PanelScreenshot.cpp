// Starts a dialog program (the settings panel, the version utility), waits for its
// dialog, saves what the screen shows of it as a 24-bit BMP file and closes it
// again:
//   panel_screenshot.exe <program.exe> <out.bmp>
// Needs a real display (Wine's x11 driver under Xvfb); the tests' headless
// prefix draws nothing.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ScreenCapture.h"

namespace {

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK findDialog(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (processId == search->processId && IsWindowVisible(window) && lstrcmpW(className, L"#32770") == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: panel_screenshot.exe <panel.exe> <out.bmp>\n");
        return 2;
    }
    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "panel_screenshot: CreateProcess failed (error %lu)\n", GetLastError());
        return 1;
    }
    Search search = {process.dwProcessId, nullptr};
    for (int attempt = 0; attempt < 300 && !search.found; ++attempt) {
        EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
        if (!search.found) Sleep(50);
    }
    int result = 1;
    if (!search.found) {
        std::fprintf(stderr, "panel_screenshot: the panel showed no dialog within 15 s\n");
    } else {
        // Let the X server and the window finish drawing before the copy.
        SetForegroundWindow(search.found);
        RedrawWindow(search.found, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
        Sleep(1500);
        if (SaveWindowPicture(search.found, argv[2]))
            result = 0;
        else
            std::fprintf(stderr, "panel_screenshot: could not write the picture\n");
        PostMessageW(search.found, WM_COMMAND, IDCANCEL, 0);
    }
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}
