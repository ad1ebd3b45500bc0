#include "CKsAudFilter.h"

#include "KsTrace.h"

#include <new>

#include "CKsAudCapPin.h"
#include "CKsAudRenPin.h"

CKsAudFilter::CKsAudFilter(const char* path, const char* friendlyName, HRESULT* result)
    : CKsFilter(path, friendlyName, result) {
    TraceEnter("CKsAudFilter::CKsAudFilter()");
    TraceLeave("CKsAudFilter::CKsAudFilter", result ? *result : S_OK);
}

HRESULT CKsAudFilter::EnumeratePins() {
    TraceEnter("CKsAudFilter::EnumeratePins()");
    ULONG pinCount = 0;
    if (FAILED(GetPinPropertySimple(0, KSPROPERTY_PIN_CTYPES, &pinCount, sizeof(pinCount)))) {
        Trace(1, "Failed to retrieve count of pins in audio filter");
        pinCount = 0;
    }
    if (pinCount > kMaxPinFactories) pinCount = kMaxPinFactories;
    bool outOfMemory = false;
    for (ULONG i = 0; i < pinCount && !outOfMemory; ++i) {
        ULONG communication = 0;
        if (FAILED(GetPinPropertySimple(i, KSPROPERTY_PIN_COMMUNICATION, &communication, sizeof(communication)))) {
            Trace(1, "Failed to retrieve pin property KSPROPERTY_PIN_COMMUNICATION");
            continue;
        }
        if (communication != KSPIN_COMMUNICATION_SINK && communication != KSPIN_COMMUNICATION_SOURCE &&
            communication != KSPIN_COMMUNICATION_BOTH) {
            Trace(1, "Pin communication value doesn't make sense");
            continue;
        }
        ULONG dataFlow = 0;
        if (FAILED(GetPinPropertySimple(i, KSPROPERTY_PIN_DATAFLOW, &dataFlow, sizeof(dataFlow)))) {
            Trace(1, "Failed to retrieve pin property KSPROPERTY_PIN_DATAFLOW");
            continue;
        }
        HRESULT result = S_OK;
        CKsPin* pin = nullptr;
        if (communication == KSPIN_COMMUNICATION_SINK && dataFlow == KSPIN_DATAFLOW_IN)
            pin = new (std::nothrow) CKsAudRenPin(this, i, &result);
        else if (communication == KSPIN_COMMUNICATION_SINK && dataFlow == KSPIN_DATAFLOW_OUT)
            pin = new (std::nothrow) CKsAudCapPin(this, i, &result);
        else
            pin = new (std::nothrow) CKsAudPin(this, i, &result);
        if (!pin) {
            Trace(1, "Failed to create audio pin");
            outOfMemory = true;
        } else if (FAILED(result)) {
            delete pin;
        } else if (!m_allPins.AddTail(pin)) {
            delete pin;
            Trace(1, "Unable to allocate list entry to save pin in");
            outOfMemory = true;
        }
    }
    if (outOfMemory) {
        Trace(1, "Ran out of memory enumerating pins - deleting all pins");
        m_allPins.DeleteAll();
        TraceLeave("CKsAudFilter::EnumeratePins", E_OUTOFMEMORY);
        return E_OUTOFMEMORY;
    }
    ClassifyPins();
    HRESULT hr = S_OK;
    if (m_renderSinks.IsEmpty() && m_captureSources.IsEmpty() && m_captureSinks.IsEmpty() &&
        m_renderSources.IsEmpty()) {
        Trace(1, "No valid pins found on the filter");
        hr = E_FAIL;
    }
    TraceLeave("CKsAudFilter::EnumeratePins", hr);
    return hr;
}
