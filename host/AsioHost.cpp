// kmx_asio_host: a small ASIO host. It finds drivers only through the registry
// and COM, exactly as hosts do, and reports what it saw.
//   kmx_asio_host [driver name]     (default: "Veltrix KMX ASIO")
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>

#include "AsioDriverList.h"
#include "Asio.h"

namespace {

int Fail(const char* what, const char* advice) {
    std::printf("FAILED: %s\n  What to do: %s\n", what, advice);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string wanted = argc > 1 ? argv[1] : "Veltrix KMX ASIO";
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    std::printf("Reading the ASIO driver list (HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO)...\n");
    std::vector<AsioDriverEntry> drivers = AsioDriverList::Read();
    if (drivers.empty())
        return Fail("no ASIO driver is registered", "register the driver with regsvr32 Veltrix_KMX_ASIO.dll");
    const AsioDriverEntry* chosen = nullptr;
    for (const AsioDriverEntry& d : drivers) {
        std::printf("  %-24s %s  %s%s\n", d.description.c_str(), d.classIdText.c_str(),
                    d.serverPath.empty() ? "(class not registered)" : d.serverPath.c_str(),
                    d.serverFileExists || d.serverPath.empty() ? "" : " (file missing)");
        if (d.keyName == wanted && d.serverFileExists) chosen = &d;
    }
    if (!chosen) return Fail(("driver \"" + wanted + "\" is not in the list, or its file is missing").c_str(),
                             "register the driver with regsvr32 Veltrix_KMX_ASIO.dll");

    std::printf("Creating \"%s\" through COM (class ID as interface ID)...\n", chosen->description.c_str());
    HRESULT hr = CoInitialize(nullptr);
    if (FAILED(hr)) return Fail("CoInitialize failed", "check the Wine prefix");
    IASIO* driver = nullptr;
    hr = CoCreateInstance(chosen->classId, nullptr, CLSCTX_INPROC_SERVER, chosen->classId,
                          reinterpret_cast<void**>(&driver));
    if (FAILED(hr) || !driver) {
        char text[128];
        std::snprintf(text, sizeof(text), "CoCreateInstance returned 0x%08lx", static_cast<unsigned long>(hr));
        CoUninitialize();
        return Fail(text, "re-register the driver with regsvr32 and check that its file is readable");
    }
    std::printf("  created the driver object at %p\n", static_cast<void*>(driver));
    ULONG left = driver->Release();
    std::printf("  released it (references left: %lu)\n", left);
    CoUninitialize();

    std::printf("\nReport\n  driver list entries: %u\n  driver: %s\n  COM creation: ok\n",
                static_cast<unsigned>(drivers.size()), chosen->description.c_str());
    return 0;
}
