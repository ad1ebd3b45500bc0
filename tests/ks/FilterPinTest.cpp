// CKsFilter and CKsPin (and the audio filter's choice of pin objects): how pin
// factories are sorted, what a pin's descriptor reads survive, creating and closing
// pin instances, the pin-creation block, topology nodes, and every kind of
// malformed reply a filter can give.
#include "DebugOutput.h"
#include "KsClassesSupport.h"
#include "device/Win32DeviceSystem.h"

#include <cstring>

using namespace kstest;

namespace {

const char kA7[] = "pid_2a01&mi_00";

PinFactoryConfig ExtraPin(ULONG communication, ULONG dataFlow) {
    PinFactoryConfig pin;
    pin.communication = communication;
    pin.dataFlow = dataFlow;
    pin.dataRanges = {Bytes(AudioRange(KSDATAFORMAT_TYPE_AUDIO, KSDATAFORMAT_SUBTYPE_PCM,
                                       KSDATAFORMAT_SPECIFIER_WAVEFORMATEX))};
    return pin;
}

class Classification : public VirtualMachine {};

}  // namespace

// Pin factory 2 of a render filter, with communication and data flow as a table
// gives them: which object the audio filter makes of it and where both the audio
// and the plain filter list it.
TEST_F(Classification, PinsAreSortedByCommunicationAndDataFlow) {
    const ULONG kBridge = KSPIN_COMMUNICATION_BRIDGE;
    struct Case {
        ULONG communication;
        ULONG dataFlow;
        bool audioPinMade;
        int audioPinKind;
        const char* lists;  // the same for the audio and the plain filter
    } cases[] = {
        {KSPIN_COMMUNICATION_BOTH, KSPIN_DATAFLOW_IN, true, 0, "renderSinks renderSources"},
        {KSPIN_COMMUNICATION_BOTH, KSPIN_DATAFLOW_OUT, true, 0, "captureSources captureSinks"},
        {KSPIN_COMMUNICATION_SINK, KSPIN_DATAFLOW_IN, true, 1, "renderSinks"},
        {KSPIN_COMMUNICATION_SINK, KSPIN_DATAFLOW_OUT, true, 2, "captureSinks"},
        {KSPIN_COMMUNICATION_SINK, 0, true, 0, "captureSinks"},  // neither IN nor OUT: capture side
        {KSPIN_COMMUNICATION_SINK, 7, true, 0, "captureSinks"},
        {KSPIN_COMMUNICATION_SOURCE, KSPIN_DATAFLOW_IN, true, 0, "renderSources"},
        {KSPIN_COMMUNICATION_SOURCE, 0, true, 0, "captureSources"},
        {KSPIN_COMMUNICATION_BOTH, 0, true, 0, "captureSources captureSinks"},
        {kBridge, KSPIN_DATAFLOW_IN, false, 0, ""},
        {KSPIN_COMMUNICATION_NONE, KSPIN_DATAFLOW_IN, false, 0, "noCommPins"},  // plain filter only
        {9, KSPIN_DATAFLOW_IN, false, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("communication " + std::to_string(c.communication) + ", data flow " +
                     std::to_string(c.dataFlow));
        VirtualController machine;
        ScopedDeviceSystem scope(machine);
        UnitConfig config = DefaultConfig(ControllerModel::KmxA7);
        config.extraRenderPins = {ExtraPin(c.communication, c.dataFlow)};
        machine.Connect(ControllerModel::KmxA7, config);

        Opened audioResults;
        auto audio = OpenFilterObject<CKsAudRenFilter>(KSCATEGORY_RENDER, kA7, &audioResults);
        EXPECT_EQ(audioResults.enumerated, S_OK);
        CKsPin* audioPin = PinWithId(*audio, 2);
        ASSERT_EQ(audioPin != nullptr, c.audioPinMade);
        if (audioPin) {
            EXPECT_EQ(audioPin->PinKind(), c.audioPinKind);
            EXPECT_NE(dynamic_cast<CKsAudPin*>(audioPin), nullptr);
            EXPECT_EQ(ListsOf(*audio, audioPin), c.lists);
        }
        // The bridge pin of every filter is never an audio pin.
        EXPECT_EQ(PinWithId(*audio, 1), nullptr);

        Opened plainResults;
        auto plain = OpenFilterObject<CKsFilter>(KSCATEGORY_RENDER, kA7, &plainResults);
        EXPECT_EQ(plainResults.enumerated, S_OK);
        CKsPin* plainPin = PinWithId(*plain, 2);
        ASSERT_NE(plainPin, nullptr);
        EXPECT_EQ(plainPin->PinKind(), 0);
        EXPECT_EQ(ListsOf(*plain, plainPin), c.lists);
        EXPECT_EQ(ListsOf(*plain, PinWithId(*plain, 1)), "");  // the bridge
        EXPECT_EQ(plain->m_allPins.Count(), 3);
    }
}

TEST_F(Classification, FiltersWithoutUsablePinsFailEnumeration) {
    // A filter whose only pin factory count cannot be read has no pins at all.
    UnitId unit = controller.Connect(ControllerModel::KmxA7);
    controller.RefuseProperty(unit, KSPROPSETID_Pin, KSPROPERTY_PIN_CTYPES, ERROR_NOT_FOUND);
    testsupport::DebugOutput output;
    TraceAll all(1);
    Opened audio, plain;
    OpenFilterObject<CKsAudRenFilter>(KSCATEGORY_RENDER, kA7, &audio);
    OpenFilterObject<CKsFilter>(KSCATEGORY_RENDER, kA7, &plain);
    EXPECT_EQ(audio.enumerated, E_FAIL);
    EXPECT_EQ(plain.enumerated, E_FAIL);
    EXPECT_TRUE(output.Contains("Failed to retrieve count of pins in audio filter"));
    EXPECT_TRUE(output.Contains("No valid pins found on the filter"));
    EXPECT_TRUE(output.Contains("Filter is not viable. It has no pins."));
}

// A pin factory count of 0xFFFFFFFF: the pins the filter has are found, and the
// enumeration ends after a bounded number of requests.
TEST_F(VirtualMachine, AnAbsurdPinCountIsBounded) {
    UnitId unit = controller.Connect(ControllerModel::KmxA7);
    controller.SetMalformedReply(unit, KSPROPSETID_Pin, KSPROPERTY_PIN_CTYPES, MalformedReply::AllOnes);
    Opened audio, plain;
    auto audioFilter = OpenFilterObject<CKsAudRenFilter>(KSCATEGORY_RENDER, kA7, &audio);
    auto plainFilter = OpenFilterObject<CKsFilter>(KSCATEGORY_RENDER, kA7, &plain);
    EXPECT_EQ(audio.enumerated, S_OK);
    EXPECT_EQ(plain.enumerated, S_OK);
    EXPECT_EQ(audioFilter->m_allPins.Count(), 1);
    EXPECT_NE(PinWithId(*audioFilter, 0), nullptr);
    // Pin objects whose properties cannot be read still count as pins of a plain filter.
    EXPECT_EQ(plainFilter->m_allPins.Count(), long(CKsFilter::kMaxPinFactories));
}

TEST_F(VirtualMachine, PinWithUnreadableNameStaysInItsFilter) {
    UnitId unit = controller.Connect(ControllerModel::KmxA7);
    controller.RefuseProperty(unit, KSPROPSETID_Pin, KSPROPERTY_PIN_NAME, ERROR_NOT_FOUND);
    testsupport::DebugOutput output;
    TraceAll all(3);
    auto filter = OpenFilterObject<CKsAudRenFilter>(KSCATEGORY_RENDER, kA7);
    HRESULT result = E_FAIL;
    CKsPin plain(filter.get(), 0, &result);
    EXPECT_EQ(result, S_FALSE);
    EXPECT_STREQ(plain.Name(), "");
    EXPECT_TRUE(output.Contains("Failed to retrieve pin property KSPROPERTY_PIN_NAME on PinID: 0"));

    CKsPin* pin = PinWithId(*filter, 0);
    ASSERT_NE(pin, nullptr);
    EXPECT_EQ(ListsOf(*filter, pin), "renderSinks");
    WAVEFORMATEXTENSIBLE wave = Wave(false, 4, 24, 48000);
    EXPECT_EQ(filter->CreateRenderPin(AsWfx(wave)), pin);
}

TEST_F(VirtualMachine, PinNameWithoutTerminatorIsCutInsideTheField) {
    UnitId unit = controller.Connect(ControllerModel::KmxA7);
    controller.SetMalformedReply(unit, KSPROPSETID_Pin, KSPROPERTY_PIN_NAME, MalformedReply::UnterminatedText);
    auto filter = OpenFilterObject<CKsAudRenFilter>(KSCATEGORY_RENDER, kA7);
    HRESULT result = E_FAIL;
    CKsPin pin(filter.get(), 0, &result);
    EXPECT_EQ(result, S_OK);
    EXPECT_EQ(std::string(pin.Name()), std::string(CKsPin::kPinNameSize - 1, 'N'));
}

TEST_F(VirtualMachine, ClosingAPinTwiceOrNeverOpenedIsHarmless) {
    controller.Connect(ControllerModel::KmxA7);
    auto filter = OpenFilterObject<CKsAudRenFilter>(KSCATEGORY_RENDER, kA7);
    auto* pin = static_cast<CKsAudPin*>(PinWithId(*filter, 0));
    ASSERT_NE(pin, nullptr);
    const int filterOnly = controller.OpenHandleCount();
    {
        // No instance: nothing is sent (not even the stop request).
        testsupport::DebugOutput output;
        TraceAll all;
        pin->ClosePin();
        EXPECT_FALSE(output.Contains("CKsPin::SetState() Enter"));
    }
    WAVEFORMATEXTENSIBLE wave = Wave(false, 4, 24, 48000);
    ASSERT_EQ(filter->CreateRenderPin(AsWfx(wave)), pin);
    EXPECT_EQ(controller.OpenHandleCount(), filterOnly + 1);
    EXPECT_EQ(pin->SetState(KSSTATE_ACQUIRE), S_OK);
    pin->ClosePin();
    EXPECT_EQ(pin->LastState(), KSSTATE_STOP);
    EXPECT_EQ(pin->GetHandle(), INVALID_HANDLE_VALUE);
    pin->ClosePin();
    EXPECT_EQ(controller.OpenHandleCount(), filterOnly);
    KSSTATE state;
    EXPECT_EQ(pin->GetState(&state), E_FAIL);
    EXPECT_EQ(pin->GetState(nullptr), E_INVALIDARG);
    // The same pin object opens again (the device's probing does this all the time).
    EXPECT_EQ(pin->Instantiate(FALSE), S_OK);
    EXPECT_EQ(pin->GetState(&state), S_OK);
    EXPECT_EQ(state, KSSTATE_STOP);
}

// KsCreatePin's Win32 result as Instantiate reports it.
TEST_F(VirtualMachine, RefusedPinCreationBecomesAnHresultAndNoHandle) {
    controller.Connect(ControllerModel::KmxA7);
    auto filter = OpenFilterObject<CKsAudRenFilter>(KSCATEGORY_RENDER, kA7);
    auto* pin = static_cast<CKsAudPin*>(PinWithId(*filter, 0));
    ASSERT_NE(pin, nullptr);
    WAVEFORMATEXTENSIBLE wave = Wave(false, 4, 24, 48000);
    ASSERT_EQ(pin->SetFormat(AsWfx(wave)), S_OK);
    struct Case {
        DWORD refusal;
        HRESULT expected;
    } cases[] = {
        {ERROR_FILE_NOT_FOUND, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},  // ksuser.dll missing
        {ERROR_NO_MATCH, HRESULT(0x80070491)},
        {0x00012345, HRESULT(0x80072345)},  // only the low 16 bits of a Win32 code
        {DWORD(E_ACCESSDENIED), E_ACCESSDENIED},  // an HRESULT already
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refusal);
        testsupport::DebugOutput output;
        TraceAll all(1);
        controller.RefuseNext(RequestKind::CreatePin, 1, c.refusal);
        EXPECT_EQ(pin->Instantiate(FALSE), c.expected);
        EXPECT_EQ(pin->GetHandle(), INVALID_HANDLE_VALUE);
        char expectedTrace[64];
        std::snprintf(expectedTrace, sizeof expectedTrace, "Failed to instantiate pin. hr=0x%08x",
                      unsigned(c.expected));
        EXPECT_TRUE(output.Contains(expectedTrace));
    }
}

