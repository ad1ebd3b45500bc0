// Binds a dialog's controls to the objects that stand for them, once the dialog
// window exists and before its initialization runs.
#pragma once

#include <windows.h>

class StaticControl;

class DataExchange {
public:
    explicit DataExchange(HWND dialog) : m_dialog(dialog) {}

    // Subclasses control id of the dialog with the given object. False when the
    // dialog has no such control.
    bool control(int id, StaticControl& object);

private:
    HWND m_dialog;
};
