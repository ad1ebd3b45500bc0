// VirtualController: filter and pin handles, property requests, pin creation and
// the streaming requests, answered as a Kernel Streaming USB audio filter does.
#include "VirtualController.h"

#include "VirtualControllerState.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {
constexpr LONG kStatusPending = 0x103;
constexpr LONG kStatusBufferOverflow = static_cast<LONG>(0x80000005);
constexpr LONG kStatusCancelled = static_cast<LONG>(0xC0000120);
constexpr ULONG kStreamingPin = 0;
constexpr ULONG kPinFactories = 2;  // the streaming pin and the bridge pin, before any extra ones

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

LONGLONG Now() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

HANDLE EventOf(const OVERLAPPED* overlapped) {
    // The lowest bit only asks for no completion-port packet.
    return reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(overlapped->hEvent) & ~ULONG_PTR(1));
}

std::string Lower(const char* text) {
    std::string lower(text);
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

template <typename T>
bool Contains(const std::vector<T>& list, T value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

std::vector<BYTE> Bytes(const void* data, size_t size) {
    const BYTE* begin = static_cast<const BYTE*>(data);
    return std::vector<BYTE>(begin, begin + size);
}

const std::vector<PinFactoryConfig>& ExtraPins(const Unit& unit, int filter) {
    return unit.filters[filter].direction == VirtualPin::Direction::Render ? unit.config.extraRenderPins
                                                                            : unit.config.extraCapturePins;
}

ULONG PinFactoryCount(const Unit& unit, int filter) { return kPinFactories + ULONG(ExtraPins(unit, filter).size()); }

// The answer of an extra pin factory, as its configuration describes it.
DWORD ExtraPinProperty(const PinFactoryConfig& pin, ULONG propertyId, KsPropertyReply& reply) {
    switch (propertyId) {
    case KSPROPERTY_PIN_DATAFLOW: reply = KsPropertyReply::Of(pin.dataFlow); return ERROR_SUCCESS;
    case KSPROPERTY_PIN_COMMUNICATION: reply = KsPropertyReply::Of(pin.communication); return ERROR_SUCCESS;
    case KSPROPERTY_PIN_CINSTANCES:
    case KSPROPERTY_PIN_GLOBALCINSTANCES: reply = KsPropertyReply::Of(KSPIN_CINSTANCES{}); return ERROR_SUCCESS;
    case KSPROPERTY_PIN_INTERFACES:
        reply = KsPropertyReply::List(pin.interfaces.data(), ULONG(pin.interfaces.size()), sizeof(KSIDENTIFIER));
        return ERROR_SUCCESS;
    case KSPROPERTY_PIN_MEDIUMS:
        reply = KsPropertyReply::List(pin.mediums.data(), ULONG(pin.mediums.size()), sizeof(KSIDENTIFIER));
        return ERROR_SUCCESS;
    case KSPROPERTY_PIN_DATARANGES: reply = KsPropertyReply::ListOfBlocks(pin.dataRanges); return ERROR_SUCCESS;
    case KSPROPERTY_PIN_CATEGORY: reply = KsPropertyReply::Of(KSCATEGORY_AUDIO); return ERROR_SUCCESS;
    case KSPROPERTY_PIN_NAME: reply = KsPropertyReply::Text(L"Extra"); return ERROR_SUCCESS;
    default: return ERROR_NOT_FOUND;
    }
}

KSDATARANGE_AUDIO TruthfulRange(const StreamCapabilities& caps, DWORD rate) {
    KSDATARANGE_AUDIO range = {};
    range.DataRange.FormatSize = sizeof(KSDATARANGE_AUDIO);
    range.DataRange.MajorFormat = KSDATAFORMAT_TYPE_AUDIO;
    range.DataRange.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    range.DataRange.Specifier = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
    range.MaximumChannels = caps.channelCounts.empty()
                                ? 0
                                : *std::max_element(caps.channelCounts.begin(), caps.channelCounts.end());
    range.MinimumBitsPerSample = std::min<ULONG>(caps.validBits, caps.containerBytes * 8u);
    range.MaximumBitsPerSample = caps.containerBytes * 8u;
    range.MinimumSampleFrequency = rate;
    range.MaximumSampleFrequency = rate;
    return range;
}

// Completes a request that finished at once: byte count, OVERLAPPED and event, as
// the I/O manager does for a synchronous completion on an overlapped handle.
BOOL FinishNow(DWORD error, ULONG bytes, LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
    if (error == ERROR_SUCCESS || error == ERROR_MORE_DATA) {
        if (bytesReturned) *bytesReturned = bytes;
        if (overlapped) {
            overlapped->Internal = ULONG_PTR(error == ERROR_SUCCESS ? 0 : kStatusBufferOverflow);
            overlapped->InternalHigh = bytes;
            if (HANDLE event = EventOf(overlapped)) SetEvent(event);
        }
        if (error == ERROR_SUCCESS) return TRUE;
        return Fail(error);
    }
    if (bytesReturned) *bytesReturned = 0;
    return Fail(error);
}
}  // namespace

// ---------------------------------------------------------------------------
// Properties

void VirtualController::State::ApplyMalformed(const Unit& unit, const GUID& set, ULONG id,
                                              KsPropertyReply& reply) const {
    for (const MalformedRule& rule : unit.malformed)
        if (SameGuid(rule.propertySet, set) && rule.propertyId == id) reply.Malform(rule.kind);
}

DWORD VirtualController::State::FilterProperty(Unit& unit, int filter, const KSPROPERTY& request,
                                               ULONG requestSize, KsPropertyReply& reply) {
    const FilterDescription& description = unit.filters[filter];
    const bool render = description.direction == VirtualPin::Direction::Render;
    for (const PropertyRefusal& refusal : unit.refusedProperties)
        if (SameGuid(refusal.propertySet, request.Set) && refusal.propertyId == request.Id) return refusal.error;
    if (SameGuid(request.Set, KSPROPSETID_Topology)) {
        if (request.Id != KSPROPERTY_TOPOLOGY_NODES) return ERROR_NOT_FOUND;
        if (!(request.Flags & KSPROPERTY_TYPE_GET)) return ERROR_NOT_FOUND;
        GUID nodes[2] = {render ? KSNODETYPE_VOLUME : KSNODETYPE_ADC, render ? KSNODETYPE_DAC : KSNODETYPE_VOLUME};
        reply = KsPropertyReply::List(nodes, 2, sizeof(GUID));
        ApplyMalformed(unit, request.Set, request.Id, reply);
        return ERROR_SUCCESS;
    }
    if (!SameGuid(request.Set, KSPROPSETID_Pin)) return ERROR_SET_NOT_FOUND;
    // Every pin property is read-only.
    if (!(request.Flags & KSPROPERTY_TYPE_GET)) return ERROR_NOT_FOUND;
    if (request.Id == KSPROPERTY_PIN_CTYPES) {
        reply = KsPropertyReply::Of(PinFactoryCount(unit, filter));
        ApplyMalformed(unit, request.Set, request.Id, reply);
        return ERROR_SUCCESS;
    }
    if (requestSize < sizeof(KSP_PIN)) return ERROR_INVALID_USER_BUFFER;
    const ULONG pinId = reinterpret_cast<const KSP_PIN&>(request).PinId;
    if (pinId >= PinFactoryCount(unit, filter)) return ERROR_INVALID_PARAMETER;
    if (pinId >= kPinFactories) {
        DWORD error = ExtraPinProperty(ExtraPins(unit, filter)[pinId - kPinFactories], request.Id, reply);
        if (error == ERROR_SUCCESS) ApplyMalformed(unit, request.Set, request.Id, reply);
        return error;
    }
    const bool streaming = pinId == kStreamingPin;
    const StreamCapabilities& caps = render ? unit.config.render : unit.config.capture;

    switch (request.Id) {
    case KSPROPERTY_PIN_DATAFLOW: {
        // The streaming pin takes data in on a render filter; the bridge pin is the
        // other end (the jack).
        KSPIN_DATAFLOW flow = (render == streaming) ? KSPIN_DATAFLOW_IN : KSPIN_DATAFLOW_OUT;
        reply = KsPropertyReply::Of(flow);
        break;
    }
    case KSPROPERTY_PIN_COMMUNICATION:
        reply = KsPropertyReply::Of(streaming ? KSPIN_COMMUNICATION_SINK : KSPIN_COMMUNICATION_BRIDGE);
        break;
    case KSPROPERTY_PIN_CINSTANCES:
    case KSPROPERTY_PIN_GLOBALCINSTANCES: {
        KSPIN_CINSTANCES instances = {};
        if (streaming) {
            instances.PossibleCount = 1;
            instances.CurrentCount = ULONG(OpenInstances(unit, filter));
        }
        reply = KsPropertyReply::Of(instances);
        break;
    }
    case KSPROPERTY_PIN_INTERFACES: {
        KSIDENTIFIER standard = {};
        standard.Set = KSINTERFACESETID_Standard;
        standard.Id = KSINTERFACE_STANDARD_STREAMING;
        reply = KsPropertyReply::List(&standard, 1, sizeof standard);
        break;
    }
    case KSPROPERTY_PIN_MEDIUMS: {
        KSIDENTIFIER medium = {};
        medium.Set = KSMEDIUMSETID_Standard;
        medium.Id = KSMEDIUM_TYPE_ANYINSTANCE;
        reply = KsPropertyReply::List(&medium, 1, sizeof medium);
        break;
    }
    case KSPROPERTY_PIN_DATARANGES: {
        std::vector<std::vector<BYTE>> blocks;
        if (streaming) {
            const auto& advertised = render ? unit.config.advertisedRender : unit.config.advertisedCapture;
            if (!advertised.empty()) {
                for (const auto& range : advertised) blocks.push_back(Bytes(&range, sizeof range));
            } else {
                for (DWORD rate : caps.sampleRates) {
                    KSDATARANGE_AUDIO range = TruthfulRange(caps, rate);
                    blocks.push_back(Bytes(&range, sizeof range));
                }
            }
        } else {
            KSDATARANGE analog = {};
            analog.FormatSize = sizeof analog;
            analog.MajorFormat = KSDATAFORMAT_TYPE_AUDIO;
            analog.SubFormat = KSDATAFORMAT_SUBTYPE_ANALOG;
            analog.Specifier = KSDATAFORMAT_SPECIFIER_NONE;
            blocks.push_back(Bytes(&analog, sizeof analog));
        }
        reply = KsPropertyReply::ListOfBlocks(blocks);
        break;
    }
    case KSPROPERTY_PIN_CATEGORY: {
        GUID category = streaming ? KSCATEGORY_AUDIO : (render ? KSNODETYPE_SPEAKER : KSNODETYPE_LINE_CONNECTOR);
        reply = KsPropertyReply::Of(category);
        break;
    }
    case KSPROPERTY_PIN_NAME: {
        std::wstring name;
        if (streaming) {
            name.assign(unit.modelName.begin(), unit.modelName.end());
            name += render ? L" Output" : L" Input";
        } else {
            name = render ? L"Speakers" : L"Line In";
        }
        reply = KsPropertyReply::Text(name.c_str());
        break;
    }
    default:
        return ERROR_NOT_FOUND;
    }
    ApplyMalformed(unit, request.Set, request.Id, reply);
    return ERROR_SUCCESS;
}

DWORD VirtualController::State::PinProperty(HandleEntry& pin, const KSPROPERTY& request, void* value,
                                            ULONG valueSize, ULONG& bytes) {
    bytes = 0;
    if (!SameGuid(request.Set, KSPROPSETID_Connection)) return ERROR_SET_NOT_FOUND;
    if (request.Id != KSPROPERTY_CONNECTION_STATE) return ERROR_NOT_FOUND;
    if (valueSize == 0) {
        bytes = sizeof(KSSTATE);
        return ERROR_MORE_DATA;
    }
    if (valueSize < sizeof(KSSTATE)) return ERROR_INSUFFICIENT_BUFFER;
    if (!value) return ERROR_NOACCESS;
    if (request.Flags & KSPROPERTY_TYPE_GET) {
        KSSTATE state = pin.pin->State();
        std::memcpy(value, &state, sizeof state);
        bytes = sizeof state;
        return ERROR_SUCCESS;
    }
    if (request.Flags & KSPROPERTY_TYPE_SET) {
        KSSTATE state;
        std::memcpy(&state, value, sizeof state);
        if (state < KSSTATE_STOP || state > KSSTATE_RUN) return ERROR_INVALID_PARAMETER;
        LONGLONG now = Now();
        // Bring every pin up to now, so the change takes effect at this moment.
        if (!manualClock && !stalled) AdvanceAll(now);
        pin.pin->SetState(state, now);
        if (stalled && state == KSSTATE_RUN) {
            Unit* unit = FindUnit(pin.unit);
            if (unit) pin.pin->Freeze(now, unit->cable, unit->config.captureSource);
        }
        return ERROR_SUCCESS;
    }
    return ERROR_NOT_FOUND;
}

// ---------------------------------------------------------------------------
// Pin creation

DWORD VirtualController::State::CheckConnect(Unit& unit, int filter, const KSPIN_CONNECT* connect,
                                             PinFormat& format) const {
    if (connect->PinId >= PinFactoryCount(unit, filter)) return ERROR_INVALID_PARAMETER;
    // The bridge pin stands for the jack, and extra pin factories are descriptions
    // only; neither has instances.
    if (connect->PinId != kStreamingPin) return ERROR_INVALID_PARAMETER;
    if (!SameGuid(connect->Interface.Set, KSINTERFACESETID_Standard) ||
        connect->Interface.Id != KSINTERFACE_STANDARD_STREAMING)
        return ERROR_NO_MATCH;
    if (!SameGuid(connect->Medium.Set, KSMEDIUMSETID_Standard) || connect->Medium.Id != KSMEDIUM_TYPE_ANYINSTANCE)
        return ERROR_NO_MATCH;
    const auto* dataFormat = reinterpret_cast<const KSDATAFORMAT*>(connect + 1);
    const ULONG formatSize = dataFormat->FormatSize;
    if (formatSize < sizeof(KSDATAFORMAT)) return ERROR_INVALID_PARAMETER;
    if (!SameGuid(dataFormat->MajorFormat, KSDATAFORMAT_TYPE_AUDIO) ||
        !SameGuid(dataFormat->SubFormat, KSDATAFORMAT_SUBTYPE_PCM) ||
        !SameGuid(dataFormat->Specifier, KSDATAFORMAT_SPECIFIER_WAVEFORMATEX))
        return ERROR_NO_MATCH;
    if (formatSize < sizeof(KSDATAFORMAT_WAVEFORMATEX)) return ERROR_INVALID_PARAMETER;
    // Read only within the FormatSize the caller declared.
    const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(dataFormat + 1);
    const StreamCapabilities& caps =
        unit.filters[filter].direction == VirtualPin::Direction::Render ? unit.config.render : unit.config.capture;
    if (wave->wFormatTag == WAVE_FORMAT_PCM) {
        if (!caps.acceptsPlainForm) return ERROR_NO_MATCH;
    } else if (wave->wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        if (wave->cbSize < sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX) ||
            formatSize < sizeof(KSDATAFORMAT) + sizeof(WAVEFORMATEXTENSIBLE))
            return ERROR_INVALID_PARAMETER;
        if (!caps.acceptsExtensibleForm) return ERROR_NO_MATCH;
        const auto* extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(wave);
        if (!SameGuid(extensible->SubFormat, KSDATAFORMAT_SUBTYPE_PCM)) return ERROR_NO_MATCH;
        WORD valid = extensible->Samples.wValidBitsPerSample;
        if (valid < caps.validBits || valid > wave->wBitsPerSample) return ERROR_NO_MATCH;
        if (!caps.channelMasks.empty() && !Contains(caps.channelMasks, DWORD(extensible->dwChannelMask)))
            return ERROR_NO_MATCH;
    } else {
        return ERROR_NO_MATCH;
    }
    if (!Contains(caps.channelCounts, wave->nChannels) || !Contains(caps.sampleRates, DWORD(wave->nSamplesPerSec)) ||
        wave->wBitsPerSample != caps.containerBytes * 8 || wave->nBlockAlign != wave->nChannels * caps.containerBytes ||
        wave->nAvgBytesPerSec != DWORD(wave->nBlockAlign) * wave->nSamplesPerSec)
        return ERROR_NO_MATCH;
    format.channels = wave->nChannels;
    format.rate = wave->nSamplesPerSec;
    format.containerBytes = caps.containerBytes;
    format.validBits = caps.validBits;
    format.blockAlign = wave->nBlockAlign;
    return ERROR_SUCCESS;
}

