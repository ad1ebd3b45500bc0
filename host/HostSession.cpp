#include "HostSession.h"

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>

#include "Asio.h"
#include "AsioDriverList.h"
#include "LoopbackSignal.h"
#include "WavWriter.h"

namespace {

// The test-fixture flavour of the driver exports its virtual controller's counts
// under this name; the shipped driver does not, and the report then leaves them out.
constexpr char kFixtureCountersExport[] = "VeltrixFixtureStreamCounters";
typedef void(__stdcall* FixtureCountersFunction)(unsigned long* underruns, unsigned long* overruns);

constexpr int kMaxInputs = 32;
constexpr int kMaxOutputs = 32;

// Everything the callbacks touch. ASIO callbacks carry no context, so a host has
// one active session per process.
struct Session {
    const HostOptions* options = nullptr;
    long bufferFrames = 0;
    int sampleBytes = 4;
    int inputs = 0, outputs = 0;
    long inputChannel[kMaxInputs] = {};
    long outputChannel[kMaxOutputs] = {};
    void* inputHalves[kMaxInputs][2] = {};
    void* outputHalves[kMaxOutputs][2] = {};
    std::unique_ptr<LoopbackSignal> signal;
    std::atomic<long long> switches{0};
    long long framePosition = 0;
    // Buffer-switch times (QueryPerformanceCounter), allocated before start.
    std::vector<long long> switchTimes;
    // Recorded input, interleaved, allocated before start.
    std::vector<unsigned char> recording;
    size_t recordedBytes = 0;
    std::atomic<bool> checking{true};
    // Switch counts at which the stream began anew after a reset: the gap before
    // such a switch is the reset, not a period.
    std::vector<long long> restarts;
    std::atomic<bool> resetRequested{false};
    std::atomic<int> resetRequests{0};
    DWORD initThread = 0;
    std::atomic<bool> resetOffInitThread{false};
    ASIOTime* lastTime = nullptr;
};
Session* g_session = nullptr;

void OnBufferSwitch(long index, ASIOBool) {
    Session& s = *g_session;
    const int half = static_cast<int>(index & 1);
    long long n = s.switches.fetch_add(1);
    if (static_cast<size_t>(n) < s.switchTimes.size()) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        s.switchTimes[n] = now.QuadPart;
    }
    for (int i = 0; i < s.inputs && s.checking; ++i) {
        if (!s.inputHalves[i][half]) continue;
        s.signal->Check(i, s.framePosition, s.bufferFrames, s.inputHalves[i][half]);
    }
    // Keep what was recorded, interleaved; no file I/O on this thread.
    const size_t frameBytes = static_cast<size_t>(s.inputs) * s.sampleBytes;
    if (frameBytes > 0 && s.recordedBytes + frameBytes * s.bufferFrames <= s.recording.size()) {
        unsigned char* out = s.recording.data() + s.recordedBytes;
        for (long k = 0; k < s.bufferFrames; ++k)
            for (int i = 0; i < s.inputs; ++i, out += s.sampleBytes)
                std::memcpy(out, static_cast<unsigned char*>(s.inputHalves[i][half]) + k * s.sampleBytes,
                            s.sampleBytes);
        s.recordedBytes += frameBytes * s.bufferFrames;
    }
    for (int o = 0; o < s.outputs; ++o) {
        if (!s.outputHalves[o][half]) continue;
        s.signal->Generate(o, s.framePosition, s.bufferFrames, s.outputHalves[o][half]);
    }
    s.framePosition += s.bufferFrames;
}

ASIOTime* OnBufferSwitchTimeInfo(ASIOTime* time, long index, ASIOBool directProcess) {
    g_session->lastTime = time;
    OnBufferSwitch(index, directProcess);
    return time;
}

void OnSampleRateDidChange(ASIOSampleRate) {}

long OnAsioMessage(long selector, long value, void*, double*) {
    Session& s = *g_session;
    switch (selector) {
    case kAsioSelectorSupported:
        return value == kAsioResetRequest || value == kAsioSupportsTimeInfo || value == kAsioEngineVersion ? 1 : 0;
    case kAsioEngineVersion: return 2;
    case kAsioSupportsTimeInfo: return s.options->timeInfo ? 1 : 0;
    case kAsioResetRequest:
        ++s.resetRequests;
        if (GetCurrentThreadId() != s.initThread) s.resetOffInitThread = true;
        // Resetting inside the callback would pull the driver out from under its
        // own caller: the main loop does it.
        s.resetRequested = true;
        return 1;
    default: return 0;
    }
}

