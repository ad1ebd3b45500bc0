#include "CAudioDevice.h"

#include <cstring>
#include <mbstring.h>
#include <new>

#include "CKsAudCapFilter.h"
#include "CKsAudRenFilter.h"
#include "CKsEnumFilters.h"
#include "ControllerModels.h"
#include "DriverSettings.h"

const ControllerModel* FindModelByInterfacePath(const char* path) {
    if (!path) return nullptr;
    for (const ControllerModel& model : kControllerModels) {
        // A byte-wise search could match inside a double-byte character of the
        // ANSI code page; the multibyte search cannot.
        if (_mbsstr(reinterpret_cast<const unsigned char*>(path),
                    reinterpret_cast<const unsigned char*>(model.interfacePrefix)))
            return &model;
    }
    return nullptr;
}

CAudioDevice::CAudioDevice(int direction_, int maxChannels_, int hostSampleBytes_)
    : direction(direction_), maxChannels(maxChannels_), hostSampleBytes(hostSampleBytes_) {
    filterEnum = new CKsEnumFilters();
    if (direction == kRender) {
        const GUID categories[] = {KSCATEGORY_AUDIO, KSCATEGORY_RENDER};
        filterEnum->EnumFilters(CKsEnumFilters::kRenderFilter, categories, 2);
    } else if (direction == kCapture) {
        const GUID categories[] = {KSCATEGORY_AUDIO, KSCATEGORY_CAPTURE};
        filterEnum->EnumFilters(CKsEnumFilters::kCaptureFilter, categories, 2);
    } else {
        delete filterEnum;
        filterEnum = nullptr;
        return;
    }
    try {
        const int channelSlots = maxChannels > 0 ? maxChannels * maxFilters : 0;
        channelFilter = new int[channelSlots > 0 ? channelSlots : 1];
        for (int c = 0; c < channelSlots; ++c) channelFilter[c] = -1;
        sampleBytes = new int[maxFilters];
        rateMask = new int[maxFilters]();
        filterChannels = new int[maxFilters]();
        firstChannel = new int[maxFilters]();
        extensible = new int[maxFilters]();
        pins = new CKsAudPin*[maxFilters]();
        openPins = new int[maxFilters];
        for (int i = 0; i < maxFilters; ++i) {
            sampleBytes[i] = hostSampleBytes == 2 ? 2 : 3;
            openPins[i] = -1;
        }
    } catch (...) {
        FreeTables();
        throw;
    }
    SelectFilters();
}

CAudioDevice::~CAudioDevice() {
    if (pins) {
        for (int f = 0; f < maxFilters; ++f)
            if (pins[f]) pins[f]->ClosePin();
    }
    FreeStreamTables();
    FreeTables();
}

void CAudioDevice::FreeTables() {
    delete[] channelFilter;
    delete[] sampleBytes;
    delete[] rateMask;
    delete[] filterChannels;
    delete[] firstChannel;
    delete[] extensible;
    delete[] pins;
    delete[] openPins;
    channelFilter = sampleBytes = rateMask = filterChannels = firstChannel = extensible = openPins = nullptr;
    pins = nullptr;
    delete filterEnum;
    filterEnum = nullptr;
}

CKsFilter* CAudioDevice::FilterAt(int index) const {
    if (!filterEnum || index < 0) return nullptr;
    auto* node = filterEnum->m_listFilters.Head();
    for (int i = 0; node && i < index; ++i) node = node->next;
    return node ? node->item : nullptr;
}

void CAudioDevice::SelectFilters() {
    auto& list = filterEnum->m_listFilters;
    int index = 0;
    for (auto* node = list.Head(); node;) {
        auto* next = node->next;
        CKsFilter* filter = node->item;
        if (!filter) break;
        if (FindModelByInterfacePath(filter->Path()) && AddFilter(index, filter)) {
            ++index;
            if (index >= maxFilters) break;
        } else {
            list.Unlink(node);
            delete node;
            delete filter;
        }
        node = next;
    }
}

