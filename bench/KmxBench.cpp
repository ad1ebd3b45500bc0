// kmx_bench: measures the stream against the virtual controller and prints what it
// found, as ratios and shares measured side by side in this one run.
//   kmx_bench [--minute SECONDS] [--jitter SECONDS]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CAudioDevice.h"
#include "DriverObject.h"
#include "DriverSettings.h"
#include "ScopedDeviceSystem.h"
#include "StreamHarness.h"
#include "TestSupport.h"
#include "VeltrixControllerASIO.h"
#include "VirtualController.h"

namespace {

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / frequency.QuadPart;
}

void StoreSettings(long blockNum, long toggleNum) {
    testsupport::WriteDword(HKEY_CURRENT_USER, kSettingsKeyPath, kBlockNumValue, blockNum);
    testsupport::WriteDword(HKEY_CURRENT_USER, kSettingsKeyPath, kBitResolutionValue, 1);
    testsupport::WriteDword(HKEY_CURRENT_USER, kSettingsKeyPath, kToggleNumValue, toggleNum);
    testsupport::WriteDword(HKEY_CURRENT_USER, kSettingsKeyPath, kSampleRateValue, 44100);
}

struct StreamResult {
    double nominalMs = 0, medianMs = 0, p99Ms = 0, maxMs = 0, minMs = 0;
    long switches = 0;
    unsigned long underruns = 0, overruns = 0;
    long long broken = 0, silent = 0;
};

// Streams the default KMX-B7 for `seconds`, timing every buffer switch.
StreamResult Stream(long frames, long toggleNum, double seconds) {
    testsupport::ScratchSettings scratch;
    StoreSettings(frames / 64, toggleNum);
    VirtualController controller;
    UnitId unit = controller.Connect(ControllerModel::KmxB7);
    ScopedDeviceSystem scope(controller);
    testsupport::DriverObject driver;
    StreamResult result;
    if (driver->init(nullptr) != ASIOTrue) return result;
    StreamHarness host(driver.get());
    host.CreateBuffers(2, 4, frames);
    driver->start();
    // The switch times are taken in the callbacks; this thread only waits, as a
    // host's user-interface thread would.
    Sleep(static_cast<DWORD>(seconds * 1000));
    host.StopChecking();
    StreamCounters render = controller.RenderCounters(unit);
    StreamCounters capture = controller.CaptureCounters(unit);
    host.StopAndDispose();
    result.switches = host.Switches();
    result.underruns = render.underruns;
    result.overruns = capture.overruns;
    result.broken = host.Signal().Result(0).errors;
    result.silent = host.Signal().Result(0).silentSamples;
    result.nominalMs = 1000.0 * frames / 44100.0;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<SwitchRecord> records = host.Records();
    std::vector<double> periods;
    for (size_t i = 1; i < records.size(); ++i)
        periods.push_back(static_cast<double>(records[i].counter - records[i - 1].counter) * 1000.0 / frequency.QuadPart);
    if (!periods.empty()) {
        std::sort(periods.begin(), periods.end());
        result.minMs = periods.front();
        result.medianMs = periods[periods.size() / 2];
        result.p99Ms = periods[std::min(periods.size() - 1, periods.size() * 99 / 100)];
        result.maxMs = periods.back();
    }
    return result;
}

// The block path of one cycle on prepared devices, without waiting for the clock:
// the virtual controller runs on a manual clock, advanced by one block per cycle.
struct CycleCost {
    double copyUs = 0, memcpyUs = 0, cycleUs = 0, periodUs = 0;
};

CycleCost MeasureCycle(long frames) {
    VirtualController controller;
    controller.Connect(ControllerModel::KmxB7);
    controller.UseManualClock();
    ScopedDeviceSystem scope(controller);
    CycleCost cost;
    cost.periodUs = 1e6 * frames / 44100.0;
    CAudioDevice render(CAudioDevice::kRender, 4, 4);
    CAudioDevice capture(CAudioDevice::kCapture, 2, 4);
    const long outputs[] = {0, 1, 2, 3}, inputs[] = {0, 1};
    std::vector<std::vector<int32_t>> out(4, std::vector<int32_t>(2 * frames, 0x12345600));
    std::vector<std::vector<int32_t>> in(2, std::vector<int32_t>(2 * frames, 0));
    void* outBuffers[4] = {out[0].data(), out[1].data(), out[2].data(), out[3].data()};
    void* inBuffers[2] = {in[0].data(), in[1].data()};
    render.Prepare(frames, 3, 4, outputs, 44100);
    capture.Prepare(frames, 3, 2, inputs, 44100);

    // The copies alone against memcpy of the same bytes (host side).
    const int rounds = 20000;
    std::vector<char> source(4 * 4 * frames), target(4 * 4 * frames);
    double start = Now();
    for (int r = 0; r < rounds; ++r) {
        for (int c = 0; c < 4; ++c) render.CopyToDevice(c, r, outBuffers[c]);
        for (int c = 0; c < 2; ++c) capture.CopyFromDevice(c, r, inBuffers[c]);
    }
    cost.copyUs = (Now() - start) * 1e6 / rounds;
    start = Now();
    for (int r = 0; r < rounds; ++r) {
        std::memcpy(target.data(), source.data(), 4 * 4 * frames);   // the four outputs
        std::memcpy(source.data(), target.data(), 2 * 4 * frames);   // the two inputs
        source[r % source.size()] = static_cast<char>(r);             // keep the copies from being folded
    }
    cost.memcpyUs = (Now() - start) * 1e6 / rounds;

    // One cycle's transfers: read and requeue, write and queue, as the stream
    // thread makes them (its waits excluded), with the device clock advanced.
    const int cycles = 3000;
    double spent = 0;
    for (int n = 0; n < cycles; ++n) {
        controller.AdvanceClock(static_cast<ULONG>(frames));
        double t = Now();
        capture.ReadBlock(n, 2, inputs, inBuffers);
        render.WriteBlock(n, 4, outputs, outBuffers);
        spent += Now() - t;
    }
    cost.cycleUs = spent * 1e6 / cycles;
    capture.Release(2, inputs);
    render.Release(4, outputs);
    return cost;
}

