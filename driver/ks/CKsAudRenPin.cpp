#include "CKsAudRenPin.h"

#include "KsTrace.h"

CKsAudRenPin::CKsAudRenPin(CKsFilter* filter, ULONG pinId, HRESULT* result) : CKsAudPin(filter, pinId, result) {
    TraceEnter("CKsAudRenPin::CKsAudRenPin()");
    m_pinKind = 1;
    TraceLeave("CKsAudRenPin::CKsAudRenPin", result ? *result : S_OK);
}

CKsAudRenPin::~CKsAudRenPin() {
    TraceEnter("CKsAudRenPin::~CKsAudRenPin()");
    TraceLeave("CKsAudRenPin::~CKsAudRenPin()");
}
