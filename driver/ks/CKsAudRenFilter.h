#pragma once

#include "CKsAudFilter.h"
#include "CKsAudPin.h"

// An audio render filter: finds and makes the render sink pin for a format.
class CKsAudRenFilter : public CKsAudFilter {
public:
    CKsAudRenFilter(const char* path, const char* friendlyName, HRESULT* result);

    CKsAudPin* FindViablePin(const WAVEFORMATEX* format);
    bool CanCreateRenderPin(const WAVEFORMATEX* format);
    // The instantiated pin (owned by the filter), or null.
    CKsAudPin* CreateRenderPin(const WAVEFORMATEX* format);
};
