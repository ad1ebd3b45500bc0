// The driver's view of the connected controller's audio interface in one
// direction: the bound filter of a supported model, and what its streaming pin
// accepts (channels, rates, sample container), found by opening pins on trial.
#pragma once

#include <windows.h>
#include <mmreg.h>
#include <ks.h>
#include <ksmedia.h>

class CKsEnumFilters;
class CKsFilter;
class CKsAudPin;

class CAudioDevice {
public:
    static constexpr int kRender = 1;
    static constexpr int kCapture = 2;
    // What a capture kernel buffer is filled with before each read; a completed
    // read that left it untouched (and reported no bytes) brought no audio.
    static constexpr unsigned char kEmptyFill = 0x7F;

    // May take long: it opens and closes real pins while probing. Allocation
    // failure raises std::bad_alloc.
    CAudioDevice(int direction, int maxChannels, int hostSampleBytes);
    ~CAudioDevice();
    CAudioDevice(const CAudioDevice&) = delete;
    CAudioDevice& operator=(const CAudioDevice&) = delete;

    bool SupportsSampleRate(int rate) const;

    // Streaming: opens the listed channels' pins with rings of bufferCount kernel
    // buffers of blockFrames frames and sets them running. Always true. With run
    // false the pins wait in KSSTATE_PAUSE, so that their first buffers can be
    // queued before their clock starts; Run then starts them.
    bool Prepare(int blockFrames, int bufferCount, int count, const long* channels, int sampleRate,
                 bool run = true);
    void Run();
    // Stops and closes the listed channels' pins and drops the kernel buffers.
    void Release(int count, const long* channels);
    // One block each way; the block index selects ring position (index mod
    // bufferCount) and host half (index mod 2). hostBuffers runs parallel to
    // channels; a null entry skips that channel.
    bool WriteBlock(int blockIndex, int count, const long* channels, void* const* hostBuffers);
    bool ReadBlock(int blockIndex, int count, const long* channels, void* const* hostBuffers);
    void CopyToDevice(int channel, int blockIndex, const void* hostBuffer);
    void CopyFromDevice(int channel, int blockIndex, void* hostBuffer);

    const char* GetChannelModel(int channel, int* outNumber, int* outOrdinal, int* outCount) const;

    // Fills a WAVEFORMATEXTENSIBLE in the extensible or the plain PCM form.
    static void BuildWaveFormat(int sampleBytes, int channels, int rateIndex, bool extensibleForm,
                                WAVEFORMATEXTENSIBLE* format);
    static DWORD ChannelMask(int channels);

    int direction;
    int maxFilters = 1;
    int maxChannels;
    int hostSampleBytes;
    int filterCount = 0;
    int channelCount = 0;
    int blockFrames = 0;
    int bufferCount = 0;
    CKsEnumFilters* filterEnum = nullptr;
    int* channelFilter = nullptr;
    int* sampleBytes = nullptr;
    int* rateMask = nullptr;
    int* filterChannels = nullptr;
    int* firstChannel = nullptr;
    int* extensible = nullptr;
    CKsAudPin** pins = nullptr;
    int* openPins = nullptr;
    KSSTREAM_HEADER* headers = nullptr;
    OVERLAPPED* overlapped = nullptr;
    unsigned char** blockBuffers = nullptr;
    HANDLE* blockEvents = nullptr;
    int openPinCount = 0;
    HANDLE* ringEvents = nullptr;

    // How many pins probing opened (for the benchmark and diagnostics).
    int probePinsOpened = 0;

private:
    void SelectFilters();
    bool AddFilter(int index, CKsFilter* filter);
    bool ProbeRate(int channels, int index, CKsFilter* filter, int rateIndex);
    bool ProbeFormat(int rateIndex, CKsFilter* filter, int channels, int bytes, bool extensibleForm);
    bool TryFormat(CKsFilter* filter, const WAVEFORMATEX* format);
    CKsFilter* FilterAt(int index) const;
    void FreeTables();
    bool OpenChannel(int channel, int sampleRate);
    CKsAudPin* CreateFilterPin(int filterIndex, CKsFilter* filter, int rateIndex);
    void CloseChannel(int channel);
    void RunPins(bool run);
    void RaisePins(KSSTATE target);
    void StopPins();
    void FreeStreamTables();
    int BlockBytes(int filterIndex) const;
    int FilterOfChannel(int channel) const;
};
