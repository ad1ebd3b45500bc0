#include "PanelSettings.h"

#include "UniqueRegKey.h"

namespace {

// What a value that cannot be read counts as: outside every accepted range.
constexpr long kUnreadable = static_cast<long>(0xFFFF0000);

long readValue(HKEY key, const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    DWORD type = REG_DWORD;
    // Only exactly 4 bytes count: a shorter value would leave part of the number
    // unwritten. Texts are refused whatever their size, because the wide call
    // hands a short text over as its character codes (a stored "8" would read as
    // 56), which no reader of the store means.
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        size != sizeof(value) || type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)
        return kUnreadable;
    return static_cast<long>(value);
}

}  // namespace

PanelSettings ReadPanelSettings() {
    PanelSettings settings = kStandardSettings;
    UniqueRegKey software;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSoftwareKeyPath, 0, KEY_ALL_ACCESS, software.put()) != ERROR_SUCCESS)
        return settings;
    UniqueRegKey key;
    if (RegOpenKeyExW(software.get(), kSettingsKeyName, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS)
        return settings;

    // A blockNum above the slider's 30 (written by a host that chose a larger
    // buffer) is still shown as it is.
    const long blockNum = readValue(key.get(), kBlockNumValue);
    if (blockNum >= 1 && blockNum <= 64) settings.blockNum = blockNum;
    if (readValue(key.get(), kBitResolutionValue) == 0) settings.bitResolution = 0;
    const long toggleNum = readValue(key.get(), kToggleNumValue);
    if (toggleNum >= 2 && toggleNum <= 4) settings.toggleNum = toggleNum;
    const long sampleRate = readValue(key.get(), kSampleRateValue);
    if (sampleRate == 44100 || sampleRate == 48000) settings.sampleRate = sampleRate;
    return settings;
}

bool WritePanelSettings(long blockNum, long bitResolution, long toggleNum) {
    UniqueRegKey software;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSoftwareKeyPath, 0, KEY_ALL_ACCESS, software.put()) != ERROR_SUCCESS)
        return false;
    UniqueRegKey key;
    if (RegOpenKeyExW(software.get(), kSettingsKeyName, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS &&
        RegCreateKeyExW(software.get(), kSettingsKeyName, 0, const_cast<wchar_t*>(L""), REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    const struct {
        const wchar_t* name;
        long value;
    } values[] = {{kBlockNumValue, blockNum}, {kBitResolutionValue, bitResolution}, {kToggleNumValue, toggleNum}};
    for (const auto& v : values) {
        DWORD data = static_cast<DWORD>(v.value);
        RegSetValueExW(key.get(), v.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
    }
    return true;
}
