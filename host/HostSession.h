// One session of our ASIO host against one driver: what real hosts do, from
// finding the driver in the registry to releasing it, with the test signal
// running through the device and every buffer switch timed.
#pragma once

#include <string>
#include <vector>

struct HostOptions {
    std::string driverName = "Veltrix KMX ASIO";
    double sampleRate = 44100.0;
    long bufferFrames = 0;      // 0: the driver's preferred size
    int kernelBuffers = 0;      // 0: leave the driver's setting as it is
    double seconds = 3.0;
    int outputs = -1;           // -1: every output channel
    int inputs = -1;            // -1: every input channel
    bool timeInfo = true;       // answer kAsioSupportsTimeInfo with 1
    std::string wavPath;        // where to write what was recorded; empty: nowhere
};

struct PeriodStats {
    double nominalMs = 0, minMs = 0, medianMs = 0, p99Ms = 0, maxMs = 0;
};

struct ChannelCheck {
    long channel = 0;
    std::string name;
    long long checkedSamples = 0;
    long long errors = 0;
    long long silentSamples = 0;
    long long firstErrorFrame = -1, lastErrorFrame = -1;
    long long errorsInLastStream = 0;
    long long latencyFrames = -1;
    int lockOns = 0;
};

struct SessionReport {
    bool ok = false;
    std::string failure;        // what went wrong
    std::string advice;         // what to do about it
    std::string driverName;
    std::string driverFile;     // the module that serves the driver object
    long driverVersion = 0;
    long inputChannels = 0, outputChannels = 0;
    std::vector<std::string> inputNames, outputNames;
    std::vector<double> supportedRates;
    double sampleRate = 0;
    long minSize = 0, maxSize = 0, preferredSize = 0, granularity = 0;
    long bufferFrames = 0;
    long inputLatency = 0, outputLatency = 0;
    long long bufferSwitches = 0;
    PeriodStats period;
    std::vector<ChannelCheck> loopback;
    int resetRequests = 0;
    int resets = 0;
    bool resetsOnInitThread = true;
    bool haveDeviceCounters = false;
    unsigned long underruns = 0, overruns = 0;
};

// Runs the session; prints progress to stdout while it runs.
SessionReport RunHostSession(const HostOptions& options);

void PrintReport(const SessionReport& report, const HostOptions& options);
