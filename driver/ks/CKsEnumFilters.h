// Finds the Kernel Streaming filters of one kind on the system and keeps them,
// opened and with their pins enumerated, in a list in the order SetupAPI gives
// them. The list owns its filters.
#pragma once

#include "CKsFilter.h"
#include "CKsList.h"

class CKsEnumFilters {
public:
    // Kinds of filter object built for each interface found.
    static constexpr ULONG kPlainFilter = 0;
    static constexpr ULONG kRenderFilter = 1;
    static constexpr ULONG kCaptureFilter = 2;

    // The ANSI interface detail record: its size field plus room for a device path
    // of 520 characters and its terminator.
    static constexpr DWORD kDetailRecordSize = 525;

    CKsEnumFilters();
    virtual ~CKsEnumFilters();
    virtual HRESULT DestroyLists();

    // categories[0] is the interface class enumerated; every further entry is an
    // alias an interface must have, enabled.
    HRESULT EnumFilters(ULONG filterKind, const GUID* categories, ULONG categoryCount);

    CKsList<CKsFilter> m_listFilters;
};