ASIOCallbacks g_callbacks = {OnBufferSwitch, OnSampleRateDidChange, OnAsioMessage, OnBufferSwitchTimeInfo};

std::string Hex(long value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lx", static_cast<unsigned long>(value));
    return text;
}

// Sets the driver's kernel-buffer setting before it is created, as its panel would.
void SetKernelBuffers(int count) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Veltrix KMX ASIO", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    DWORD value = static_cast<DWORD>(count);
    RegSetValueExA(key, "toggleNum", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
}

// Serves window messages (the driver's notification window lives on this thread)
// for up to timeoutMs.
void PumpMessages(DWORD timeoutMs) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

class DriverHost {
public:
    DriverHost(const HostOptions& options, const AsioDriverEntry& entry, SessionReport& report)
        : m_options(options), m_entry(entry), m_report(report) {}
    ~DriverHost() { Close(); }

    // Creates and initialises the driver; false with the report's failure set.
    bool Open() {
        HRESULT hr = CoCreateInstance(m_entry.classId, nullptr, CLSCTX_INPROC_SERVER, m_entry.classId,
                                      reinterpret_cast<void**>(&m_driver));
        if (FAILED(hr) || !m_driver) {
            m_driver = nullptr;
            m_report.failure = "CoCreateInstance of \"" + m_entry.description + "\" failed with " + Hex(hr);
            m_report.advice = "register the driver again with regsvr32 and check that its file is readable";
            return false;
        }
        m_session.initThread = GetCurrentThreadId();
        if (m_driver->init(nullptr) != ASIOTrue) {
            char message[128] = {};
            m_driver->getErrorMessage(message);
            m_report.failure = "init failed: the driver did not find its device";
            if (message[0]) m_report.failure += std::string(" (") + message + ")";
            m_report.advice = "connect the controller, check that Windows lists it, and run the host again";
            Close();
            return false;
        }
        return true;
    }

