// Shared by the Kernel Streaming class tests: a virtual controller installed as the
// device system, filter objects opened on its interfaces, and the data ranges and
// wave formats the cases are made of.
#pragma once

#include "CKsAudCapFilter.h"
#include "CKsAudRenFilter.h"
#include "CKsAudRenPin.h"
#include "KsDefinitions.h"
#include "ScopedDeviceSystem.h"
#include "VirtualController.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kstest {

// A KSDATARANGE_AUDIO; tag (MaximumSampleFrequency unless given) tells saved ranges apart.
KSDATARANGE_AUDIO AudioRange(const GUID& major, const GUID& sub, const GUID& specifier, ULONG channels = 2,
                             ULONG minBits = 16, ULONG maxBits = 24, ULONG minRate = 44100, ULONG maxRate = 96000);
std::vector<BYTE> Bytes(const KSDATARANGE_AUDIO& range);

// A format as the audio device builds one: plain PCM (cbSize 0) or
// WAVEFORMATEXTENSIBLE (cbSize 22, PCM subformat unless given).
WAVEFORMATEXTENSIBLE Wave(bool extensible, WORD channels, WORD bits, DWORD rate, WORD validBits = 0);
inline const WAVEFORMATEX* AsWfx(const WAVEFORMATEXTENSIBLE& wave) { return &wave.Format; }

// The path of the first KSCATEGORY_AUDIO interface with an enabled alias of this
// category whose path contains fragment ("" when none).
std::string PathOf(const GUID& aliasCategory, const char* fragment);

// A filter object on that path, constructed and instantiated; with enumerate, its
// pins enumerated too. The results land in constructed / instantiated / enumerated.
struct Opened {
    HRESULT constructed = E_FAIL;
    HRESULT instantiated = E_FAIL;
    HRESULT enumerated = E_FAIL;
};
template <typename Filter>
std::unique_ptr<Filter> OpenFilterObject(const GUID& aliasCategory, const char* fragment, Opened* results = nullptr,
                                         bool enumerate = true) {
    Opened local;
    Opened& r = results ? *results : local;
    std::string path = PathOf(aliasCategory, fragment);
    auto filter = std::make_unique<Filter>(path.c_str(), "test filter", &r.constructed);
    r.instantiated = filter->Instantiate();
    if (enumerate) r.enumerated = filter->EnumeratePins();
    return filter;
}

// The pin of a filter with this pin factory identifier (null when the filter has none).
CKsPin* PinWithId(CKsFilter& filter, ULONG pinId);

// The classified lists holding this pin, by name, in the order of the filter's fields.
std::string ListsOf(CKsFilter& filter, const CKsPin* pin);

// Saved ranges of an audio pin, by their MaximumSampleFrequency.
std::vector<ULONG> SavedRangeTags(CKsAudPin& pin);

// A fixture with a virtual controller installed as the device system.
class VirtualMachine : public ::testing::Test {
protected:
    VirtualMachine() : install(controller) {}
    VirtualController controller;
    ScopedDeviceSystem install;
};

// Sets TraceLevel for a scope and puts it back to 0.
class TraceAll {
public:
    explicit TraceAll(int level = 6);
    ~TraceAll();
};

// GUIDs no wave format names.
extern const GUID kMidiSubformat;   // {1D262760-E957-11CF-A5D6-28DB04C10000}
extern const GUID kMusicMajor;      // {E725D360-62CC-11CF-A5D6-28DB04C10000}
extern const GUID kDsoundSpecifier; // {518590A2-A184-11D0-8522-00C04FD9BAF3}
extern const GUID kFloatSubformat;  // {00000003-0000-0010-8000-00AA00389B71}, a wave-format-tag GUID
extern const GUID kNullGuid;

}  // namespace kstest
