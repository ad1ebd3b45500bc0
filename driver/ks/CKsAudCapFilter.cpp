#include "CKsAudCapFilter.h"

#include "KsTrace.h"

#include <cinttypes>
#include <cstdint>

CKsAudCapFilter::CKsAudCapFilter(const char* path, const char* friendlyName, HRESULT* result)
    : CKsAudFilter(path, friendlyName, result) {
    TraceEnter("CKsAudCapFilter::CKsAudCapFilter()");
    m_filterKind = 2;
    TraceLeave("CKsAudCapFilter::CKsAudCapFilter", result ? *result : S_OK);
}

CKsAudPin* CKsAudCapFilter::FindViablePin(const WAVEFORMATEX* format) {
    TraceEnter("CKsAudCapFilter::FindViablePin()");
    CKsAudPin* found = nullptr;
    for (auto* node = m_captureSinks.Head(); node && !found; node = node->next) {
        auto* pin = static_cast<CKsAudPin*>(node->item);
        if (pin->IsFormatSupported(format)) found = pin;
    }
    TraceLeave("CKsAudCapFilter::FindViablePin()");
    return found;
}

bool CKsAudCapFilter::CanCreateCapturePin(const WAVEFORMATEX* format) {
    TraceEnter("CKsAudCapFilter::CanCreateCapturePin()");
    bool found = FindViablePin(format) != nullptr;
    if (!found) Trace(4, "Could not find a Capture pin that supports the given wave format");
    TraceLeave("CKsAudCapFilter::CanCreateCapturePin", found ? S_OK : E_FAIL);
    return found;
}

CKsAudPin* CKsAudCapFilter::CreateCapturePin(const WAVEFORMATEX* format) {
    TraceEnter("CKsAudCapFilter::CreateCapturePin()");
    HRESULT hr = S_OK;
    CKsAudPin* pin = FindViablePin(format);
    if (!pin) {
        Trace(1, "Could not find a Capture pin that supports the given wave format");
        hr = E_FAIL;
    } else if (FAILED(hr = pin->SetFormat(format))) {
        Trace(1, "Failed to set Capture Pin format");
        pin = nullptr;
    } else if (FAILED(hr = pin->Instantiate(FALSE))) {
        Trace(1, "Failed to instantiate Capture Pin");
        pin = nullptr;
    } else {
        Trace(5, "Successfully instantiated Capture Pin.  Handle = 0x%08" PRIxPTR,
              reinterpret_cast<std::uintptr_t>(pin->GetHandle()));
    }
    TraceLeave("CKsAudCapFilter::CreateCapturePin", hr);
    return pin;
}
