#pragma once

#include "CKsAudPin.h"

// A capture sink pin: data flows out of the filter.
class CKsAudCapPin : public CKsAudPin {
public:
    CKsAudCapPin(CKsFilter* filter, ULONG pinId, HRESULT* result);
    ~CKsAudCapPin() override;
};
