// The driver object's answers to a host's queries and its host buffers, as far as
// they stand without a controller: names, version, channel info limits and
// fallback names, sample types, buffer sizes, latencies, clock source, future
// selectors, controlPanel, createBuffers/disposeBuffers, and init's search for a
// controller that is not there.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "DriverObject.h"
#include "DriverSettings.h"
#include "ScopedDeviceSystem.h"
#include "device/CountingController.h"
#include "TestSupport.h"
#include "VeltrixControllerASIO.h"

namespace {

using testsupport::ScratchSettings;

ASIOChannelInfo ChannelInfo(testsupport::DriverObject& driver, long channel, bool input, ASIOError* result = nullptr) {
    ASIOChannelInfo info = {};
    info.channel = channel;
    info.isInput = input ? ASIOTrue : ASIOFalse;
    ASIOError error = driver->getChannelInfo(&info);
    if (result) *result = error;
    return info;
}

TEST(DriverQueries, IdentityAndFixedAnswers) {
    ScratchSettings scratch;
    testsupport::DriverObject driver;
    char name[32];
    std::memset(name, '#', sizeof(name));
    driver->getDriverName(name);
    EXPECT_STREQ(name, "Veltrix KMX ASIO");
    EXPECT_EQ(driver->getDriverVersion(), 1);
    char error[124];
    std::memset(error, '#', sizeof(error));
    driver->getErrorMessage(error);
    EXPECT_STREQ(error, "");

    long minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
    EXPECT_EQ(driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
    EXPECT_EQ(minSize, 64);
    EXPECT_EQ(maxSize, 1920);
    EXPECT_EQ(preferred, 256);
    EXPECT_EQ(granularity, 64);

    ASIOClockSource clocks[2] = {};
    long count = 0;  // whatever capacity the host claims, one source is reported
    EXPECT_EQ(driver->getClockSources(clocks, &count), ASE_OK);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(clocks[0].index, 0);
    EXPECT_EQ(clocks[0].associatedChannel, -1);
    EXPECT_EQ(clocks[0].associatedGroup, -1);
    EXPECT_EQ(clocks[0].isCurrentSource, ASIOTrue);
    EXPECT_STREQ(clocks[0].name, "Internal");
    EXPECT_EQ(driver->setClockSource(0), ASE_OK);
    EXPECT_EQ(driver->setClockSource(1), ASE_NotPresent);
    EXPECT_EQ(driver->setClockSource(-1), ASE_NotPresent);

    ASIOSampleRate rate = 0;
    EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 44100.0);
    EXPECT_EQ(driver->outputReady(), ASE_OK);
}

TEST(DriverQueries, FutureSelectors) {
    ScratchSettings scratch;
    testsupport::DriverObject driver;
    struct Case {
        long selector;
        ASIOError expected;
    } cases[] = {
        {kAsioEnableTimeCodeRead, ASE_SUCCESS}, {kAsioDisableTimeCodeRead, ASE_SUCCESS},
        {kAsioSetInputMonitor, ASE_SUCCESS},    {kAsioTransport, ASE_NotPresent},
        {kAsioSetInputGain, ASE_NotPresent},    {kAsioGetInputMeter, ASE_NotPresent},
        {kAsioSetOutputGain, ASE_NotPresent},   {kAsioGetOutputMeter, ASE_NotPresent},
        {kAsioCanInputMonitor, ASE_SUCCESS},    {kAsioCanTimeInfo, ASE_SUCCESS},
        {kAsioCanTimeCode, ASE_SUCCESS},        {kAsioCanTransport, ASE_NotPresent},
        {kAsioCanReportOverload, ASE_NotPresent}, {kAsioSetIoFormat, ASE_NotPresent},
        {0, ASE_NotPresent},                    {-1, ASE_NotPresent},
    };
    for (const Case& c : cases) EXPECT_EQ(driver->future(c.selector, nullptr), c.expected) << "selector " << c.selector;
}

TEST(DriverQueries, ChannelInfoLimitsTypesAndNamesWithoutAController) {
    struct Case {
        long bitResolutionSetting;
        ASIOSampleType expectedType;
    } settings[] = {{0, ASIOSTInt16LSB}, {1, ASIOSTInt32LSB}};
    for (const auto& setting : settings) {
        ScratchSettings scratch;
        testsupport::WriteDword(HKEY_CURRENT_USER, kSettingsKeyPath, kBitResolutionValue, setting.bitResolutionSetting);
        testsupport::DriverObject driver;
        for (long channel : {-1L, 2L, 100L}) {
            ASIOError result = ASE_OK;
            ChannelInfo(driver, channel, true, &result);
            EXPECT_EQ(result, ASE_InvalidParameter) << "input " << channel;
        }
        for (long channel : {-1L, 4L, std::numeric_limits<long>::min()}) {
            ASIOError result = ASE_OK;
            ChannelInfo(driver, channel, false, &result);
            EXPECT_EQ(result, ASE_InvalidParameter) << "output " << channel;
        }
        for (bool input : {true, false}) {
            for (long channel = 0; channel < (input ? 2 : 4); ++channel) {
                ASIOError result = ASE_NotPresent;
                ASIOChannelInfo info = ChannelInfo(driver, channel, input, &result);
                EXPECT_EQ(result, ASE_OK);
                EXPECT_EQ(info.type, setting.expectedType);
                EXPECT_EQ(info.isActive, ASIOFalse);
                EXPECT_EQ(info.channelGroup, 0);
                EXPECT_STREQ(info.name, "Veltrix KMX ASIO") << (input ? "input " : "output ") << channel;
            }
        }
        long inputs = -1, outputs = -1;
        EXPECT_EQ(driver->getChannels(&inputs, &outputs), ASE_OK);
        EXPECT_EQ(inputs, 0);
        EXPECT_EQ(outputs, 0);
    }
}

TEST(DriverQueries, NoRateIsSupportedWithoutDevicesAndNothingIsStored) {
    ScratchSettings scratch;
    testsupport::DriverObject driver;
    const double rates[] = {44100.0, 48000.0, 96000.0, 0.0, -1.0, std::nan(""),
                            std::numeric_limits<double>::infinity(), 1e12};
    for (double rate : rates) {
        EXPECT_EQ(driver->canSampleRate(rate), ASE_NoClock) << rate;
        EXPECT_EQ(driver->setSampleRate(rate), ASE_NoClock) << rate;
    }
    EXPECT_FALSE(testsupport::KeyPresent(HKEY_CURRENT_USER, kSettingsKeyPath));
    ASIOSampleRate rate = 0;
    driver->getSampleRate(&rate);
    EXPECT_EQ(rate, 44100.0);
}

// Host callbacks of the tests: record what the driver asked.
struct HostRecord {
    int supportsTimeInfoQueries = 0;
    long timeInfoAnswer = 0;
} g_host;

long RecordingAsioMessage(long selector, long, void*, double*) {
    if (selector == kAsioSupportsTimeInfo) {
        ++g_host.supportsTimeInfoQueries;
        return g_host.timeInfoAnswer;
    }
    return 0;
}
void IgnoreSwitch(long, ASIOBool) {}
void IgnoreRate(ASIOSampleRate) {}
ASIOTime* IgnoreSwitchTimeInfo(ASIOTime* time, long, ASIOBool) { return time; }
ASIOCallbacks g_callbacks = {IgnoreSwitch, IgnoreRate, RecordingAsioMessage, IgnoreSwitchTimeInfo};

ASIOBufferInfo Buffer(bool input, long channel) {
    ASIOBufferInfo info = {};
    info.isInput = input ? ASIOTrue : ASIOFalse;
    info.channelNum = channel;
    return info;
}

TEST(HostBuffers, CreateGivesZeroedHalvesAndLatenciesPerDirection) {
    ScratchSettings scratch;
    testsupport::DriverObject driver;
    long in = -1, out = -1;
    driver->getLatencies(&in, &out);
    EXPECT_EQ(in, 0);
    EXPECT_EQ(out, 0);

    ASIOBufferInfo infos[] = {Buffer(false, 0), Buffer(false, 1)};
    g_host = {};
    ASSERT_EQ(driver->createBuffers(infos, 2, 256, &g_callbacks), ASE_OK);
    EXPECT_EQ(g_host.supportsTimeInfoQueries, 1);
    for (const ASIOBufferInfo& info : infos) {
        ASSERT_NE(info.buffers[0], nullptr);
        EXPECT_EQ(static_cast<char*>(info.buffers[1]) - static_cast<char*>(info.buffers[0]), 256 * 4);
        std::string zeros(2 * 256 * 4, '\0');
        EXPECT_EQ(std::memcmp(info.buffers[0], zeros.data(), zeros.size()), 0);
    }
    driver->getLatencies(&in, &out);
    EXPECT_EQ(in, 0) << "no input buffers";
    EXPECT_EQ(out, 256);
    ASIOChannelInfo active = ChannelInfo(driver, 1, false);
    EXPECT_EQ(active.isActive, ASIOTrue);
    EXPECT_EQ(ChannelInfo(driver, 2, false).isActive, ASIOFalse);

    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    driver->getLatencies(&in, &out);
    EXPECT_EQ(out, 0);
    EXPECT_EQ(ChannelInfo(driver, 1, false).isActive, ASIOFalse);
}

TEST(HostBuffers, BufferSizeRulesAndChannelLimits) {
    ScratchSettings scratch;
    testsupport::DriverObject driver;
    ASIOBufferInfo one[] = {Buffer(true, 0)};
    EXPECT_EQ(driver->createBuffers(one, 1, 250, &g_callbacks), ASE_InvalidParameter);
    EXPECT_EQ(driver->createBuffers(one, 1, 0, &g_callbacks), ASE_InvalidParameter);
    EXPECT_EQ(driver->createBuffers(one, 1, -64, &g_callbacks), ASE_InvalidParameter);
    EXPECT_FALSE(testsupport::KeyPresent(HKEY_CURRENT_USER, kSettingsKeyPath)) << "a refused size stores nothing";

    // Another size than the preferred one becomes the new block count, stored for
    // the panel and the next session.
    ASSERT_EQ(driver->createBuffers(one, 1, 512, &g_callbacks), ASE_OK);
    EXPECT_EQ(ReadBlockNum(), 8);
    long minSize, maxSize, preferred, granularity;
    driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity);
    EXPECT_EQ(preferred, 512);
    driver->disposeBuffers();

