// kmx_asio_host: our ASIO host. It finds drivers only through the registry and COM,
// exactly as hosts do, streams a test signal for a while and reports what it saw.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "HostSession.h"

namespace {

void Usage() {
    std::printf(
        "usage: kmx_asio_host [options]\n"
        "  --driver NAME        driver list entry (default \"Veltrix KMX ASIO\")\n"
        "  --rate HZ            sample rate (default 44100)\n"
        "  --buffer FRAMES      buffer size (default: the driver's preferred size)\n"
        "  --kernel-buffers N   the driver's kernel buffers per pin, 2 to 4 (default: its setting)\n"
        "  --seconds S          how long to stream (default 3)\n"
        "  --outputs N --inputs N   channels to use (default: all)\n"
        "  --no-time-info       take plain bufferSwitch calls\n"
        "  --wav FILE           write what was recorded to FILE\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    HostOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::printf("%s needs a value\n", name);
                Usage();
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--driver") options.driverName = value("--driver");
        else if (arg == "--rate") options.sampleRate = std::atof(value("--rate"));
        else if (arg == "--buffer") options.bufferFrames = std::atol(value("--buffer"));
        else if (arg == "--kernel-buffers") options.kernelBuffers = std::atoi(value("--kernel-buffers"));
        else if (arg == "--seconds") options.seconds = std::atof(value("--seconds"));
        else if (arg == "--outputs") options.outputs = std::atoi(value("--outputs"));
        else if (arg == "--inputs") options.inputs = std::atoi(value("--inputs"));
        else if (arg == "--no-time-info") options.timeInfo = false;
        else if (arg == "--wav") options.wavPath = value("--wav");
        else if (arg == "--help" || arg == "-h") {
            Usage();
            return 0;
        } else {
            std::printf("unknown option %s\n", arg.c_str());
            Usage();
            return 2;
        }
    }
    SessionReport report = RunHostSession(options);
    PrintReport(report, options);
    return report.ok ? 0 : 1;
}