TEST_F(VirtualMachine, InstantiateWithoutKsuserThroughTheWin32DeviceSystem) {
    controller.Connect(ControllerModel::KmxA7);
    auto filter = OpenFilterObject<CKsAudRenFilter>(KSCATEGORY_RENDER, kA7);
    auto* pin = static_cast<CKsAudPin*>(PinWithId(*filter, 0));
    ASSERT_NE(pin, nullptr);
    WAVEFORMATEXTENSIBLE wave = Wave(false, 4, 24, 48000);
    ASSERT_EQ(pin->SetFormat(AsWfx(wave)), S_OK);
    Win32DeviceSystem withoutLibrary("kmx_no_such_ksuser.dll");
    {
        ScopedDeviceSystem scope(withoutLibrary);
        EXPECT_EQ(pin->Instantiate(FALSE), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(pin->GetHandle(), INVALID_HANDLE_VALUE);
    }
    EXPECT_EQ(pin->Instantiate(FALSE), S_OK);  // the controller's own KsCreatePin
}

TEST_F(VirtualMachine, SetFormatResizesTheCreationBlockToTheFormat) {
    controller.Connect(ControllerModel::KmxA7);
    auto filter = OpenFilterObject<CKsAudRenFilter>(KSCATEGORY_RENDER, kA7);
    auto* pin = static_cast<CKsAudPin*>(PinWithId(*filter, 0));
    ASSERT_NE(pin, nullptr);
    auto check = [&](ULONG blockSize, ULONG formatSize, const WAVEFORMATEX* format, ULONG formatBytes) {
        EXPECT_EQ(pin->PinCreateSize(), blockSize);
        const KSPIN_CONNECT* block = pin->PinCreateBlock();
        const KSDATAFORMAT_WAVEFORMATEX* data = pin->DataFormat();
        EXPECT_EQ(reinterpret_cast<const void*>(data), reinterpret_cast<const void*>(block + 1));
        EXPECT_EQ(data->DataFormat.FormatSize, formatSize);
        EXPECT_EQ(block->PinId, 0u);
        EXPECT_EQ(block->Priority.PriorityClass, ULONG(KSPRIORITY_NORMAL));
        EXPECT_EQ(block->Priority.PrioritySubClass, 1u);
        EXPECT_EQ(block->Medium.Id, ULONG(KSMEDIUM_TYPE_ANYINSTANCE));
        EXPECT_TRUE(IsEqualGUID(data->DataFormat.MajorFormat, KSDATAFORMAT_TYPE_AUDIO));
        EXPECT_TRUE(IsEqualGUID(data->DataFormat.SubFormat, KSDATAFORMAT_SUBTYPE_PCM));
        EXPECT_TRUE(IsEqualGUID(data->DataFormat.Specifier, KSDATAFORMAT_SPECIFIER_WAVEFORMATEX));
        if (format) {
            EXPECT_EQ(data->DataFormat.SampleSize, ULONG(format->wBitsPerSample * format->nChannels / 8));
            EXPECT_EQ(std::memcmp(&data->WaveFormatEx, format, formatBytes), 0);
            ASSERT_NE(pin->FormatCopy(), nullptr);
            EXPECT_EQ(std::memcmp(pin->FormatCopy(), format, formatBytes), 0);
        }
    };
    // KSPIN_CONNECT holds a handle, so the block is 8 bytes longer on x64.
    const ULONG plainBlock = sizeof(void*) == 8 ? 154 : 146;
    const ULONG extensibleBlock = sizeof(void*) == 8 ? 176 : 168;
    check(plainBlock, 82, nullptr, 0);
    WAVEFORMATEXTENSIBLE extensible = Wave(true, 4, 32, 96000, 24);
    extensible.dwChannelMask = 0x33;
    ASSERT_EQ(pin->SetFormat(AsWfx(extensible)), S_OK);
    check(extensibleBlock, 104, AsWfx(extensible), sizeof extensible);
    WAVEFORMATEXTENSIBLE plain = Wave(false, 2, 24, 44100);
    plain.Format.cbSize = 22;  // a PCM format carries no extension, whatever it says
    ASSERT_EQ(pin->SetFormat(AsWfx(plain)), S_OK);
    check(plainBlock, 82, AsWfx(plain), sizeof(WAVEFORMATEX));
    // The block really opens pins in each form.
    WAVEFORMATEXTENSIBLE opens = Wave(true, 4, 24, 48000);
    ASSERT_EQ(pin->SetFormat(AsWfx(opens)), S_OK);
    EXPECT_EQ(pin->Instantiate(FALSE), S_OK);
    pin->ClosePin();
    EXPECT_EQ(pin->SetFormat(nullptr), E_FAIL);
}

// Topology nodes, and lists whose header claims more than the reply holds.
TEST_F(VirtualMachine, TopologyNodesAreReadOnlyFromTheReply) {
    UnitId unit = controller.Connect(ControllerModel::KmxA7);
    struct Case {
        MalformedReply reply;
        HRESULT expected;
        long nodes;
    } cases[] = {
        {MalformedReply::None, S_OK, 2},
        {MalformedReply::CountPastData, E_FAIL, 0},
        {MalformedReply::SizePastData, E_FAIL, 0},
        {MalformedReply::ShortReply, E_FAIL, 0},
        {MalformedReply::ShrunkSizeQuery, E_FAIL, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.reply));
        controller.SetMalformedReply(unit, KSPROPSETID_Topology, KSPROPERTY_TOPOLOGY_NODES, c.reply);
        auto filter = OpenFilterObject<CKsFilter>(KSCATEGORY_RENDER, kA7, nullptr, false);
        EXPECT_EQ(filter->EnumerateNodes(), c.expected);
        EXPECT_EQ(filter->m_nodes.Count(), c.nodes);
        if (c.nodes == 2) {
            EXPECT_EQ(filter->m_nodes.Head()->item->m_nodeId, 0u);
            EXPECT_TRUE(IsEqualGUID(filter->m_nodes.Head()->item->m_nodeType, KSNODETYPE_VOLUME));
            EXPECT_EQ(filter->m_nodes.Tail()->item->m_nodeId, 1u);
            EXPECT_TRUE(IsEqualGUID(filter->m_nodes.Tail()->item->m_nodeType, KSNODETYPE_DAC));
        }
    }
}

