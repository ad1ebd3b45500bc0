#include "ProductVersion.h"

#include <cwchar>
#include <memory>
#include <new>

#include "UniqueHandle.h"
#include "VersionIdentity.h"

std::wstring readProductVersionText(const wchar_t* path) {
    // The open only proves that the file exists and can be read; the version
    // functions below open it themselves.
    {
        UniqueFileHandle file(
            CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!file) return {};
    }
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0) return {};
    std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[size]);
    if (!block) return {};
    if (!GetFileVersionInfoW(path, 0, size, block.get())) return {};

    for (const wchar_t* key : kProductVersionKeys) {
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(block.get(), key, &value, &length) || !value || length == 0) continue;
        // length counts units and may or may not include the terminator; a string
        // stored without one ends at length, never beyond it.
        const wchar_t* text = static_cast<const wchar_t*>(value);
        const std::size_t units = wcsnlen(text, length);
        if (units == 0) continue;
        return std::wstring(text, units);
    }
    return {};
}

std::wstring shortenProductVersion(const std::wstring& productVersion) {
    std::wstring shown = productVersion;
    const std::size_t first = shown.find(L'.');
    if (first != std::wstring::npos && first > 0) {
        const std::size_t second = shown.find(L'.', first + 1);
        if (second != std::wstring::npos && second > first + 1) shown.resize(second);
    }
    if (shown.size() > kMaxShownProductVersion) shown.resize(kMaxShownProductVersion);
    return shown;
}
