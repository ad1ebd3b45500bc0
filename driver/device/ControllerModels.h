// The controller models the driver supports, always searched in this order.
#pragma once

struct ControllerModel {
    const char* name;             // as shown in channel names
    const char* interfacePrefix;  // USB interface 0, where the audio filters live
    const char* devicePrefix;     // the USB device as a whole
};

inline constexpr ControllerModel kControllerModels[] = {
    {"KMX-A7", "usb#vid_7f1d&pid_2a01&mi_00", "usb#vid_7f1d&pid_2a01"},
    {"KMX-B7", "usb#vid_7f1d&pid_2a02&mi_00", "usb#vid_7f1d&pid_2a02"},
    {"KMX-NOVA", "usb#vid_7f1d&pid_2a03&mi_00", "usb#vid_7f1d&pid_2a03"},
};
inline constexpr int kControllerModelCount = sizeof(kControllerModels) / sizeof(kControllerModels[0]);

// The first model whose interface prefix occurs in the (ANSI, case-sensitive)
// device path, or null.
const ControllerModel* FindModelByInterfacePath(const char* path);
