// Raw Win32-style calls through DeviceSystemInstance(), the way the driver's
// classes make them, shared by the virtual controller's tests.
#pragma once

#include "KsDefinitions.h"
#include "VirtualController.h"
#include "device/DeviceSystem.h"

#include <string>
#include <vector>

namespace kstest {

struct FoundFilter {
    std::string path;
    std::string friendlyName;
};

// The KSCATEGORY_AUDIO interfaces with an enabled alias of this category, in
// SetupAPI order, with their "FriendlyName".
std::vector<FoundFilter> EnumerateAudioFilters(const GUID& aliasCategory);

// The first enumerated filter whose path contains `fragment`, opened (read, write,
// overlapped); INVALID_HANDLE_VALUE when none.
HANDLE OpenFilter(const GUID& aliasCategory, const char* fragment);

// A KSP_PIN request sent synchronously; the Win32 error (0 on success).
DWORD PinProperty(HANDLE filter, ULONG pinId, ULONG propertyId, void* value, ULONG valueSize, ULONG* bytes);

DWORD SetState(HANDLE pin, KSSTATE state);
KSSTATE GetState(HANDLE pin);

// A pin-creation block as the driver builds one: KSPIN_CONNECT, KSDATAFORMAT and a
// WAVEFORMATEX or WAVEFORMATEXTENSIBLE.
struct WaveRequest {
    bool extensible;
    WORD channels;
    DWORD rate;
    WORD containerBytes;
    WORD validBits;  // extensible only
    DWORD channelMask = 0;
};
std::vector<BYTE> ConnectBlock(const WaveRequest& wave, ULONG pinId = 0);

// KsCreatePin with that block; the Win32 result, the pin in *pin.
DWORD CreatePin(HANDLE filter, const WaveRequest& wave, HANDLE* pin);

// One kernel buffer with its header, OVERLAPPED and manual-reset event.
struct StreamBuffer {
    explicit StreamBuffer(ULONG bytes);
    ~StreamBuffer();
    StreamBuffer(const StreamBuffer&) = delete;
    StreamBuffer& operator=(const StreamBuffer&) = delete;
    // Queues it on the pin: TRUE when accepted (pending).
    bool Write(HANDLE pin);
    bool Read(HANDLE pin);
    bool Done() const { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

    std::vector<BYTE> data;
    KSSTREAM_HEADER header{};
    OVERLAPPED overlapped{};
    HANDLE event;
    DWORD lastError = 0;
};

}  // namespace kstest
