// A static control of a dialog template that we subclass to paint it ourselves.
// Messages the subclass does not handle reach the control's own procedure.
#pragma once

#include <windows.h>

class StaticControl {
public:
    StaticControl() = default;
    virtual ~StaticControl();

    StaticControl(const StaticControl&) = delete;
    StaticControl& operator=(const StaticControl&) = delete;

    // Takes over the control's messages until it is destroyed or detach is called.
    bool attach(HWND control);
    void detach();

    HWND hwnd() const { return m_hwnd; }

protected:
    // The subclass's message handling; the default passes everything on.
    virtual LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT defaultProc(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);
    HWND m_hwnd = nullptr;
};
