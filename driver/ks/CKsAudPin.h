// A pin of an audio filter: the PCM audio data ranges it advertises, whether a
// wave format fits one of them, and the pin-creation block a format is written
// into before the pin is made.
#pragma once

#include "CKsList.h"
#include "CKsPin.h"

class CKsAudPin : public CKsPin {
public:
    CKsAudPin(CKsFilter* filter, ULONG pinId, HRESULT* result);
    ~CKsAudPin() override;

    HRESULT Init();
    // format is a WAVEFORMATEX, or a WAVEFORMATEXTENSIBLE when its tag says so.
    HRESULT SetFormat(const WAVEFORMATEX* format);
    bool IsFormatSupported(const WAVEFORMATEX* format);

    const KSPIN_CONNECT* PinCreateBlock() const { return m_pksPinCreate; }
    ULONG PinCreateSize() const { return m_pinCreateSize; }
    const KSDATAFORMAT_WAVEFORMATEX* DataFormat() const { return m_pksDataFormatWfx; }
    const WAVEFORMATEX* FormatCopy() const { return m_pFormatCopy; }

    CKsList<KSDATARANGE_AUDIO> m_audioRanges;

protected:
    WAVEFORMATEX* m_pFormatCopy = nullptr;
    KSDATAFORMAT_WAVEFORMATEX* m_pksDataFormatWfx = nullptr;
};
