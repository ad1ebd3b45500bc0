// The installed driver's product version, read from the version resource of its
// file without loading it, and the short form the dialog shows.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// The most units of a product version the dialog shows; a longer text (no driver
// of ours writes one) is cut, so the formatted row always fits its buffer.
inline constexpr std::size_t kMaxShownProductVersion = 64;

// The ProductVersion string of the file's version resource, under the first of
// kProductVersionKeys that holds text; empty when the file cannot be opened for
// reading, has no version resource, or neither key has a text.
std::wstring readProductVersionText(const wchar_t* path);

// "1.100.000.002" becomes "1.100": a version with at least two dots whose first
// two fields are not empty is cut before its second dot. Any other text (no dot,
// one dot, an empty first or second field) is shown whole, since cutting it would
// drop a part of the version that nothing says is unimportant. At most
// kMaxShownProductVersion units are kept.
std::wstring shortenProductVersion(const std::wstring& productVersion);
