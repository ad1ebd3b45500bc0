#include "VeltrixControllerASIO.h"

#include "CAudioDevice.h"
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

// The host-facing operations arrive with the device work; until then the driver
// reports itself as not present.

ASIOBool ASIO_THISCALL VeltrixControllerASIO::init(void*) { return ASIOFalse; }

void ASIO_THISCALL VeltrixControllerASIO::getDriverName(char*) {}

long ASIO_THISCALL VeltrixControllerASIO::getDriverVersion() { return 0; }

void ASIO_THISCALL VeltrixControllerASIO::getErrorMessage(char*) {}

ASIOError ASIO_THISCALL VeltrixControllerASIO::start() { return ASE_NotPresent; }

ASIOError ASIO_THISCALL VeltrixControllerASIO::stop() { return ASE_NotPresent; }

ASIOError ASIO_THISCALL VeltrixControllerASIO::getChannels(long*, long*) { return ASE_NotPresent; }

ASIOError ASIO_THISCALL VeltrixControllerASIO::getLatencies(long*, long*) { return ASE_NotPresent; }

ASIOError ASIO_THISCALL VeltrixControllerASIO::getBufferSize(long*, long*, long*, long*) { return ASE_NotPresent; }

ASIOError ASIO_THISCALL VeltrixControllerASIO::canSampleRate(ASIOSampleRate) { return ASE_NotPresent; }

ASIOError ASIO_THISCALL VeltrixControllerASIO::getSampleRate(ASIOSampleRate*) { return ASE_NotPresent; }

ASIOError ASIO_THISCALL VeltrixControllerASIO::setSampleRate(ASIOSampleRate) { return ASE_NotPresent; }

ASIOError ASIO_THISCALL VeltrixControllerASIO::getClockSources(ASIOClockSource*, long*) { return ASE_NotPresent; }

ASIOError ASIO_THISCALL VeltrixControllerASIO::setClockSource(long) { return ASE_NotPresent; }

ASIOError ASIO_THISCALL VeltrixControllerASIO::getSamplePosition(ASIOSamples*, ASIOTimeStamp*) {
    return ASE_NotPresent;
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::getChannelInfo(ASIOChannelInfo*) { return ASE_NotPresent; }

ASIOError ASIO_THISCALL VeltrixControllerASIO::createBuffers(ASIOBufferInfo*, long, long, ASIOCallbacks*) {
    return ASE_NotPresent;
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::disposeBuffers() {
    hostCallbacks = nullptr;
    return ASE_OK;
}

ASIOError ASIO_THISCALL VeltrixControllerASIO::controlPanel() { return ASE_NotPresent; }

ASIOError ASIO_THISCALL VeltrixControllerASIO::future(long, void*) { return ASE_NotPresent; }

ASIOError ASIO_THISCALL VeltrixControllerASIO::outputReady() { return ASE_NotPresent; }
