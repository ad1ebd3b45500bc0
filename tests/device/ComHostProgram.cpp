// kmx_com_host_probe: the first steps of any ASIO host, in a process of its own.
// Creates the registered driver through COM (class ID as interface ID), calls init
// and writes what it learns, one item a line, to the file named on its command
// line. It links nothing of the driver: it sees only what COM loads.
#include <windows.h>
#include <objbase.h>

#include <cstdio>

#include "Asio.h"
#include "DriverIdentity.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::printf("usage: kmx_com_host_probe OUTPUT_FILE\n");
        return 2;
    }
    std::FILE* out = std::fopen(argv[1], "w");
    if (!out) {
        std::printf("cannot write %s\n", argv[1]);
        return 2;
    }
    HRESULT hr = CoInitialize(nullptr);
    if (FAILED(hr)) {
        std::fprintf(out, "CoInitialize failed: 0x%08lx\n", static_cast<unsigned long>(hr));
        std::fclose(out);
        return 1;
    }
    IASIO* driver = nullptr;
    hr = CoCreateInstance(kDriverClassId, nullptr, CLSCTX_INPROC_SERVER, kDriverClassId,
                          reinterpret_cast<void**>(&driver));
    if (FAILED(hr) || !driver) {
        std::fprintf(out, "CoCreateInstance failed: 0x%08lx\n", static_cast<unsigned long>(hr));
        std::fclose(out);
        CoUninitialize();
        return 1;
    }
    std::fprintf(out, "init %ld\n", static_cast<long>(driver->init(nullptr)));
    char name[32] = {};
    driver->getDriverName(name);
    std::fprintf(out, "driver %s\n", name);
    long inputs = 0, outputs = 0;
    driver->getChannels(&inputs, &outputs);
    std::fprintf(out, "channels %ld in, %ld out\n", inputs, outputs);
    for (int input = 0; input < 2; ++input) {
        for (long c = 0; c < (input ? inputs : outputs); ++c) {
            ASIOChannelInfo info = {};
            info.channel = c;
            info.isInput = input ? ASIOTrue : ASIOFalse;
            ASIOError result = driver->getChannelInfo(&info);
            std::fprintf(out, "%s %ld: %s (%ld)\n", input ? "in" : "out", c, info.name, static_cast<long>(result));
        }
    }
    driver->Release();
    CoUninitialize();
    std::fclose(out);
    return 0;
}
