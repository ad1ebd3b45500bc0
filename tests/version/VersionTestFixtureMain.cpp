// Entry point of Veltrix_KMX_Version_TestFixture.exe: a test fixture, never
// shipped. It is the version utility itself (the same application object, dialog
// and resources) linked with the virtual controller instead of the operating
// system's devices, so that tests and the screenshot script can show it with
// controllers connected. The environment variable VELTRIX_VIRTUAL_CONTROLLERS
// lists them, comma-separated, as model:revision, for example
// "KMX-B7:0102,KMX-A7:0100". Without it no controller is connected.
#include <cstdlib>
#include <string>

#include "CVersionApp.h"
#include "ScopedDeviceSystem.h"
#include "VirtualController.h"

namespace {

constexpr wchar_t kControllersVariable[] = L"VELTRIX_VIRTUAL_CONTROLLERS";

void ConnectListed(VirtualController& controller, const std::wstring& list) {
    const ControllerModel models[] = {ControllerModel::KmxA7, ControllerModel::KmxB7, ControllerModel::KmxNova};
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(L',', start);
        if (end == std::wstring::npos) end = list.size();
        const std::wstring entry = list.substr(start, end - start);
        start = end + 1;
        const size_t colon = entry.find(L':');
        const std::wstring name = entry.substr(0, colon);
        for (ControllerModel model : models) {
            const std::string modelName = IdentityOf(model).name;
            if (name != std::wstring(modelName.begin(), modelName.end())) continue;
            UnitConfig config = DefaultConfig(model);
            if (colon != std::wstring::npos) {
                const std::wstring revision = entry.substr(colon + 1);
                config.revision.assign(revision.begin(), revision.end());
            }
            controller.Connect(model, config);
        }
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    VirtualController controller;
    wchar_t list[512] = {};
    const DWORD length = GetEnvironmentVariableW(kControllersVariable, list, 512);
    if (length > 0 && length < 512) ConnectListed(controller, list);
    ScopedDeviceSystem installed(controller);
    CVersionApp app(instance);
    return app.run();
}
