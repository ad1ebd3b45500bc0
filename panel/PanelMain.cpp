// Entry point of Veltrix_KMX_ASIO_Config.exe. The driver's control panel call
// starts it without arguments; it reads none.
#include "CConfigApp.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    CConfigApp app(instance);
    return app.run();
}
