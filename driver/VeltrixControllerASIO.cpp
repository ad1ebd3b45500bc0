#include "VeltrixControllerASIO.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <mmsystem.h>
#include <shellapi.h>

#include "CAudioDevice.h"
#include "DriverConstants.h"
#include "DriverIdentity.h"
#include "DriverSettings.h"
#include "NotifyWindow.h"
#include "StreamThread.h"
#include "device/DeviceSystem.h"

VeltrixControllerASIO::VeltrixControllerASIO(IUnknown* outer) : CUnknown(outer) {
    // Settings in this order; the device is only looked for in init.
    blockNum = ReadBlockNum();
    bitResolution = ReadBitResolution();
    toggleNum = ReadToggleNum();
    samplePosition = 0.0;
    bufferFrames = blockNum * kFramesPerBlockUnit;
    sampleRate = static_cast<double>(ReadSampleRate());
}

VeltrixControllerASIO::~VeltrixControllerASIO() {
    DestroyNotifyWindow();
    // Any driver object's end stops the window's reports: the window's object may
    // be this one, and a report must never reach a destroyed object.
    windowDriver = nullptr;
    if (inUseMutex) {
        CloseHandle(inUseMutex);
        inUseMutex = nullptr;
    }
    disposeBuffers();
    // The stream thread must not come back to an object that is gone.
    if (streamingDriver.load() == this) {
        if (!JoinStreamThread(INFINITE, true)) stopRequested = true;
        VeltrixControllerASIO* expected = this;
        streamingDriver.compare_exchange_strong(expected, nullptr);
    }
    DeleteDevices();
}

void VeltrixControllerASIO::DeleteDevices() {
    delete renderDevice;
    renderDevice = nullptr;
    delete captureDevice;
    captureDevice = nullptr;
}

HRESULT STDMETHODCALLTYPE VeltrixControllerASIO::QueryInterface(REFIID riid, void** ppv) {
    return Owner()->QueryInterface(riid, ppv);
}

ULONG STDMETHODCALLTYPE VeltrixControllerASIO::AddRef() { return Owner()->AddRef(); }

ULONG STDMETHODCALLTYPE VeltrixControllerASIO::Release() { return Owner()->Release(); }

HRESULT STDMETHODCALLTYPE VeltrixControllerASIO::InnerQueryInterface(REFIID riid, void** ppv) {
    // Hosts ask for the class ID as the interface ID and get the IASIO side.
    if (IsEqualIID(riid, kDriverClassId)) {
        if (!ppv) return E_POINTER;
        *ppv = static_cast<IASIO*>(this);
        static_cast<IASIO*>(this)->AddRef();
        return S_OK;
    }
    return CUnknown::InnerQueryInterface(riid, ppv);
}

// ---- Opening the controller ----

void VeltrixControllerASIO::OpenDevices() {
    // The panel may have changed the settings since the object was made; the
    // sample rate is the host's business and is not read again.
    blockNum = ReadBlockNum();
    bitResolution = ReadBitResolution();
    toggleNum = ReadToggleNum();
    bufferFrames = blockNum * kFramesPerBlockUnit;
}

// Replaces a device object by a new one; true when it found the controller. The
// new object stays in the field either way; running out of memory leaves it null.
bool VeltrixControllerASIO::CreateDevice(CAudioDevice*& device, int direction, int maxChannels) {
    delete device;
    device = nullptr;
    try {
        device = new CAudioDevice(direction, maxChannels, bitResolution);
    } catch (const std::bad_alloc&) {
        device = nullptr;
        return false;
    }
    return device->channelCount != 0;
}

bool VeltrixControllerASIO::CreateCaptureDevice() {
    return CreateDevice(captureDevice, CAudioDevice::kCapture, kMaxInputs);
}

bool VeltrixControllerASIO::CreateRenderDevice() { return CreateDevice(renderDevice, CAudioDevice::kRender, kMaxOutputs); }