bool CAudioDevice::AddFilter(int i, CKsFilter* filter) {
    sampleBytes[i] = hostSampleBytes == 2 ? 2 : 3;
    rateMask[i] = filterChannels[i] = firstChannel[i] = extensible[i] = 0;
    int channels = 0;
    for (int n = 2; n <= maxChannels && channels == 0; n += 2) {
        for (int r = 0; r < kSampleRateCount; ++r)
            if (ProbeRate(n, i, filter, r)) rateMask[i] |= 1 << r;
        if (rateMask[i] != 0) channels = n;
    }
    if (channels == 0) return false;
    filterChannels[i] = channels;

    int lowestRate = 0;
    while (!(rateMask[i] & (1 << lowestRate))) ++lowestRate;
    for (int k = channels + 2; k <= maxChannels; k += 2) {
        if (!ProbeFormat(lowestRate, filter, k, sampleBytes[i], extensible[i] != 0)) break;
        filterChannels[i] = k;
    }

    firstChannel[i] = channelCount;
    for (int c = 0; c < filterChannels[i]; ++c) channelFilter[channelCount + c] = i;
    ++filterCount;
    channelCount += filterChannels[i];
    return true;
}

bool CAudioDevice::ProbeRate(int channels, int i, CKsFilter* filter, int r) {
    if (ProbeFormat(r, filter, channels, sampleBytes[i], true)) {
        extensible[i] = 1;
        return true;
    }
    for (int s = 4; s >= 2; --s) {
        if (ProbeFormat(r, filter, channels, s, true)) {
            sampleBytes[i] = s;
            extensible[i] = 1;
            return true;
        }
    }
    // Once a rate needed the extensible form, the plain form is not tried again.
    if (extensible[i]) return false;
    if (ProbeFormat(r, filter, channels, sampleBytes[i], false)) return true;
    for (int s = 4; s >= 2; --s) {
        if (ProbeFormat(r, filter, channels, s, false)) {
            sampleBytes[i] = s;
            return true;
        }
    }
    return false;
}

bool CAudioDevice::TryFormat(CKsFilter* filter, const WAVEFORMATEX* format) {
    CKsAudPin* pin = nullptr;
    if (direction == kRender) {
        auto* render = static_cast<CKsAudRenFilter*>(filter);
        if (render->CanCreateRenderPin(format)) pin = render->CreateRenderPin(format);
    } else {
        auto* capture = static_cast<CKsAudCapFilter*>(filter);
        if (capture->CanCreateCapturePin(format)) pin = capture->CreateCapturePin(format);
    }
    if (!pin) return false;
    ++probePinsOpened;
    pin->ClosePin();
    return true;
}

bool CAudioDevice::ProbeFormat(int r, CKsFilter* filter, int channels, int bytes, bool extensibleForm) {
    WAVEFORMATEXTENSIBLE format;
    BuildWaveFormat(bytes, channels, r, extensibleForm, &format);
    if (TryFormat(filter, &format.Format)) return true;
    if (!extensibleForm) return false;
    // Some filters want a speaker layout; try the masks of ever fewer channels.
    for (int m = channels; m >= 2; m -= 2) {
        format.dwChannelMask = ChannelMask(m);
        if (TryFormat(filter, &format.Format)) return true;
    }
    return false;
}

void CAudioDevice::BuildWaveFormat(int bytes, int channels, int rateIndex, bool extensibleForm,
                                   WAVEFORMATEXTENSIBLE* format) {
    std::memset(format, 0, sizeof(*format));
    format->Format.wFormatTag = extensibleForm ? WAVE_FORMAT_EXTENSIBLE : WAVE_FORMAT_PCM;
    format->Format.nChannels = static_cast<WORD>(channels);
    format->Format.nSamplesPerSec = static_cast<DWORD>(kSampleRates[rateIndex]);
    format->Format.nBlockAlign = static_cast<WORD>(bytes * channels);
    format->Format.nAvgBytesPerSec = static_cast<DWORD>(format->Format.nBlockAlign) * format->Format.nSamplesPerSec;
    format->Format.wBitsPerSample = static_cast<WORD>(bytes * 8);
    if (extensibleForm) {
        format->Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
        format->Samples.wValidBitsPerSample = static_cast<WORD>(bytes * 8);
        format->dwChannelMask = 0;
        format->SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    }
}

