#include "ModalDialog.h"

#include "DataExchange.h"

ModalDialog::ModalDialog(HINSTANCE instance, UINT templateId, HWND parent)
    : m_instance(instance), m_templateId(templateId), m_parent(parent) {}

INT_PTR ModalDialog::doModal() {
    return DialogBoxParamW(m_instance, MAKEINTRESOURCEW(m_templateId), m_parent, dialogProc,
                           reinterpret_cast<LPARAM>(this));
}

void ModalDialog::doDataExchange(DataExchange&) {}

BOOL ModalDialog::onInitDialog() { return TRUE; }

void ModalDialog::onOK() { endDialog(IDOK); }

void ModalDialog::onCancel() { endDialog(IDCANCEL); }

void ModalDialog::onDestroy() {}

bool ModalDialog::onMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

void ModalDialog::endDialog(INT_PTR code) { EndDialog(m_hwnd, code); }

INT_PTR CALLBACK ModalDialog::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ModalDialog* dialog = nullptr;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<ModalDialog*>(lParam);
        dialog->m_hwnd = hwnd;
        SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
    } else {
        dialog = reinterpret_cast<ModalDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (WM_SETFONT, WM_NCCREATE...) go to the
    // dialog manager's default handling.
    if (!dialog) return FALSE;
    INT_PTR result = dialog->dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        dialog->m_hwnd = nullptr;
    }
    return result;
}

INT_PTR ModalDialog::dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        DataExchange exchange(m_hwnd);
        doDataExchange(exchange);
        return onInitDialog();
    }
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED || lParam == 0) {
            if (LOWORD(wParam) == IDOK) {
                onOK();
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                onCancel();
                return TRUE;
            }
        }
        break;
    case WM_DESTROY:
        onDestroy();
        return TRUE;
    default:
        break;
    }
    LRESULT result = 0;
    if (!onMessage(message, wParam, lParam, result)) return FALSE;
    switch (message) {
    // These return their value directly from the dialog procedure.
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
        return static_cast<INT_PTR>(result);
    default:
        SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
}
