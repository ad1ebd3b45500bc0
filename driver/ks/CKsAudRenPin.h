#pragma once

#include "CKsAudPin.h"

// A render sink pin: data flows into the filter.
class CKsAudRenPin : public CKsAudPin {
public:
    CKsAudRenPin(CKsFilter* filter, ULONG pinId, HRESULT* result);
    ~CKsAudRenPin() override;
};