DWORD CAudioDevice::ChannelMask(int channels) {
    switch (channels) {
    case 2: return 0x3;
    case 4: return 0x33;
    case 6: return 0x3F;
    case 8: return 0xFF;
    default: return 0;
    }
}

bool CAudioDevice::SupportsSampleRate(int rate) const {
    int index = -1;
    for (int r = 0; r < kSampleRateCount; ++r)
        if (kSampleRates[r] == rate) index = r;
    if (index < 0) return false;
    for (int f = 0; f < filterCount; ++f)
        if (!(rateMask[f] & (1 << index))) return false;
    return true;
}

const char* CAudioDevice::GetChannelModel(int channel, int* outNumber, int* outOrdinal, int* outCount) const {
    if (outNumber) *outNumber = 0;
    if (outOrdinal) *outOrdinal = 0;
    if (outCount) *outCount = 0;
    if (channel < 0 || channel >= channelCount || !channelFilter) return nullptr;
    const int f = channelFilter[channel];
    if (f < 0 || f >= filterCount) return nullptr;
    CKsFilter* filter = FilterAt(f);
    if (!filter) return nullptr;
    const ControllerModel* model = FindModelByInterfacePath(filter->Path());
    if (!model) return filter->Label();

    int number = channel - firstChannel[f] + 1;
    int ordinal = 1;
    int count = 0;
    for (int j = 0; j < filterCount; ++j) {
        CKsFilter* other = FilterAt(j);
        if (!other || FindModelByInterfacePath(other->Path()) != model) continue;
        if (j < f) {
            ++ordinal;
            // Without an ordinal to tell the units apart, numbering runs on.
            if (!outOrdinal) number += filterChannels[j];
        }
        ++count;
    }
    if (outNumber) *outNumber = number;
    if (outOrdinal) *outOrdinal = ordinal;
    if (outCount) *outCount = count;
    return model->name;
}

// ---- Streaming ----

int CAudioDevice::BlockBytes(int f) const { return filterChannels[f] * sampleBytes[f] * blockFrames; }

int CAudioDevice::FilterOfChannel(int channel) const {
    if (channel < 0 || channel >= channelCount || !channelFilter) return -1;
    int f = channelFilter[channel];
    return (f >= 0 && f < filterCount) ? f : -1;
}

void CAudioDevice::FreeStreamTables() {
    // Kernel buffers and events still held (a device destroyed while streaming).
    if (blockBuffers || blockEvents) {
        for (int i = 0; i < bufferCount * maxFilters; ++i) {
            if (blockBuffers && blockBuffers[i]) delete[] blockBuffers[i];
            if (blockEvents && blockEvents[i]) CloseHandle(blockEvents[i]);
        }
    }
    delete[] headers;
    delete[] overlapped;
    delete[] blockBuffers;
    delete[] blockEvents;
    delete[] ringEvents;
    headers = nullptr;
    overlapped = nullptr;
    blockBuffers = nullptr;
    blockEvents = nullptr;
    ringEvents = nullptr;
}

bool CAudioDevice::Prepare(int blockFrames_, int bufferCount_, int count, const long* channels, int sampleRate,
                           bool run) {
    FreeStreamTables();
    blockFrames = blockFrames_;
    bufferCount = bufferCount_;
    const int entries = bufferCount * maxFilters;
    headers = new KSSTREAM_HEADER[entries]();
    overlapped = new OVERLAPPED[entries]();
    blockBuffers = new unsigned char*[entries]();
    blockEvents = new HANDLE[entries]();
    ringEvents = new HANDLE[entries]();
    for (int j = 0; j < count; ++j) OpenChannel(static_cast<int>(channels[j]), sampleRate);
    RunPins(run);
    return true;
}