// Malformed descriptor replies of the streaming pin of a KMX-B7 render filter
// (four ranges, one per rate): the walk stays inside the reply and ends.
TEST_F(VirtualMachine, MalformedPinDescriptorsAreBounded) {
    UnitId unit = controller.Connect(ControllerModel::KmxB7);
    struct Case {
        ULONG property;
        MalformedReply reply;
        HRESULT expected;
        std::vector<ULONG> saved;
    } cases[] = {
        {KSPROPERTY_PIN_DATARANGES, MalformedReply::ZeroFormatSize, E_FAIL, {}},
        {KSPROPERTY_PIN_DATARANGES, MalformedReply::ShortFormatSize, E_FAIL, {}},
        {KSPROPERTY_PIN_DATARANGES, MalformedReply::RangePastReply, E_FAIL, {}},
        {KSPROPERTY_PIN_DATARANGES, MalformedReply::CountPastData, S_OK, {44100, 48000, 88200, 96000}},
        {KSPROPERTY_PIN_DATARANGES, MalformedReply::SizePastData, S_OK, {44100, 48000, 88200, 96000}},
        // Half of the 360-byte list arrives: the first range only is whole.
        {KSPROPERTY_PIN_DATARANGES, MalformedReply::ShortReply, S_OK, {44100}},
        {KSPROPERTY_PIN_DATARANGES, MalformedReply::ShrunkSizeQuery, E_FAIL, {}},
        {KSPROPERTY_PIN_INTERFACES, MalformedReply::CountPastData, S_OK, {44100, 48000, 88200, 96000}},
        {KSPROPERTY_PIN_INTERFACES, MalformedReply::SizePastData, S_OK, {44100, 48000, 88200, 96000}},
        {KSPROPERTY_PIN_INTERFACES, MalformedReply::ShrunkSizeQuery, E_FAIL, {}},
        {KSPROPERTY_PIN_MEDIUMS, MalformedReply::CountPastData, S_OK, {44100, 48000, 88200, 96000}},
        {KSPROPERTY_PIN_MEDIUMS, MalformedReply::ShortReply, E_FAIL, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("property " + std::to_string(c.property) + ", reply " + std::to_string(int(c.reply)));
        controller.SetMalformedReply(unit, KSPROPSETID_Pin, c.property, c.reply);
        auto filter = OpenFilterObject<CKsAudRenFilter>(KSCATEGORY_RENDER, "pid_2a02&mi_00", nullptr, false);
        HRESULT result = S_OK;
        CKsAudRenPin pin(filter.get(), 0, &result);
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(SavedRangeTags(pin), c.saved);
        controller.SetMalformedReply(unit, KSPROPSETID_Pin, c.property, MalformedReply::None);
    }
}

// Ranges shorter than an audio range, or than any range, as the last of a reply.
TEST_F(VirtualMachine, ShortRangesAreNeverReadPastTheirEnd) {
    UnitConfig config = DefaultConfig(ControllerModel::KmxA7);
    PinFactoryConfig extra = ExtraPin(KSPIN_COMMUNICATION_SINK, KSPIN_DATAFLOW_IN);
    KSDATARANGE_AUDIO plainRange = AudioRange(KSDATAFORMAT_TYPE_AUDIO, KSDATAFORMAT_SUBTYPE_PCM,
                                              KSDATAFORMAT_SPECIFIER_WAVEFORMATEX);
    plainRange.DataRange.FormatSize = sizeof(KSDATARANGE);
    std::vector<BYTE> bytes = Bytes(plainRange);
    bytes.resize(sizeof(KSDATARANGE));  // a plain KSDATARANGE of audio, ending the reply
    extra.dataRanges = {bytes};
    PinFactoryConfig tiny = extra;
    std::vector<BYTE> stub(sizeof(KSDATARANGE) - 8, 0xAB);  // its FormatSize says 0xABABABAB
    tiny.dataRanges = {Bytes(AudioRange(KSDATAFORMAT_TYPE_AUDIO, KSDATAFORMAT_SUBTYPE_PCM,
                                        KSDATAFORMAT_SPECIFIER_WAVEFORMATEX, 2, 16, 24, 44100, 1234)),
                       stub};
    config.extraRenderPins = {extra, tiny};
    controller.Connect(ControllerModel::KmxA7, config);
    auto filter = OpenFilterObject<CKsAudRenFilter>(KSCATEGORY_RENDER, kA7);
    auto* pin = dynamic_cast<CKsAudPin*>(PinWithId(*filter, 2));
    ASSERT_NE(pin, nullptr);
    ASSERT_EQ(pin->m_audioRanges.Count(), 1);
    const KSDATARANGE_AUDIO& saved = *pin->m_audioRanges.Head()->item;
    EXPECT_EQ(saved.MaximumChannels, 0u);  // not in the reply: zero, so it fits no format
    WAVEFORMATEXTENSIBLE wave = Wave(false, 2, 16, 48000);
    EXPECT_FALSE(pin->IsFormatSupported(AsWfx(wave)));
    auto* second = dynamic_cast<CKsAudPin*>(PinWithId(*filter, 3));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(SavedRangeTags(*second), std::vector<ULONG>{1234});
}