DWORD VirtualController::KsCreatePin(HANDLE filter, void* connect, ACCESS_MASK, PHANDLE pin) {
    if (!pin || !connect) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(m_state->lock);
    HandleEntry* entry;
    Unit* unit;
    DWORD error = m_state->LiveFilter(filter, entry, unit);
    if (error != ERROR_SUCCESS) return error;
    if (m_state->TakeRefusal(RequestKind::CreatePin, error)) return error;
    PinFormat format;
    error = m_state->CheckConnect(*unit, entry->filter, static_cast<const KSPIN_CONNECT*>(connect), format);
    if (error != ERROR_SUCCESS) return error;
    if (m_state->OpenInstances(*unit, entry->filter) >= 1) return ERROR_BUSY;
    HANDLE token = m_state->NewToken();
    if (!token) return ERROR_NOT_ENOUGH_MEMORY;
    HandleEntry pinEntry(HandleEntry::Kind::Pin);
    pinEntry.unit = unit->id;
    pinEntry.generation = unit->generation;
    pinEntry.filter = entry->filter;
    pinEntry.parentFilter = filter;
    pinEntry.pin = std::make_unique<VirtualPin>(unit->filters[entry->filter].direction, format);
    m_state->handles.emplace(token, std::move(pinEntry));
    *pin = token;
    return ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------
// Handles

HANDLE VirtualController::CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                                      DWORD creation, DWORD flags, HANDLE templateFile) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (std::strncmp(path, "\\\\?\\", 4) != 0 && std::strncmp(path, "\\\\.\\", 4) != 0)
        return ::CreateFileA(path, access, shareMode, security, creation, flags, templateFile);
    std::string wanted = Lower(path);
    std::lock_guard<std::mutex> guard(m_state->lock);
    DWORD error;
    if (m_state->TakeRefusal(RequestKind::OpenFilter, error)) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    for (const DeviceInterface& iface : m_state->interfaces) {
        if (iface.path != wanted || iface.filter < 0 || !iface.active) continue;
        Unit* unit = m_state->FindUnit(iface.unit);
        if (!unit || !unit->present) break;
        if (!unit->filters[iface.filter].openable) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        HANDLE token = m_state->NewToken();
        if (!token) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return INVALID_HANDLE_VALUE;
        }
        HandleEntry entry(HandleEntry::Kind::Filter);
        entry.unit = unit->id;
        entry.generation = unit->generation;
        entry.filter = iface.filter;
        m_state->handles.emplace(token, std::move(entry));
        return token;
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL VirtualController::CloseHandle(HANDLE handle) {
    {
        std::lock_guard<std::mutex> guard(m_state->lock);
        auto found = m_state->handles.find(handle);
        if (found != m_state->handles.end()) {
            HandleEntry& entry = found->second;
            if (entry.kind != HandleEntry::Kind::Filter && entry.kind != HandleEntry::Kind::Pin)
                return Fail(ERROR_INVALID_HANDLE);
            if (entry.pin) {
                if (!m_state->manualClock && !m_state->stalled) m_state->AdvanceAll(Now());
                // Closing cancels what is still queued, as the cleanup of a file does.
                entry.pin->CompleteAll(kStatusCancelled);
                if (Unit* unit = m_state->FindUnit(entry.unit)) {
                    const StreamCounters& c = entry.pin->Counters();
                    StreamCounters& total = entry.pin->GetDirection() == VirtualPin::Direction::Render
                                                ? unit->closedRender
                                                : unit->closedCapture;
                    total.underruns += c.underruns;
                    total.overruns += c.overruns;
                    total.framesPlayed += c.framesPlayed;
                    total.framesRecorded += c.framesRecorded;
                    total.writesCompleted += c.writesCompleted;
                    total.readsCompleted += c.readsCompleted;
                }
            }
            m_state->handles.erase(found);
            ::CloseHandle(handle);
            return TRUE;
        }
    }
    return ::CloseHandle(handle);
}

