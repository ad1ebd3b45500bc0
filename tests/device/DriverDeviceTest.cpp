// The driver object against a virtual controller: init's search for the
// controller, channel names per model, sample rates per model, and the rules of
// setSampleRate for the callback and the stored setting.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "CountingController.h"
#include "DriverObject.h"
#include "DriverSettings.h"
#include "ScopedDeviceSystem.h"
#include "TestSupport.h"
#include "VeltrixControllerASIO.h"
#include "VirtualController.h"

namespace {

using Search = CountingController::Search;

std::string ChannelName(testsupport::DriverObject& driver, long channel, bool input) {
    ASIOChannelInfo info = {};
    info.channel = channel;
    info.isInput = input ? ASIOTrue : ASIOFalse;
    EXPECT_EQ(driver->getChannelInfo(&info), ASE_OK);
    return info.name;
}

// Six names, outputs 0..3 then inputs 0..1.
std::vector<std::string> ChannelNames(testsupport::DriverObject& driver) {
    std::vector<std::string> names;
    for (long c = 0; c < 4; ++c) names.push_back(ChannelName(driver, c, false));
    for (long c = 0; c < 2; ++c) names.push_back(ChannelName(driver, c, true));
    return names;
}

std::vector<std::string> NamesOf(const std::string& model) {
    return {model + " MASTER L", model + " MASTER R", model + " PHONES L",
            model + " PHONES R", model + " AUX/MIC L", model + " AUX/MIC R"};
}

TEST(DriverWithController, InitFindsTheControllerAndNamesItsChannels) {
    testsupport::ScratchSettings scratch;
    VirtualController controller;
    controller.Connect(ControllerModel::KmxB7);
    ScopedDeviceSystem scope(controller);
    testsupport::DriverObject driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    long in = 0, out = 0;
    driver->getChannels(&in, &out);
    EXPECT_EQ(in, 2);
    EXPECT_EQ(out, 4);
    const char* expected[2][4] = {{"KMX-B7 MASTER L", "KMX-B7 MASTER R", "KMX-B7 PHONES L", "KMX-B7 PHONES R"},
                                  {"KMX-B7 AUX/MIC L", "KMX-B7 AUX/MIC R", nullptr, nullptr}};
    for (int input = 0; input < 2; ++input)
        for (long c = 0; c < (input ? 2 : 4); ++c) {
            ASIOChannelInfo info = {};
            info.channel = c;
            info.isInput = input;
            ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
            EXPECT_STREQ(info.name, expected[input][c]);
        }
}

TEST(DriverWithController, ChannelNamesAndTypesForEveryModel) {
    struct Case {
        ControllerModel model;
        long bitResolutionSetting;
        ASIOSampleType type;
    } cases[] = {{ControllerModel::KmxA7, 1, ASIOSTInt32LSB},
                 {ControllerModel::KmxB7, 0, ASIOSTInt16LSB},
                 {ControllerModel::KmxNova, 0, ASIOSTInt16LSB},
                 {ControllerModel::KmxNova, 1, ASIOSTInt32LSB}};
    for (const Case& c : cases) {
        const std::string model = IdentityOf(c.model).name;
        SCOPED_TRACE(model + " bitResolution " + std::to_string(c.bitResolutionSetting));
        testsupport::ScratchSettings scratch;
        testsupport::WriteDword(HKEY_CURRENT_USER, kSettingsKeyPath, kBitResolutionValue, c.bitResolutionSetting);
        VirtualController controller;
        controller.Connect(c.model);
        ScopedDeviceSystem scope(controller);
        testsupport::DriverObject driver;
        EXPECT_EQ(ChannelNames(driver), std::vector<std::string>(6, "Veltrix KMX ASIO")) << "before init";
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        EXPECT_EQ(ChannelNames(driver), NamesOf(model));
        for (bool input : {true, false}) {
            ASIOChannelInfo info = {};
            info.isInput = input ? ASIOTrue : ASIOFalse;
            ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
            EXPECT_EQ(info.type, c.type);
            EXPECT_EQ(info.isActive, ASIOFalse);
            EXPECT_EQ(info.channelGroup, 0);
        }
        ASIOChannelInfo beyond = {};
        beyond.channel = 4;
        EXPECT_EQ(driver->getChannelInfo(&beyond), ASE_InvalidParameter);
        beyond.channel = 2;
        beyond.isInput = ASIOTrue;
        EXPECT_EQ(driver->getChannelInfo(&beyond), ASE_InvalidParameter);
    }
}

// A controller with fewer channels reports fewer; a channel inside the fixed limits
// but beyond the device's gets the driver's name (input) or no name (output).
TEST(DriverWithController, ChannelsBeyondTheDeviceWithinTheLimits) {
    testsupport::ScratchSettings scratch;
    UnitConfig config = DefaultConfig(ControllerModel::KmxA7);
    config.render.channelCounts = {2};
    VirtualController controller;
    controller.Connect(ControllerModel::KmxA7, config);
    ScopedDeviceSystem scope(controller);
    testsupport::DriverObject driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    long in = 0, out = 0;
    driver->getChannels(&in, &out);
    EXPECT_EQ(in, 2);
    EXPECT_EQ(out, 2);
    EXPECT_EQ(ChannelNames(driver), (std::vector<std::string>{"KMX-A7 MASTER L", "KMX-A7 MASTER R", "", "",
                                                              "KMX-A7 AUX/MIC L", "KMX-A7 AUX/MIC R"}));
}

TEST(DriverWithController, SampleRatesPerModel) {
    const double rates[] = {44100.0, 48000.0, 88200.0, 96000.0, 44100.9, 22050.0, 192000.0, 0.0, -1.0,
                            std::nan(""), std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(), 1e12, 4294967296.0 + 44100.0};
    struct Case {
        const char* what;
        ControllerModel model;
        std::vector<DWORD> captureRates;  // empty: the model's own
        std::vector<bool> supported;      // per entry of rates
    } cases[] = {
        {"KMX-A7", ControllerModel::KmxA7, {}, {1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"KMX-B7", ControllerModel::KmxB7, {}, {1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"KMX-NOVA", ControllerModel::KmxNova, {}, {1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // Both directions must offer a rate.
        {"KMX-B7, capture at 48000 only", ControllerModel::KmxB7, {48000},
         {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::ScratchSettings scratch;
        UnitConfig config = DefaultConfig(c.model);
        if (!c.captureRates.empty()) config.capture.sampleRates = c.captureRates;
        VirtualController controller;
        controller.Connect(c.model, config);
        ScopedDeviceSystem scope(controller);
        testsupport::DriverObject driver;
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        for (size_t i = 0; i < sizeof(rates) / sizeof(rates[0]); ++i)
            EXPECT_EQ(driver->canSampleRate(rates[i]), c.supported[i] ? ASE_OK : ASE_NoClock) << rates[i];
    }
}

// Host callbacks that record the rate changes they are told about.
std::vector<double> g_rateChanges;
void IgnoreSwitch(long, ASIOBool) {}
void RecordRate(ASIOSampleRate rate) { g_rateChanges.push_back(rate); }
long NoMessages(long, long, void*, double*) { return 0; }
ASIOTime* IgnoreSwitchTimeInfo(ASIOTime* time, long, ASIOBool) { return time; }
ASIOCallbacks g_callbacks = {IgnoreSwitch, RecordRate, NoMessages, IgnoreSwitchTimeInfo};

// A stored rate the driver reads as usual but would rewrite as REG_DWORD: a write
// shows as a changed type, even when it writes the same number.
void StoreRateUnlikeTheDriver(DWORD rate) {
    testsupport::WriteRaw(HKEY_CURRENT_USER, kSettingsKeyPath, kSampleRateValue, REG_BINARY, &rate, sizeof(rate));
}

struct StoredRate {
    DWORD type = REG_NONE;
    DWORD value = 0;
    bool present = false;
};

StoredRate ReadStoredRate() {
    StoredRate stored;
    DWORD size = sizeof(stored.value);
    stored.present = RegGetValueA(HKEY_CURRENT_USER, kSettingsKeyPath, kSampleRateValue, RRF_RT_ANY, &stored.type,
                                  &stored.value, &size) == ERROR_SUCCESS;
    return stored;
}

class SetSampleRate : public ::testing::Test {
protected:
    void SetUp() override {
        controller.Connect(ControllerModel::KmxB7);
        g_rateChanges.clear();
    }
    // A driver made and initialised now, with host buffers and callbacks.
    void Open() {
        driver.reset(new testsupport::DriverObject);
        ASSERT_EQ((*driver)->init(nullptr), ASIOTrue);
        ASIOBufferInfo info = {};
        info.isInput = ASIOFalse;
        ASSERT_EQ((*driver)->createBuffers(&info, 1, 256, &g_callbacks), ASE_OK);
    }
    double Rate() {
        ASIOSampleRate rate = 0;
        EXPECT_EQ((*driver)->getSampleRate(&rate), ASE_OK);
        return rate;
    }

    testsupport::ScratchSettings scratch;
    VirtualController controller;
    ScopedDeviceSystem scope{controller};
    std::unique_ptr<testsupport::DriverObject> driver;
};

TEST_F(SetSampleRate, TheCurrentRateAgainChangesNothing) {
    StoreRateUnlikeTheDriver(48000);
    Open();
    ASSERT_EQ(Rate(), 48000.0);
    EXPECT_EQ((*driver)->setSampleRate(48000.0), ASE_OK);
    EXPECT_EQ((*driver)->setSampleRate(48000.0), ASE_OK);
    EXPECT_TRUE(g_rateChanges.empty());
    EXPECT_EQ(ReadStoredRate().type, static_cast<DWORD>(REG_BINARY)) << "the setting was written";
}

TEST_F(SetSampleRate, AFractionalRateIsStoredTruncatedButKeptWhole) {
    StoreRateUnlikeTheDriver(48000);
    Open();
    EXPECT_EQ((*driver)->setSampleRate(44100.5), ASE_OK);
    EXPECT_EQ(Rate(), 44100.5);
    EXPECT_EQ(g_rateChanges, std::vector<double>{44100.5});
    StoredRate stored = ReadStoredRate();
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(stored.value, 44100u);

    // Back to the whole rate: a change for the host, but the stored value already says 44100.
    StoreRateUnlikeTheDriver(44100);
    EXPECT_EQ((*driver)->setSampleRate(44100.0), ASE_OK);
    EXPECT_EQ(g_rateChanges, (std::vector<double>{44100.5, 44100.0}));
    EXPECT_EQ(ReadStoredRate().type, static_cast<DWORD>(REG_BINARY));
}

TEST_F(SetSampleRate, ANewRateWithNothingStoredIsWrittenOnce) {
    Open();
    ASSERT_FALSE(ReadStoredRate().present);
    EXPECT_EQ((*driver)->setSampleRate(96000.0), ASE_OK);
    StoredRate stored = ReadStoredRate();
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(stored.value, 96000u);
    EXPECT_EQ(g_rateChanges, std::vector<double>{96000.0});

    StoreRateUnlikeTheDriver(96000);
    EXPECT_EQ((*driver)->setSampleRate(96000.0), ASE_OK);
    EXPECT_EQ(ReadStoredRate().type, static_cast<DWORD>(REG_BINARY)) << "written a second time";
    EXPECT_EQ(g_rateChanges.size(), 1u);
}

TEST_F(SetSampleRate, RefusedRatesChangeAndStoreNothing) {
    Open();
    const double refused[] = {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(), 1e12, 22050.0, 44099.99,
                              4294967296.0 + 48000.0, -4294967296.0 + 48000.0};
    for (double rate : refused) {
        EXPECT_EQ((*driver)->canSampleRate(rate), ASE_NoClock) << rate;
        EXPECT_EQ((*driver)->setSampleRate(rate), ASE_NoClock) << rate;
    }
    EXPECT_EQ(Rate(), 44100.0);
    EXPECT_TRUE(g_rateChanges.empty());
    EXPECT_FALSE(testsupport::KeyPresent(HKEY_CURRENT_USER, kSettingsKeyPath));
}

// init's search: capture once, render up to eleven times, both even when capture
// failed; a failed init keeps no device object (nor any handle of the controller).
// (With no controller at all: DriverQueriesTest.)
TEST(DriverInit, SearchesCaptureOnceAndRenderUpToElevenTimes) {
    struct Case {
        const char* what;
        bool captureOpens, renderOpens;
        ASIOBool result;
        int captureSearches, renderSearches;
    } cases[] = {
        {"capture only", true, false, ASIOFalse, 1, 11},
        {"render only", false, true, ASIOFalse, 1, 1},
        {"both", true, true, ASIOTrue, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::ScratchSettings scratch;
        CountingController controller;
        controller.AddDistractor(Distractor::NoAlias);  // every search meets one audio interface
        UnitConfig config = DefaultConfig(ControllerModel::KmxB7);
        if (!c.captureOpens) config.capture.channelCounts = {6};  // advertised, never opens at 2
        if (!c.renderOpens) config.render.channelCounts = {6};
        controller.Connect(ControllerModel::KmxB7, config);
        ScopedDeviceSystem scope(controller);
        {
            testsupport::DriverObject driver;
            EXPECT_TRUE(controller.searches.empty()) << "construction looks for nothing";
            EXPECT_EQ(driver->init(nullptr), c.result);
            ASSERT_FALSE(controller.searches.empty());
            EXPECT_EQ(controller.searches.front(), Search::Capture);
            EXPECT_EQ(controller.Count(Search::Capture), c.captureSearches);
            EXPECT_EQ(controller.Count(Search::Render), c.renderSearches);
            EXPECT_EQ(controller.Count(Search::Unknown), 0);
            long in = -1, out = -1;
            driver->getChannels(&in, &out);
            if (c.result == ASIOTrue) {
                EXPECT_EQ(in, 2);
                EXPECT_EQ(out, 4);
                continue;
            }
            EXPECT_EQ(in, 0);
            EXPECT_EQ(out, 0);
            EXPECT_EQ(driver->canSampleRate(44100.0), ASE_NoClock);
            EXPECT_EQ(ChannelName(driver, 0, false), "Veltrix KMX ASIO");
            EXPECT_EQ(controller.OpenHandleCount(), 0) << "a device object was kept";
        }
    }
}

// A second init on an opened object builds new devices, so it sees the controller
// as it is now, and releases the old ones.
TEST(DriverInit, ASecondInitRebuildsTheDevices) {
    testsupport::ScratchSettings scratch;
    CountingController controller;
    UnitId b7 = controller.Connect(ControllerModel::KmxB7);
    ScopedDeviceSystem scope(controller);
    testsupport::DriverObject driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_EQ(ChannelNames(driver), NamesOf("KMX-B7"));
    const int handlesAfterFirst = controller.OpenHandleCount();
    HANDLE mutex = driver->InUseMutex();

    controller.Unplug(b7);
    controller.Connect(ControllerModel::KmxNova);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_EQ(controller.Count(Search::Capture), 2);
    EXPECT_EQ(controller.Count(Search::Render), 2);
    EXPECT_EQ(ChannelNames(driver), NamesOf("KMX-NOVA"));
    EXPECT_EQ(controller.OpenHandleCount(), handlesAfterFirst) << "the first devices' filters were not released";
    EXPECT_EQ(driver->InUseMutex(), mutex) << "the mutex is opened once";
    EXPECT_EQ(driver->canSampleRate(96000.0), ASE_OK);
}

}  // namespace

namespace {

// A host that calls init again while its stream runs (instead of stop,
// disposeBuffers, init): the devices the stream thread is using must not be
// deleted under it.
TEST(DriverInit, InitWhileStreamingStopsTheStreamFirst) {
    testsupport::ScratchSettings scratch;
    VirtualController controller;
    controller.Connect(ControllerModel::KmxB7);
    ScopedDeviceSystem scope(controller);
    testsupport::DriverObject driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASIOBufferInfo infos[6] = {};
    for (int i = 0; i < 6; ++i) {
        infos[i].isInput = i >= 4 ? ASIOTrue : ASIOFalse;
        infos[i].channelNum = i >= 4 ? i - 4 : i;
    }
    ASSERT_EQ(driver->createBuffers(infos, 6, 256, &g_callbacks), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    Sleep(50);
    EXPECT_EQ(driver->init(nullptr), ASIOTrue);
    Sleep(50);
    EXPECT_EQ(ChannelNames(driver), NamesOf("KMX-B7"));
    EXPECT_EQ(driver->start(), ASE_OK) << "the host's buffers stream on the new devices";
    Sleep(50);
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

}  // namespace