    struct Case {
        const char* what;
        std::vector<ASIOBufferInfo> infos;
    } refused[] = {
        {"input channel 2", {Buffer(true, 0), Buffer(false, 0), Buffer(true, 2)}},
        {"output channel 4", {Buffer(false, 4)}},
        {"negative channel", {Buffer(false, -1)}},
        {"three inputs", {Buffer(true, 0), Buffer(true, 1), Buffer(true, 0)}},
        {"five outputs", {Buffer(false, 0), Buffer(false, 1), Buffer(false, 2), Buffer(false, 3), Buffer(false, 0)}},
    };
    for (Case& c : refused) {
        EXPECT_EQ(driver->createBuffers(c.infos.data(), static_cast<long>(c.infos.size()), 512, &g_callbacks),
                  ASE_InvalidParameter)
            << c.what;
        long in = -1, out = -1;
        driver->getLatencies(&in, &out);
        EXPECT_EQ(in, 0) << c.what << ": everything is released";
        EXPECT_EQ(out, 0) << c.what;
    }

    // A channel given twice gets two buffers; a second createBuffers without
    // disposeBuffers releases the first set instead of leaking it.
    ASIOBufferInfo twice[] = {Buffer(false, 0), Buffer(false, 0)};
    ASSERT_EQ(driver->createBuffers(twice, 2, 512, &g_callbacks), ASE_OK);
    EXPECT_NE(twice[0].buffers[0], twice[1].buffers[0]);
    ASSERT_EQ(driver->createBuffers(one, 1, 512, &g_callbacks), ASE_OK);
    long in = -1, out = -1;
    driver->getLatencies(&in, &out);
    EXPECT_EQ(in, 512);
    EXPECT_EQ(out, 0);
}

