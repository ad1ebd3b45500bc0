// One pin factory of a filter: its cached descriptor properties, and the pin
// instance made from it with KsCreatePin.
#pragma once

#include "CKsIrpTarget.h"
#include "Trace.h"
#include "KsDefinitions.h"

class CKsFilter;

class CKsPin : public CKsIrpTarget {
public:
    CKsPin(CKsFilter* filter, ULONG pinId, HRESULT* result);
    virtual ~CKsPin();
    virtual HRESULT Instantiate(BOOL looped);
    virtual HRESULT SetState(KSSTATE state);

    // Reads the descriptor properties; 1 (S_FALSE) when any could not be read,
    // which still counts as success: such a pin stays in its filter.
    HRESULT Init();
    void ClosePin();
    HRESULT GetState(KSSTATE* state);
    // Queue one stream header on the pin; S_OK when the request completed or is
    // pending, E_FAIL when the system refused it.
    HRESULT WriteData(KSSTREAM_HEADER* header, OVERLAPPED* overlapped);
    HRESULT ReadData(KSSTREAM_HEADER* header, OVERLAPPED* overlapped);
    KSPIN_COMMUNICATION GetCommunication();
    KSPIN_DATAFLOW GetDataFlow();

    ULONG PinId() const { return m_pinFactoryId; }
    int PinKind() const { return m_pinKind; }
    KSSTATE LastState() const { return m_lastState; }
    const char* Name() const { return m_pinName; }
    const KSDATARANGE* FirstDataRange() const { return m_dataRanges; }
    ULONG DataRangeCount() const { return m_dataRangeCount; }
    // Bytes of data ranges the filter returned after the KSMULTIPLE_ITEM header;
    // a walk over the ranges must stay inside them.
    ULONG DataRangeBytes() const { return m_dataRangeBytes; }

    static constexpr int kPinNameSize = 260;

protected:
    KSPIN_CONNECT* m_pksPinCreate = nullptr;
    ULONG m_pinCreateSize = 0;
    ULONG m_pinFactoryId;
    CKsFilter* m_ownerFilter;
    GUID m_category = {};
    ULONG m_interfaceCount = 0;
    KSIDENTIFIER* m_interfaces = nullptr;
    ULONG m_mediumCount = 0;
    KSIDENTIFIER* m_mediums = nullptr;
    ULONG m_dataRangeCount = 0;
    KSDATARANGE* m_dataRanges = nullptr;
    KSPIN_DATAFLOW m_dataFlow = static_cast<KSPIN_DATAFLOW>(0);
    KSPIN_COMMUNICATION m_communication = KSPIN_COMMUNICATION_NONE;
    KSPIN_CINSTANCES m_instances = {};
    KSPIN_CINSTANCES m_globalInstances = {};
    KSMULTIPLE_ITEM* m_interfaceBuffer = nullptr;
    KSMULTIPLE_ITEM* m_mediumBuffer = nullptr;
    KSMULTIPLE_ITEM* m_dataRangeBuffer = nullptr;
    ULONG m_dataRangeBytes = 0;
    int m_pinKind = 0;
    KSSTATE m_lastState = KSSTATE_STOP;
    char m_pinName[kPinNameSize] = {};
    bool m_isLooped = false;
    CKsPin* m_connectToPin = nullptr;

private:
    // Reads a multiple-item pin property and points items at its array, with a
    // count that never claims more items than the reply holds.
    bool ReadMultiple(ULONG propertyId, KSMULTIPLE_ITEM*& buffer, ULONG itemSize, ULONG& count, void*& items,
                      ULONG* itemBytes = nullptr);
};
