#include "CKsAudPin.h"

#include "KsTrace.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

bool IsZeroGuid(const GUID& guid) {
    static const GUID zero = {};
    return std::memcmp(&guid, &zero, sizeof(GUID)) == 0;
}

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

// A subformat that names a wave format tag (any tag), PCM, or anything (zero).
bool IsWaveSubformat(const GUID& subFormat) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&subFormat);
    const auto* wave = reinterpret_cast<const unsigned char*>(&KSDATAFORMAT_SUBTYPE_WAVEFORMATEX);
    return std::memcmp(bytes + 2, wave + 2, sizeof(GUID) - 2) == 0 || SameGuid(subFormat, KSDATAFORMAT_SUBTYPE_PCM) ||
           IsZeroGuid(subFormat);
}

static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is packed");

// Bytes of the format as the pin-creation block carries it: plain PCM formats
// carry no extension, whatever their cbSize says.
ULONG FormatBytes(const WAVEFORMATEX* format) {
    return format->wFormatTag == WAVE_FORMAT_PCM ? sizeof(WAVEFORMATEX)
                                                 : static_cast<ULONG>(sizeof(WAVEFORMATEX)) + format->cbSize;
}

}  // namespace

CKsAudPin::CKsAudPin(CKsFilter* filter, ULONG pinId, HRESULT* result) : CKsPin(filter, pinId, result) {
    TraceEnter("CKsAudPin::CKsAudPin()");
    HRESULT hr = result ? *result : S_OK;
    if (SUCCEEDED(hr)) {
        m_pinCreateSize = sizeof(KSPIN_CONNECT) + sizeof(KSDATAFORMAT_WAVEFORMATEX);
        m_pksPinCreate = static_cast<KSPIN_CONNECT*>(std::calloc(1, m_pinCreateSize));
        if (!m_pksPinCreate) {
            Trace(1, "Failed to allocate m_pksPinCreate");
            m_pinCreateSize = 0;
            hr = E_OUTOFMEMORY;
        } else {
            m_pksPinCreate->Interface.Set = KSINTERFACESETID_Standard;
            m_pksPinCreate->Interface.Id = KSINTERFACE_STANDARD_STREAMING;
            m_pksPinCreate->Interface.Flags = 0;
            m_pksPinCreate->Medium.Set = KSMEDIUMSETID_Standard;
            m_pksPinCreate->Medium.Id = KSMEDIUM_TYPE_ANYINSTANCE;
            m_pksPinCreate->Medium.Flags = 0;
            m_pksPinCreate->PinId = pinId;
            m_pksPinCreate->PinToHandle = nullptr;
            m_pksPinCreate->Priority.PriorityClass = KSPRIORITY_NORMAL;
            m_pksPinCreate->Priority.PrioritySubClass = 1;
            m_pksDataFormatWfx = reinterpret_cast<KSDATAFORMAT_WAVEFORMATEX*>(m_pksPinCreate + 1);
            m_pksDataFormatWfx->DataFormat.FormatSize = sizeof(KSDATAFORMAT_WAVEFORMATEX);
            m_pksDataFormatWfx->DataFormat.MajorFormat = KSDATAFORMAT_TYPE_AUDIO;
            m_pksDataFormatWfx->DataFormat.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
            m_pksDataFormatWfx->DataFormat.Specifier = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
            hr = Init();
        }
    }
    TraceLeave("CKsAudPin::CKsAudPin", hr);
    if (result) *result = hr;
}

CKsAudPin::~CKsAudPin() {
    TraceEnter("CKsAudPin::~CKsAudPin()");
    m_audioRanges.DeleteAll();
    std::free(m_pFormatCopy);
    m_pFormatCopy = nullptr;
    TraceLeave("CKsAudPin::~CKsAudPin()");
}

