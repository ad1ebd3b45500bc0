#include "DriverRegistration.h"

#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "DriverIdentity.h"
#include "RegistryHelpers.h"
#include "UniqueRegKey.h"

namespace {

constexpr char kAsioListPath[] = "SOFTWARE\\ASIO";
constexpr int kClassIdTextSize = 100;

// The module path, lower-cased, and the class ID in its registry text form.
struct RegistrationTexts {
    char modulePath[kRegistrationPathSize] = {};
    char classIdText[kClassIdTextSize] = {};
};

int ComposeTexts(REFCLSID classId, HMODULE module, const RegistrationServices& services, RegistrationTexts& texts) {
    DWORD length = services.getModuleFileName(module, texts.modulePath, kRegistrationPathSize);
    // A path that fills the buffer was cut short; registering it would point COM at
    // a file that does not exist.
    if (length == 0 || length >= kRegistrationPathSize || texts.modulePath[0] == '\0')
        return kRegistrationNoModulePath;
    texts.modulePath[kRegistrationPathSize - 1] = '\0';
    CharLowerA(texts.modulePath);

    LPOLESTR wide = nullptr;
    if (FAILED(services.stringFromClsid(classId, &wide)) || !wide) return kRegistrationNoClassIdText;
    int converted =
        services.wideCharToMultiByte(CP_ACP, 0, wide, -1, texts.classIdText, kClassIdTextSize, nullptr, nullptr);
    CoTaskMemFree(wide);
    if (converted == 0) return kRegistrationNoAnsiText;
    texts.classIdText[kClassIdTextSize - 1] = '\0';
    return kRegistrationOk;
}

// Deletes root\parentPath\name with its whole tree, if it exists.
void DeleteSubtree(HKEY root, const char* parentPath, const char* name) {
    std::string full = std::string(parentPath) + "\\" + name;
    if (!KeyExists(root, full.c_str())) return;
    HKEY parent = nullptr;
    if (RegOpenKeyA(root, parentPath, &parent) != ERROR_SUCCESS) return;
    DeleteKeyTree(parent, name);  // closes parent
}

}  // namespace

const RegistrationServices& DefaultRegistrationServices() {
    static const RegistrationServices services = {GetModuleHandleA, GetModuleFileNameA, StringFromCLSID,
                                                  WideCharToMultiByte};
    return services;
}

int WriteDriverRegistration(REFCLSID classId, HMODULE module, const RegistrationServices& services) {
    RegistrationTexts texts;
    int code = ComposeTexts(classId, module, services, texts);
    if (code != kRegistrationOk) return code;

    std::string classKey = std::string("CLSID\\") + texts.classIdText;
    bool classKeyCurrent = false;
    if (KeyExists(HKEY_CLASSES_ROOT, classKey.c_str())) {
        char registered[kRegistrationPathSize] = {};
        std::string serverKey = classKey + "\\InprocServer32";
        if (ReadDefaultValue(serverKey.c_str(), registered) == 0) {
            CharLowerA(registered);
            classKeyCurrent = std::strcmp(registered, texts.modulePath) == 0;
        }
        // Registered from another place: replace the whole key, with whatever
        // another installation may have put below it.
        if (!classKeyCurrent) DeleteSubtree(HKEY_CLASSES_ROOT, "CLSID", texts.classIdText);
    }
    if (!classKeyCurrent) {
        EnsureSubkey(HKEY_CLASSES_ROOT, "CLSID", texts.classIdText);
        SetStringValue(HKEY_CLASSES_ROOT, classKey.c_str(), nullptr, kDriverName);
        EnsureSubkey(HKEY_CLASSES_ROOT, classKey.c_str(), "InprocServer32");
        std::string serverKey = classKey + "\\InprocServer32";
        SetStringValue(HKEY_CLASSES_ROOT, serverKey.c_str(), nullptr, texts.modulePath);
        SetStringValue(HKEY_CLASSES_ROOT, serverKey.c_str(), "ThreadingModel", "Apartment");
    }

    if (!KeyExists(HKEY_LOCAL_MACHINE, kAsioListPath))
        EnsureSubkey(HKEY_LOCAL_MACHINE, "SOFTWARE", "ASIO");
    else
        DeleteSubtree(HKEY_LOCAL_MACHINE, kAsioListPath, kDriverName);

    EnsureSubkey(HKEY_LOCAL_MACHINE, kAsioListPath, kDriverName);
    std::string entry = std::string(kAsioListPath) + "\\" + kDriverName;
    SetStringValue(HKEY_LOCAL_MACHINE, entry.c_str(), "CLSID", texts.classIdText);
    SetStringValue(HKEY_LOCAL_MACHINE, entry.c_str(), "Description", kDriverName);
    return kRegistrationOk;
}

int RemoveDriverRegistration(REFCLSID classId, HMODULE module, const RegistrationServices& services) {
    RegistrationTexts texts;
    int code = ComposeTexts(classId, module, services, texts);
    if (code != kRegistrationOk) return code;
    DeleteSubtree(HKEY_CLASSES_ROOT, "CLSID", texts.classIdText);
    DeleteSubtree(HKEY_LOCAL_MACHINE, kAsioListPath, kDriverName);
    return kRegistrationOk;
}

int RunServerRegistration(RegistrationAction action, const RegistrationServices& services) {
    HMODULE module = services.getModuleHandle(kDriverFileName);
    if (!module) return kRegistrationNoModule;
    return action == RegistrationAction::Register ? WriteDriverRegistration(kDriverClassId, module, services)
                                                  : RemoveDriverRegistration(kDriverClassId, module, services);
}

void FormatRegistrationFailure(RegistrationAction action, int code, char (&text)[kRegistrationMessageSize]) {
    std::memset(text, 0, sizeof(text));
    std::snprintf(text, sizeof(text),
                  action == RegistrationAction::Register ? "Register Server failed ! (%d)"
                                                         : "Unregister Server failed ! (%d)",
                  code);
}

HRESULT CompleteServerRegistration(RegistrationAction action, int code) {
    if (code == kRegistrationOk) return S_OK;
    char text[kRegistrationMessageSize];
    FormatRegistrationFailure(action, code, text);
    MessageBoxA(nullptr, text, kDriverName, MB_OK);
    return static_cast<HRESULT>(-1);
}
