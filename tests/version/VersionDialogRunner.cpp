// The dialog half of the version tests' helpers, apart so that programs that do
// not run the dialog need not link a device system.
#include "VersionTestSupport.h"

#include <thread>

#include "CVersionDialog.h"
#include "PanelTestSupport.h"
#include "resource.h"

namespace versiontest {

INT_PTR RunVersionDialog(const std::function<void(HWND)>& user) {
    CVersionDialog dialog(GetModuleHandleW(nullptr));
    const DWORD self = GetCurrentProcessId();
    std::thread person([&] {
        HWND window = paneltest::WaitForTopLevelWindow(self, L"#32770", 20000);
        if (!window) return;
        user(window);
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    });
    const INT_PTR result = dialog.doModal();
    person.join();
    return result;
}

FirmwareRow LookAtFirmware(HWND dialog) {
    auto shown = [dialog](int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; };
    FirmwareRow row;
    row.notConnectedShown = shown(IDC_NOT_CONNECTED);
    row.notConnected = paneltest::WindowText(GetDlgItem(dialog, IDC_NOT_CONNECTED));
    row.rowShown = shown(IDC_MODEL_NAME) && shown(IDC_FIRMWARE_LINE) && shown(IDC_FIRMWARE_VERSION);
    row.rowHidden = !shown(IDC_MODEL_NAME) && !shown(IDC_FIRMWARE_LINE) && !shown(IDC_FIRMWARE_VERSION);
    row.model = paneltest::WindowText(GetDlgItem(dialog, IDC_MODEL_NAME));
    row.version = paneltest::WindowText(GetDlgItem(dialog, IDC_FIRMWARE_VERSION));
    row.furtherRowsHidden = true;
    for (int id : {IDC_MODEL_NAME_2, IDC_FIRMWARE_LINE_2, IDC_FIRMWARE_VERSION_2, IDC_MODEL_NAME_3, IDC_FIRMWARE_LINE_3,
                   IDC_FIRMWARE_VERSION_3, IDC_MODEL_NAME_4, IDC_FIRMWARE_LINE_4, IDC_FIRMWARE_VERSION_4})
        if (shown(id)) row.furtherRowsHidden = false;
    return row;
}

}  // namespace versiontest
