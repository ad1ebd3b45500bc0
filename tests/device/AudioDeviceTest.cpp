// The audio device's probing against virtual controllers: which filter it binds,
// and the channels, rates and sample containers it finds by opening pins on trial.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "CAudioDevice.h"
#include "CKsEnumFilters.h"
#include "CKsFilter.h"
#include "CountingController.h"
#include "ScopedDeviceSystem.h"
#include "VirtualController.h"

namespace {

struct Probe {
    int channelCount;
    int rateMask;
    int sampleBytes;
    int extensible;
};

Probe ProbeOf(const CAudioDevice& device) {
    if (device.filterCount == 0) return {device.channelCount, 0, 0, 0};
    return {device.channelCount, device.rateMask[0], device.sampleBytes[0], device.extensible[0]};
}

TEST(AudioDevice, DefaultModelsAsProbed) {
    struct Case {
        ControllerModel model;
        int direction, maxChannels, hostBytes;
        Probe expected;
    } cases[] = {
        {ControllerModel::KmxA7, CAudioDevice::kRender, 4, 4, {4, 0x3, 3, 1}},
        {ControllerModel::KmxA7, CAudioDevice::kCapture, 2, 4, {2, 0x3, 3, 1}},
        {ControllerModel::KmxB7, CAudioDevice::kRender, 4, 4, {4, 0xF, 3, 1}},
        {ControllerModel::KmxB7, CAudioDevice::kCapture, 2, 2, {2, 0xF, 3, 1}},
        {ControllerModel::KmxNova, CAudioDevice::kRender, 4, 4, {4, 0xF, 4, 1}},
        {ControllerModel::KmxNova, CAudioDevice::kCapture, 2, 2, {2, 0xF, 4, 1}},
    };
    for (const Case& c : cases) {
        VirtualController controller;
        controller.Connect(c.model);
        ScopedDeviceSystem scope(controller);
        CAudioDevice device(c.direction, c.maxChannels, c.hostBytes);
        Probe probe = ProbeOf(device);
        SCOPED_TRACE(IdentityOf(c.model).name + std::string(c.direction == 1 ? " render" : " capture"));
        EXPECT_EQ(probe.channelCount, c.expected.channelCount);
        EXPECT_EQ(probe.rateMask, c.expected.rateMask);
        EXPECT_EQ(probe.sampleBytes, c.expected.sampleBytes);
        EXPECT_EQ(probe.extensible, c.expected.extensible);
    }
}

}  // namespace

// Probing by what a unit's pins really open, one configuration per case that matters.
namespace probing {

struct Case {
    const char* what;
    int direction;
    int hostBytes;
    StreamCapabilities caps;
    int filterChannels;
    Probe expected;
};

StreamCapabilities Caps(std::vector<WORD> channels, std::vector<DWORD> rates, WORD container, WORD validBits,
                        bool plain, bool extensible, std::vector<DWORD> masks = {}) {
    StreamCapabilities caps;
    caps.channelCounts = std::move(channels);
    caps.sampleRates = std::move(rates);
    caps.containerBytes = container;
    caps.validBits = validBits;
    caps.acceptsPlainForm = plain;
    caps.acceptsExtensibleForm = extensible;
    caps.channelMasks = std::move(masks);
    return caps;
}

}  // namespace probing

