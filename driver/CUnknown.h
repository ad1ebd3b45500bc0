// The object's own identity (the non-delegating IUnknown) and the delegating
// forwarder, so that the driver object can be aggregated. The layout of
// INonDelegatingUnknown matches IUnknown's vtable: COM hands it to an aggregating
// outer object as that object's inner IUnknown.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "CBaseObject.h"

struct INonDelegatingUnknown {
    virtual HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE InnerAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE InnerRelease() = 0;
};

class CUnknown : public INonDelegatingUnknown, public CBaseObject {
public:
    explicit CUnknown(IUnknown* outer);
    virtual ~CUnknown() = default;

    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE InnerAddRef() override;
    ULONG STDMETHODCALLTYPE InnerRelease() override;

    // Where the public IUnknown calls go: the aggregating outer object, or our own
    // non-delegating side.
    IUnknown* Owner() const { return m_owner; }
    LONG ReferenceCount() const { return m_refCount; }

private:
    IUnknown* const m_owner;
    volatile LONG m_refCount = 0;
};
