// The audio pins' data ranges and format test, and the render and capture filters'
// search for a pin and its creation.
#include "DebugOutput.h"
#include "KsClassesSupport.h"

#include <cinttypes>
#include <cstdint>

using namespace kstest;

namespace {

const char kA7[] = "pid_2a01&mi_00";

// A range told apart by its MaximumSampleFrequency.
KSDATARANGE_AUDIO Tagged(const GUID& major, const GUID& sub, ULONG tag) {
    return AudioRange(major, sub, KSDATAFORMAT_SPECIFIER_WAVEFORMATEX, 2, 16, 24, 44100, tag);
}

}  // namespace

// Which advertised ranges a pin keeps: the first range with a wave subformat opens
// the gate, and from then on every audio range is kept, whatever its subformat.
TEST_F(VirtualMachine, AudioRangesAreKeptFromTheFirstWaveSubformatOn) {
    const GUID& audio = KSDATAFORMAT_TYPE_AUDIO;
    const GUID& pcm = KSDATAFORMAT_SUBTYPE_PCM;
    GUID nearlyWave = KSDATAFORMAT_SUBTYPE_WAVEFORMATEX;
    nearlyWave.Data1 = 0x00010001;  // differs in the third byte: no wave-format-tag GUID
    struct Case {
        const char* name;
        std::vector<KSDATARANGE_AUDIO> ranges;
        HRESULT expected;
        std::vector<ULONG> saved;
    } cases[] = {
        {"foreign subformat, PCM audio, foreign major",
         {Tagged(audio, kMidiSubformat, 1), Tagged(audio, pcm, 2), Tagged(kMusicMajor, pcm, 3)}, S_OK, {2}},
        {"PCM audio, then a foreign subformat", {Tagged(audio, pcm, 1), Tagged(audio, kMidiSubformat, 2)}, S_OK,
         {1, 2}},
        {"PCM of a foreign major opens the gate unsaved",
         {Tagged(kMusicMajor, pcm, 1), Tagged(audio, kMidiSubformat, 2)}, S_OK, {2}},
        {"any wave format tag", {Tagged(audio, kFloatSubformat, 1)}, S_OK, {1}},
        {"wildcard subformat", {Tagged(audio, kNullGuid, 1)}, S_OK, {1}},
        {"nearly a wave-format-tag GUID", {Tagged(audio, nearlyWave, 1), Tagged(audio, pcm, 2)}, S_OK, {2}},
        {"no wave subformat at all", {Tagged(audio, kMidiSubformat, 1), Tagged(audio, nearlyWave, 2)}, E_FAIL, {}},
        {"no ranges", {}, E_FAIL, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualController machine;
        ScopedDeviceSystem scope(machine);
        UnitConfig config = DefaultConfig(ControllerModel::KmxA7);
        PinFactoryConfig pin;
        for (const auto& range : c.ranges) pin.dataRanges.push_back(Bytes(range));
        config.extraRenderPins = {pin};
        machine.Connect(ControllerModel::KmxA7, config);
        auto filter = OpenFilterObject<CKsAudRenFilter>(KSCATEGORY_RENDER, kA7, nullptr, false);
        testsupport::DebugOutput output;
        TraceAll all(1);
        HRESULT result = S_OK;
        CKsAudRenPin made(filter.get(), 2, &result);
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(SavedRangeTags(made), c.saved);
        EXPECT_EQ(output.Contains("No audio dataranges on the pin"), c.expected == E_FAIL);
    }
}

// IsFormatSupported against one range per pin factory (2, 3, 4, 5).
TEST_F(VirtualMachine, FormatsFitARangeByTypeChannelsBitsAndRate) {
    const GUID& audio = KSDATAFORMAT_TYPE_AUDIO;
    const GUID& wfx = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
    enum { kPcm = 2, kWildcard = 3, kFloat = 4, kDsound = 5 };
    UnitConfig config = DefaultConfig(ControllerModel::KmxA7);
    for (const KSDATARANGE_AUDIO& range : {
             AudioRange(audio, KSDATAFORMAT_SUBTYPE_PCM, wfx, 2, 16, 24, 44100, 96000),
             AudioRange(audio, kNullGuid, kNullGuid, 2, 16, 24, 44100, 96000),
             AudioRange(audio, kFloatSubformat, wfx, 2, 16, 32, 44100, 96000),
             AudioRange(audio, KSDATAFORMAT_SUBTYPE_PCM, kDsoundSpecifier, 2, 16, 24, 44100, 96000),
         }) {
        PinFactoryConfig pin;
        pin.dataRanges = {Bytes(range)};
        config.extraRenderPins.push_back(pin);
    }
    controller.Connect(ControllerModel::KmxA7, config);
    auto filter = OpenFilterObject<CKsAudRenFilter>(KSCATEGORY_RENDER, kA7);

    auto plain = [](WORD channels, WORD bits, DWORD rate) { return Wave(false, channels, bits, rate); };
    auto extensible = [](WORD channels, WORD bits, DWORD rate, WORD valid) {
        return Wave(true, channels, bits, rate, valid);
    };
    auto tagged = [](WORD tag) {
        WAVEFORMATEXTENSIBLE wave = Wave(false, 2, 16, 48000);
        wave.Format.wFormatTag = tag;
        return wave;
    };
    auto extensibleOf = [](const GUID& subFormat) {
        WAVEFORMATEXTENSIBLE wave = Wave(true, 2, 24, 48000);
        wave.SubFormat = subFormat;
        return wave;
    };
    struct Case {
        const char* name;
        ULONG pin;
        WAVEFORMATEXTENSIBLE format;
        bool supported;
    } cases[] = {
        {"24 bits in 16..24", kPcm, plain(2, 24, 48000), true},
        {"32-bit container of 24 valid bits", kPcm, extensible(2, 32, 48000, 24), false},
        {"extensible PCM", kPcm, extensible(2, 24, 48000, 24), true},
        {"extensible PCM, fewer valid bits", kPcm, extensible(2, 24, 48000, 20), true},
        {"lowest bits, rate and channels", kPcm, plain(1, 16, 44100), true},
        {"highest rate", kPcm, plain(2, 16, 96000), true},
        {"8 bits", kPcm, plain(2, 8, 48000), false},
        {"too many channels", kPcm, plain(4, 16, 48000), false},
        {"rate too low", kPcm, plain(2, 16, 22050), false},
        {"rate too high", kPcm, plain(2, 16, 192000), false},
        {"float tag against PCM", kPcm, tagged(WAVE_FORMAT_IEEE_FLOAT), false},
        {"extensible float against PCM", kPcm, extensibleOf(kFloatSubformat), false},
        {"wildcard: PCM", kWildcard, plain(2, 16, 48000), true},
        {"wildcard: float tag", kWildcard, tagged(WAVE_FORMAT_IEEE_FLOAT), true},
        {"wildcard: any tag", kWildcard, tagged(0x1234), true},
        {"wildcard: any extensible subformat", kWildcard, extensibleOf(kMidiSubformat), true},
        {"wildcard still bounds the channels", kWildcard, plain(6, 16, 48000), false},
        {"float range: float tag", kFloat, tagged(WAVE_FORMAT_IEEE_FLOAT), true},
        {"float range: extensible float", kFloat, extensibleOf(kFloatSubformat), true},
        {"float range: PCM", kFloat, plain(2, 16, 48000), false},
        {"another specifier", kDsound, plain(2, 16, 48000), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* pin = dynamic_cast<CKsAudPin*>(PinWithId(*filter, c.pin));
        ASSERT_NE(pin, nullptr);
        EXPECT_EQ(pin->IsFormatSupported(AsWfx(c.format)), c.supported);
    }
}

namespace {
// The render and capture pins claim 44100 Hz only, while KsCreatePin also accepts
// 48000 Hz.
UnitConfig ClaimsLessThanItOpens() {
    UnitConfig config = DefaultConfig(ControllerModel::KmxA7);
    config.advertisedRender = {AudioRange(KSDATAFORMAT_TYPE_AUDIO, KSDATAFORMAT_SUBTYPE_PCM,
                                          KSDATAFORMAT_SPECIFIER_WAVEFORMATEX, 4, 24, 24, 44100, 44100)};
    config.advertisedCapture = {AudioRange(KSDATAFORMAT_TYPE_AUDIO, KSDATAFORMAT_SUBTYPE_PCM,
                                           KSDATAFORMAT_SPECIFIER_WAVEFORMATEX, 2, 24, 24, 44100, 44100)};
    return config;
}
}  // namespace

TEST_F(VirtualMachine, PinsForFormatsTheirRangesAdvertise) {
    controller.Connect(ControllerModel::KmxA7);
    auto render = OpenFilterObject<CKsAudRenFilter>(KSCATEGORY_RENDER, kA7);
    auto capture = OpenFilterObject<CKsAudCapFilter>(KSCATEGORY_CAPTURE, kA7);
    WAVEFORMATEXTENSIBLE four = Wave(false, 4, 24, 48000);
    WAVEFORMATEXTENSIBLE two = Wave(false, 2, 24, 48000);
    testsupport::DebugOutput output;
    TraceAll all(5);
    EXPECT_TRUE(render->CanCreateRenderPin(AsWfx(four)));
    EXPECT_TRUE(capture->CanCreateCapturePin(AsWfx(two)));
    CKsAudPin* renderPin = render->CreateRenderPin(AsWfx(four));
    CKsAudPin* capturePin = capture->CreateCapturePin(AsWfx(two));
    ASSERT_NE(renderPin, nullptr);
    ASSERT_NE(capturePin, nullptr);
    EXPECT_EQ(renderPin->PinKind(), 1);
    EXPECT_EQ(capturePin->PinKind(), 2);
    EXPECT_TRUE(CKsIrpTarget::IsValidHandle(renderPin->GetHandle()));
    char text[80];
    std::snprintf(text, sizeof text, "Successfully instantiated Render Pin.  Handle = 0x%08" PRIxPTR,
                  reinterpret_cast<std::uintptr_t>(renderPin->GetHandle()));
    EXPECT_TRUE(output.Contains(text));
    std::snprintf(text, sizeof text, "Successfully instantiated Capture Pin.  Handle = 0x%08" PRIxPTR,
                  reinterpret_cast<std::uintptr_t>(capturePin->GetHandle()));
    EXPECT_TRUE(output.Contains(text));
    // More channels than any range holds.
    WAVEFORMATEXTENSIBLE six = Wave(false, 6, 24, 48000);
    EXPECT_FALSE(render->CanCreateRenderPin(AsWfx(six)));
    EXPECT_TRUE(output.Contains("Could not find a Render pin that supports the given wave format"));
}

TEST_F(VirtualMachine, OnlyRenderFallsBackToPinsThatRejectedTheFormat) {
    controller.Connect(ControllerModel::KmxA7, ClaimsLessThanItOpens());
    auto render = OpenFilterObject<CKsAudRenFilter>(KSCATEGORY_RENDER, kA7);
    auto capture = OpenFilterObject<CKsAudCapFilter>(KSCATEGORY_CAPTURE, kA7);
    const int handles = controller.OpenHandleCount();
    WAVEFORMATEXTENSIBLE four = Wave(false, 4, 24, 48000);
    WAVEFORMATEXTENSIBLE two = Wave(false, 2, 24, 48000);
    testsupport::DebugOutput output;
    TraceAll all(4);
    EXPECT_FALSE(render->CanCreateRenderPin(AsWfx(four)));
    CKsAudPin* pin = render->CreateRenderPin(AsWfx(four));
    ASSERT_NE(pin, nullptr);
    EXPECT_EQ(pin->PinId(), 0u);
    EXPECT_TRUE(CKsIrpTarget::IsValidHandle(pin->GetHandle()));
    EXPECT_EQ(controller.OpenHandleCount(), handles + 1);

    EXPECT_FALSE(capture->CanCreateCapturePin(AsWfx(two)));
    EXPECT_EQ(capture->CreateCapturePin(AsWfx(two)), nullptr);
    EXPECT_TRUE(output.Contains("Could not find a Capture pin that supports the given wave format"));
    EXPECT_EQ(controller.OpenHandleCount(), handles + 1);

    // A format no pin opens: the fallback tries and gives up, leaving nothing open.
    pin->ClosePin();
    WAVEFORMATEXTENSIBLE six = Wave(false, 6, 24, 48000);
    EXPECT_EQ(render->CreateRenderPin(AsWfx(six)), nullptr);
    EXPECT_EQ(controller.OpenHandleCount(), handles);
}

// A second sink claims the format but cannot be opened; the one that rejected it can.
TEST_F(VirtualMachine, AClaimingPinThatFailsToOpenLeadsToTheFallback) {
    UnitConfig config = ClaimsLessThanItOpens();
    PinFactoryConfig claimsRender, claimsCapture;
    claimsRender.dataRanges = {Bytes(AudioRange(KSDATAFORMAT_TYPE_AUDIO, KSDATAFORMAT_SUBTYPE_PCM,
                                                KSDATAFORMAT_SPECIFIER_WAVEFORMATEX, 4, 24, 24, 48000, 48000))};
    claimsCapture = claimsRender;
    claimsCapture.dataFlow = KSPIN_DATAFLOW_OUT;
    config.extraRenderPins = {claimsRender};
    config.extraCapturePins = {claimsCapture};
    controller.Connect(ControllerModel::KmxA7, config);
    auto render = OpenFilterObject<CKsAudRenFilter>(KSCATEGORY_RENDER, kA7);
    auto capture = OpenFilterObject<CKsAudCapFilter>(KSCATEGORY_CAPTURE, kA7);
    WAVEFORMATEXTENSIBLE four = Wave(false, 4, 24, 48000);
    WAVEFORMATEXTENSIBLE two = Wave(false, 2, 24, 48000);
    testsupport::DebugOutput output;
    TraceAll all(1);
    ASSERT_EQ(render->FindViablePin(AsWfx(four)), PinWithId(*render, 2));
    CKsAudPin* pin = render->CreateRenderPin(AsWfx(four));
    ASSERT_NE(pin, nullptr);
    EXPECT_EQ(pin->PinId(), 0u);
    EXPECT_TRUE(output.Contains("Failed to instantiate Render Pin"));

    ASSERT_EQ(capture->FindViablePin(AsWfx(two)), PinWithId(*capture, 2));
    EXPECT_EQ(capture->CreateCapturePin(AsWfx(two)), nullptr);
    EXPECT_TRUE(output.Contains("Failed to instantiate Capture Pin"));
}
