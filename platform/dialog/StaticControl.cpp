#include "StaticControl.h"

#include <commctrl.h>

namespace {
// Identifies our subclass among any others on the same control.
constexpr UINT_PTR kSubclassId = 1;
}  // namespace

StaticControl::~StaticControl() { detach(); }

bool StaticControl::attach(HWND control) {
    detach();
    if (!control || !SetWindowSubclass(control, subclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        return false;
    m_hwnd = control;
    return true;
}

void StaticControl::detach() {
    if (m_hwnd) RemoveWindowSubclass(m_hwnd, subclassProc, kSubclassId);
    m_hwnd = nullptr;
}

LRESULT StaticControl::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return defaultProc(message, wParam, lParam);
}

LRESULT StaticControl::defaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefSubclassProc(m_hwnd, message, wParam, lParam);
}

LRESULT CALLBACK StaticControl::subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                             DWORD_PTR self) {
    auto* control = reinterpret_cast<StaticControl*>(self);
    if (message == WM_NCDESTROY) {
        // The window is going; nothing of ours may be called for it afterwards.
        RemoveWindowSubclass(hwnd, subclassProc, kSubclassId);
        control->m_hwnd = nullptr;
        return DefSubclassProc(hwnd, message, wParam, lParam);
    }
    return control->onMessage(message, wParam, lParam);
}
