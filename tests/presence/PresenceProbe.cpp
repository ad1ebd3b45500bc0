// Another process looking at a host's driver, as the settings panel and any other
// program see it:
//   presence_probe send N   finds the notification window by its class name and
//                           sends it WM_APP + 1 N times; exit 0, or 2 without window
//   presence_probe mutex    opens the in-use mutex by name; exit 0 when it exists,
//                           1 when it does not, 3 on any other error
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {
constexpr char kWindowClass[] = "Veltrix_KMX_ASIO_WndProc";
constexpr char kMutexName[] = "Global\\NTVeltrixKMXASIO";
constexpr UINT kResetRequestMessage = WM_APP + 1;
}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "send") == 0) {
        const long count = argc >= 3 ? std::atol(argv[2]) : 1;
        HWND window = FindWindowA(kWindowClass, nullptr);
        if (!window) return 2;
        for (long i = 0; i < count; ++i) SendMessageA(window, kResetRequestMessage, 0, 0);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "mutex") == 0) {
        HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kMutexName);
        if (mutex) {
            CloseHandle(mutex);
            return 0;
        }
        return GetLastError() == ERROR_FILE_NOT_FOUND ? 1 : 3;
    }
    return 4;
}
