// Entry point of Veltrix_KMX_Version_TestFixture.exe: a test fixture, never
// shipped. It is the version utility itself (the same application object, dialog
// and resources) linked with the virtual controller instead of the operating
// system's devices, so that tests and the screenshot script can show it with
// controllers connected. The environment variable VELTRIX_VIRTUAL_CONTROLLER
// lists them in the syntax of virtual/FixturePlan.h, for example
// "KMX-B7@0102+KMX-A7@0100". Without it no controller is connected.
#include <cstdlib>
#include <string>

#include "CVersionApp.h"
#include "FixturePlan.h"
#include "ScopedDeviceSystem.h"
#include "VirtualController.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    VirtualController controller;
    const char* text = std::getenv(kVirtualControllerVariable);
    FixturePlan plan;
    std::string error;
    if (text && *text && ParseFixturePlan(text, plan, error)) {
        for (const FixturePlan::Unit& unit : plan.units) {
            UnitConfig config = DefaultConfig(unit.model);
            if (!unit.revision.empty()) config.revision = unit.revision;
            controller.Connect(unit.model, config);
        }
    }
    ScopedDeviceSystem installed(controller);
    CVersionApp app(instance);
    return app.run();
}