TEST(AudioDevice, ProbingFindsChannelsRatesAndContainers) {
    using probing::Caps;
    const int R = CAudioDevice::kRender, C = CAudioDevice::kCapture;
    const probing::Case cases[] = {
        // 2 channels found first at 48000 only; 4 then tried at that rate alone.
        {"2 and 4 channels at 48000", R, 4, Caps({2, 4}, {48000}, 3, 24, true, true), 4, {4, 0x2, 3, 1}},
        {"2 channels only", R, 4, Caps({2}, {44100, 96000}, 3, 24, true, true), 2, {2, 0x9, 3, 1}},
        // The 16-bit setting starts at 2-byte containers and must end at packed 24-bit.
        {"16-bit setting, packed 24-bit, extensible", R, 2, Caps({4}, {44100}, 3, 24, true, true), 4, {4, 0x1, 3, 1}},
        {"16-bit setting, packed 24-bit, plain only", C, 2, Caps({2}, {48000, 88200}, 3, 24, true, false), 2,
         {2, 0x6, 3, 0}},
        {"16-bit setting, 16-bit device", C, 2, Caps({2}, {44100}, 2, 16, true, true), 2, {2, 0x1, 2, 1}},
        {"24-bit setting, 16-bit device, plain only", R, 4, Caps({4}, {44100, 48000}, 2, 16, true, false), 4,
         {4, 0x3, 2, 0}},
        // Extensible only, with a speaker layout required: found only through the
        // channel-mask retries (the layout of all 4 channels, or of the first pair).
        {"extensible only, mask 0x33", R, 4, Caps({4}, {44100, 48000}, 4, 24, false, true, {0x33}), 4,
         {4, 0x3, 4, 1}},
        {"extensible only, mask 0x3 on 4 channels", R, 4, Caps({4}, {96000}, 3, 24, false, true, {0x3}), 4,
         {4, 0x8, 3, 1}},
        {"capture, extensible only, mask 0x3", C, 4, Caps({2}, {44100}, 3, 24, false, true, {0x3}), 2,
         {2, 0x1, 3, 1}},
        {"no channel count in range", R, 4, Caps({6}, {44100}, 3, 24, true, true), 0, {0, 0, 0, 0}},
        {"no format opens", R, 4, Caps({4}, {44100}, 3, 24, false, false), 0, {0, 0, 0, 0}},
    };
    for (const probing::Case& c : cases) {
        SCOPED_TRACE(c.what);
        UnitConfig config = DefaultConfig(ControllerModel::KmxB7);
        (c.direction == CAudioDevice::kRender ? config.render : config.capture) = c.caps;
        VirtualController controller;
        controller.Connect(ControllerModel::KmxB7, config);
        ScopedDeviceSystem scope(controller);
        CAudioDevice device(c.direction, c.direction == CAudioDevice::kRender ? 4 : 2, c.hostBytes);
        Probe probe = ProbeOf(device);
        EXPECT_EQ(probe.channelCount, c.expected.channelCount);
        EXPECT_EQ(probe.rateMask, c.expected.rateMask);
        EXPECT_EQ(probe.sampleBytes, c.expected.sampleBytes);
        EXPECT_EQ(probe.extensible, c.expected.extensible);
        if (device.filterCount == 1) {
            EXPECT_EQ(device.filterChannels[0], c.filterChannels);
            EXPECT_EQ(device.firstChannel[0], 0);
            for (int ch = 0; ch < device.channelCount; ++ch) EXPECT_EQ(device.channelFilter[ch], 0) << ch;
        } else {
            EXPECT_EQ(device.filterCount, 0);
            EXPECT_EQ(device.filterEnum->m_listFilters.Count(), 0) << "a filter that fails probing is deleted";
        }
        EXPECT_EQ(controller.OpenHandleCount(), device.filterCount) << "only the bound filter stays open";
    }
}

