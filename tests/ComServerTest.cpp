// The COM server as hosts and COM reach it: the built DLL's own exports, and
// CoCreateInstance through the registration regsvr32 writes.
#include <gtest/gtest.h>

#include <objbase.h>

#include "Asio.h"
#include "DriverIdentity.h"
#include "TestSupport.h"

namespace {

constexpr GUID kForeignClassId = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

// The shipped DLL, loaded the way COM loads it.
class DriverDll : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        module = LoadLibraryA(testsupport::DriverDllPath().c_str());
        ASSERT_NE(module, nullptr) << "LoadLibrary " << testsupport::DriverDllPath() << ": " << GetLastError();
        getClassObject = testsupport::LoadExport<decltype(getClassObject)>(module, "DllGetClassObject");
        canUnloadNow = testsupport::LoadExport<decltype(canUnloadNow)>(module, "DllCanUnloadNow");
        ASSERT_NE(getClassObject, nullptr);
        ASSERT_NE(canUnloadNow, nullptr);
    }

    IClassFactory* Factory() {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(getClassObject(kDriverClassId, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
        return factory;
    }

    static HMODULE module;
    static HRESULT(STDAPICALLTYPE* getClassObject)(REFCLSID, REFIID, void**);
    static HRESULT(STDAPICALLTYPE* canUnloadNow)();
};
HMODULE DriverDll::module = nullptr;
HRESULT(STDAPICALLTYPE* DriverDll::getClassObject)(REFCLSID, REFIID, void**) = nullptr;
HRESULT(STDAPICALLTYPE* DriverDll::canUnloadNow)() = nullptr;

TEST_F(DriverDll, GetClassObjectChecksTheInterfaceBeforeTheClass) {
    struct Case {
        const char* what;
        const GUID* classId;
        const IID* iid;
        HRESULT expected;
    } cases[] = {
        {"driver class, IClassFactory", &kDriverClassId, &IID_IClassFactory, S_OK},
        {"driver class, IUnknown", &kDriverClassId, &IID_IUnknown, S_OK},
        {"foreign class, IClassFactory", &kForeignClassId, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"foreign class, IDispatch", &kForeignClassId, &IID_IDispatch, E_NOINTERFACE},
        {"driver class, IDispatch", &kDriverClassId, &IID_IDispatch, E_NOINTERFACE},
        {"driver class as interface", &kDriverClassId, &kDriverClassId, E_NOINTERFACE},
    };
    for (const Case& c : cases) {
        IUnknown* object = nullptr;
        EXPECT_EQ(getClassObject(*c.classId, *c.iid, reinterpret_cast<void**>(&object)), c.expected) << c.what;
        if (SUCCEEDED(c.expected)) {
            ASSERT_NE(object, nullptr) << c.what;
            EXPECT_EQ(object->Release(), 0u) << c.what;
        }
    }
    EXPECT_EQ(getClassObject(kDriverClassId, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(DriverDll, FactoryAnswersOnlyIUnknownAndIClassFactory) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    struct Case {
        const IID* iid;
        HRESULT expected;
    } cases[] = {{&IID_IUnknown, S_OK}, {&IID_IClassFactory, S_OK}, {&IID_IDispatch, E_NOINTERFACE},
                 {&kDriverClassId, E_NOINTERFACE}};
    for (const Case& c : cases) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(factory->QueryInterface(*c.iid, &out), c.expected);
        if (c.expected == S_OK) {
            EXPECT_EQ(out, factory);
            factory->Release();
        } else {
            EXPECT_EQ(out, nullptr);
        }
    }
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(factory->Release(), 0u);
}

// A minimal aggregating outer object: counts what reaches it.
struct OuterObject : IUnknown {
    LONG queries = 0, addRefs = 0, releases = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        ++queries;
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++addRefs; }
    ULONG STDMETHODCALLTYPE Release() override { return ++releases; }
};

TEST_F(DriverDll, CreateInstanceAndTheObjectsInterfaces) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    OuterObject outer;
    struct Case {
        const char* what;
        IUnknown* outer;
        const IID* iid;
        HRESULT expected;
    } cases[] = {
        {"class ID as interface", nullptr, &kDriverClassId, S_OK},
        {"IUnknown", nullptr, &IID_IUnknown, S_OK},
        {"IClassFactory of the object", nullptr, &IID_IClassFactory, E_NOINTERFACE},
        {"IDispatch", nullptr, &IID_IDispatch, E_NOINTERFACE},
        {"aggregated, IUnknown", &outer, &IID_IUnknown, S_OK},
        {"aggregated, class ID", &outer, &kDriverClassId, E_NOINTERFACE},
    };
    for (const Case& c : cases) {
        IUnknown* object = nullptr;
        EXPECT_EQ(factory->CreateInstance(c.outer, *c.iid, reinterpret_cast<void**>(&object)), c.expected) << c.what;
        if (c.expected == S_OK) {
            ASSERT_NE(object, nullptr) << c.what;
            EXPECT_EQ(canUnloadNow(), S_FALSE) << c.what << ": a live object must keep the DLL loaded";
            EXPECT_EQ(object->Release(), 0u) << c.what;
        } else {
            EXPECT_EQ(object, nullptr) << c.what;
        }
        // A failed query destroys the object it made.
        EXPECT_EQ(canUnloadNow(), S_OK) << c.what;
    }
    EXPECT_EQ(factory->CreateInstance(nullptr, kDriverClassId, nullptr), E_POINTER);
    factory->Release();
}

