#include "KsTestHelpers.h"

#include <cstring>

namespace kstest {

std::vector<FoundFilter> EnumerateAudioFilters(const GUID& aliasCategory) {
    DeviceSystem& system = DeviceSystemInstance();
    std::vector<FoundFilter> found;
    HDEVINFO set = system.SetupDiGetClassDevsA(&KSCATEGORY_AUDIO, nullptr, nullptr,
                                               DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return found;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!system.SetupDiEnumDeviceInterfaces(set, nullptr, &KSCATEGORY_AUDIO, index, &data)) break;
        BYTE storage[525] = {};
        auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(storage);
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        if (!system.SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof storage, nullptr, &info)) continue;
        SP_DEVICE_INTERFACE_DATA alias{};
        alias.cbSize = sizeof alias;
        if (!system.SetupDiGetDeviceInterfaceAlias(set, &data, &aliasCategory, &alias)) continue;
        if (alias.Flags == 0 || (alias.Flags & SPINT_REMOVED)) continue;
        char name[260] = {};
        HKEY key = system.SetupDiOpenDeviceInterfaceRegKey(set, &data, 0, KEY_QUERY_VALUE);
        if (key != reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) {
            DWORD size = sizeof name;
            system.RegQueryValueExA(key, "FriendlyName", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size);
            system.RegCloseKey(key);
        }
        found.push_back({detail->DevicePath, name});
    }
    system.SetupDiDestroyDeviceInfoList(set);
    return found;
}

HANDLE OpenFilter(const GUID& aliasCategory, const char* fragment) {
    for (const FoundFilter& filter : EnumerateAudioFilters(aliasCategory)) {
        if (filter.path.find(fragment) == std::string::npos) continue;
        return DeviceSystemInstance().CreateFileA(filter.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED,
                                                  nullptr);
    }
    return INVALID_HANDLE_VALUE;
}

namespace {
DWORD Send(HANDLE target, void* request, ULONG requestSize, void* value, ULONG valueSize, ULONG* bytes) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD count = 0;
    DWORD error = ERROR_SUCCESS;
    if (!DeviceSystemInstance().DeviceIoControl(target, IOCTL_KS_PROPERTY, request, requestSize, value, valueSize,
                                                &count, &overlapped)) {
        error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            WaitForSingleObject(overlapped.hEvent, INFINITE);
            error = ERROR_SUCCESS;
        }
    }
    CloseHandle(overlapped.hEvent);
    if (bytes) *bytes = count;
    return error;
}
}  // namespace

DWORD PinProperty(HANDLE filter, ULONG pinId, ULONG propertyId, void* value, ULONG valueSize, ULONG* bytes) {
    KSP_PIN request{};
    request.Property.Set = KSPROPSETID_Pin;
    request.Property.Id = propertyId;
    request.Property.Flags = KSPROPERTY_TYPE_GET;
    request.PinId = pinId;
    return Send(filter, &request, sizeof request, value, valueSize, bytes);
}

DWORD SetState(HANDLE pin, KSSTATE state) {
    KSPROPERTY request{};
    request.Set = KSPROPSETID_Connection;
    request.Id = KSPROPERTY_CONNECTION_STATE;
    request.Flags = KSPROPERTY_TYPE_SET;
    return Send(pin, &request, sizeof request, &state, sizeof state, nullptr);
}

KSSTATE GetState(HANDLE pin) {
    KSPROPERTY request{};
    request.Set = KSPROPSETID_Connection;
    request.Id = KSPROPERTY_CONNECTION_STATE;
    request.Flags = KSPROPERTY_TYPE_GET;
    KSSTATE state = KSSTATE(-1);
    Send(pin, &request, sizeof request, &state, sizeof state, nullptr);
    return state;
}

std::vector<BYTE> ConnectBlock(const WaveRequest& wave, ULONG pinId) {
    const ULONG waveSize = wave.extensible ? sizeof(WAVEFORMATEXTENSIBLE) : sizeof(WAVEFORMATEX);
    std::vector<BYTE> block(sizeof(KSPIN_CONNECT) + sizeof(KSDATAFORMAT) + waveSize);
    auto* connect = reinterpret_cast<KSPIN_CONNECT*>(block.data());
    connect->Interface.Set = KSINTERFACESETID_Standard;
    connect->Interface.Id = KSINTERFACE_STANDARD_STREAMING;
    connect->Medium.Set = KSMEDIUMSETID_Standard;
    connect->Medium.Id = KSMEDIUM_TYPE_ANYINSTANCE;
    connect->PinId = pinId;
    connect->Priority.PriorityClass = KSPRIORITY_NORMAL;
    connect->Priority.PrioritySubClass = 1;
    auto* format = reinterpret_cast<KSDATAFORMAT*>(connect + 1);
    format->FormatSize = sizeof(KSDATAFORMAT) + waveSize;
    format->SampleSize = wave.channels * wave.containerBytes;
    format->MajorFormat = KSDATAFORMAT_TYPE_AUDIO;
    format->SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    format->Specifier = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
    auto* wfx = reinterpret_cast<WAVEFORMATEXTENSIBLE*>(format + 1);
    wfx->Format.wFormatTag = wave.extensible ? WAVE_FORMAT_EXTENSIBLE : WAVE_FORMAT_PCM;
    wfx->Format.nChannels = wave.channels;
    wfx->Format.nSamplesPerSec = wave.rate;
    wfx->Format.nBlockAlign = WORD(wave.channels * wave.containerBytes);
    wfx->Format.nAvgBytesPerSec = wfx->Format.nBlockAlign * wave.rate;
    wfx->Format.wBitsPerSample = WORD(wave.containerBytes * 8);
    if (wave.extensible) {
        wfx->Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
        wfx->Samples.wValidBitsPerSample = wave.validBits;
        wfx->dwChannelMask = wave.channelMask;
        wfx->SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    }
    return block;
}

DWORD CreatePin(HANDLE filter, const WaveRequest& wave, HANDLE* pin) {
    std::vector<BYTE> block = ConnectBlock(wave);
    *pin = INVALID_HANDLE_VALUE;
    return DeviceSystemInstance().KsCreatePin(filter, block.data(), GENERIC_READ | GENERIC_WRITE, pin);
}

StreamBuffer::StreamBuffer(ULONG bytes) : data(bytes), event(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    header.Size = sizeof header;
    header.PresentationTime.Numerator = 1;
    header.PresentationTime.Denominator = 1;
    header.FrameExtent = bytes;
    header.Data = data.data();
    overlapped.hEvent = event;
}

StreamBuffer::~StreamBuffer() { CloseHandle(event); }

bool StreamBuffer::Write(HANDLE pin) {
    header.DataUsed = header.FrameExtent;
    DWORD count = 0;
    BOOL done = DeviceSystemInstance().DeviceIoControl(pin, IOCTL_KS_WRITE_STREAM, nullptr, 0, &header,
                                                       header.Size, &count, &overlapped);
    lastError = done ? 0 : GetLastError();
    return done || lastError == ERROR_IO_PENDING;
}

bool StreamBuffer::Read(HANDLE pin) {
    std::memset(data.data(), 0x7F, data.size());
    header.DataUsed = 0;
    DWORD count = 0;
    BOOL done = DeviceSystemInstance().DeviceIoControl(pin, IOCTL_KS_READ_STREAM, nullptr, 0, &header, header.Size,
                                                       &count, &overlapped);
    lastError = done ? 0 : GetLastError();
    return done || lastError == ERROR_IO_PENDING;
}

}  // namespace kstest
