#include "CKsFilter.h"

#include "KsTrace.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mbstring.h>

#include "device/DeviceSystem.h"

namespace {

// Copies at most size - 1 bytes and always terminates, without splitting a
// double-byte character of the ANSI code page.
void CopyBounded(char* destination, const char* source, size_t size) {
    size_t length = 0;
    while (source[length] != '\0' && length < size - 1) {
        if (IsDBCSLeadByte(static_cast<BYTE>(source[length]))) {
            if (length + 2 > size - 1 || source[length + 1] == '\0') break;
            length += 2;
        } else {
            ++length;
        }
    }
    std::memcpy(destination, source, length);
    destination[length] = '\0';
}

}  // namespace

CKsFilter::CKsFilter(const char* path, const char* friendlyName, HRESULT* result) {
    TraceEnter("CKsFilter::CKsFilter()");
    InternalInit();
    HRESULT hr = S_OK;
    if (!path) {
        Trace(1, "pszName cannot be NULL");
        hr = E_INVALIDARG;
    } else {
        CopyBounded(m_szPath, path, sizeof(m_szPath));
        if (friendlyName) CopyBounded(m_szLabel, friendlyName, sizeof(m_szLabel));
    }
    TraceLeave("CKsFilter::CKsFilter", hr);
    if (result) *result = hr;
}

void CKsFilter::InternalInit() {
    TraceEnter("CKsFilter::InternalInit()");
    m_szPath[0] = '\0';
    m_szLabel[0] = '\0';
    TraceLeave("CKsFilter::InternalInit", 0);
}

CKsFilter::~CKsFilter() {
    TraceEnter("CKsFilter::~CKsFilter()");
    DestroyLists();
    SafeCloseHandle(m_hTarget);
    TraceLeave("CKsFilter::~CKsFilter", 0);
}