    void Query() {
        char name[32] = {};
        m_driver->getDriverName(name);
        m_report.driverName = name;
        // The file whose code answers: with one driver per bitness registered,
        // this tells which one COM picked for this host.
        HMODULE serving = nullptr;
        char file[MAX_PATH + 1] = {};
        if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               static_cast<LPCSTR>(**reinterpret_cast<void***>(m_driver)), &serving) &&
            GetModuleFileNameA(serving, file, MAX_PATH) > 0)
            m_report.driverFile = file;
        m_report.driverVersion = m_driver->getDriverVersion();
        m_driver->getChannels(&m_report.inputChannels, &m_report.outputChannels);
        m_driver->getBufferSize(&m_report.minSize, &m_report.maxSize, &m_report.preferredSize, &m_report.granularity);
        m_report.supportedRates.clear();
        for (double rate : {44100.0, 48000.0, 88200.0, 96000.0})
            if (m_driver->canSampleRate(rate) == ASE_OK) m_report.supportedRates.push_back(rate);
        m_report.inputNames.clear();
        m_report.outputNames.clear();
        for (int input = 0; input < 2; ++input)
            for (long c = 0; c < (input ? m_report.inputChannels : m_report.outputChannels); ++c) {
                ASIOChannelInfo info = {};
                info.channel = c;
                info.isInput = input;
                m_driver->getChannelInfo(&info);
                (input ? m_report.inputNames : m_report.outputNames).push_back(info.name);
                m_sampleType = info.type;
            }
    }

    // Buffers and start; false with the failure set.
    bool Start() {
        if (m_driver->canSampleRate(m_options.sampleRate) != ASE_OK) {
            char text[96];
            std::snprintf(text, sizeof(text), "the driver cannot run at %.0f Hz", m_options.sampleRate);
            m_report.failure = text;
            m_report.advice = "choose one of the rates listed above";
            return false;
        }
        m_driver->setSampleRate(m_options.sampleRate);
        m_driver->getSampleRate(&m_report.sampleRate);

        Session& s = m_session;
        s.options = &m_options;
        s.bufferFrames = m_options.bufferFrames > 0 ? m_options.bufferFrames : m_report.preferredSize;
        s.sampleBytes = m_sampleType == ASIOSTInt16LSB ? 2 : 4;
        s.inputs = static_cast<int>(std::min<long>(m_options.inputs < 0 ? m_report.inputChannels : m_options.inputs,
                                                   std::min<long>(m_report.inputChannels, kMaxInputs)));
        s.outputs = static_cast<int>(std::min<long>(
            m_options.outputs < 0 ? m_report.outputChannels : m_options.outputs,
            std::min<long>(m_report.outputChannels, kMaxOutputs)));
        // Everything the callbacks use exists before the stream thread can call
        // back; a reset keeps the signal's bookkeeping and only resynchronises it.
        if (!s.signal) {
            s.signal.reset(new LoopbackSignal(s.sampleBytes, s.outputs, s.inputs));
            s.recording.assign(static_cast<size_t>(m_options.seconds * m_options.sampleRate * 1.2 + s.bufferFrames * 4) *
                                   s.inputs * s.sampleBytes,
                               0);
        }
        std::vector<ASIOBufferInfo> infos;
        for (int i = 0; i < s.inputs; ++i) infos.push_back({ASIOTrue, i, {nullptr, nullptr}});
        for (int o = 0; o < s.outputs; ++o) infos.push_back({ASIOFalse, o, {nullptr, nullptr}});
        ASIOError error = m_driver->createBuffers(infos.data(), static_cast<long>(infos.size()), s.bufferFrames,
                                                  &g_callbacks);
        if (error != ASE_OK) {
            char text[96];
            std::snprintf(text, sizeof(text), "createBuffers of %ld frames failed with %ld", s.bufferFrames, error);
            m_report.failure = text;
            m_report.advice = "choose a buffer size the driver lists (a multiple of its granularity)";
            return false;
        }
        for (int i = 0; i < s.inputs; ++i) {
            s.inputChannel[i] = i;
            s.inputHalves[i][0] = infos[i].buffers[0];
            s.inputHalves[i][1] = infos[i].buffers[1];
        }
        for (int o = 0; o < s.outputs; ++o) {
            s.outputChannel[o] = o;
            s.outputHalves[o][0] = infos[s.inputs + o].buffers[0];
            s.outputHalves[o][1] = infos[s.inputs + o].buffers[1];
        }
        m_driver->getLatencies(&m_report.inputLatency, &m_report.outputLatency);
        m_report.bufferFrames = s.bufferFrames;
        error = m_driver->start();
        if (error != ASE_OK) {
            char text[64];
            std::snprintf(text, sizeof(text), "start failed with %ld", error);
            m_report.failure = text;
            m_report.advice = "check that no other program streams to the controller, then try again";
            return false;
        }
        return true;
    }

    void StopAndDispose() {
        if (!m_driver) return;
        m_driver->stop();
        m_driver->disposeBuffers();
    }

    void ReadDeviceCounters() {
        HMODULE module = GetModuleHandleA("Veltrix_KMX_ASIO.dll");
        if (!module) return;
        auto counters = reinterpret_cast<FixtureCountersFunction>(
            reinterpret_cast<void*>(GetProcAddress(module, kFixtureCountersExport)));
        if (!counters) return;
        m_report.haveDeviceCounters = true;
        counters(&m_report.underruns, &m_report.overruns);
    }

    void Close() {
        if (m_driver) {
            m_driver->Release();
            m_driver = nullptr;
        }
    }

    Session& State() { return m_session; }

private:
    const HostOptions& m_options;
    const AsioDriverEntry& m_entry;
    SessionReport& m_report;
    IASIO* m_driver = nullptr;
    ASIOSampleType m_sampleType = ASIOSTInt32LSB;
    Session m_session;
};

PeriodStats ComputePeriods(const std::vector<long long>& times, long long count, double nominalMs,
                           const std::vector<long long>& restarts) {
    PeriodStats stats;
    stats.nominalMs = nominalMs;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> periods;
    long long n = std::min<long long>(count, static_cast<long long>(times.size()));
    for (long long i = 1; i < n; ++i)
        if (std::find(restarts.begin(), restarts.end(), i) == restarts.end())
            periods.push_back(static_cast<double>(times[i] - times[i - 1]) * 1000.0 / frequency.QuadPart);
    if (periods.empty()) return stats;
    std::sort(periods.begin(), periods.end());
    stats.minMs = periods.front();
    stats.maxMs = periods.back();
    stats.medianMs = periods[periods.size() / 2];
    stats.p99Ms = periods[std::min(periods.size() - 1, periods.size() * 99 / 100)];
    return stats;
}

}  // namespace

