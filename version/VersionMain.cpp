// Entry point of Veltrix_KMX_Version.exe. It takes no arguments.
#include "CVersionApp.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    CVersionApp app(instance);
    return app.run();
}
