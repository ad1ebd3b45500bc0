// Self-registration: the COM class entry and the entry in the ASIO driver list
// through which hosts and the settings panel find the driver.
#pragma once

#include <windows.h>
#include <objbase.h>

// Codes of the registration routines; 0 is success.
enum RegistrationCode : int {
    kRegistrationOk = 0,
    kRegistrationNoModule = -101,      // own module handle not found
    kRegistrationNoModulePath = -102,  // module path empty (or too long to hold)
    kRegistrationNoClassIdText = -103, // StringFromCLSID failed
    kRegistrationNoAnsiText = -104,    // class ID text not convertible to the ANSI code page
};

enum class RegistrationAction { Register, Unregister };

// The system calls registration depends on. The driver always uses
// DefaultRegistrationServices(); tests substitute single calls to reach the failure
// codes that a working system never produces.
struct RegistrationServices {
    HMODULE(WINAPI* getModuleHandle)(LPCSTR);
    DWORD(WINAPI* getModuleFileName)(HMODULE, LPSTR, DWORD);
    HRESULT(WINAPI* stringFromClsid)(REFCLSID, LPOLESTR*);
    int(WINAPI* wideCharToMultiByte)(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL);
};
const RegistrationServices& DefaultRegistrationServices();

int WriteDriverRegistration(REFCLSID classId, HMODULE module,
                            const RegistrationServices& services = DefaultRegistrationServices());
int RemoveDriverRegistration(REFCLSID classId, HMODULE module,
                             const RegistrationServices& services = DefaultRegistrationServices());

// DllRegisterServer / DllUnregisterServer below the message box: finds the module
// by the driver's file name and runs the routine. Returns its code.
int RunServerRegistration(RegistrationAction action,
                          const RegistrationServices& services = DefaultRegistrationServices());

// The text of the message box for a failed (un)registration.
constexpr int kRegistrationMessageSize = 128;
void FormatRegistrationFailure(RegistrationAction action, int code, char (&text)[kRegistrationMessageSize]);

// The entry points' result: S_OK for code 0; otherwise shows the failure in a
// message box (regsvr32 would otherwise say only "failed") and returns -1.
HRESULT CompleteServerRegistration(RegistrationAction action, int code);
