// One Kernel Streaming filter, opened by its device interface path: its pin
// factories as CKsPin objects sorted by data flow and communication, and the pin
// property requests.
#pragma once

#include "CKsIrpTarget.h"
#include "Trace.h"
#include "CKsList.h"
#include "CKsNode.h"
#include "CKsPin.h"
#include "KsDefinitions.h"

class CKsFilter : public CKsIrpTarget {
public:
    static constexpr int kPathSize = 260;
    // The most pin factories looked at: a filter answering an absurd count (a
    // broken reply of 0xFFFFFFFF) would otherwise keep the enumeration asking for
    // days. Real audio filters have a handful.
    static constexpr ULONG kMaxPinFactories = 256;

    CKsFilter(const char* path, const char* friendlyName, HRESULT* result);
    virtual ~CKsFilter();
    virtual HRESULT Instantiate();
    virtual HRESULT EnumerateNodes();
    virtual HRESULT EnumeratePins();
    virtual HRESULT DestroyLists();

    HRESULT ClassifyPins();
    HRESULT GetPinPropertySimple(ULONG pinId, ULONG propertyId, void* value, ULONG valueSize);
    // Allocates the exact size the filter reports; the caller frees the buffer
    // with FreePropertyBuffer. A failed request hands out no buffer. size, when
    // given, receives how many bytes of the buffer the reply filled (a filter may
    // return fewer than it announced).
    HRESULT GetPinPropertyMulti(ULONG pinId, ULONG propertyId, void** buffer, ULONG* size = nullptr);

    const char* Path() const { return m_szPath; }
    const char* Label() const { return m_szLabel; }
    int FilterKind() const { return m_filterKind; }

    CKsList<CKsNode> m_nodes;
    CKsList<CKsPin> m_allPins;
    CKsList<CKsPin> m_renderSinks;
    CKsList<CKsPin> m_captureSources;
    CKsList<CKsPin> m_captureSinks;
    CKsList<CKsPin> m_renderSources;
    CKsList<CKsPin> m_noCommPins;

protected:
    int m_filterKind = 0;
    char m_szPath[kPathSize] = {};
    char m_szLabel[kPathSize] = {};

private:
    void InternalInit();
};
