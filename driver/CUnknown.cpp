#include "CUnknown.h"

CUnknown::CUnknown(IUnknown* outer)
    : m_owner(outer ? outer : reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(this))) {}

HRESULT STDMETHODCALLTYPE CUnknown::InnerQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown)) {
        *ppv = static_cast<INonDelegatingUnknown*>(this);
        InnerAddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CUnknown::InnerAddRef() {
    LONG count = InterlockedIncrement(&m_refCount);
    return count < 1 ? 1 : static_cast<ULONG>(count);
}

ULONG STDMETHODCALLTYPE CUnknown::InnerRelease() {
    LONG count = InterlockedDecrement(&m_refCount);
    if (count == 0) {
        // A Release made by the object's own teardown (an aggregating outer object
        // releasing us, a host callback) must not destroy it a second time.
        m_refCount = 1;
        delete this;
        return 0;
    }
    return count < 1 ? 1 : static_cast<ULONG>(count);
}
