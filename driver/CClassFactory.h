// The class object COM asks DllGetClassObject for. It does not count as a live
// object: a host may keep a factory around while the file could be unloaded.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "CreatableClassEntry.h"

class CClassFactory : public IClassFactory {
public:
    explicit CClassFactory(const CreatableClassEntry* entry) : m_entry(entry) {}
    virtual ~CClassFactory() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

    static LONG ServerLockCount();

private:
    const CreatableClassEntry* const m_entry;
    LONG m_refCount = 0;
    static LONG s_serverLocks;
};

// The logic of the exported DllGetClassObject and DllCanUnloadNow.
HRESULT GetDriverClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
HRESULT CanUnloadDriverNow();