SessionReport RunHostSession(const HostOptions& options) {
    SessionReport report;
    std::printf("Reading the ASIO driver list (HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO)...\n");
    std::vector<AsioDriverEntry> drivers = AsioDriverList::Read();
    const AsioDriverEntry* chosen = nullptr;
    for (const AsioDriverEntry& d : drivers) {
        std::printf("  %-24s %s  %s%s\n", d.description.c_str(), d.classIdText.c_str(),
                    d.serverPath.empty() ? "(class not registered)" : d.serverPath.c_str(),
                    d.serverFileExists || d.serverPath.empty() ? "" : " (file missing)");
        if (d.keyName == options.driverName && d.serverFileExists) chosen = &d;
    }
    if (!chosen) {
        report.failure = drivers.empty() ? "no ASIO driver is registered"
                                         : "driver \"" + options.driverName + "\" is not in the list, or its file is missing";
        report.advice = "register the driver with regsvr32 Veltrix_KMX_ASIO.dll";
        return report;
    }
    if (options.kernelBuffers > 0) SetKernelBuffers(options.kernelBuffers);

    if (FAILED(CoInitialize(nullptr))) {
        report.failure = "CoInitialize failed";
        report.advice = "run the host in a normal desktop session";
        return report;
    }
    {
        DriverHost host(options, *chosen, report);
        Session& s = host.State();
        g_session = &s;
        std::printf("Creating \"%s\" through COM and initialising it...\n", chosen->description.c_str());
        if (!host.Open()) {
            g_session = nullptr;
            CoUninitialize();
            return report;
        }
        host.Query();
        // Room for every switch and every recorded frame of the run, and some more
        // for resets; nothing is allocated while the stream runs.
        const double seconds = options.seconds > 0 ? options.seconds : 0;
        const long frames = options.bufferFrames > 0 ? options.bufferFrames : std::max(report.preferredSize, 64L);
        const size_t switchCapacity = static_cast<size_t>(seconds * options.sampleRate / frames * 1.5) + 64;
        s.switchTimes.assign(switchCapacity, 0);
        std::printf("Streaming for %.1f s at %.0f Hz...\n", seconds, options.sampleRate);
        if (!host.Start()) {
            host.StopAndDispose();
            host.Close();
            g_session = nullptr;
            CoUninitialize();
            return report;
        }

        DWORD mode = 0;
        const bool console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
        const DWORD startTick = GetTickCount();
        DWORD lastPrint = 0;
        const DWORD durationMs = static_cast<DWORD>(seconds * 1000);
        bool streaming = true;
        for (;;) {
            PumpMessages(50);
            DWORD elapsed = GetTickCount() - startTick;
            if (s.resetRequested.exchange(false)) {
                // What hosts do on a reset request: close and open the driver again.
                std::printf("\n  reset requested by the driver: reopening it...\n");
                ++report.resets;
                // The last switches while stopping may bring input the device no
                // longer refreshed: the check rests until the stream runs again.
                s.checking = false;
                host.StopAndDispose();
                host.Close();
                streaming = false;
                while (!streaming && GetTickCount() - startTick < durationMs) {
                    if (host.Open()) {
                        host.Query();
                        // A new stream: a new round trip, found anew.
                        s.signal->Resync();
                        s.restarts.push_back(s.switches.load());
                        s.checking = true;
                        streaming = host.Start();
                        if (streaming) {
                            report.failure.clear();
                            report.advice.clear();
                            std::printf("  streaming again\n");
                        } else {
                            host.StopAndDispose();
                            host.Close();
                        }
                    }
                    if (!streaming) PumpMessages(500);
                }
            }
            // One line updated in place on a console; a line a second into a file or pipe.
            if (elapsed - lastPrint >= (console ? 250u : 1000u) || elapsed >= durationMs) {
                lastPrint = elapsed;
                std::printf("%s  %5.1f s  buffer switches: %lld%s   %s", console ? "\r" : "", elapsed / 1000.0,
                            s.switches.load(), streaming ? "" : "  (waiting for the driver)", console ? "" : "\n");
                std::fflush(stdout);
            }
            if (elapsed >= durationMs) break;
        }
        if (console) std::printf("\n");
        host.ReadDeviceCounters();
        // From here on the device may stop refreshing the inputs: stop checking.
        s.checking = false;
        host.StopAndDispose();
        host.Close();

        report.bufferSwitches = s.switches.load();
        report.period = ComputePeriods(s.switchTimes, report.bufferSwitches, 1000.0 * s.bufferFrames / options.sampleRate,
                                       s.restarts);
        for (int i = 0; i < s.inputs && s.signal; ++i) {
            const LoopbackSignal::ChannelResult& r = s.signal->Result(i);
            ChannelCheck check;
            check.channel = i;
            check.name = i < static_cast<int>(report.inputNames.size()) ? report.inputNames[i] : "";
            check.checkedSamples = r.checkedSamples;
            check.errors = r.errors;
            check.silentSamples = r.silentSamples;
            check.firstErrorFrame = r.firstErrorFrame;
            check.lastErrorFrame = r.lastErrorFrame;
            check.errorsInLastStream = r.errorsSinceResync;
            check.latencyFrames = r.latencyFrames;
            check.lockOns = r.lockOns;
            report.loopback.push_back(check);
        }
        report.resetRequests = s.resetRequests.load();
        report.resetsOnInitThread = !s.resetOffInitThread.load();
        if (!options.wavPath.empty() && s.inputs > 0) {
            WavWriter wav;
            if (!wav.Open(options.wavPath, s.inputs, static_cast<int>(options.sampleRate), s.sampleBytes) ||
                !wav.Write(s.recording.data(), s.recordedBytes) || !wav.Close())
                std::printf("  could not write %s: %s\n", options.wavPath.c_str(), wav.Error().c_str());
            else
                std::printf("  recorded input written to %s\n", options.wavPath.c_str());
        }
        report.ok = streaming && report.failure.empty();
        g_session = nullptr;
    }
    CoUninitialize();
    return report;
}

