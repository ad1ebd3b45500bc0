// The version utility's dialog: the installed driver's version in the upper group,
// the first connected controller's model and firmware version in the lower one,
// which follows controllers being plugged in and out while the dialog is open.
#pragma once

#include <string>

#include "DeviceWatch.h"
#include "FirmwareScan.h"
#include "ModalDialog.h"

class CVersionDialog : public ModalDialog {
public:
    explicit CVersionDialog(HINSTANCE instance, HWND parent = nullptr);

    // Reads the product version of the driver file at path into the driver
    // version text (empty when there is none).
    void readProductVersion(const wchar_t* path);
    const std::wstring& driverVersion() const { return m_driverVersion; }

    // Rescans the controllers and shows the first one, or the not-connected text.
    void refreshFirmwareRows();

protected:
    BOOL onInitDialog() override;
    void onDestroy() override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void createDialogFont();
    void showDriverRow();
    void onPaint();
    // Always TRUE, so a query-remove is never refused.
    LRESULT onDeviceChange(WPARAM event, LPARAM data);
    void setItemString(int item, UINT stringId);
    void loadString(UINT id, wchar_t* buffer) const;
    void showItem(int item, bool shown);

    HICON m_icon;
    std::wstring m_driverVersion;
    HFONT m_font = nullptr;
    DeviceWatch m_watch;
};
