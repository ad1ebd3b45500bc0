#include "DriverSettings.h"

#include <cstring>

#include "UniqueRegKey.h"

namespace {

// Reads a 4-byte value whatever its stored type. False when the key or value is
// missing or its data is not exactly 4 bytes, so that the caller never sees bytes
// the registry did not write.
bool ReadSettingDword(const char* name, long& value) {
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS)
        return false;
    if (size != sizeof(data)) return false;
    value = static_cast<long>(data);
    return true;
}

void WriteSettingDword(const char* name, long value) {
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_WRITE, key.put()) != ERROR_SUCCESS &&
        RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, const_cast<char*>(""), REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return;
    DWORD data = static_cast<DWORD>(value);
    RegSetValueExA(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
}

}  // namespace

long ReadBlockNum() {
    long value = 0;
    if (ReadSettingDword(kBlockNumValue, value) && value >= kMinBlockNum && value <= kMaxBlockNum) return value;
    return kDefaultBlockNum;
}

long ReadBitResolution() {
    long value = 0;
    if (ReadSettingDword(kBitResolutionValue, value) && value == 0) return 2;
    return 4;
}

long ReadToggleNum() {
    long value = 0;
    if (ReadSettingDword(kToggleNumValue, value) && value >= 2 && value <= 4) return value;
    return kDefaultToggleNum;
}

long ReadSampleRate() {
    long value = 0;
    if (ReadSettingDword(kSampleRateValue, value)) {
        for (long rate : kSampleRates)
            if (value == rate) return value;
    }
    return kDefaultSampleRate;
}

void WriteBlockNum(long value) { WriteSettingDword(kBlockNumValue, value); }

void WriteSampleRate(long value) { WriteSettingDword(kSampleRateValue, value); }

void ReadPanelPath(char* buffer) {
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPanelLocationKeyPath, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    // The registry neither promises a terminating zero nor leaves the buffer intact
    // when the value is too large: read into a scratch buffer and copy only a
    // complete, terminated path. A path cut short would start the wrong program.
    char scratch[kPanelPathSize];
    DWORD type = 0;
    DWORD size = sizeof(scratch);
    if (RegQueryValueExA(key.get(), kPanelPathValue, nullptr, &type, reinterpret_cast<BYTE*>(scratch), &size) !=
        ERROR_SUCCESS)
        return;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return;
    if (size == 0 || scratch[size - 1] != '\0') {
        if (size >= sizeof(scratch)) return;
        scratch[size++] = '\0';
    }
    std::memcpy(buffer, scratch, size);
}
