#include "Application.h"

#include <commctrl.h>

int Application::run() {
    // Dialog templates name common-control classes (the trackbar, for one); they
    // exist only once the library has registered them in this process.
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);
    return initInstance();
}
