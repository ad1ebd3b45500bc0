// A stand-in for the settings panel in tests of controlPanel: started through the
// shell without arguments, it records that it ran and exits.
#include <windows.h>

int main() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\VeltrixTestMarker", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return 1;
    DWORD pid = GetCurrentProcessId();
    RegSetValueExA(key, "ran", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&pid), sizeof(pid));
    RegCloseKey(key);
    return 0;
}
