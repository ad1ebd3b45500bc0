// A modal dialog from a template in the program's resources, with its messages
// dispatched to virtual handlers of the derived class.
#pragma once

#include <windows.h>

class DataExchange;

class ModalDialog {
public:
    ModalDialog(HINSTANCE instance, UINT templateId, HWND parent = nullptr);
    virtual ~ModalDialog() = default;

    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

    // Shows the dialog and returns when it has closed: IDOK, IDCANCEL, or -1 when
    // the dialog could not be created (GetLastError says why).
    INT_PTR doModal();

    HWND hwnd() const { return m_hwnd; }
    HWND item(int id) const { return GetDlgItem(m_hwnd, id); }
    HINSTANCE instance() const { return m_instance; }

protected:
    // Binds controls to their objects; runs before onInitDialog.
    virtual void doDataExchange(DataExchange& exchange);
    // TRUE leaves the focus to the dialog manager.
    virtual BOOL onInitDialog();
    // The OK button or the Enter key; closes with IDOK.
    virtual void onOK();
    // Cancel, the Escape key or the close box; closes with IDCANCEL.
    virtual void onCancel();
    // The window is being destroyed: release what was made for it.
    virtual void onDestroy();
    // Any other message. Return true when handled, with the dialog procedure's
    // result in result (for messages that return a value, SetWindowLongPtr
    // DWLP_MSGRESULT is done here).
    virtual bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    void endDialog(INT_PTR code);

private:
    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    HINSTANCE m_instance;
    UINT m_templateId;
    HWND m_parent;
    HWND m_hwnd = nullptr;
};