BOOL VirtualController::DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inSize,
                                        LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned,
                                        LPOVERLAPPED overlapped) {
    std::unique_lock<std::mutex> guard(m_state->lock);
    auto found = m_state->handles.find(device);
    if (found == m_state->handles.end()) {
        guard.unlock();
        return ::DeviceIoControl(device, ioControlCode, inBuffer, inSize, outBuffer, outSize, bytesReturned,
                                 overlapped);
    }
    HandleEntry& entry = found->second;
    if (entry.kind != HandleEntry::Kind::Filter && entry.kind != HandleEntry::Kind::Pin)
        return Fail(ERROR_INVALID_HANDLE);
    if (!bytesReturned && !overlapped) return Fail(ERROR_INVALID_PARAMETER);
    if (bytesReturned) *bytesReturned = 0;
    Unit* unit = m_state->FindUnit(entry.unit);
    if (!unit || !unit->present || unit->generation != entry.generation) return Fail(ERROR_DEVICE_REMOVED);
    // The I/O manager resets the caller's event when it takes the request.
    if (overlapped) {
        if (HANDLE event = EventOf(overlapped)) ResetEvent(event);
    }

    if (ioControlCode == IOCTL_KS_PROPERTY) {
        DWORD error;
        if (m_state->TakeRefusal(RequestKind::Property, error)) return Fail(error);
        if (inSize > 0 && !inBuffer) return Fail(ERROR_NOACCESS);
        if (inSize < sizeof(KSPROPERTY)) return Fail(ERROR_INVALID_USER_BUFFER);
        if (outSize > 0 && !outBuffer) return Fail(ERROR_NOACCESS);
        const auto& request = *static_cast<const KSPROPERTY*>(inBuffer);
        ULONG bytes = 0;
        if (entry.kind == HandleEntry::Kind::Filter) {
            KsPropertyReply reply;
            error = m_state->FilterProperty(*unit, entry.filter, request, inSize, reply);
            if (error == ERROR_SUCCESS) error = reply.Deliver(outBuffer, outSize, bytes);
        } else {
            error = m_state->PinProperty(entry, request, outBuffer, outSize, bytes);
            SetEvent(m_state->wake);
        }
        if (error == ERROR_SUCCESS && overlapped && m_state->pendProperties > 0) {
            // Answered later by the clock thread, as a driver that queues the request.
            --m_state->pendProperties;
            overlapped->Internal = ULONG_PTR(kStatusPending);
            m_state->pendingProperties.push_back(overlapped);
            m_state->pendingPropertyEvents.push_back(EventOf(overlapped));
            SetEvent(m_state->wake);
            return Fail(ERROR_IO_PENDING);
        }
        return FinishNow(error, bytes, bytesReturned, overlapped);
    }

    if (ioControlCode == IOCTL_KS_WRITE_STREAM || ioControlCode == IOCTL_KS_READ_STREAM) {
        const bool write = ioControlCode == IOCTL_KS_WRITE_STREAM;
        if (entry.kind != HandleEntry::Kind::Pin) return Fail(ERROR_INVALID_FUNCTION);
        VirtualPin& pin = *entry.pin;
        if (write != (pin.GetDirection() == VirtualPin::Direction::Render)) return Fail(ERROR_INVALID_FUNCTION);
        DWORD error;
        if (m_state->TakeRefusal(write ? RequestKind::Write : RequestKind::Read, error)) return Fail(error);
        // Only overlapped transfers: the pin's handle is always an overlapped one.
        if (!overlapped) return Fail(ERROR_INVALID_PARAMETER);
        if (outSize > 0 && !outBuffer) return Fail(ERROR_NOACCESS);
        auto* header = static_cast<KSSTREAM_HEADER*>(outBuffer);
        if (outSize < sizeof(KSSTREAM_HEADER) || header->Size < sizeof(KSSTREAM_HEADER) || outSize % header->Size)
            return Fail(ERROR_INVALID_USER_BUFFER);
        if (write && header->DataUsed > header->FrameExtent) return Fail(ERROR_INVALID_USER_BUFFER);
        if (!header->Data && header->FrameExtent > 0) return Fail(ERROR_NOACCESS);
        if (pin.State() == KSSTATE_STOP) return Fail(ERROR_BAD_COMMAND);
        // Frames that came due before this request are not played from it.
        if (!m_state->manualClock && !m_state->stalled) m_state->AdvanceAll(Now());
        overlapped->Internal = ULONG_PTR(kStatusPending);
        overlapped->InternalHigh = 0;
        pin.Submit(header, EventOf(overlapped), overlapped);
        SetEvent(m_state->wake);
        return Fail(ERROR_IO_PENDING);
    }
    return Fail(ERROR_INVALID_FUNCTION);
}
