#include "CKsAudCapPin.h"

#include "KsTrace.h"

CKsAudCapPin::CKsAudCapPin(CKsFilter* filter, ULONG pinId, HRESULT* result) : CKsAudPin(filter, pinId, result) {
    TraceEnter("CKsAudCapPin::CKsAudCapPin()");
    m_pinKind = 2;
    TraceLeave("CKsAudCapPin::CKsAudCapPin", result ? *result : S_OK);
}

CKsAudCapPin::~CKsAudCapPin() {
    TraceEnter("CKsAudCapPin::~CKsAudCapPin()");
    TraceLeave("CKsAudCapPin::~CKsAudCapPin()");
}