CKsAudPin* CAudioDevice::CreateFilterPin(int f, CKsFilter* filter, int r) {
    WAVEFORMATEXTENSIBLE format;
    BuildWaveFormat(sampleBytes[f], filterChannels[f], r, extensible[f] != 0, &format);
    auto create = [&]() -> CKsAudPin* {
        return direction == kRender ? static_cast<CKsAudRenFilter*>(filter)->CreateRenderPin(&format.Format)
                                    : static_cast<CKsAudCapFilter*>(filter)->CreateCapturePin(&format.Format);
    };
    CKsAudPin* pin = create();
    if (!pin && extensible[f]) {
        for (int m = filterChannels[f]; m >= 2 && !pin; m -= 2) {
            format.dwChannelMask = ChannelMask(m);
            pin = create();
        }
    }
    return pin;
}

bool CAudioDevice::OpenChannel(int channel, int sampleRate) {
    const int f = FilterOfChannel(channel);
    if (f < 0) return false;
    CKsFilter* filter = FilterAt(f);
    if (!filter) return false;
    if (pins[f]) return true;

    int rateIndex = -1;
    for (int r = 0; r < kSampleRateCount; ++r)
        if (kSampleRates[r] == sampleRate) rateIndex = r;
    if (rateIndex < 0) return false;
    pins[f] = CreateFilterPin(f, filter, rateIndex);
    if (!pins[f]) return false;

    const int bytes = BlockBytes(f);
    bool complete = true;
    for (int b = 0; b < bufferCount; ++b) {
        const int i = f * bufferCount + b;
        blockBuffers[i] = new (std::nothrow) unsigned char[bytes > 0 ? bytes : 1]();
        blockEvents[i] = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (!blockBuffers[i] || !blockEvents[i]) complete = false;
        KSSTREAM_HEADER& header = headers[i];
        std::memset(&header, 0, sizeof(header));
        header.Size = sizeof(KSSTREAM_HEADER);
        header.PresentationTime.Numerator = 1;
        header.PresentationTime.Denominator = 1;
        header.FrameExtent = static_cast<ULONG>(bytes);
        header.DataUsed = static_cast<ULONG>(bytes);
        header.Data = blockBuffers[i];
        std::memset(&overlapped[i], 0, sizeof(OVERLAPPED));
        overlapped[i].hEvent = blockEvents[i];
    }
    // The pin stays open; Release closes it with the others.
    if (!complete) return false;

    openPins[openPinCount] = f;
    for (int b = 0; b < bufferCount; ++b) ringEvents[b * maxFilters + openPinCount] = blockEvents[f * bufferCount + b];
    ++openPinCount;
    return true;
}

void CAudioDevice::RunPins(bool run) {
    for (int p = 0; p < openPinCount; ++p) {
        const int f = openPins[p];
        for (int b = 0; b < bufferCount; ++b) {
            const int i = f * bufferCount + b;
            std::memset(blockBuffers[i], 0, BlockBytes(f));
            // Every position looks finished, so the first writes need no wait.
            SetEvent(blockEvents[i]);
        }
    }
    RaisePins(run ? KSSTATE_RUN : KSSTATE_PAUSE);
}

void CAudioDevice::Run() { RaisePins(KSSTATE_RUN); }

void CAudioDevice::RaisePins(KSSTATE target) {
    for (int p = 0; p < openPinCount; ++p) {
        CKsAudPin* pin = pins[openPins[p]];
        if (!pin) continue;
        // One step at a time, as a pin's state may only move to a neighbour.
        KSSTATE state = KSSTATE_STOP;
        if (FAILED(pin->GetState(&state))) {
            pin->SetState(KSSTATE_PAUSE);
            if (target == KSSTATE_RUN) pin->SetState(KSSTATE_RUN);
            continue;
        }
        if (state == KSSTATE_STOP && state < target) state = (pin->SetState(KSSTATE_ACQUIRE), KSSTATE_ACQUIRE);
        if (state == KSSTATE_ACQUIRE && state < target) state = (pin->SetState(KSSTATE_PAUSE), KSSTATE_PAUSE);
        if (state == KSSTATE_PAUSE && state < target) pin->SetState(KSSTATE_RUN);
    }
}

