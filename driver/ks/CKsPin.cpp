#include "CKsPin.h"

#include "KsTrace.h"

#include <cstdlib>

#include "CKsFilter.h"
#include "device/DeviceSystem.h"

CKsPin::CKsPin(CKsFilter* filter, ULONG pinId, HRESULT* result) : m_pinFactoryId(pinId), m_ownerFilter(filter) {
    TraceEnter("CKsPin::CKsPin()");
    HRESULT hr = Init();
    TraceLeave("CKsPin::CKsPin", hr);
    if (result) *result = hr;
}

CKsPin::~CKsPin() {
    TraceEnter("CKsPin::~CKsPin()");
    ClosePin();
    std::free(m_pksPinCreate);
    FreePropertyBuffer(m_interfaceBuffer);
    FreePropertyBuffer(m_mediumBuffer);
    FreePropertyBuffer(m_dataRangeBuffer);
    TraceLeave("CKsPin::~CKsPin()");
}

bool CKsPin::ReadMultiple(ULONG propertyId, KSMULTIPLE_ITEM*& buffer, ULONG itemSize, ULONG& count, void*& items,
                          ULONG* itemBytes) {
    FreePropertyBuffer(buffer);
    buffer = nullptr;
    count = 0;
    items = nullptr;
    if (itemBytes) *itemBytes = 0;
    ULONG size = 0;
    void* reply = nullptr;
    HRESULT hr = m_ownerFilter->GetPinPropertyMulti(m_pinFactoryId, propertyId, &reply, &size);
    // Whatever came back is the pin's to free, even with a failure.
    buffer = static_cast<KSMULTIPLE_ITEM*>(reply);
    if (FAILED(hr) || !reply || size < sizeof(KSMULTIPLE_ITEM)) return false;
    // A filter may claim more items, or a larger list, than it returned; only
    // what lies inside the reply is used.
    ULONG bytes = size - sizeof(KSMULTIPLE_ITEM);
    if (buffer->Size >= sizeof(KSMULTIPLE_ITEM) && buffer->Size - sizeof(KSMULTIPLE_ITEM) < bytes)
        bytes = buffer->Size - sizeof(KSMULTIPLE_ITEM);
    count = buffer->Count;
    if (itemSize != 0 && count > bytes / itemSize) count = bytes / itemSize;
    items = buffer + 1;
    if (itemBytes) *itemBytes = bytes;
    return true;
}

HRESULT CKsPin::Init() {
    TraceEnter("CKsPin::Init()");
    bool failed = false;
    const ULONG id = m_pinFactoryId;
    auto simple = [&](ULONG propertyId, void* value, ULONG size, const char* message) {
        if (FAILED(m_ownerFilter->GetPinPropertySimple(id, propertyId, value, size))) {
            Trace(3, message, static_cast<int>(id));
            failed = true;
        }
    };
    void* items = nullptr;

    simple(KSPROPERTY_PIN_COMMUNICATION, &m_communication, sizeof(m_communication),
           "Failed to retrieve pin property KSPROPERTY_PIN_COMMUNICATION on PinID: %d");
    if (ReadMultiple(KSPROPERTY_PIN_INTERFACES, m_interfaceBuffer, sizeof(KSIDENTIFIER), m_interfaceCount, items)) {
        m_interfaces = static_cast<KSIDENTIFIER*>(items);
    } else {
        Trace(3, "Failed to retrieve pin property KSPROPETY_PIN_INTERFACES on PinID: %d", static_cast<int>(id));
        failed = true;
    }
    if (ReadMultiple(KSPROPERTY_PIN_MEDIUMS, m_mediumBuffer, sizeof(KSIDENTIFIER), m_mediumCount, items)) {
        m_mediums = static_cast<KSIDENTIFIER*>(items);
    } else {
        Trace(3, "Failed to retrieve pin property KSPROPERTY_PIN_MEDIUMS on PinID: %d", static_cast<int>(id));
        failed = true;
    }
    // Data ranges have sizes of their own; the walk over them is bounded by
    // DataRangeBytes().
    if (ReadMultiple(KSPROPERTY_PIN_DATARANGES, m_dataRangeBuffer, 0, m_dataRangeCount, items, &m_dataRangeBytes)) {
        m_dataRanges = static_cast<KSDATARANGE*>(items);
    } else {
        Trace(3, "Failed to retrieve pin property KSPROPERTY_PIN_DATARANGES on PinID: %d", static_cast<int>(id));
        failed = true;
    }
    simple(KSPROPERTY_PIN_DATAFLOW, &m_dataFlow, sizeof(m_dataFlow),
           "Failed to retrieve pin property KSPROPERTY_PIN_DATAFLOW on PinID: %d");
    simple(KSPROPERTY_PIN_CINSTANCES, &m_instances, sizeof(m_instances),
           "Failed to retrieve pin property KSPROPERTY_PIN_CINSTANCES on PinID: %d");
    simple(KSPROPERTY_PIN_GLOBALCINSTANCES, &m_globalInstances, sizeof(m_globalInstances),
           "Failed to retrieve pin property KSPROPERTY_PIN_GLOBALCINSTANCES on PinID: %d");
    simple(KSPROPERTY_PIN_CATEGORY, &m_category, sizeof(m_category),
           "Failed to retrieve pin property KSPROPERTY_PIN_CATEGORY on PinID: %d");
    // At most 259 bytes into the 260-byte name, so it always ends with a zero.
    simple(KSPROPERTY_PIN_NAME, m_pinName, kPinNameSize - 1,
           "Failed to retrieve pin property KSPROPERTY_PIN_NAME on PinID: %d");
    m_pinName[kPinNameSize - 1] = '\0';

    HRESULT hr = failed ? S_FALSE : S_OK;
    TraceLeave("CKsPin::Init", hr);
    return hr;
}