HRESULT CKsFilter::Instantiate() {
    TraceEnter("CKsFilter::Instantiate()");
    m_hTarget = DeviceSystemInstance().CreateFileA(m_szPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    HRESULT hr = S_OK;
    if (!IsValidHandle(m_hTarget)) {
        Trace(1, "CKsFilter::Instantiate: CreateFile failed for device %s.  ErrorCode = 0x%08x", m_szPath,
              static_cast<unsigned>(GetLastError()));
        hr = E_FAIL;
    }
    TraceLeave("CKsFilter::Instantiate", hr);
    return hr;
}

HRESULT CKsFilter::GetPinPropertySimple(ULONG pinId, ULONG propertyId, void* value, ULONG valueSize) {
    TraceEnter("CKsFilter::GetPinPropertySimple()");
    KSP_PIN request = {};
    request.Property.Set = KSPROPSETID_Pin;
    request.Property.Id = propertyId;
    request.Property.Flags = KSPROPERTY_TYPE_GET;
    request.PinId = pinId;
    ULONG returned = 0;
    HRESULT hr = SyncIoctl(m_hTarget, &request, sizeof(request), value, valueSize, &returned);
    TraceLeave("CKsFilter::GetPinPropertySimple", hr);
    return hr;
}

HRESULT CKsFilter::GetPinPropertyMulti(ULONG pinId, ULONG propertyId, void** buffer, ULONG* size) {
    TraceEnter("CKsFilter::GetPinPropertyMulti()");
    if (size) *size = 0;
    KSP_PIN request = {};
    request.Property.Set = KSPROPSETID_Pin;
    request.Property.Id = propertyId;
    request.Property.Flags = KSPROPERTY_TYPE_GET;
    request.PinId = pinId;
    ULONG needed = 0;
    HRESULT hr = SyncIoctl(m_hTarget, &request, sizeof(request), nullptr, 0, &needed);
    if (SUCCEEDED(hr) && buffer) {
        *buffer = nullptr;
        if (needed != 0) {
            *buffer = AllocatePropertyBuffer(needed);
            if (!*buffer) {
                hr = E_OUTOFMEMORY;
            } else {
                ULONG returned = 0;
                hr = SyncIoctl(m_hTarget, &request, sizeof(request), *buffer, needed, &returned);
                if (FAILED(hr)) {
                    // The list changed size between the two requests, or the filter
                    // refused: nothing to hand out, and nothing left to free.
                    FreePropertyBuffer(*buffer);
                    *buffer = nullptr;
                } else if (size) {
                    // A request that completed pending reports 0 bytes; the buffer
                    // is then taken as filled (it started zeroed).
                    *size = returned != 0 && returned < needed ? returned : needed;
                }
            }
        }
    }
    TraceLeave("CKsFilter::GetPinPropertyMulti", hr);
    return hr;
}

HRESULT CKsFilter::EnumeratePins() {
    TraceEnter("CKsFilter::EnumeratePins()");
    ULONG pinCount = 0;
    if (SUCCEEDED(GetPinPropertySimple(0, KSPROPERTY_PIN_CTYPES, &pinCount, sizeof(pinCount)))) {
        if (pinCount > kMaxPinFactories) pinCount = kMaxPinFactories;
        for (ULONG i = 0; i < pinCount; ++i) {
            HRESULT result = S_OK;
            CKsPin* pin = new (std::nothrow) CKsPin(this, i, &result);
            if (!pin) {
                Trace(1, "Failed to create pin");
            } else if (FAILED(result)) {
                Trace(1, "Failed to construct pin");
                delete pin;
            } else if (!m_allPins.AddTail(pin)) {
                Trace(1, "Failed to add pin to list");
                delete pin;
            }
        }
    }
    HRESULT hr = ClassifyPins();
    if (m_renderSinks.IsEmpty() && m_captureSources.IsEmpty() && m_captureSinks.IsEmpty() &&
        m_renderSources.IsEmpty() && m_noCommPins.IsEmpty()) {
        Trace(1, "Filter is not viable. It has no pins.");
        hr = E_FAIL;
    }
    TraceLeave("CKsFilter::EnumeratePins", hr);
    return hr;
}

HRESULT CKsFilter::ClassifyPins() {
    TraceEnter("CKsFilter::ClassifyPins()");
    HRESULT hr = S_OK;
    for (auto* node = m_allPins.Head(); node && SUCCEEDED(hr); node = node->next) {
        CKsPin* pin = node->item;
        KSPIN_COMMUNICATION communication = pin->GetCommunication();
        bool renderFlow = pin->GetDataFlow() == KSPIN_DATAFLOW_IN;
        CKsList<CKsPin>& sinks = renderFlow ? m_renderSinks : m_captureSinks;
        CKsList<CKsPin>& sources = renderFlow ? m_renderSources : m_captureSources;
        bool ok = true;
        switch (communication) {
        case KSPIN_COMMUNICATION_NONE: ok = m_noCommPins.AddTail(pin); break;
        case KSPIN_COMMUNICATION_SINK: ok = sinks.AddTail(pin); break;
        case KSPIN_COMMUNICATION_SOURCE: ok = sources.AddTail(pin); break;
        case KSPIN_COMMUNICATION_BOTH: {
            bool first = sinks.AddTail(pin);
            bool second = sources.AddTail(pin);
            ok = first && second;
            break;
        }
        default: Trace(5, "Pin communication type not recognized"); break;
        }
        if (!ok) hr = E_OUTOFMEMORY;
    }
    TraceLeave("CKsFilter::ClassifyPins", hr);
    return hr;
}

HRESULT CKsFilter::EnumerateNodes() {
    TraceEnter("CKsFilter::EnumerateNodes()");
    m_nodes.DeleteAll();
    PKSMULTIPLE_ITEM buffer = nullptr;
    ULONG filled = 0;
    HRESULT hr = GetPropertyMulti(&buffer, &filled);
    if (FAILED(hr)) {
        Trace(4, "Failed to get property KSPROPSETID_Topology.KSPROPERTY_TOPOLOGY_NODES");
        FreePropertyBuffer(buffer);
        TraceLeave("CKsFilter::EnumerateNodes", hr);
        return hr;
    }
    ULONG count = 0;
    if (buffer && filled >= sizeof(KSMULTIPLE_ITEM)) {
        KSMULTIPLE_ITEM* list = buffer;
        count = list->Count;
        // Never read node types past the reply, whatever its header claims.
        ULONG bytes = std::min<ULONG>(filled, list->Size);
        bytes = bytes >= sizeof(KSMULTIPLE_ITEM) ? bytes - sizeof(KSMULTIPLE_ITEM) : 0;
        if (count > bytes / sizeof(GUID)) count = bytes / sizeof(GUID);
        auto* types = reinterpret_cast<const GUID*>(list + 1);
        for (ULONG i = 0; i < count; ++i) {
            CKsNode* node = new (std::nothrow) CKsNode(i, types[i]);
            if (!node || !m_nodes.AddTail(node)) {
                delete node;
                hr = E_OUTOFMEMORY;
            }
        }
        if (static_cast<ULONG>(m_nodes.Count()) != list->Count) {
            m_nodes.DeleteAll();
            hr = E_FAIL;
        }
    } else if (buffer) {
        // Too short for the list's header: how many nodes it holds is unknown.
        hr = E_FAIL;
    }
    FreePropertyBuffer(buffer);
    TraceLeave("CKsFilter::EnumerateNodes", hr);
    return hr;
}

HRESULT CKsFilter::DestroyLists() {
    TraceEnter("CKsFilter::DestroyLists()");
    m_nodes.DeleteAll();
    m_allPins.DeleteAll();
    m_renderSinks.RemoveAll();
    m_captureSources.RemoveAll();
    m_captureSinks.RemoveAll();
    m_renderSources.RemoveAll();
    m_noCommPins.RemoveAll();
    TraceLeave("CKsFilter::DestroyLists", 0);
    return S_OK;
}
