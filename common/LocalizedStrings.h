// Texts of the utility programs in the language the package was installed in (not
// the language of the Windows user interface). Each program carries one RT_STRING
// table per language it supports; these functions pick the table from the
// installer's registry values and copy one string out of it. Nothing is cached:
// a language written by the installer while a program runs shows with the next
// text that program loads.
#pragma once

#include <windows.h>

#include <cstddef>

// The one row in which the two programs' language maps differ: which Portuguese
// table the program carries.
inline constexpr WORD kPortugueseBrazilTable = 1046;    // the settings panel
inline constexpr WORD kPortugueseTableOfPortugal = 2070;  // the version utility

// The table every program carries, used when no language is known and when the
// table a language names is missing (a Chinese variant other than 1028 and 2052).
inline constexpr WORD kEnglishTable = 1033;

// Where the installer leaves its language, read in this order.
inline constexpr wchar_t kInstallLanguageKeyPath[] = L"Software\\Veltrix\\Veltrix KMX";
inline constexpr wchar_t kInstallLanguageValue[] = L"Veltrix KMXInstallLanguage";
inline constexpr wchar_t kUninstallKeyPath[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Veltrix KMX ASIO";
inline constexpr wchar_t kUninstallLanguageValue[] = L"NSIS:Language";

// The installer's Windows language identifier, or 0 when none is known.
DWORD installLanguage();

// The identifier of the string table a program uses for an installer language.
// portugueseTable is the program's Portuguese table (see above).
WORD tableLanguage(DWORD installLanguage, WORD portugueseTable);

// True when the installer language is Chinese, Japanese or Korean.
bool isCjkLanguage();

// Copies string id of the table chosen for the current installer language, taken
// from module's own resources, into buffer and terminates it. A string longer than
// capacity - 1 units is cut; a string without text, or one that no table holds,
// gives an empty string. capacity 0 writes nothing.
void loadLocalizedString(HMODULE module, WORD portugueseTable, UINT id, wchar_t* buffer, std::size_t capacity);
