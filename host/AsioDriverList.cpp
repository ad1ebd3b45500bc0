#include "AsioDriverList.h"

#include <objbase.h>

#include "UniqueRegKey.h"

namespace {

std::string ReadStringValue(HKEY key, const char* name) {
    char buffer[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    buffer[size < MAX_PATH ? size : MAX_PATH] = '\0';
    return buffer;
}

}  // namespace

std::vector<AsioDriverEntry> AsioDriverList::Read() {
    std::vector<AsioDriverEntry> drivers;
    UniqueRegKey list;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO", 0, KEY_READ, list.put()) != ERROR_SUCCESS) return drivers;
    char name[256];
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = sizeof(name);
        if (RegEnumKeyExA(list.get(), index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        UniqueRegKey entryKey;
        if (RegOpenKeyExA(list.get(), name, 0, KEY_READ, entryKey.put()) != ERROR_SUCCESS) continue;
        AsioDriverEntry entry;
        entry.keyName = name;
        entry.classIdText = ReadStringValue(entryKey.get(), "CLSID");
        entry.description = ReadStringValue(entryKey.get(), "Description");
        if (entry.description.empty()) entry.description = entry.keyName;
        wchar_t wide[64] = {};
        MultiByteToWideChar(CP_ACP, 0, entry.classIdText.c_str(), -1, wide, 64);
        if (FAILED(CLSIDFromString(wide, &entry.classId))) continue;
        std::string serverKey = "CLSID\\" + entry.classIdText + "\\InprocServer32";
        UniqueRegKey server;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, serverKey.c_str(), 0, KEY_READ, server.put()) == ERROR_SUCCESS)
            entry.serverPath = ReadStringValue(server.get(), nullptr);
        entry.serverFileExists =
            !entry.serverPath.empty() && GetFileAttributesA(entry.serverPath.c_str()) != INVALID_FILE_ATTRIBUTES;
        drivers.push_back(entry);
    }
    return drivers;
}
