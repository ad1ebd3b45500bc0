// Stands in for the driver's hidden window in a host process: owns a window of the
// driver's class and counts the WM_APP + 1 messages (both parameters 0) it gets.
// Exits with that count when its window is closed; a message with other
// parameters makes it exit with 1000 instead.
#include <windows.h>

namespace {
long g_received = 0;
bool g_badParameters = false;

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP + 1) {
        if (wParam != 0 || lParam != 0) g_badParameters = true;
        ++g_received;
        return 0;
    }
    if (message == WM_CLOSE) {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"Veltrix_KMX_ASIO_WndProc";
    if (!RegisterClassExW(&windowClass)) return 2000;
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, windowClass.lpszClassName, 0, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (!window) return 3000;
    if (HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"VeltrixPanelTestDriverWindowReady")) {
        SetEvent(ready);
        CloseHandle(ready);
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return g_badParameters ? 1000 : static_cast<int>(g_received);
}