void PrintReport(const SessionReport& r, const HostOptions& options) {
    std::printf("\nReport\n");
    if (!r.failure.empty()) std::printf("  FAILED: %s\n  What to do: %s\n", r.failure.c_str(), r.advice.c_str());
    if (r.driverName.empty()) return;
    std::printf("  driver: %s, version %ld\n", r.driverName.c_str(), r.driverVersion);
    std::printf("  driver file: %s (in this %d-bit host)\n", r.driverFile.empty() ? "unknown" : r.driverFile.c_str(),
                static_cast<int>(sizeof(void*) * 8));
    std::printf("  channels: %ld in, %ld out\n", r.inputChannels, r.outputChannels);
    for (size_t i = 0; i < r.inputNames.size(); ++i) std::printf("    in %zu: %s\n", i, r.inputNames[i].c_str());
    for (size_t i = 0; i < r.outputNames.size(); ++i) std::printf("    out %zu: %s\n", i, r.outputNames[i].c_str());
    std::printf("  sample rates:");
    for (double rate : r.supportedRates) std::printf(" %.0f", rate);
    std::printf("  (running at %.0f Hz)\n", r.sampleRate > 0 ? r.sampleRate : options.sampleRate);
    std::printf("  buffer sizes: min %ld, max %ld, preferred %ld, granularity %ld (using %ld)\n", r.minSize, r.maxSize,
                r.preferredSize, r.granularity, r.bufferFrames);
    std::printf("  latencies: input %ld, output %ld frames\n", r.inputLatency, r.outputLatency);
    std::printf("  buffer switches: %lld\n", r.bufferSwitches);
    if (r.bufferSwitches > 1)
        std::printf("  buffer-switch period: min %.3f, median %.3f, p99 %.3f, max %.3f ms (nominal %.3f ms)\n",
                    r.period.minMs, r.period.medianMs, r.period.p99Ms, r.period.maxMs, r.period.nominalMs);
    for (const ChannelCheck& c : r.loopback) {
        if (c.lockOns == 0) {
            std::printf("  loopback in %ld (%s): no test signal received\n", c.channel, c.name.c_str());
            continue;
        }
        std::printf("  loopback in %ld (%s): %lld samples checked, %lld broken, %lld silent, round trip %lld frames%s\n",
                    c.channel, c.name.c_str(), c.checkedSamples, c.errors, c.silentSamples, c.latencyFrames,
                    c.errors == 0 && c.silentSamples == 0 ? "  (continuous)" : "");
        if (c.errors > 0)
            std::printf("    broken between frames %lld and %lld of the session; %lld in the last stream\n",
                        c.firstErrorFrame, c.lastErrorFrame, c.errorsInLastStream);
    }
    std::printf("  reset requests: %d (%s), resets done: %d\n", r.resetRequests,
                r.resetsOnInitThread ? "all on the init thread" : "SOME ON ANOTHER THREAD", r.resets);
    if (r.haveDeviceCounters)
        std::printf("  virtual controller: %lu underruns, %lu overruns\n", r.underruns, r.overruns);
    std::printf("  result: %s\n", r.ok ? "ok" : "FAILED");
}
