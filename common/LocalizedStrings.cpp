#include "LocalizedStrings.h"

#include <cstring>
#include <cwchar>
#include <cwctype>

#include "UniqueRegKey.h"

namespace {

constexpr DWORD kPrimaryLanguageMask = 0x3FF;
constexpr WORD kChinese = 4;
constexpr WORD kJapanese = 17;
constexpr WORD kKorean = 18;

// "NSIS:Language" holds at most four digits; a longer text does not fit and the
// read fails, which leaves the language unknown.
constexpr DWORD kUninstallLanguageBytes = 10;

constexpr UINT kStringsPerBlock = 16;

struct LanguageRow {
    WORD primary;
    WORD table;
};

// Every language but Chinese and Portuguese is reduced to one fixed table.
constexpr LanguageRow kLanguageMap[] = {
    {7, 1031},   // German
    {9, 1033},   // English
    {10, 3082},  // Spanish
    {12, 1036},  // French
    {16, 1040},  // Italian
    {17, 1041},  // Japanese
    {18, 1042},  // Korean
    {19, 1043},  // Dutch
    {25, 1049},  // Russian
};
constexpr WORD kPortuguese = 22;

DWORD readNumericLanguage() {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kInstallLanguageKeyPath, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return 0;
    // Taken whatever its registry type, but only when it is exactly 4 bytes: a text
    // stored here is longer and lets the second source decide.
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExW(key.get(), kInstallLanguageValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
        size != sizeof(value))
        return 0;
    return value;
}

DWORD readTextLanguage() {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKeyPath, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return 0;
    // One unit more than the value may fill, so the text is terminated even when
    // the registry holds it without its zero.
    wchar_t text[kUninstallLanguageBytes / sizeof(wchar_t) + 1] = {};
    DWORD size = kUninstallLanguageBytes;
    if (RegQueryValueExW(key.get(), kUninstallLanguageValue, nullptr, nullptr, reinterpret_cast<BYTE*>(text),
                         &size) != ERROR_SUCCESS)
        return 0;
    // Leading white space and a sign are accepted; conversion stops at the first
    // character that is not a digit.
    const wchar_t* p = text;
    while (*p && std::iswspace(*p)) ++p;
    bool negative = false;
    if (*p == L'+' || *p == L'-') negative = (*p++ == L'-');
    long number = 0;
    while (*p >= L'0' && *p <= L'9') number = number * 10 + (*p++ - L'0');
    return static_cast<DWORD>(negative ? -number : number);
}

// The string block holding id, in exactly that language; null with size 0 when
// the module has no such block.
const BYTE* findBlock(HMODULE module, UINT id, WORD language, DWORD* size) {
    *size = 0;
    HRSRC resource = FindResourceExW(module, reinterpret_cast<LPCWSTR>(RT_STRING),
                                     MAKEINTRESOURCEW(id / kStringsPerBlock + 1), language);
    if (!resource) return nullptr;
    HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded) return nullptr;
    *size = SizeofResource(module, resource);
    return static_cast<const BYTE*>(LockResource(loaded));
}

}  // namespace

DWORD installLanguage() {
    DWORD language = readNumericLanguage();
    if (language != 0) return language;
    return readTextLanguage();
}

WORD tableLanguage(DWORD installLanguage, WORD portugueseTable) {
    const WORD primary = static_cast<WORD>(installLanguage & kPrimaryLanguageMask);
    // Chinese keeps its sublanguage: 1028 Traditional, 2052 Simplified.
    if (primary == kChinese) return LOWORD(installLanguage);
    if (primary == kPortuguese) return portugueseTable;
    for (const LanguageRow& row : kLanguageMap)
        if (row.primary == primary) return row.table;
    return kEnglishTable;
}

bool isCjkLanguage() {
    const DWORD primary = installLanguage() & kPrimaryLanguageMask;
    return primary == kChinese || primary == kJapanese || primary == kKorean;
}

void loadLocalizedString(HMODULE module, WORD portugueseTable, UINT id, wchar_t* buffer, std::size_t capacity) {
    if (!buffer || capacity == 0) return;
    buffer[0] = L'\0';

    DWORD size = 0;
    const BYTE* block = findBlock(module, id, tableLanguage(installLanguage(), portugueseTable), &size);
    if (!block) block = findBlock(module, id, kEnglishTable, &size);
    if (!block) return;

    // Each entry is a count of UTF-16 units followed by that many units, with no
    // terminator. Every step is checked against the resource's size, so a damaged
    // block gives an empty string rather than a read past its end.
    const BYTE* end = block + size;
    const BYTE* entry = block;
    for (UINT skip = id % kStringsPerBlock; skip > 0; --skip) {
        if (end - entry < static_cast<std::ptrdiff_t>(sizeof(WORD))) return;
        WORD count = 0;
        std::memcpy(&count, entry, sizeof(count));
        if (end - entry < static_cast<std::ptrdiff_t>(sizeof(WORD) + count * sizeof(wchar_t))) return;
        entry += sizeof(WORD) + count * sizeof(wchar_t);
    }
    if (end - entry < static_cast<std::ptrdiff_t>(sizeof(WORD))) return;
    WORD count = 0;
    std::memcpy(&count, entry, sizeof(count));
    if (end - entry < static_cast<std::ptrdiff_t>(sizeof(WORD) + count * sizeof(wchar_t))) return;
    std::size_t units = count;
    if (units > capacity - 1) units = capacity - 1;
    std::memcpy(buffer, entry + sizeof(WORD), units * sizeof(wchar_t));
    buffer[units] = L'\0';
}
