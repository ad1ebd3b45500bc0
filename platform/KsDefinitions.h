// The Kernel Streaming declarations every layer that talks to a filter or pin
// includes: structures (KSPROPERTY, KSP_PIN, KSPIN_CONNECT, KSDATAFORMAT_WAVEFORMATEX,
// KSSTREAM_HEADER, KSMULTIPLE_ITEM, KSDATARANGE_AUDIO), I/O control codes, property
// sets, categories and format GUIDs.
//
// mingw-w64's <ks.h> and <ksmedia.h> declare all of them; the GUIDs are defined
// once, in the static libraries ksguid and uuid that kmx_platform links, so no
// translation unit defines INITGUID. <winioctl.h> must come first: WIN32_LEAN_AND_MEAN
// leaves out the CTL_CODE macros the IOCTL_KS_* codes are built from.
#pragma once

#include <windows.h>
#include <winioctl.h>
#include <mmreg.h>
#include <ks.h>
#include <ksmedia.h>
#include <usbiodef.h>

// The published sizes the Kernel Streaming requests are built from. A change here
// (another packing, a 64-bit build) must be a conscious one.
static_assert(sizeof(KSPROPERTY) == 24, "KSPROPERTY is 24 bytes");
static_assert(sizeof(KSP_PIN) == 32, "KSP_PIN is 32 bytes");
static_assert(sizeof(KSMULTIPLE_ITEM) == 8, "KSMULTIPLE_ITEM is 8 bytes");
static_assert(sizeof(KSDATARANGE_AUDIO) == 88, "KSDATARANGE_AUDIO is 88 bytes");
static_assert(sizeof(KSDATAFORMAT_WAVEFORMATEX) == 82, "KSDATAFORMAT_WAVEFORMATEX is packed, 82 bytes");
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40, "WAVEFORMATEXTENSIBLE is 40 bytes");
// The records below hold pointers or handles, so their sizes differ by bitness; the
// code sizes them with sizeof, and both sets are pinned here.
#if defined(_WIN64)
static_assert(sizeof(KSSTREAM_HEADER) == 56, "KSSTREAM_HEADER is 56 bytes on x64");
static_assert(sizeof(KSPIN_CONNECT) == 72, "KSPIN_CONNECT is 72 bytes on x64");
static_assert(sizeof(OVERLAPPED) == 32, "OVERLAPPED is 32 bytes on x64");
#else
static_assert(sizeof(KSSTREAM_HEADER) == 48, "KSSTREAM_HEADER is 48 bytes on x86");
static_assert(sizeof(KSPIN_CONNECT) == 64, "KSPIN_CONNECT is 64 bytes on x86");
static_assert(sizeof(OVERLAPPED) == 20, "OVERLAPPED is 20 bytes on x86");
#endif
// The pin-creation block: KSPIN_CONNECT followed by the data format, either plain
// WAVEFORMATEX (146 bytes on x86, 154 on x64) or WAVEFORMATEXTENSIBLE (168, 176).
static_assert(sizeof(KSPIN_CONNECT) + sizeof(KSDATAFORMAT_WAVEFORMATEX) == (sizeof(void*) == 8 ? 154 : 146),
              "pin-creation block with a plain wave format");