ASIOBool ASIO_THISCALL VeltrixControllerASIO::init(void* /*sysHandle*/) {
    // A host may initialise again without stopping first; the stream thread must
    // not be left working on the device objects that are about to be replaced.
    stop();
    FinishStragglingThread();
    OpenDevices();
    bool captureOk = false;
    for (int attempt = 0; attempt < kCaptureAttempts && !captureOk; ++attempt) {
        captureOk = CreateCaptureDevice();
        if (!captureOk) Sleep(kDeviceRetryPauseMs);
    }
    // Render is tried even when capture failed, so that both are looked at.
    bool renderOk = false;
    for (int attempt = 0; attempt < kRenderAttempts && !renderOk; ++attempt) {
        renderOk = CreateRenderDevice();
        if (!renderOk) Sleep(kDeviceRetryPauseMs);
    }
    if (!captureOk || !renderOk) {
        DeleteDevices();
        return ASIOFalse;
    }
    CreateNotifyWindow();
    if (!mutexOpened) OpenInUseMutex();
    return ASIOTrue;
}

// ---- Device presence and exclusive use ----

void VeltrixControllerASIO::DestroyNotifyWindow() {
    if (deviceNotification) {
        DeviceSystemInstance().UnregisterDeviceNotification(deviceNotification);
        deviceNotification = nullptr;
    }
    if (notifyWindow) {
        DestroyWindow(notifyWindow);
        notifyWindow = nullptr;
    }
    if (windowModule) {
        UnregisterClassA(kNotifyWindowClass, windowModule);
        windowModule = nullptr;
    }
}

