// The five entry points of the COM server, exported by their plain names through
// Veltrix_KMX_ASIO.def.
#include <windows.h>

#include "CClassFactory.h"
#include "DriverRegistration.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) { return GetDriverClassObject(rclsid, riid, ppv); }

STDAPI DllCanUnloadNow() { return CanUnloadDriverNow(); }

STDAPI DllRegisterServer() {
    return CompleteServerRegistration(RegistrationAction::Register,
                                      RunServerRegistration(RegistrationAction::Register));
}

STDAPI DllUnregisterServer() {
    return CompleteServerRegistration(RegistrationAction::Unregister,
                                      RunServerRegistration(RegistrationAction::Unregister));
}