TEST(HostBuffers, StartStopAndPositionWithoutAStream) {
    ScratchSettings scratch;
    testsupport::DriverObject driver;
    EXPECT_EQ(driver->stop(), ASE_OK) << "stop without start";
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK) << "dispose without create";
    EXPECT_EQ(driver->start(), ASE_NotPresent) << "start before createBuffers";
    ASIOBufferInfo one[] = {Buffer(false, 0)};
    ASSERT_EQ(driver->createBuffers(one, 1, 256, &g_callbacks), ASE_OK);
    EXPECT_EQ(driver->start(), ASE_NotPresent) << "no device to stream to";
    ASIOSamples position = {1, 1};
    ASIOTimeStamp stamp = {1, 1};
    EXPECT_EQ(driver->getSamplePosition(&position, &stamp), ASE_OK);
    EXPECT_EQ(position.hi, 0u);
    EXPECT_EQ(position.lo, 0u);
    EXPECT_EQ(stamp.hi, 0u);
    EXPECT_EQ(stamp.lo, 0u);
}

TEST(DriverInit, WithoutAControllerItTriesCaptureOnceAndRenderElevenTimes) {
    ScratchSettings scratch;
    CountingController machine;                  // no controller connected;
    machine.AddDistractor(Distractor::NoAlias);  // each search meets one audio interface
    ScopedDeviceSystem scope(machine);
    testsupport::DriverObject driver;
    EXPECT_EQ(driver->init(nullptr), ASIOFalse);
    using Search = CountingController::Search;
    EXPECT_EQ(machine.searches, (std::vector<Search>{Search::Capture, Search::Render, Search::Render, Search::Render,
                                                     Search::Render, Search::Render, Search::Render, Search::Render,
                                                     Search::Render, Search::Render, Search::Render, Search::Render}));
    EXPECT_EQ(machine.OpenHandleCount(), 0) << "a device object was kept";
    long inputs = -1, outputs = -1;
    driver->getChannels(&inputs, &outputs);
    EXPECT_EQ(inputs, 0);
    EXPECT_EQ(outputs, 0);
    EXPECT_EQ(driver->canSampleRate(44100.0), ASE_NoClock);
}

