// The supported controllers as the version utility knows them, always searched in
// this order: the first present model of the table is the one the dialog shows.
#pragma once

#include <windows.h>

struct ControllerModelRow {
    const wchar_t* name;
    // Lower case, as device-interface paths carry it; the utility does not use it,
    // it only completes the row the driver shares.
    const wchar_t* interfacePrefix;
    // Upper case. A controller's own hardware ID is this prefix followed by the
    // four characters of its revision; the IDs of its interface functions are
    // longer and so never match.
    const wchar_t* hardwareIdPrefix;
};

inline constexpr ControllerModelRow kControllerModels[] = {
    {L"KMX-A7", L"usb#vid_7f1d&pid_2a01&mi_00", L"USB\\VID_7F1D&PID_2A01&REV_"},
    {L"KMX-B7", L"usb#vid_7f1d&pid_2a02&mi_00", L"USB\\VID_7F1D&PID_2A02&REV_"},
    {L"KMX-NOVA", L"usb#vid_7f1d&pid_2a03&mi_00", L"USB\\VID_7F1D&PID_2A03&REV_"},
};

// The vendor and product pairs the controller count looks for in the device ID of
// a USB device's first child.
inline constexpr const wchar_t* kControllerIds[] = {
    L"VID_7F1D&PID_2A01",
    L"VID_7F1D&PID_2A02",
    L"VID_7F1D&PID_2A03",
};

// Characters of the revision that follow the hardware-ID prefix ("0102").
inline constexpr int kRevisionLength = 4;
