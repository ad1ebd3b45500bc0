#include "CKsAudRenFilter.h"

#include "KsTrace.h"

#include <cinttypes>
#include <cstdint>

CKsAudRenFilter::CKsAudRenFilter(const char* path, const char* friendlyName, HRESULT* result)
    : CKsAudFilter(path, friendlyName, result) {
    TraceEnter("CKsAudRenFilter::CKsAudRenFilter()");
    m_filterKind = 1;
    TraceLeave("CKsAudRenFilter::CKsAudRenFilter", result ? *result : S_OK);
}

CKsAudPin* CKsAudRenFilter::FindViablePin(const WAVEFORMATEX* format) {
    TraceEnter("CKsAudRenFilter::FindViablePin()");
    CKsAudPin* found = nullptr;
    for (auto* node = m_renderSinks.Head(); node && !found; node = node->next) {
        auto* pin = static_cast<CKsAudPin*>(node->item);
        if (pin->IsFormatSupported(format)) found = pin;
    }
    TraceLeave("CKsAudRenFilter::FindViablePin()");
    return found;
}

bool CKsAudRenFilter::CanCreateRenderPin(const WAVEFORMATEX* format) {
    TraceEnter("CKsAudRenFilter::CanCreateRenderPin()");
    bool found = FindViablePin(format) != nullptr;
    if (!found) Trace(4, "Could not find a Render pin that supports the given wave format");
    TraceLeave("CKsAudRenFilter::CanCreateRenderPin", found ? S_OK : E_FAIL);
    return found;
}

CKsAudPin* CKsAudRenFilter::CreateRenderPin(const WAVEFORMATEX* format) {
    TraceEnter("CKsAudRenFilter::CreateRenderPin()");
    HRESULT hr = S_OK;
    CKsAudPin* pin = FindViablePin(format);
    if (!pin) {
        Trace(4, "Could not find a Render pin that supports the given wave format");
        hr = E_FAIL;
    } else if (FAILED(hr = pin->SetFormat(format))) {
        Trace(1, "Failed to set Render Pin format - the pin lied about its supported formats");
    } else if (SUCCEEDED(hr = pin->Instantiate(FALSE))) {
        Trace(5, "Successfully instantiated Render Pin.  Handle = 0x%08" PRIxPTR,
              reinterpret_cast<std::uintptr_t>(pin->GetHandle()));
        TraceLeave("CKsAudRenFilter::CreateRenderPin", hr);
        return pin;
    } else {
        Trace(1, "Failed to instantiate Render Pin");
    }
    // The ranges a pin advertises are not always the whole truth: try every
    // render sink with the format itself.
    pin = nullptr;
    for (auto* node = m_renderSinks.Head(); node && !pin; node = node->next) {
        auto* candidate = static_cast<CKsAudPin*>(node->item);
        if (SUCCEEDED(hr = candidate->SetFormat(format)) && SUCCEEDED(hr = candidate->Instantiate(FALSE)))
            pin = candidate;
    }
    TraceLeave("CKsAudRenFilter::CreateRenderPin", hr);
    return pin;
}