// The order of the trials at one rate: the setting's container, then 4, 3 and 2
// bytes, first all in the extensible form (each without, then with the channel
// masks), then the plain form. A pin that advertises everything lets every trial
// reach KsCreatePin; only 4 plain 24-bit channels at 48000 Hz open.
TEST(AudioDevice, ProbingOrderAtOneRate) {
    KSDATARANGE_AUDIO anything = {};
    anything.DataRange.FormatSize = sizeof(KSDATARANGE_AUDIO);
    anything.DataRange.MajorFormat = KSDATAFORMAT_TYPE_AUDIO;
    anything.DataRange.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    anything.DataRange.Specifier = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
    anything.MaximumChannels = 8;
    anything.MinimumBitsPerSample = 8;
    anything.MaximumBitsPerSample = 32;
    anything.MinimumSampleFrequency = 8000;
    anything.MaximumSampleFrequency = 192000;
    auto trial = [](const WAVEFORMATEXTENSIBLE& f) {
        std::string text = std::to_string(f.Format.nChannels) + "ch " + std::to_string(f.Format.nSamplesPerSec) + " ";
        if (f.Format.wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
            char mask[16];
            std::snprintf(mask, sizeof(mask), "/%lX", static_cast<unsigned long>(f.dwChannelMask));
            return text + "E" + std::to_string(f.Format.wBitsPerSample) + mask;
        }
        return text + "P" + std::to_string(f.Format.wBitsPerSample);
    };
    struct Case {
        int hostBytes;
        std::vector<std::string> firstTrials;
    } cases[] = {
        {4, {"2ch 44100 E24/0", "2ch 44100 E24/3", "2ch 44100 E32/0", "2ch 44100 E32/3", "2ch 44100 E24/0",
             "2ch 44100 E24/3", "2ch 44100 E16/0", "2ch 44100 E16/3", "2ch 44100 P24", "2ch 44100 P32",
             "2ch 44100 P24", "2ch 44100 P16", "2ch 48000 E24/0"}},
        {2, {"2ch 44100 E16/0", "2ch 44100 E16/3", "2ch 44100 E32/0", "2ch 44100 E32/3", "2ch 44100 E24/0",
             "2ch 44100 E24/3", "2ch 44100 E16/0", "2ch 44100 E16/3", "2ch 44100 P16", "2ch 44100 P32",
             "2ch 44100 P24", "2ch 44100 P16", "2ch 48000 E16/0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hostBytes);
        UnitConfig config = DefaultConfig(ControllerModel::KmxB7);
        config.render.channelCounts = {4};
        config.render.sampleRates = {48000};
        config.render.acceptsExtensibleForm = false;
        config.advertisedRender = {anything};
        CountingController controller;
        controller.Connect(ControllerModel::KmxB7, config);
        ScopedDeviceSystem scope(controller);
        CAudioDevice device(CAudioDevice::kRender, 4, c.hostBytes);
        // A render filter tries a refused format once more on its own (its fallback
        // over every sink pin), so each trial may show twice in a row.
        std::vector<std::string> trials;
        for (const WAVEFORMATEXTENSIBLE& f : controller.pinCreationFormats)
            if (trials.empty() || trials.back() != trial(f)) trials.push_back(trial(f));
        ASSERT_GE(trials.size(), c.firstTrials.size());
        trials.resize(c.firstTrials.size());
        EXPECT_EQ(trials, c.firstTrials);
        // The trial that opened: 4 channels at 48000, plain, 24-bit packed; nothing after it
        // at 48000, and the later rates tried (and refused) at 4 channels only.
        EXPECT_EQ(device.channelCount, 4);
        EXPECT_EQ(device.rateMask[0], 0x2);
        EXPECT_EQ(device.sampleBytes[0], 3);
        EXPECT_EQ(device.extensible[0], 0);
        for (const WAVEFORMATEXTENSIBLE& f : controller.pinCreationFormats)
            EXPECT_LE(f.Format.nChannels, 4) << trial(f);
    }
}

TEST(AudioDevice, RatesOfTheBoundFilter) {
    UnitConfig config = DefaultConfig(ControllerModel::KmxB7);
    config.render.channelCounts = {2, 4};
    config.render.sampleRates = {48000};
    VirtualController controller;
    controller.Connect(ControllerModel::KmxB7, config);
    ScopedDeviceSystem scope(controller);
    CAudioDevice device(CAudioDevice::kRender, 4, 4);
    ASSERT_EQ(device.channelCount, 4);
    struct {
        int rate;
        bool supported;
    } rates[] = {{44100, false}, {48000, true}, {88200, false}, {96000, false}, {22050, false}, {0, false}, {-1, false}};
    for (const auto& r : rates) EXPECT_EQ(device.SupportsSampleRate(r.rate), r.supported) << r.rate;
}

TEST(AudioDevice, WithoutABoundFilterEveryTableRateCounts) {
    VirtualController controller;  // nothing connected
    ScopedDeviceSystem scope(controller);
    CAudioDevice render(CAudioDevice::kRender, 4, 4);
    CAudioDevice odd(3, 4, 4);  // neither direction: no enumerator, no tables
    for (CAudioDevice* device : {&render, &odd}) {
        EXPECT_EQ(device->channelCount, 0);
        EXPECT_TRUE(device->SupportsSampleRate(96000));
        EXPECT_TRUE(device->SupportsSampleRate(44100));
        EXPECT_FALSE(device->SupportsSampleRate(22050));
        int number = -1, ordinal = -1, count = -1;
        EXPECT_EQ(device->GetChannelModel(0, &number, &ordinal, &count), nullptr);
        EXPECT_EQ(number, 0);
        EXPECT_EQ(ordinal, 0);
        EXPECT_EQ(count, 0);
    }
    EXPECT_EQ(odd.filterEnum, nullptr);
}

TEST(AudioDevice, ChannelModelNumbersChannelsWithinTheUnit) {
    for (ControllerModel model : {ControllerModel::KmxA7, ControllerModel::KmxB7, ControllerModel::KmxNova}) {
        SCOPED_TRACE(IdentityOf(model).name);
        VirtualController controller;
        controller.Connect(model);
        ScopedDeviceSystem scope(controller);
        CAudioDevice device(CAudioDevice::kRender, 4, 4);
        ASSERT_EQ(device.channelCount, 4);
        for (int channel = 0; channel < 4; ++channel) {
            int number = 0, ordinal = 0, count = 0;
            const char* name = device.GetChannelModel(channel, &number, &ordinal, &count);
            ASSERT_NE(name, nullptr);
            EXPECT_STREQ(name, IdentityOf(model).name);
            EXPECT_EQ(number, channel + 1);
            EXPECT_EQ(ordinal, 1);
            EXPECT_EQ(count, 1);
            EXPECT_STREQ(device.GetChannelModel(channel, nullptr, nullptr, nullptr), IdentityOf(model).name);
        }
        for (int channel : {-1, 4, 5, 1000}) {
            int number = -1, ordinal = -1, count = -1;
            EXPECT_EQ(device.GetChannelModel(channel, &number, &ordinal, &count), nullptr) << channel;
            EXPECT_EQ(number, 0);
            EXPECT_EQ(ordinal, 0);
            EXPECT_EQ(count, 0);
        }
    }
}

// Which filter the device binds: the first one on a model's USB interface 0 that
// opens a pin; the others before it are deleted, those after it left alone.
TEST(AudioDevice, SelectionBindsTheFirstUsableFilterOfAModel) {
    struct Case {
        const char* what;
        std::vector<Distractor> distractorsFirst;
        std::vector<std::pair<ControllerModel, bool>> units;  // model, render pin opens anything
        const char* boundModel;                               // null: nothing bound
        long listCount;
    } cases[] = {
        {"the same controller's interface 2", {Distractor::OtherInterfaceNumber}, {}, nullptr, 0},
        {"interface 2 before interface 0", {Distractor::OtherInterfaceNumber}, {{ControllerModel::KmxB7, true}},
         "KMX-B7", 1},
        {"another vendor", {Distractor::OtherVendor}, {{ControllerModel::KmxA7, true}}, "KMX-A7", 1},
        {"a later controller is left alone", {}, {{ControllerModel::KmxB7, true}, {ControllerModel::KmxNova, true}},
         "KMX-B7", 2},
        {"a controller that opens nothing gives way", {},
         {{ControllerModel::KmxB7, false}, {ControllerModel::KmxNova, true}}, "KMX-NOVA", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CountingController controller;
        for (Distractor d : c.distractorsFirst) controller.AddDistractor(d, ControllerModel::KmxB7);
        for (const auto& unit : c.units) {
            UnitConfig config = DefaultConfig(unit.first);
            if (!unit.second) config.render.channelCounts = {6};  // advertised, but never 2 or 4
            controller.Connect(unit.first, config);
        }
        ScopedDeviceSystem scope(controller);
        CAudioDevice device(CAudioDevice::kRender, 4, 4);
        EXPECT_EQ(device.filterEnum->m_listFilters.Count(), c.listCount);
        if (!c.boundModel) {
            EXPECT_EQ(device.channelCount, 0);
            EXPECT_EQ(device.filterCount, 0);
            EXPECT_TRUE(controller.pinCreationFilters.empty()) << "a filter of no model is never probed";
            continue;
        }
        ASSERT_EQ(device.filterCount, 1);
        EXPECT_EQ(device.channelCount, 4);
        EXPECT_STREQ(device.GetChannelModel(0, nullptr, nullptr, nullptr), c.boundModel);
        CKsFilter* bound = device.filterEnum->m_listFilters.Head()->item;
        EXPECT_NE(std::string(bound->Path()).find("&mi_00#"), std::string::npos) << bound->Path();
        // Probing after the bound filter stops: every trial pin went to filters up
        // to and including it, and the last ones to the bound filter itself.
        ASSERT_FALSE(controller.pinCreationFilters.empty());
        EXPECT_EQ(controller.pinCreationFilters.back(), bound->GetHandle());
        if (c.listCount == 2) {
            CKsFilter* later = device.filterEnum->m_listFilters.Head()->next->item;
            for (HANDLE probed : controller.pinCreationFilters)
                EXPECT_NE(probed, later->GetHandle()) << "the later controller was probed";
        }
    }
}

// Filters that answer probes with malformed data. Only what lies inside a reply is
// used: a data range list that is broken from its first range leaves the pin with
// no formats and the device with no channels; ranges cut off by a short reply are
// simply missing (their rates are not offered); nothing crashes or reads past a
// reply.
TEST(AudioDevice, MalformedPinPropertiesNeverGiveMoreThanTheReplyHolds) {
    constexpr int kEither = -1;  // a simple value cut short: the KS layer's choice, as long as it is consistent
    struct Case {
        ULONG property;
        MalformedReply kind;
        int renderChannels, captureChannels, rateMask;
    } cases[] = {
        {KSPROPERTY_PIN_DATARANGES, MalformedReply::ZeroFormatSize, 0, 0, 0},
        {KSPROPERTY_PIN_DATARANGES, MalformedReply::RangePastReply, 0, 0, 0},
        // Half the reply: the first rate's range whole, the second cut inside it.
        {KSPROPERTY_PIN_DATARANGES, MalformedReply::ShortReply, 4, 2, 0x1},
        {KSPROPERTY_PIN_DATARANGES, MalformedReply::CountPastData, 4, 2, 0xF},
        {KSPROPERTY_PIN_INTERFACES, MalformedReply::CountPastData, 4, 2, 0xF},
        {KSPROPERTY_PIN_MEDIUMS, MalformedReply::CountPastData, 4, 2, 0xF},
        {KSPROPERTY_PIN_INTERFACES, MalformedReply::ShortReply, kEither, kEither, kEither},
        {KSPROPERTY_PIN_CTYPES, MalformedReply::ShortReply, kEither, kEither, kEither},
        {KSPROPERTY_PIN_COMMUNICATION, MalformedReply::ShortReply, kEither, kEither, kEither},
        {KSPROPERTY_PIN_DATAFLOW, MalformedReply::ShortReply, kEither, kEither, kEither},
    };
    for (const Case& c : cases) {
        for (int direction : {CAudioDevice::kRender, CAudioDevice::kCapture}) {
            SCOPED_TRACE(testing::Message() << "property " << c.property << ", kind " << static_cast<int>(c.kind)
                                            << ", direction " << direction);
            VirtualController controller;
            UnitId unit = controller.Connect(ControllerModel::KmxB7);
            controller.SetMalformedReply(unit, KSPROPSETID_Pin, c.property, c.kind);
            ScopedDeviceSystem scope(controller);
            const int full = direction == CAudioDevice::kRender ? 4 : 2;
            CAudioDevice device(direction, full, 4);
            const int expected = direction == CAudioDevice::kRender ? c.renderChannels : c.captureChannels;
            if (expected != kEither) {
                EXPECT_EQ(device.channelCount, expected);
                if (expected != 0) {
                    EXPECT_EQ(device.rateMask[0], c.rateMask);
                }
            } else {
                EXPECT_TRUE(device.channelCount == 0 || device.channelCount == full) << device.channelCount;
            }
            if (device.channelCount == 0) {
                EXPECT_EQ(device.GetChannelModel(0, nullptr, nullptr, nullptr), nullptr);
                EXPECT_EQ(device.filterEnum->m_listFilters.Count(), 0);
            } else {
                EXPECT_STREQ(device.GetChannelModel(0, nullptr, nullptr, nullptr), "KMX-B7");
            }
        }
    }
}

TEST(AudioDevice, WaveFormatsAndChannelMasks) {
    WAVEFORMATEXTENSIBLE format;
    std::memset(&format, 0xCD, sizeof(format));
    CAudioDevice::BuildWaveFormat(3, 4, 1, true, &format);
    EXPECT_EQ(format.Format.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    EXPECT_EQ(format.Format.nChannels, 4);
    EXPECT_EQ(format.Format.nSamplesPerSec, 48000u);
    EXPECT_EQ(format.Format.nBlockAlign, 12);
    EXPECT_EQ(format.Format.nAvgBytesPerSec, 576000u);
    EXPECT_EQ(format.Format.wBitsPerSample, 24);
    EXPECT_EQ(format.Format.cbSize, 22);
    EXPECT_EQ(format.Samples.wValidBitsPerSample, 24);
    EXPECT_EQ(format.dwChannelMask, 0u);
    EXPECT_TRUE(IsEqualGUID(format.SubFormat, KSDATAFORMAT_SUBTYPE_PCM));

    std::memset(&format, 0xCD, sizeof(format));
    CAudioDevice::BuildWaveFormat(2, 2, 3, false, &format);
    EXPECT_EQ(format.Format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(format.Format.nChannels, 2);
    EXPECT_EQ(format.Format.nSamplesPerSec, 96000u);
    EXPECT_EQ(format.Format.nBlockAlign, 4);
    EXPECT_EQ(format.Format.nAvgBytesPerSec, 384000u);
    EXPECT_EQ(format.Format.wBitsPerSample, 16);
    EXPECT_EQ(format.Format.cbSize, 0);
    EXPECT_EQ(format.Samples.wValidBitsPerSample, 0);
    EXPECT_EQ(format.dwChannelMask, 0u);
    EXPECT_TRUE(IsEqualGUID(format.SubFormat, GUID_NULL));

    const DWORD masks[] = {0, 0, 0x3, 0, 0x33, 0, 0x3F, 0, 0xFF, 0, 0};
    for (int m = 0; m <= 10; ++m) EXPECT_EQ(CAudioDevice::ChannelMask(m), masks[m]) << m;
    EXPECT_EQ(CAudioDevice::ChannelMask(-2), 0u);
}