void CAudioDevice::StopPins() {
    for (int p = 0; p < openPinCount; ++p) {
        CKsAudPin* pin = pins[openPins[p]];
        if (!pin) continue;
        KSSTATE state = KSSTATE_STOP;
        if (FAILED(pin->GetState(&state))) {
            pin->SetState(KSSTATE_PAUSE);
            pin->SetState(KSSTATE_STOP);
            continue;
        }
        switch (state) {
        case KSSTATE_ACQUIRE:
        case KSSTATE_PAUSE: pin->SetState(KSSTATE_STOP); break;
        case KSSTATE_RUN:
            pin->SetState(KSSTATE_PAUSE);
            pin->SetState(KSSTATE_STOP);
            break;
        default: break;
        }
    }
}

void CAudioDevice::CloseChannel(int channel) {
    const int f = FilterOfChannel(channel);
    if (f < 0 || !pins[f]) return;
    pins[f]->ClosePin();
    pins[f] = nullptr;
    if (!blockBuffers) return;
    for (int b = 0; b < bufferCount; ++b) {
        const int i = f * bufferCount + b;
        delete[] blockBuffers[i];
        blockBuffers[i] = nullptr;
        if (blockEvents[i]) CloseHandle(blockEvents[i]);
        blockEvents[i] = nullptr;
    }
}

void CAudioDevice::Release(int count, const long* channels) {
    StopPins();
    for (int j = 0; j < count; ++j) CloseChannel(static_cast<int>(channels[j]));
    for (int p = 0; p < openPinCount; ++p) {
        openPins[p] = -1;
        for (int b = 0; b < bufferCount && ringEvents; ++b) ringEvents[b * maxFilters + p] = nullptr;
    }
    openPinCount = 0;
    FreeStreamTables();
}

bool CAudioDevice::WriteBlock(int blockIndex, int count, const long* channels, void* const* hostBuffers) {
    if (bufferCount <= 0 || !headers) return openPinCount == 0;
    const int b = blockIndex % bufferCount;
    for (int j = 0; j < count; ++j) CopyToDevice(static_cast<int>(channels[j]), blockIndex, hostBuffers[j]);
    int queued = 0;
    for (int p = 0; p < openPinCount; ++p) {
        const int f = openPins[p];
        const int i = f * bufferCount + b;
        ResetEvent(blockEvents[i]);
        headers[i].DataUsed = static_cast<ULONG>(BlockBytes(f));
        if (SUCCEEDED(pins[f]->WriteData(&headers[i], &overlapped[i]))) ++queued;
    }
    return queued == openPinCount;
}

bool CAudioDevice::ReadBlock(int blockIndex, int count, const long* channels, void* const* hostBuffers) {
    if (bufferCount <= 0 || !headers) return openPinCount == 0;
    const int b = blockIndex % bufferCount;
    int good = 0;
    for (int p = 0; p < openPinCount; ++p) {
        const int f = openPins[p];
        const int i = f * bufferCount + b;
        bool held = headers[i].DataUsed != 0;
        // An empty completion leaves the 0x7F fill untouched; any other byte means
        // the device wrote into the buffer.
        for (int k = 0, bytes = BlockBytes(f); !held && k < bytes; ++k)
            if (blockBuffers[i][k] != kEmptyFill) held = true;
        if (held) ++good;
    }
    for (int j = 0; j < count; ++j) CopyFromDevice(static_cast<int>(channels[j]), blockIndex, hostBuffers[j]);
    for (int p = 0; p < openPinCount; ++p) {
        const int f = openPins[p];
        const int i = f * bufferCount + b;
        std::memset(blockBuffers[i], kEmptyFill, BlockBytes(f));
        ResetEvent(blockEvents[i]);
        headers[i].DataUsed = 0;
        if (SUCCEEDED(pins[f]->ReadData(&headers[i], &overlapped[i]))) ++good;
    }
    return good == 2 * openPinCount;
}

