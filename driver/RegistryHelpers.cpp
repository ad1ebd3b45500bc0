#include "RegistryHelpers.h"

#include <cstring>
#include <string>
#include <vector>

#include "UniqueRegKey.h"

bool KeyExists(HKEY root, const char* path) {
    UniqueRegKey key;
    return RegOpenKeyA(root, path, key.put()) == ERROR_SUCCESS;
}

int EnsureSubkey(HKEY root, const char* parentPath, const char* name) {
    std::string full = std::string(parentPath) + "\\" + name;
    if (KeyExists(root, full.c_str())) return 0;
    UniqueRegKey parent;
    if (RegOpenKeyA(root, parentPath, parent.put()) != ERROR_SUCCESS) return -1;
    UniqueRegKey created;
    return RegCreateKeyA(parent.get(), name, created.put()) == ERROR_SUCCESS ? 0 : -1;
}

int SetStringValue(HKEY root, const char* path, const char* valueName, const char* text) {
    UniqueRegKey key;
    if (RegOpenKeyA(root, path, key.put()) != ERROR_SUCCESS) return -1;
    DWORD size = static_cast<DWORD>(std::strlen(text) + 1);
    LONG status = RegSetValueExA(key.get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size);
    return status == ERROR_SUCCESS ? 0 : -1;
}

int ReadDefaultValue(const char* path, char* buffer) {
    UniqueRegKey key;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, path, key.put()) != ERROR_SUCCESS) return -1;
    // The registry does not promise a terminating zero, and leaves the buffer
    // undefined when the value is too large, so read into a scratch buffer first.
    char scratch[kRegistrationPathSize];
    DWORD type = 0;
    DWORD size = sizeof(scratch);
    if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(scratch), &size) !=
        ERROR_SUCCESS)
        return -1;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return -1;
    if (size == 0 || scratch[size - 1] != '\0') {
        if (size >= sizeof(scratch)) return -1;  // no room left for the terminator
        scratch[size++] = '\0';
    }
    std::memcpy(buffer, scratch, size);
    return 0;
}

namespace {

struct TreeEntry {
    HKEY parent;
    std::string name;
    HKEY key;
};

// Adds parent\name and everything below it to the list, every key after all of its
// subkeys: a key that still has subkeys cannot be deleted.
void CollectPostOrder(HKEY parent, const std::string& name, std::vector<TreeEntry>& list) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    std::vector<std::string> children;
    char child[kRegistrationPathSize];
    for (DWORD index = 0; RegEnumKeyA(key, index, child, sizeof(child)) == ERROR_SUCCESS; ++index)
        children.emplace_back(child);
    for (const std::string& c : children) CollectPostOrder(key, c, list);
    list.push_back({parent, name, key});
}

}  // namespace

int DeleteKeyTree(HKEY openParent, const char* name) {
    std::vector<TreeEntry> list;
    CollectPostOrder(openParent, name, list);
    // Each entry's parent is either openParent or an entry further down the list,
    // so it is still open when the entry is deleted.
    for (const TreeEntry& entry : list) {
        RegCloseKey(entry.key);
        RegDeleteKeyA(entry.parent, entry.name.c_str());
    }
    RegCloseKey(openParent);
    return list.empty() ? -1 : 0;
}
