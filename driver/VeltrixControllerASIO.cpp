#include "VeltrixControllerASIO.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <shellapi.h>

#include "CAudioDevice.h"
#include "DriverConstants.h"
#include "DriverIdentity.h"
#include "DriverSettings.h"

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
    if (inUseMutex) {
        CloseHandle(inUseMutex);
        inUseMutex = nullptr;
    }
    disposeBuffers();
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

bool VeltrixControllerASIO::CreateCaptureDevice() {
    ++captureAttempts;
    delete captureDevice;
    captureDevice = nullptr;
    try {
        captureDevice = new CAudioDevice(CAudioDevice::kCapture, kMaxInputs, bitResolution);
    } catch (const std::bad_alloc&) {
        captureDevice = nullptr;
        return false;
    }
    return captureDevice->channelCount != 0;
}

bool VeltrixControllerASIO::CreateRenderDevice() {
    ++renderAttempts;
    delete renderDevice;
    renderDevice = nullptr;
    try {
        renderDevice = new CAudioDevice(CAudioDevice::kRender, kMaxOutputs, bitResolution);
    } catch (const std::bad_alloc&) {
        renderDevice = nullptr;
        return false;
    }
    return renderDevice->channelCount != 0;
}

ASIOBool ASIO_THISCALL VeltrixControllerASIO::init(void* /*sysHandle*/) {
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
    return ASIOTrue;
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
        if (hostCallbacks && hostCallbacks->sampleRateDidChange) hostCallbacks->sampleRateDidChange(rate);
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
    if (hostCallbacks && hostCallbacks->asioMessage &&
        hostCallbacks->asioMessage(kAsioSupportsTimeInfo, 0, nullptr, nullptr) != 0) {
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

ASIOError ASIO_THISCALL VeltrixControllerASIO::start() {
    samplePosition = 0.0;
    running = false;
    cycleSystemTime = {0, 0};
    cycleCounter = 0;
    if (!hostCallbacks || (!captureDevice && !renderDevice)) return ASE_NotPresent;
    // Opening the pins and starting the stream thread come with the streaming work.
    return ASE_NotPresent;
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::stop() {
    running = false;
    return ASE_OK;
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
    if (tStamp) *tStamp = cycleSystemTime;
    if (sPos) {
        constexpr double kTwoTo32 = 4294967296.0;
        if (samplePosition >= kTwoTo32) {
            sPos->hi = static_cast<unsigned long>(samplePosition / kTwoTo32);
            sPos->lo = static_cast<unsigned long>(samplePosition - sPos->hi * kTwoTo32);
        } else {
            sPos->hi = 0;
            sPos->lo = static_cast<unsigned long>(samplePosition);
        }
    }
    return ASE_OK;
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::outputReady() { return ASE_OK; }