TEST_F(DriverDll, TheObjectAnswersToItsClassIdAndIUnknownOnly) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    IASIO* driver = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, kDriverClassId, reinterpret_cast<void**>(&driver)), S_OK);
    factory->Release();

    struct Case {
        const IID* iid;
        HRESULT expected;
    } cases[] = {{&kDriverClassId, S_OK}, {&IID_IUnknown, S_OK}, {&IID_IClassFactory, E_NOINTERFACE},
                 {&IID_IDispatch, E_NOINTERFACE}, {&kForeignClassId, E_NOINTERFACE}};
    for (const Case& c : cases) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(driver->QueryInterface(*c.iid, &out), c.expected);
        if (c.expected == S_OK) {
            ASSERT_NE(out, nullptr);
            static_cast<IUnknown*>(out)->Release();
        } else {
            EXPECT_EQ(out, nullptr);
        }
    }
    EXPECT_EQ(driver->QueryInterface(kDriverClassId, nullptr), E_POINTER);
    EXPECT_EQ(driver->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    // IUnknown is the object's identity: asking twice gives the same pointer.
    IUnknown *first = nullptr, *second = nullptr;
    driver->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&first));
    driver->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&second));
    EXPECT_EQ(first, second);
    first->Release();
    second->Release();
    EXPECT_EQ(driver->Release(), 0u);
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(DriverDll, AnAggregatedObjectForwardsItsPublicIUnknownToTheOuter) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    OuterObject outer;
    IUnknown* inner = nullptr;
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
    factory->Release();

    // The inner (non-delegating) IUnknown hands out IASIO; the IASIO side's own
    // IUnknown calls must then reach the outer object.
    IASIO* driver = nullptr;
    ASSERT_EQ(inner->QueryInterface(kDriverClassId, reinterpret_cast<void**>(&driver)), S_OK);
    EXPECT_EQ(outer.addRefs, 1);
    void* out = nullptr;
    EXPECT_EQ(driver->QueryInterface(IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(outer.queries, 1);
    driver->AddRef();
    driver->Release();
    driver->Release();
    EXPECT_EQ(outer.addRefs, 2);
    EXPECT_EQ(outer.releases, 2);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    EXPECT_EQ(inner->Release(), 0u);
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(DriverDll, CanUnloadNowFollowsObjectsAndLocksButNotFactories) {
    ASSERT_EQ(canUnloadNow(), S_OK);
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(canUnloadNow(), S_OK) << "a class factory alone does not hold the DLL";

    IUnknown* object = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    object->Release();
    EXPECT_EQ(canUnloadNow(), S_OK);

    factory->LockServer(TRUE);
    factory->LockServer(TRUE);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    factory->LockServer(FALSE);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    factory->LockServer(FALSE);
    EXPECT_EQ(canUnloadNow(), S_OK);
    factory->Release();
}

// What a host does: find the class through the registration and create the
// object with the class ID as the interface ID.
TEST(ComRegistration, CoCreateInstanceYieldsTheDriver) {
    ASSERT_TRUE(testsupport::Regsvr32(testsupport::DriverDllPath()));
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    IASIO* driver = nullptr;
    HRESULT hr =
        CoCreateInstance(kDriverClassId, nullptr, CLSCTX_INPROC_SERVER, kDriverClassId, reinterpret_cast<void**>(&driver));
    EXPECT_EQ(hr, S_OK);
    if (driver) {
        EXPECT_EQ(driver->Release(), 0u);
    }
    CoUninitialize();
    EXPECT_TRUE(testsupport::Regsvr32(testsupport::DriverDllPath(), true));
}

}  // namespace