void VeltrixControllerASIO::CreateNotifyWindow() {
    DestroyNotifyWindow();
    windowDriver = this;
    windowModule = GetModuleHandleA(nullptr);
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = NotifyWindowProc;
    windowClass.hInstance = windowModule;
    windowClass.lpszClassName = kNotifyWindowClass;
    RegisterClassExA(&windowClass);  // fails harmlessly when the class exists in this process
    notifyWindow = CreateWindowExA(0, kNotifyWindowClass, kNotifyWindowClass, 0, CW_USEDEFAULT, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, windowModule, nullptr);
    if (!notifyWindow) return;
    DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kUsbDeviceInterfaceClass;
    deviceNotification =
        DeviceSystemInstance().RegisterDeviceNotificationA(notifyWindow, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void VeltrixControllerASIO::OpenInUseMutex() {
    mutexOpened = true;
    inUseMutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kInUseMutexName);
    if (!inUseMutex) inUseMutex = CreateMutexA(nullptr, TRUE, kInUseMutexName);
}

void VeltrixControllerASIO::RequestHostReset() {
    ASIOCallbacks* callbacks = hostCallbacks.load();
    if (callbacks && callbacks->asioMessage) callbacks->asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
}

// ---- Describing the driver ----

void ASIO_THISCALL VeltrixControllerASIO::getDriverName(char* name) {
    if (name) std::memcpy(name, kDriverName, sizeof(kDriverName));
}

long ASIO_THISCALL VeltrixControllerASIO::getDriverVersion() { return kDriverVersion; }

void ASIO_THISCALL VeltrixControllerASIO::getErrorMessage(char* string) {
    // Hosts give 124 bytes; errorText is never longer than that.
    if (string) std::snprintf(string, 124, "%s", errorText);
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::getChannels(long* numInputChannels, long* numOutputChannels) {
    if (numInputChannels) *numInputChannels = captureDevice ? captureDevice->channelCount : 0;
    if (numOutputChannels) *numOutputChannels = renderDevice ? renderDevice->channelCount : 0;
    return ASE_OK;
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::getLatencies(long* inputLatency, long* outputLatency) {
    if (inputLatency) *inputLatency = inputCount != 0 ? bufferFrames : 0;
    if (outputLatency) *outputLatency = outputCount != 0 ? bufferFrames : 0;
    return ASE_OK;
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::getBufferSize(long* minSize, long* maxSize, long* preferredSize,
                                                             long* granularity) {
    if (minSize) *minSize = kMinBufferFrames;
    if (maxSize) *maxSize = kMaxBufferFrames;
    if (preferredSize) *preferredSize = bufferFrames;
    if (granularity) *granularity = kBufferGranularity;
    return ASE_OK;
}

bool VeltrixControllerASIO::DevicesSupportRate(ASIOSampleRate rate) const {
    // Some hosts probe 0, -1, NaN and infinity: only a finite rate in the range of
    // an int may be truncated (anything else would be undefined behaviour), and no
    // such rate is one the controller runs at.
    if (!captureDevice || !renderDevice) return false;
    if (!std::isfinite(rate) || rate < 1.0 || rate > 2147483647.0) return false;
    int whole = static_cast<int>(rate);
    return captureDevice->SupportsSampleRate(whole) && renderDevice->SupportsSampleRate(whole);
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::canSampleRate(ASIOSampleRate rate) {
    return DevicesSupportRate(rate) ? ASE_OK : ASE_NoClock;
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::getSampleRate(ASIOSampleRate* rate) {
    if (rate) *rate = sampleRate;
    return ASE_OK;
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::setSampleRate(ASIOSampleRate rate) {
    if (!DevicesSupportRate(rate)) return ASE_NoClock;
    if (rate != sampleRate) {
        hostTime.timeInfo.flags |= kSampleRateChanged;
        sampleRate = rate;
        hostTime.timeInfo.sampleRate = rate;
        ASIOCallbacks* callbacks = hostCallbacks.load();
        if (callbacks && callbacks->sampleRateDidChange) callbacks->sampleRateDidChange(rate);
    }
    long whole = static_cast<long>(rate);
    if (whole != ReadSampleRate()) WriteSampleRate(whole);
    return ASE_OK;
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::getClockSources(ASIOClockSource* clocks, long* numSources) {
    if (clocks) {
        clocks->index = 0;
        clocks->associatedChannel = -1;
        clocks->associatedGroup = -1;
        clocks->isCurrentSource = ASIOTrue;
        std::snprintf(clocks->name, sizeof(clocks->name), "%s", kClockSourceName);
    }
    if (numSources) *numSources = 1;
    return ASE_OK;
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::setClockSource(long reference) {
    if (reference != 0) return ASE_NotPresent;
    hostTime.timeInfo.flags |= kClockSourceChanged;
    return ASE_OK;
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::getChannelInfo(ASIOChannelInfo* info) {
    if (!info) return ASE_InvalidParameter;
    const long channel = info->channel;
    if (channel < 0) return ASE_InvalidParameter;
    if (info->isInput ? channel >= kMaxInputChannels : channel >= kMaxOutputChannels) return ASE_InvalidParameter;

    info->type = bitResolution == 2 ? ASIOSTInt16LSB : ASIOSTInt32LSB;
    info->channelGroup = 0;
    info->isActive = ASIOFalse;
    std::memset(info->name, 0, sizeof(info->name));
    int number = 0, ordinal = 0, count = 0;

    if (info->isInput) {
        for (long i = 0; i < inputCount; ++i)
            if (inputChannels[i] == channel) info->isActive = ASIOTrue;
        const char* model =
            captureDevice ? captureDevice->GetChannelModel(channel, &number, &ordinal, &count) : nullptr;
        if (model && number && ordinal && count)
            std::snprintf(info->name, sizeof(info->name), "%s AUX/MIC %s", model, (number % 2) ? "L" : "R");
        if (info->name[0] == '\0') std::snprintf(info->name, sizeof(info->name), "%s", kDriverName);
    } else {
        for (long i = 0; i < outputCount; ++i)
            if (outputChannels[i] == channel) info->isActive = ASIOTrue;
        if (!renderDevice) {
            std::snprintf(info->name, sizeof(info->name), "%s", kDriverName);
        } else {
            const char* model = renderDevice->GetChannelModel(channel, &number, &ordinal, &count);
            if (model && number && ordinal && count) {
                int pair = (number - 1) / 2 + 1;
                std::snprintf(info->name, sizeof(info->name), (pair % 2) ? "%s MASTER %s" : "%s PHONES %s", model,
                              (number % 2) ? "L" : "R");
            }
        }
    }
    return ASE_OK;
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::controlPanel() {
    char path[kPanelPathSize] = {};
    ReadPanelPath(path);
    if (path[0] == '\0') return ASE_NotPresent;
    // The panel runs on its own; the host is not kept waiting for it.
    HINSTANCE result = ShellExecuteA(nullptr, "open", path, nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) <= 32 ? ASE_NotPresent : ASE_OK;
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::future(long selector, void* /*opt*/) {
    switch (selector) {
    case kAsioEnableTimeCodeRead:
        timeCodeEnabled = true;
        return ASE_SUCCESS;
    case kAsioDisableTimeCodeRead:
        timeCodeEnabled = false;
        return ASE_SUCCESS;
    case kAsioSetInputMonitor:
    case kAsioCanInputMonitor:
    case kAsioCanTimeInfo:
    case kAsioCanTimeCode:
        return ASE_SUCCESS;
    default:
        return ASE_NotPresent;
    }
}

// ---- Host buffers ----

ASIOError ASIO_THISCALL VeltrixControllerASIO::createBuffers(ASIOBufferInfo* bufferInfos, long numChannels,
                                                             long bufferSize, ASIOCallbacks* callbacks) {
    // A host that calls again without disposeBuffers would otherwise leak the
    // earlier buffers: release them first.
    if (inputCount != 0 || outputCount != 0) disposeBuffers();
    inputCount = 0;
    outputCount = 0;

    // A size of 0 or less would make empty or absurdly large buffers and store a
    // block count no reader accepts.
    if (bufferSize <= 0) return ASE_InvalidParameter;
    if (bufferSize != bufferFrames) {
        if (bufferSize % kFramesPerBlockUnit != 0) return ASE_InvalidParameter;
        blockNum = bufferSize / kFramesPerBlockUnit;
        WriteBlockNum(blockNum);
        bufferFrames = blockNum * kFramesPerBlockUnit;
    }
    if (numChannels > 0 && !bufferInfos) return ASE_InvalidParameter;

    bool allocationFailed = false;
    const size_t halfBytes = static_cast<size_t>(bufferFrames) * static_cast<size_t>(bitResolution);
    for (long i = 0; i < numChannels; ++i) {
        ASIOBufferInfo& info = bufferInfos[i];
        void** slot = nullptr;
        if (info.isInput) {
            if (info.channelNum < 0 || info.channelNum >= kMaxInputChannels || inputCount >= kMaxInputs) {
                disposeBuffers();
                return ASE_InvalidParameter;
            }
            inputChannels[inputCount] = info.channelNum;
            slot = &inputBuffers[inputCount];
        } else {
            if (info.channelNum < 0 || info.channelNum >= kMaxOutputChannels || outputCount >= kMaxOutputs) {
                disposeBuffers();
                return ASE_InvalidParameter;
            }
            outputChannels[outputCount] = info.channelNum;
            slot = &outputBuffers[outputCount];
        }
        *slot = std::calloc(2, halfBytes);
        if (*slot) {
            info.buffers[0] = *slot;
            info.buffers[1] = static_cast<char*>(*slot) + halfBytes;
        } else {
            info.buffers[0] = info.buffers[1] = nullptr;
            allocationFailed = true;
        }
        if (info.isInput)
            ++inputCount;
        else
            ++outputCount;
    }
    if (allocationFailed) {
        disposeBuffers();
        return ASE_NoMemory;
    }

    if (callbacks) {
        hostCallbacksCopy = *callbacks;
        hostCallbacks = &hostCallbacksCopy;
    } else {
        hostCallbacks = nullptr;
    }
    useTimeInfo = false;
    ASIOCallbacks* installed = hostCallbacks.load();
    if (installed && installed->asioMessage &&
        installed->asioMessage(kAsioSupportsTimeInfo, 0, nullptr, nullptr) != 0) {
        useTimeInfo = true;
        hostTime.timeInfo.speed = 1.0;
        hostTime.timeInfo.systemTime = {0, 0};
        hostTime.timeInfo.sampleRate = sampleRate;
        hostTime.timeInfo.samplePosition = {0, 0};
        hostTime.timeInfo.flags = kSystemTimeValid | kSamplePositionValid | kSampleRateValid;
        hostTime.timeCode.speed = 1.0;
        hostTime.timeCode.timeCodeSamples = {0, 0};
        hostTime.timeCode.flags = kTcValid | kTcRunning;
    }
    return ASE_OK;
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::disposeBuffers() {
    hostCallbacks = nullptr;  // from here on nothing calls into the host
    stop();
    // A thread that outlived stop's join may still copy into the host buffers,
    // unless all it has left is to deliver the reset request.
    if (devicesHeldByThread && streamingDriver.load() == this) {
        if (JoinStreamThread(INFINITE, true) && !streamThread) {
            devicesHeldByThread = false;
            ReleaseDevices();
        }
    }
    for (int i = 0; i < kMaxInputs; ++i) {
        std::free(inputBuffers[i]);
        inputBuffers[i] = nullptr;
        inputChannels[i] = -1;
    }
    inputCount = 0;
    for (int i = 0; i < kMaxOutputs; ++i) {
        std::free(outputBuffers[i]);
        outputBuffers[i] = nullptr;
        outputChannels[i] = -1;
    }
    outputCount = 0;
    return ASE_OK;
}

// ---- Streaming control ----

// Opens both devices' pins, primes the capture ring and then the render ring, and
// leaves the stream ready for its first cycle. Each pin's first buffers are queued
// while it waits paused, and its clock starts only then: a pin started with nothing
// queued runs empty for a moment (a gap on the render side, lost input on the
// capture side), and a render pin started before the capture priming would run
// empty through all of it.
void VeltrixControllerASIO::PrepareDevices() {
    const int rate = static_cast<int>(sampleRate);
    cycleCounter = 0;
    if (captureDevice) captureDevice->Prepare(bufferFrames, toggleNum, inputCount, inputChannels, rate, false);
    PrimeCapture();
    if (renderDevice) renderDevice->Prepare(bufferFrames, toggleNum, outputCount, outputChannels, rate, false);
    PrimeRender();
    cycleCounter = 0;
}

void VeltrixControllerASIO::ReleaseDevices() {
    if (captureDevice) captureDevice->Release(inputCount, inputChannels);
    if (renderDevice) renderDevice->Release(outputCount, outputChannels);
}

void VeltrixControllerASIO::PrimeCapture() {
    if (!captureDevice) return;
    // The first toggleNum reads are queued at once (Prepare signalled their
    // events); the data of those first reads is dropped, so that when streaming
    // begins every capture kernel buffer has a read in flight.
    for (long i = 0; i < 2 * toggleNum; ++i) {
        // The first reads are queued: now the capture clock may start.
        if (i == toggleNum) captureDevice->Run();
        if (i >= toggleNum) {
            bool usable = false;
            WaitForRing(captureDevice, cycleCounter % toggleNum, &usable);
        }
        captureDevice->ReadBlock(cycleCounter, inputCount, inputChannels, inputBuffers);
        cycleCounter = (cycleCounter + 1) % toggleNum;
    }
    cycleCounter = 0;
}

void VeltrixControllerASIO::PrimeRender() {
    if (!renderDevice) return;
    // Every render kernel buffer starts in flight, holding the silence Prepare
    // left in it. Otherwise the first writes would be paced by the capture side
    // alone and every later write would reach the device just as it is needed:
    // the ring would be one buffer deep whatever its size, and any delay of the
    // stream thread would be heard as a gap. Primed, each write lands behind
    // toggleNum - 1 buffers still to play.
    for (long position = 0; position < toggleNum; ++position)
        renderDevice->WriteBlock(position, 0, outputChannels, outputBuffers);
    renderDevice->Run();
}

void VeltrixControllerASIO::FinishStragglingThread() {
    if (!devicesHeldByThread) return;
    // A cycle or a recovery outlived stop's join. It ends by itself (it calls the
    // host no more and its waits are bounded); only then may its devices go.
    if (!JoinStreamThread(INFINITE)) return;
    devicesHeldByThread = false;
    ReleaseDevices();
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::start() {
    // A second start while streaming would start a second thread on the same
    // devices: restart instead.
    if (streamThread) {
        VeltrixControllerASIO* served = streamingDriver.load();
        if (served) {
            served->stop();
            served->FinishStragglingThread();
        }
    }
    FinishStragglingThread();
    // Still a thread: start was called from inside the host's own buffer switch,
    // on the stream thread itself, which cannot be waited for from there.
    if (streamThread) return ASE_InvalidMode;
    samplePosition = 0.0;
    running = false;
    cycleSystemTime = {0, 0};
    cycleCounter = 0;
    if (!hostCallbacks.load()) return ASE_NotPresent;
    if (!captureDevice && !renderDevice) return ASE_NotPresent;
    PrepareDevices();
    streamingDriver = this;
    stopRequested = false;
    streamThread = CreateThread(nullptr, 0, StreamThread, nullptr, 0, &streamThreadId);
    if (!streamThread) {
        ReleaseDevices();
        return ASE_HWMalfunction;
    }
    running = true;
    return ASE_OK;
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::stop() {
    running = false;
    if (streamingDriver.load() != this && !devicesHeldByThread) {
        // Not this object's stream: nothing of ours runs. Devices prepared by a
        // start whose thread could not be made were released there.
        return ASE_OK;
    }
    stopRequested = true;
    if (streamThread && !JoinStreamThread(kStreamJoinTimeoutMs)) {
        // The thread is still inside a cycle or a recovery and may be using the
        // devices: release them once it has ended.
        devicesHeldByThread = true;
        return ASE_OK;
    }
    devicesHeldByThread = false;
    ReleaseDevices();
    return ASE_OK;
}

bool VeltrixControllerASIO::PinsMissing() const {
    // Prepare reports no failure, and a direction without any open pin has no
    // transfer that could fail: without this a controller pulled and plugged back
    // while the host had no buffers (its device objects now hold dead handles)
    // would stream nothing for good, and the host would never be told.
    return (captureDevice && inputCount > 0 && captureDevice->openPinCount == 0) ||
           (renderDevice && outputCount > 0 && renderDevice->openPinCount == 0);
}

bool VeltrixControllerASIO::WaitForRing(CAudioDevice* device, long position, bool* usable) {
    *usable = false;
    if (!device || device->openPinCount <= 0 || !device->ringEvents) return false;
    *usable = true;
    HANDLE* row = device->ringEvents + position * device->maxFilters;
    DWORD result = WaitForMultipleObjects(static_cast<DWORD>(device->openPinCount), row, TRUE, kRingWaitMs);
    if (result == WAIT_FAILED) *usable = false;
    return result != WAIT_FAILED && result != WAIT_TIMEOUT;
}

void VeltrixControllerASIO::ProcessCycle() {
    ASIOCallbacks* callbacks = hostCallbacks.load();
    const double blockMs = (1000.0 / sampleRate) * bufferFrames;
    if (!running || !callbacks) {
        Sleep(static_cast<DWORD>(blockMs));
        return;
    }
    const DWORD cycleStart = timeGetTime();
    const double nanoseconds = static_cast<double>(cycleStart) * 1000000.0;
    cycleSystemTime.hi = static_cast<unsigned long>(nanoseconds * (1.0 / 4294967296.0));
    cycleSystemTime.lo = static_cast<unsigned long>(nanoseconds - cycleSystemTime.hi * 4294967296.0);

    const long position = cycleCounter % toggleNum;
    bool captureOk = true;
    bool captureWaitUsable = false;
    if (captureDevice && running && hostCallbacks.load()) {
        bool done = WaitForRing(captureDevice, position, &captureWaitUsable);
        if (done && captureDevice && running && hostCallbacks.load())
            captureOk = captureDevice->ReadBlock(cycleCounter, inputCount, inputChannels, inputBuffers);
    }
    bool renderWaitUsable = false;
    bool renderReady = WaitForRing(renderDevice, position, &renderWaitUsable) && renderDevice && running &&
                       hostCallbacks.load();

    samplePosition += bufferFrames;
    if (useTimeInfo)
        SwitchWithTimeInfo(cycleCounter % 2);
    else if (callbacks->bufferSwitch)
        callbacks->bufferSwitch(cycleCounter % 2, ASIOFalse);

    bool renderOk = true;
    // A host may stop or dispose from inside its own buffer switch: then its
    // output buffers may be gone and nothing more is queued.
    if (renderReady && running && hostCallbacks.load())
        renderOk = renderDevice->WriteBlock(cycleCounter, outputCount, outputChannels, outputBuffers);
    cycleCounter = (cycleCounter + 1) % (2 * toggleNum);

    if (!captureOk || !renderOk || PinsMissing()) {
        RecoverDevices();
        return;
    }
    // With no device wait to pace it (no pin open, or the devices gone after a
    // failed recovery), the loop would spin: hold it to one pass per block.
    if (!captureWaitUsable && !renderWaitUsable) {
        DWORD elapsed = timeGetTime() - cycleStart;
        DWORD block = static_cast<DWORD>(blockMs);
        if (elapsed < block) Sleep(block - elapsed);
    }
}

void VeltrixControllerASIO::SwitchWithTimeInfo(long index) {
    getSamplePosition(&hostTime.timeInfo.samplePosition, &hostTime.timeInfo.systemTime);
    if (timeCodeEnabled) {
        // A time code running ten minutes ahead of the sample position.
        unsigned long long samples = static_cast<unsigned long long>(
            static_cast<double>(hostTime.timeInfo.samplePosition.lo) + sampleRate * 600.0);
        hostTime.timeCode.timeCodeSamples.hi = 0;
        hostTime.timeCode.timeCodeSamples.lo = static_cast<unsigned long>(samples & 0xFFFFFFFFull);
    }
    ASIOCallbacks* callbacks = hostCallbacks.load();
    if (callbacks && callbacks->bufferSwitchTimeInfo) callbacks->bufferSwitchTimeInfo(&hostTime, index, ASIOFalse);
    // Each change is reported with exactly one buffer switch.
    hostTime.timeInfo.flags &= ~static_cast<unsigned long>(kSampleRateChanged | kClockSourceChanged);
}

bool VeltrixControllerASIO::ReopenDevices() {
    // Both devices are looked for in every round, for as long as init gives the
    // render side. A cable pulled and plugged back within that time then lets the
    // stream go on by itself; with a single capture attempt, made while the
    // controller is still away, it never could.
    bool captureOk = false;
    bool renderOk = false;
    for (int round = 0; round < kRenderAttempts; ++round) {
        if (!captureOk) captureOk = CreateCaptureDevice();
        if (captureOk && !renderOk) renderOk = CreateRenderDevice();
        if (captureOk && renderOk) return true;
        Sleep(kDeviceRetryPauseMs);
    }
    return false;
}

namespace {

// A window of the driver's class in this process. Windows of that class in other
// processes belong to other hosts (or the panel's tests): a request sent there
// would reset the wrong host and leave this one streaming without its device.
HWND OwnNotifyWindow() {
    for (HWND window = FindWindowExA(nullptr, nullptr, kNotifyWindowClass, nullptr); window;
         window = FindWindowExA(nullptr, window, kNotifyWindowClass, nullptr)) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId()) return window;
    }
    return nullptr;
}

}  // namespace

void VeltrixControllerASIO::RecoverDevices() {
    if (!running || !hostCallbacks.load()) return;
    ReleaseDevices();
    DeleteDevices();
    if (ReopenDevices()) {
        PrepareDevices();
        if (!PinsMissing()) return;
        // Found again but unable to stream: as good as gone.
        ReleaseDevices();
    }
    DeleteDevices();
    // The controller is gone: ask the host, through the notification window on
    // its own thread, to reset the driver.
    HWND window = OwnNotifyWindow();
    if (window) {
        streamPhase = StreamPhase::Notifying;
        SendMessageA(window, kResetRequestMessage, 0, 0);
    }
}

void SplitSamplePosition(double position, ASIOSamples* samples) {
    constexpr double kTwoTo32 = 4294967296.0;
    if (position >= kTwoTo32) {
        samples->hi = static_cast<unsigned long>(position / kTwoTo32);
        samples->lo = static_cast<unsigned long>(position - samples->hi * kTwoTo32);
    } else {
        samples->hi = 0;
        samples->lo = static_cast<unsigned long>(position);
    }
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
    if (tStamp) *tStamp = cycleSystemTime;
    if (sPos) SplitSamplePosition(samplePosition, sPos);
    return ASE_OK;
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::outputReady() { return ASE_OK; }