namespace {

// One channel's samples between a host buffer (packed, H bytes a sample) and an
// interleaved kernel buffer (D-byte containers, `stride` bytes a frame). The most
// significant bytes meet: the narrower side's width is moved, the wider side's
// lowest bytes are skipped. The sizes are template arguments so that each copy
// is a fixed-size move the compiler turns into plain loads and stores.
template <int H, int D>
void ToDevice(const unsigned char* host, unsigned char* device, int frames, int stride) {
    constexpr int moved = H < D ? H : D;
    for (int k = 0; k < frames; ++k, host += H, device += stride) std::memcpy(device + (D - moved), host + (H - moved), moved);
}

template <int H, int D>
void FromDevice(const unsigned char* device, unsigned char* host, int frames, int stride) {
    constexpr int moved = H < D ? H : D;
    for (int k = 0; k < frames; ++k, host += H, device += stride) std::memcpy(host + (H - moved), device + (D - moved), moved);
}

typedef void (*ToDeviceFunction)(const unsigned char*, unsigned char*, int, int);
typedef void (*FromDeviceFunction)(const unsigned char*, unsigned char*, int, int);

template <int H>
ToDeviceFunction ToDeviceFor(int deviceBytes) {
    switch (deviceBytes) {
    case 2: return ToDevice<H, 2>;
    case 3: return ToDevice<H, 3>;
    case 4: return ToDevice<H, 4>;
    default: return nullptr;
    }
}

template <int H>
FromDeviceFunction FromDeviceFor(int deviceBytes) {
    switch (deviceBytes) {
    case 2: return FromDevice<H, 2>;
    case 3: return FromDevice<H, 3>;
    case 4: return FromDevice<H, 4>;
    default: return nullptr;
    }
}

ToDeviceFunction ToDeviceCopy(int hostBytes, int deviceBytes) {
    switch (hostBytes) {
    case 2: return ToDeviceFor<2>(deviceBytes);
    case 3: return ToDeviceFor<3>(deviceBytes);
    case 4: return ToDeviceFor<4>(deviceBytes);
    default: return nullptr;
    }
}

FromDeviceFunction FromDeviceCopy(int hostBytes, int deviceBytes) {
    switch (hostBytes) {
    case 2: return FromDeviceFor<2>(deviceBytes);
    case 3: return FromDeviceFor<3>(deviceBytes);
    case 4: return FromDeviceFor<4>(deviceBytes);
    default: return nullptr;
    }
}

}  // namespace

void CAudioDevice::CopyToDevice(int channel, int blockIndex, const void* hostBuffer) {
    const int f = FilterOfChannel(channel);
    if (f < 0 || !hostBuffer || bufferCount <= 0 || !blockBuffers) return;
    unsigned char* device = blockBuffers[f * bufferCount + blockIndex % bufferCount];
    ToDeviceFunction copy = ToDeviceCopy(hostSampleBytes, sampleBytes[f]);
    if (!device || !copy) return;
    const unsigned char* host =
        static_cast<const unsigned char*>(hostBuffer) + (blockIndex % 2) * blockFrames * hostSampleBytes;
    copy(host, device + (channel - firstChannel[f]) * sampleBytes[f], blockFrames, filterChannels[f] * sampleBytes[f]);
}

void CAudioDevice::CopyFromDevice(int channel, int blockIndex, void* hostBuffer) {
    const int f = FilterOfChannel(channel);
    if (f < 0 || !hostBuffer || bufferCount <= 0 || !blockBuffers) return;
    const unsigned char* device = blockBuffers[f * bufferCount + blockIndex % bufferCount];
    FromDeviceFunction copy = FromDeviceCopy(hostSampleBytes, sampleBytes[f]);
    if (!device || !copy) return;
    unsigned char* host = static_cast<unsigned char*>(hostBuffer) + (blockIndex % 2) * blockFrames * hostSampleBytes;
    copy(device + (channel - firstChannel[f]) * sampleBytes[f], host, blockFrames, filterChannels[f] * sampleBytes[f]);
}
