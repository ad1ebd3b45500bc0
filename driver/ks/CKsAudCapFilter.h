#pragma once

#include "CKsAudFilter.h"
#include "CKsAudPin.h"

// An audio capture filter: finds and makes the capture sink pin for a format.
class CKsAudCapFilter : public CKsAudFilter {
public:
    CKsAudCapFilter(const char* path, const char* friendlyName, HRESULT* result);

    CKsAudPin* FindViablePin(const WAVEFORMATEX* format);
    bool CanCreateCapturePin(const WAVEFORMATEX* format);
    // The instantiated pin (owned by the filter), or null. No fallback: a capture
    // pin that rejects the format is not tried.
    CKsAudPin* CreateCapturePin(const WAVEFORMATEX* format);
};
