// The ASIO driver object a host talks to. IASIO must be the first base: hosts cast
// the pointer COM hands out straight to IASIO and call through its vtable.
#pragma once

#include <windows.h>

#include <atomic>

#include "Asio.h"
#include "CUnknown.h"

class CAudioDevice;

// A frame count as the two unsigned 32-bit halves ASIO hands to hosts.
void SplitSamplePosition(double position, ASIOSamples* samples);

class VeltrixControllerASIO : public IASIO, public CUnknown {
public:
    explicit VeltrixControllerASIO(IUnknown* outer);
    ~VeltrixControllerASIO() override;

    // IUnknown of the IASIO side: forwarded unchanged to the owner.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID riid, void** ppv) override;

    ASIOBool ASIO_THISCALL init(void* sysHandle) override;
    void ASIO_THISCALL getDriverName(char* name) override;
    long ASIO_THISCALL getDriverVersion() override;
    void ASIO_THISCALL getErrorMessage(char* string) override;
    ASIOError ASIO_THISCALL start() override;
    ASIOError ASIO_THISCALL stop() override;
    ASIOError ASIO_THISCALL getChannels(long* numInputChannels, long* numOutputChannels) override;
    ASIOError ASIO_THISCALL getLatencies(long* inputLatency, long* outputLatency) override;
    ASIOError ASIO_THISCALL getBufferSize(long* minSize, long* maxSize, long* preferredSize,
                                          long* granularity) override;
    ASIOError ASIO_THISCALL canSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError ASIO_THISCALL getSampleRate(ASIOSampleRate* sampleRate) override;
    ASIOError ASIO_THISCALL setSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError ASIO_THISCALL getClockSources(ASIOClockSource* clocks, long* numSources) override;
    ASIOError ASIO_THISCALL setClockSource(long reference) override;
    ASIOError ASIO_THISCALL getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) override;
    ASIOError ASIO_THISCALL getChannelInfo(ASIOChannelInfo* info) override;
    ASIOError ASIO_THISCALL createBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize,
                                          ASIOCallbacks* callbacks) override;
    ASIOError ASIO_THISCALL disposeBuffers() override;
    ASIOError ASIO_THISCALL controlPanel() override;
    ASIOError ASIO_THISCALL future(long selector, void* opt) override;
    ASIOError ASIO_THISCALL outputReady() override;

    static constexpr int kMaxInputs = 2;
    static constexpr int kMaxOutputs = 4;
    static constexpr int kErrorTextSize = 128;

    // Read-only views for tests and diagnostics.
    long BlockNum() const { return blockNum; }
    long BitResolution() const { return bitResolution; }
    long ToggleNum() const { return toggleNum; }
    long BufferFrames() const { return bufferFrames; }
    long CycleCounter() const { return cycleCounter; }
    double SampleRate() const { return sampleRate; }

    // One stream cycle, run by the stream thread on the object it serves.
    void ProcessCycle();

    // Asks the host to reset the driver (asioMessage kAsioResetRequest), when it
    // has given its callbacks. Called on the notification window's thread.
    void RequestHostReset();

    HWND NotifyWindow() const { return notifyWindow; }
    HANDLE InUseMutex() const { return inUseMutex; }

private:
    friend DWORD WINAPI StreamThread(LPVOID);
    void SwitchWithTimeInfo(long index);
    void RecoverDevices();
    bool ReopenDevices();
    void PrimeCapture();
    void PrimeRender();
    void PrepareDevices();
    void ReleaseDevices();
    // Waits for the ring position's events of a device; true when all were
    // signalled, false on time-out, failure or no open pin to wait for.
    bool WaitForRing(CAudioDevice* device, long position, bool* usable);
    // A direction the host has buffers in opened no pin: nothing of it can stream.
    bool PinsMissing() const;
    // Ends the stream thread of an earlier stop that did not end in time.
    void FinishStragglingThread();
    void OpenDevices();
    void CreateNotifyWindow();
    void DestroyNotifyWindow();
    void OpenInUseMutex();
    bool CreateDevice(CAudioDevice*& device, int direction, int maxChannels);
    bool CreateCaptureDevice();
    bool CreateRenderDevice();
    void DeleteDevices();
    bool DevicesSupportRate(ASIOSampleRate rate) const;

    double samplePosition = 0.0;
    double sampleRate = 0.0;
    ASIOCallbacks hostCallbacksCopy = {};
    std::atomic<ASIOCallbacks*> hostCallbacks{nullptr};
    ASIOTime hostTime = {};
    ASIOTimeStamp cycleSystemTime = {};
    long bufferFrames = 0;
    long cycleCounter = 0;
    bool mutexOpened = false;
    std::atomic<bool> running{false};
    // stop timed out on the stream thread: the devices and host buffers may still be
    // in use and are released once it has ended.
    bool devicesHeldByThread = false;
    bool useTimeInfo = false;
    bool timeCodeEnabled = false;
    char errorText[kErrorTextSize] = {};
    HANDLE inUseMutex = nullptr;
    HMODULE windowModule = nullptr;
    HWND notifyWindow = nullptr;
    HDEVNOTIFY deviceNotification = nullptr;
    long blockNum = 0;
    long bitResolution = 0;
    long toggleNum = 0;
    void* inputBuffers[kMaxInputs] = {};
    long inputChannels[kMaxInputs] = {-1, -1};
    long inputCount = 0;
    CAudioDevice* captureDevice = nullptr;
    void* outputBuffers[kMaxOutputs] = {};
    long outputChannels[kMaxOutputs] = {-1, -1, -1, -1};
    long outputCount = 0;
    CAudioDevice* renderDevice = nullptr;
};
