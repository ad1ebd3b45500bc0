// Helpers of the version utility's tests: the resource-only DLLs with odd version
// resources, the driver file in the prefix's system directory, and running the
// utility's dialog in this process while another thread acts as the user.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace versiontest {

// A DLL of this build whose version resource is one odd case (see
// tests/version/fixtures/): other_language, no_product_version, empty,
// code_page_zero, no_resource.
std::string FixturePath(const char* name);

// The file the utility reads: Veltrix_KMX_ASIO.dll in the system directory. The
// object starts with no such file and removes it again when it goes.
class SystemDriverFile {
public:
    SystemDriverFile();
    ~SystemDriverFile();
    SystemDriverFile(const SystemDriverFile&) = delete;
    SystemDriverFile& operator=(const SystemDriverFile&) = delete;

    // Copies source there; true on success.
    bool install(const std::string& source);
    void remove();
    static std::string Path();
};

// Runs the utility's dialog on this thread; user runs on another thread with the
// dialog's window once it shows, and the dialog is closed afterwards whatever
// user did. Returns what the dialog ended with.
INT_PTR RunVersionDialog(const std::function<void(HWND)>& user);

// What the lower group shows, read from the dialog's controls.
struct FirmwareRow {
    bool notConnectedShown = false;
    std::wstring notConnected;
    bool rowShown = false;  // model name, line and version all shown
    bool rowHidden = false; // all three hidden
    std::wstring model;
    std::wstring version;
    bool furtherRowsHidden = false;
};
FirmwareRow LookAtFirmware(HWND dialog);

}  // namespace versiontest