TEST(DriverInit, InitReadsTheSettingsAgain) {
    ScratchSettings scratch;
    testsupport::DriverObject driver;
    EXPECT_EQ(driver->BufferFrames(), 256);
    testsupport::WriteDword(HKEY_CURRENT_USER, kSettingsKeyPath, kBlockNumValue, 2);
    testsupport::WriteDword(HKEY_CURRENT_USER, kSettingsKeyPath, kBitResolutionValue, 0);
    testsupport::WriteDword(HKEY_CURRENT_USER, kSettingsKeyPath, kToggleNumValue, 4);
    testsupport::WriteDword(HKEY_CURRENT_USER, kSettingsKeyPath, kSampleRateValue, 48000);
    driver->init(nullptr);
    EXPECT_EQ(driver->BufferFrames(), 128);
    EXPECT_EQ(driver->BitResolution(), 2);
    EXPECT_EQ(driver->ToggleNum(), 4);
    EXPECT_EQ(driver->SampleRate(), 44100.0) << "the rate is the host's and is not read again";
}

class ControlPanel : public ::testing::Test {
protected:
    static constexpr char kMarkerKey[] = "Software\\VeltrixTestMarker";
    void SetUp() override {
        testsupport::DeleteValue(HKEY_LOCAL_MACHINE, kPanelLocationKeyPath, kPanelPathValue);
        testsupport::DeleteTree(HKEY_CURRENT_USER, kMarkerKey);
    }
    void TearDown() override { SetUp(); }
    static void SetPanelPath(const std::string& path) {
        testsupport::WriteRaw(HKEY_LOCAL_MACHINE, kPanelLocationKeyPath, kPanelPathValue, REG_SZ, path.c_str(),
                              static_cast<DWORD>(path.size() + 1));
    }
    static bool MarkerAppears() {
        for (int i = 0; i < 200; ++i) {
            if (testsupport::KeyPresent(HKEY_CURRENT_USER, kMarkerKey)) return true;
            Sleep(50);
        }
        return false;
    }
};

TEST_F(ControlPanel, StartsTheInstalledPanelOrSaysItIsNotPresent) {
    ScratchSettings scratch;
    testsupport::DriverObject driver;
    EXPECT_EQ(driver->controlPanel(), ASE_NotPresent) << "no AsioConfig";
    SetPanelPath("");
    EXPECT_EQ(driver->controlPanel(), ASE_NotPresent) << "empty AsioConfig";
    SetPanelPath(testsupport::BuildBinDirectory() + "\\no_such_panel.exe");
    EXPECT_EQ(driver->controlPanel(), ASE_NotPresent) << "missing program";
    EXPECT_FALSE(testsupport::KeyPresent(HKEY_CURRENT_USER, kMarkerKey));

    SetPanelPath(testsupport::BuildBinDirectory() + "\\kmx_marker_program.exe");
    EXPECT_EQ(driver->controlPanel(), ASE_OK);
    EXPECT_TRUE(MarkerAppears()) << "the panel program did not run";
}

}  // namespace