struct InitResult {
    double seconds = 0;
    bool found = false;
    int pinsOpened = 0;
};

InitResult MeasureInit(bool withController) {
    testsupport::ScratchSettings scratch;
    VirtualController controller;
    if (withController) controller.Connect(ControllerModel::KmxB7);
    ScopedDeviceSystem scope(controller);
    InitResult result;
    {
        testsupport::DriverObject driver;
        double start = Now();
        result.found = driver->init(nullptr) == ASIOTrue;
        result.seconds = Now() - start;
    }
    if (withController) {
        CAudioDevice render(CAudioDevice::kRender, 4, 4);
        CAudioDevice capture(CAudioDevice::kCapture, 2, 4);
        result.pinsOpened = render.probePinsOpened + capture.probePinsOpened;
    }
    return result;
}

void PrintStream(const char* what, const StreamResult& r) {
    std::printf("  %-34s switches %6ld  period median %.3f  p99 %.3f  max %.3f ms  (nominal %.3f; p99 - nominal %+.3f ms)\n",
                what, r.switches, r.medianMs, r.p99Ms, r.maxMs, r.nominalMs, r.p99Ms - r.nominalMs);
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    double minute = 60.0, jitter = 10.0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--minute")) minute = std::atof(argv[i + 1]);
        if (!std::strcmp(argv[i], "--jitter")) jitter = std::atof(argv[i + 1]);
    }
    std::printf("kmx_bench: the driver against a virtual KMX-B7, 44100 Hz, 24-bit setting\n\n");

    std::printf("Buffer-switch period (%.0f s each)...\n", jitter);
    StreamResult at64 = Stream(64, 3, jitter);
    PrintStream("64 frames, 3 kernel buffers", at64);
    StreamResult at256 = Stream(256, 3, jitter);
    PrintStream("256 frames, 3 kernel buffers", at256);

    std::printf("\nUnderruns and overruns over %.0f s at 64 frames, 3 kernel buffers...\n", minute);
    StreamResult longRun = Stream(64, 3, minute);
    std::printf("  %ld switches, %lu underruns, %lu overruns; loopback: %lld broken, %lld silent samples\n",
                longRun.switches, longRun.underruns, longRun.overruns, longRun.broken, longRun.silent);

    std::printf("\nThe block path (256 frames, 4 outputs and 2 inputs, 32-bit host samples, 3-byte containers)...\n");
    CycleCost cost = MeasureCycle(256);
    std::printf("  copies of one block: %.2f us; memcpy of the same bytes: %.2f us; ratio %.2f\n", cost.copyUs,
                cost.memcpyUs, cost.copyUs / cost.memcpyUs);
    std::printf("  the driver's transfers per cycle (copies, queueing, completions): %.1f us = %.2f %% of the %.0f us period\n",
                cost.cycleUs, 100.0 * cost.cycleUs / cost.periodUs, cost.periodUs);
    CycleCost small = MeasureCycle(64);
    std::printf("  at 64 frames: %.1f us = %.2f %% of the %.0f us period\n", small.cycleUs,
                100.0 * small.cycleUs / small.periodUs, small.periodUs);

    std::printf("\nInit...\n");
    InitResult found = MeasureInit(true);
    std::printf("  with a controller: %.3f s (%s), %d pins opened while probing\n", found.seconds,
                found.found ? "found" : "NOT FOUND", found.pinsOpened);
    InitResult none = MeasureInit(false);
    std::printf("  with none: %.3f s (%s)\n", none.seconds, none.found ? "found?!" : "not found, as expected");
    return 0;
}
