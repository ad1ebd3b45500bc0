// A filter of PCM audio: keeps only pins with a sensible communication type and
// makes audio pin objects of them.
#pragma once

#include "CKsFilter.h"

class CKsAudFilter : public CKsFilter {
public:
    CKsAudFilter(const char* path, const char* friendlyName, HRESULT* result);
    HRESULT EnumeratePins() override;
};
