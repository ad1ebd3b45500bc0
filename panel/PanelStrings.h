// The panel's texts, from its own string tables in the installer's language.
#pragma once

#include <windows.h>

#include <cstddef>

#include "LocalizedStrings.h"
#include "PanelIdentity.h"

// Room for any of the panel's strings (the longest has 280 units) and for the
// texts formatted from them (wsprintfW writes at most 1024 units).
inline constexpr std::size_t kPanelTextSize = 1024;
// Room for the strings known to be short (captions, the error box).
inline constexpr std::size_t kPanelShortTextSize = 256;

template <std::size_t N>
void loadPanelString(HINSTANCE module, UINT id, wchar_t (&buffer)[N]) {
    loadLocalizedString(module, kPanelPortugueseTable, id, buffer, N);
}
