#include "DataExchange.h"

#include "StaticControl.h"

bool DataExchange::control(int id, StaticControl& object) {
    HWND control = GetDlgItem(m_dialog, id);
    return control && object.attach(control);
}