HRESULT CKsPin::Instantiate(BOOL looped) {
    TraceEnter("CKsPin::Instantiate()");
    if (!m_pksPinCreate) return S_OK;
    // A pin made again without ClosePin would otherwise lose its earlier handle.
    if (IsValidHandle(m_hTarget)) ClosePin();
    if (m_connectToPin) m_pksPinCreate->PinToHandle = m_connectToPin->GetHandle();
    m_isLooped = looped != FALSE;
    m_pksPinCreate->Interface.Id = looped ? KSINTERFACE_STANDARD_LOOPED_STREAMING : KSINTERFACE_STANDARD_STREAMING;

    HANDLE pin = INVALID_HANDLE_VALUE;
    DWORD r = DeviceSystemInstance().KsCreatePin(m_ownerFilter->GetHandle(), m_pksPinCreate,
                                                 GENERIC_READ | GENERIC_WRITE, &pin);
    HRESULT hr = S_OK;
    if (r != 0) {
        LONG value = static_cast<LONG>(r);
        hr = value > 0 ? HRESULT_FROM_WIN32(value & 0xFFFF) : value;
        if (hr >= 0) hr = E_FAIL;
        Trace(1, "Failed to instantiate pin. hr=0x%08x", static_cast<unsigned>(hr));
        m_hTarget = INVALID_HANDLE_VALUE;
    } else {
        m_hTarget = pin;
        m_lastState = KSSTATE_STOP;
    }
    TraceLeave("CKsPin::Instantiate", hr);
    return hr;
}

void CKsPin::ClosePin() {
    TraceEnter("CKsPin::ClosePin()");
    if (IsValidHandle(m_hTarget)) {
        SetState(KSSTATE_STOP);
        SafeCloseHandle(m_hTarget);
    }
    TraceLeave("CKsPin::ClosePin()");
}

HRESULT CKsPin::SetState(KSSTATE state) {
    TraceEnter("CKsPin::SetState()");
    HRESULT hr = SetPropertySimple(&state);
    if (SUCCEEDED(hr))
        m_lastState = state;
    else
        Trace(1, "Failed to Set Pin State");
    TraceLeave("CKsPin::SetState", hr);
    return hr;
}

HRESULT CKsPin::GetState(KSSTATE* state) {
    TraceEnter("CKsPin::GetState()");
    HRESULT hr;
    if (!state) {
        Trace(1, "pksState == NULL");
        hr = E_INVALIDARG;
    } else if (!IsValidHandle(m_hTarget)) {
        Trace(1, "No valid pin handle");
        hr = E_FAIL;
    } else {
        hr = GetPropertySimple(state);
    }
    TraceLeave("CKsPin::GetState", hr);
    return hr;
}

KSPIN_COMMUNICATION CKsPin::GetCommunication() {
    TraceEnter("CKsPin::GetCommunication()");
    TraceLeave("CKsPin::GetCommunication", 0);
    return m_communication;
}

KSPIN_DATAFLOW CKsPin::GetDataFlow() {
    TraceEnter("CKsPin::GetDataFlow()");
    TraceLeave("CKsPin::GetDataFlow", 0);
    return m_dataFlow;
}

HRESULT CKsPin::WriteData(KSSTREAM_HEADER* header, OVERLAPPED* overlapped) {
    TraceEnter("CKsPin::WriteData()");
    DWORD returned = 0;
    HRESULT hr = S_OK;
    if (!DeviceSystemInstance().DeviceIoControl(m_hTarget, IOCTL_KS_WRITE_STREAM, nullptr, 0, header, header->Size,
                                                &returned, overlapped)) {
        DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            Trace(1, "CKsPin::WriteData's DeviceIoControl Failed!  Error=0x%#08x", static_cast<unsigned>(error));
            hr = E_FAIL;
        }
    }
    TraceLeave("CKsPin::WriteData", hr);
    return hr;
}

HRESULT CKsPin::ReadData(KSSTREAM_HEADER* header, OVERLAPPED* overlapped) {
    TraceEnter("CKsPin::ReadData()");
    DWORD returned = 0;
    HRESULT hr = S_OK;
    if (!DeviceSystemInstance().DeviceIoControl(m_hTarget, IOCTL_KS_READ_STREAM, nullptr, 0, header, header->Size,
                                                &returned, overlapped)) {
        DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            Trace(1, "DeviceIoControl Failed!  Error=0x%08x", static_cast<unsigned>(error));
            hr = E_FAIL;
        }
    }
    TraceLeave("CKsPin::ReadData", hr);
    return hr;
}
