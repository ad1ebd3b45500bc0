#include "CClassFactory.h"

#include <cstring>
#include <new>

#include "CBaseObject.h"

// COM calls a factory from the apartment that made it ("Apartment" threading
// model), so its counts need no interlocked arithmetic.
LONG CClassFactory::s_serverLocks = 0;

LONG CClassFactory::ServerLockCount() { return s_serverLocks; }

HRESULT STDMETHODCALLTYPE CClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CClassFactory::AddRef() { return static_cast<ULONG>(++m_refCount); }

ULONG STDMETHODCALLTYPE CClassFactory::Release() {
    LONG count = --m_refCount;
    if (count == 0) {
        delete this;
        return 0;
    }
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE CClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    // An aggregating outer object must get our non-delegating IUnknown and nothing
    // else, or it could not control our lifetime.
    if (outer && !IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;

    HRESULT result = S_OK;
    INonDelegatingUnknown* object = m_entry->create(outer, &result);
    if (!object) return E_OUTOFMEMORY;
    if (FAILED(result)) {
        delete static_cast<CUnknown*>(object);
        return result;
    }
    // The AddRef/Release pair around the query destroys the object again when the
    // query fails, and leaves exactly the caller's reference when it succeeds.
    object->InnerAddRef();
    HRESULT hr = object->InnerQueryInterface(riid, ppv);
    object->InnerRelease();
    return hr;
}

HRESULT STDMETHODCALLTYPE CClassFactory::LockServer(BOOL lock) {
    if (lock)
        ++s_serverLocks;
    else
        --s_serverLocks;
    return S_OK;
}

HRESULT GetDriverClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    // Without somewhere to put it, a factory made here could never be released.
    if (!ppv) return E_POINTER;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
    for (int i = 0; i < kCreatableClassCount; ++i) {
        if (std::memcmp(&rclsid, kCreatableClasses[i].classId, sizeof(CLSID)) != 0) continue;
        auto* factory = new (std::nothrow) CClassFactory(&kCreatableClasses[i]);
        *ppv = factory;
        if (!factory) return E_OUTOFMEMORY;
        factory->AddRef();
        return S_OK;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadDriverNow() {
    return (CClassFactory::ServerLockCount() > 0 || CBaseObject::LiveObjectCount() != 0) ? S_FALSE : S_OK;
}
