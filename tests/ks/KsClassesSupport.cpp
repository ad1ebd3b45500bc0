#include "KsClassesSupport.h"

#include "KsTestHelpers.h"
#include "Trace.h"

#include <cstring>

namespace kstest {

const GUID kMidiSubformat = {0x1D262760, 0xE957, 0x11CF, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};
const GUID kMusicMajor = {0xE725D360, 0x62CC, 0x11CF, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};
const GUID kDsoundSpecifier = {0x518590A2, 0xA184, 0x11D0, {0x85, 0x22, 0x00, 0xC0, 0x4F, 0xD9, 0xBA, 0xF3}};
const GUID kFloatSubformat = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID kNullGuid = {};

KSDATARANGE_AUDIO AudioRange(const GUID& major, const GUID& sub, const GUID& specifier, ULONG channels,
                             ULONG minBits, ULONG maxBits, ULONG minRate, ULONG maxRate) {
    KSDATARANGE_AUDIO range = {};
    range.DataRange.FormatSize = sizeof range;
    range.DataRange.MajorFormat = major;
    range.DataRange.SubFormat = sub;
    range.DataRange.Specifier = specifier;
    range.MaximumChannels = channels;
    range.MinimumBitsPerSample = minBits;
    range.MaximumBitsPerSample = maxBits;
    range.MinimumSampleFrequency = minRate;
    range.MaximumSampleFrequency = maxRate;
    return range;
}

std::vector<BYTE> Bytes(const KSDATARANGE_AUDIO& range) {
    const BYTE* begin = reinterpret_cast<const BYTE*>(&range);
    return std::vector<BYTE>(begin, begin + sizeof range);
}

WAVEFORMATEXTENSIBLE Wave(bool extensible, WORD channels, WORD bits, DWORD rate, WORD validBits) {
    WAVEFORMATEXTENSIBLE wave = {};
    WAVEFORMATEX& format = wave.Format;
    format.wFormatTag = extensible ? WAVE_FORMAT_EXTENSIBLE : WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.nBlockAlign = WORD(bits / 8 * channels);
    format.nAvgBytesPerSec = format.nBlockAlign * rate;
    format.wBitsPerSample = bits;
    if (extensible) {
        format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
        wave.Samples.wValidBitsPerSample = validBits ? validBits : bits;
        wave.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    }
    return wave;
}

std::string PathOf(const GUID& aliasCategory, const char* fragment) {
    for (const FoundFilter& found : EnumerateAudioFilters(aliasCategory))
        if (found.path.find(fragment) != std::string::npos) return found.path;
    return "";
}

CKsPin* PinWithId(CKsFilter& filter, ULONG pinId) {
    for (auto* node = filter.m_allPins.Head(); node; node = node->next)
        if (node->item->PinId() == pinId) return node->item;
    return nullptr;
}

std::string ListsOf(CKsFilter& filter, const CKsPin* pin) {
    const std::pair<const char*, CKsList<CKsPin>*> lists[] = {
        {"renderSinks", &filter.m_renderSinks},   {"captureSources", &filter.m_captureSources},
        {"captureSinks", &filter.m_captureSinks}, {"renderSources", &filter.m_renderSources},
        {"noCommPins", &filter.m_noCommPins},
    };
    std::string names;
    for (const auto& list : lists)
        for (auto* node = list.second->Head(); node; node = node->next)
            if (node->item == pin) names += std::string(names.empty() ? "" : " ") + list.first;
    return names;
}

std::vector<ULONG> SavedRangeTags(CKsAudPin& pin) {
    std::vector<ULONG> tags;
    for (auto* node = pin.m_audioRanges.Head(); node; node = node->next)
        tags.push_back(node->item->MaximumSampleFrequency);
    return tags;
}

TraceAll::TraceAll(int level) { TraceLevel = level; }
TraceAll::~TraceAll() { TraceLevel = 0; }

}  // namespace kstest