HRESULT CKsAudPin::Init() {
    TraceEnter("CKsAudPin::Init()");
    HRESULT hr = S_OK;

    bool streaming = false;
    for (ULONG i = 0; i < m_interfaceCount; ++i)
        if (SameGuid(m_interfaces[i].Set, KSINTERFACESETID_Standard) &&
            m_interfaces[i].Id == KSINTERFACE_STANDARD_STREAMING)
            streaming = true;
    bool medium = false;
    for (ULONG i = 0; i < m_mediumCount; ++i)
        if (SameGuid(m_mediums[i].Set, KSMEDIUMSETID_Standard) && m_mediums[i].Id == KSMEDIUM_TYPE_ANYINSTANCE)
            medium = true;

    if (!streaming) {
        Trace(1, "No standard streaming interfaces on the pin");
        hr = E_FAIL;
    } else if (!medium) {
        Trace(1, "No standard streaming mediums on the pin");
        hr = E_FAIL;
    } else {
        bool subformatPassed = false;
        // The walk trusts nothing the filter said about sizes: a range must lie
        // inside the reply, and a FormatSize too small to step over a range header
        // (0 would loop on the same range for ever) ends it.
        const auto* base = reinterpret_cast<const unsigned char*>(m_dataRanges);
        ULONG offset = 0;
        for (ULONG i = 0; i < m_dataRangeCount; ++i) {
            if (offset > m_dataRangeBytes || m_dataRangeBytes - offset < sizeof(KSDATARANGE)) break;
            const auto* range = reinterpret_cast<const KSDATARANGE*>(base + offset);
            ULONG formatSize = range->FormatSize;
            if (formatSize < sizeof(KSDATARANGE) || formatSize > m_dataRangeBytes - offset) break;
            if (!subformatPassed && IsWaveSubformat(range->SubFormat)) subformatPassed = true;
            if (subformatPassed && SameGuid(range->MajorFormat, KSDATAFORMAT_TYPE_AUDIO)) {
                auto* copy = new (std::nothrow) KSDATARANGE_AUDIO;
                if (!copy) {
                    Trace(1, "Unable to allocate memory to save datarange in");
                    hr = E_OUTOFMEMORY;
                } else {
                    // A range shorter than an audio range has no audio limits: they read as 0.
                    std::memset(copy, 0, sizeof(*copy));
                    std::memcpy(copy, range, std::min<ULONG>(formatSize, sizeof(KSDATARANGE_AUDIO)));
                    if (!m_audioRanges.AddTail(copy)) {
                        delete copy;
                        Trace(1, "Unable to allocate list entry to save datarange in");
                        hr = E_OUTOFMEMORY;
                    }
                }
            }
            offset += formatSize;
        }
        if (!subformatPassed) {
            Trace(1, "No audio dataranges on the pin");
            hr = E_FAIL;
        }
    }
    TraceLeave("CKsAudPin::Init", hr);
    return hr;
}

HRESULT CKsAudPin::SetFormat(const WAVEFORMATEX* format) {
    TraceEnter("CKsAudPin::SetFormat()");
    HRESULT hr = S_OK;
    if (!format || !m_pksDataFormatWfx) {
        Trace(1, "pwfx or m_pksDataFormatWfx are NULL");
        hr = E_FAIL;
    } else {
        const ULONG cb = FormatBytes(format);
        const ULONG needed = sizeof(KSPIN_CONNECT) + sizeof(KSDATAFORMAT) + cb;
        if (needed != m_pinCreateSize) {
            auto* block = static_cast<KSPIN_CONNECT*>(std::calloc(1, needed));
            if (!block) {
                Trace(1, "Unable to allocate KSPIN_CONNECT structure");
                hr = E_OUTOFMEMORY;
            } else {
                std::memcpy(block, m_pksPinCreate, std::min(needed, m_pinCreateSize));
                std::free(m_pksPinCreate);
                m_pksPinCreate = block;
                m_pinCreateSize = needed;
                m_pksDataFormatWfx = reinterpret_cast<KSDATAFORMAT_WAVEFORMATEX*>(m_pksPinCreate + 1);
                m_pksDataFormatWfx->DataFormat.FormatSize = sizeof(KSDATAFORMAT) + cb;
            }
        }
        if (SUCCEEDED(hr)) {
            std::memcpy(&m_pksDataFormatWfx->WaveFormatEx, format, cb);
            m_pksDataFormatWfx->DataFormat.SampleSize =
                static_cast<WORD>((static_cast<ULONG>(format->wBitsPerSample) * format->nChannels) / 8);
            std::free(m_pFormatCopy);
            m_pFormatCopy = static_cast<WAVEFORMATEX*>(std::malloc(cb));
            if (m_pFormatCopy) std::memcpy(m_pFormatCopy, format, cb);
        }
    }
    TraceLeave("CKsAudPin::SetFormat", hr);
    return hr;
}

bool CKsAudPin::IsFormatSupported(const WAVEFORMATEX* format) {
    TraceEnter("CKsAudPin::IsFormatSupported()");
    bool supported = false;
    if (format) {
        GUID expected = KSDATAFORMAT_SUBTYPE_PCM;
        if (format->wFormatTag == WAVE_FORMAT_EXTENSIBLE)
            expected = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format)->SubFormat;
        else
            expected.Data1 = format->wFormatTag;
        for (auto* node = m_audioRanges.Head(); node && !supported; node = node->next) {
            const KSDATARANGE_AUDIO& range = *node->item;
            const KSDATARANGE& header = range.DataRange;
            if (!IsZeroGuid(header.MajorFormat) && !SameGuid(header.MajorFormat, KSDATAFORMAT_TYPE_AUDIO)) continue;
            if (!IsZeroGuid(header.SubFormat) && !SameGuid(header.SubFormat, expected)) continue;
            if (!IsZeroGuid(header.Specifier) && !SameGuid(header.Specifier, KSDATAFORMAT_SPECIFIER_WAVEFORMATEX))
                continue;
            if (range.MaximumChannels < format->nChannels) continue;
            if (range.MinimumBitsPerSample > format->wBitsPerSample ||
                format->wBitsPerSample > range.MaximumBitsPerSample)
                continue;
            if (range.MinimumSampleFrequency > format->nSamplesPerSec ||
                format->nSamplesPerSec > range.MaximumSampleFrequency)
                continue;
            supported = true;
        }
    }
    TraceLeave("CKsAudPin::IsFormatSupported()");
    return supported;
}
