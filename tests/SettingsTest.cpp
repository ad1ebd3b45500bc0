// The driver's settings store in the real (Wine) registry: what each reader makes
// of every kind of stored value, the writers, the panel location, and the driver
// object reading them when it is built.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "DriverSettings.h"
#include "TestSupport.h"
#include "VeltrixControllerASIO.h"

namespace {

using testsupport::ScratchSettings;

// One stored value: how it is written (nothing, or type + bytes).
struct Stored {
    bool present;
    DWORD type;
    std::string bytes;
};
Stored Missing() { return {false, REG_NONE, {}}; }
Stored Dword(long value) {
    DWORD v = static_cast<DWORD>(value);
    return {true, REG_DWORD, std::string(reinterpret_cast<const char*>(&v), sizeof(v))};
}
Stored Raw(DWORD type, std::string bytes) { return {true, type, std::move(bytes)}; }

void Store(const char* name, const Stored& stored) {
    if (!stored.present) return;
    testsupport::WriteRaw(HKEY_CURRENT_USER, kSettingsKeyPath, name, stored.type, stored.bytes.data(),
                          static_cast<DWORD>(stored.bytes.size()));
}

struct ReaderCase {
    const char* what;
    const char* valueName;
    long (*reader)();
    Stored stored;
    long expected;
};

TEST(Settings, ReadersGiveTheStoredValueInRangeAndTheDefaultOtherwise) {
    const ReaderCase cases[] = {
        {"blockNum missing", kBlockNumValue, ReadBlockNum, Missing(), 4},
        {"blockNum 1", kBlockNumValue, ReadBlockNum, Dword(1), 1},
        {"blockNum 30", kBlockNumValue, ReadBlockNum, Dword(30), 30},
        {"blockNum 0", kBlockNumValue, ReadBlockNum, Dword(0), 4},
        {"blockNum 31", kBlockNumValue, ReadBlockNum, Dword(31), 4},
        {"blockNum -1", kBlockNumValue, ReadBlockNum, Dword(-1), 4},
        {"blockNum as 8 bytes", kBlockNumValue, ReadBlockNum, Raw(REG_QWORD, std::string("\x08\0\0\0\0\0\0\0", 8)), 4},
        {"blockNum as 2 bytes", kBlockNumValue, ReadBlockNum, Raw(REG_BINARY, std::string("\x08\0", 2)), 4},
        {"blockNum as a string", kBlockNumValue, ReadBlockNum, Raw(REG_SZ, std::string("8\0", 2)), 4},
        {"blockNum 4 bytes of another type", kBlockNumValue, ReadBlockNum, Raw(REG_BINARY, std::string("\x08\0\0\0", 4)), 8},
        {"bitResolution missing", kBitResolutionValue, ReadBitResolution, Missing(), 4},
        {"bitResolution 0", kBitResolutionValue, ReadBitResolution, Dword(0), 2},
        {"bitResolution 1", kBitResolutionValue, ReadBitResolution, Dword(1), 4},
        {"bitResolution 2", kBitResolutionValue, ReadBitResolution, Dword(2), 4},
        {"bitResolution -1", kBitResolutionValue, ReadBitResolution, Dword(-1), 4},
        {"bitResolution zero in 8 bytes", kBitResolutionValue, ReadBitResolution, Raw(REG_QWORD, std::string(8, '\0')), 4},
        {"bitResolution zero in 1 byte", kBitResolutionValue, ReadBitResolution, Raw(REG_BINARY, std::string(1, '\0')), 4},
        {"toggleNum missing", kToggleNumValue, ReadToggleNum, Missing(), 3},
        {"toggleNum 1", kToggleNumValue, ReadToggleNum, Dword(1), 3},
        {"toggleNum 2", kToggleNumValue, ReadToggleNum, Dword(2), 2},
        {"toggleNum 4", kToggleNumValue, ReadToggleNum, Dword(4), 4},
        {"toggleNum 5", kToggleNumValue, ReadToggleNum, Dword(5), 3},
        {"toggleNum as 3 bytes", kToggleNumValue, ReadToggleNum, Raw(REG_BINARY, std::string("\x02\0\0", 3)), 3},
        {"sampleRate missing", kSampleRateValue, ReadSampleRate, Missing(), 44100},
        {"sampleRate 32000", kSampleRateValue, ReadSampleRate, Dword(32000), 44100},
        {"sampleRate 48000", kSampleRateValue, ReadSampleRate, Dword(48000), 48000},
        {"sampleRate 88200", kSampleRateValue, ReadSampleRate, Dword(88200), 88200},
        {"sampleRate 96000", kSampleRateValue, ReadSampleRate, Dword(96000), 96000},
        {"sampleRate 0", kSampleRateValue, ReadSampleRate, Dword(0), 44100},
        {"sampleRate as 8 bytes", kSampleRateValue, ReadSampleRate, Raw(REG_QWORD, std::string("\x80\xbb\0\0\0\0\0\0", 8)), 44100},
    };
    for (const ReaderCase& c : cases) {
        ScratchSettings scratch;
        Store(c.valueName, c.stored);
        EXPECT_EQ(c.reader(), c.expected) << c.what;
    }
}

TEST(Settings, ReadersGiveDefaultsWithNoKeyAtAll) {
    ScratchSettings scratch;
    EXPECT_EQ(ReadBlockNum(), 4);
    EXPECT_EQ(ReadBitResolution(), 4);
    EXPECT_EQ(ReadToggleNum(), 3);
    EXPECT_EQ(ReadSampleRate(), 44100);
}

TEST(Settings, WritersCreateTheKeyAndStoreFourByteValuesUnchecked) {
    ScratchSettings scratch;
    ASSERT_FALSE(testsupport::KeyPresent(HKEY_CURRENT_USER, kSettingsKeyPath));
    WriteBlockNum(8);
    ASSERT_TRUE(testsupport::KeyPresent(HKEY_CURRENT_USER, kSettingsKeyPath));
    WriteSampleRate(96000);
    EXPECT_EQ(ReadBlockNum(), 8);
    EXPECT_EQ(ReadSampleRate(), 96000);

    // A host may ask for a size outside the panel's range: stored as asked, read
    // back as the default.
    WriteBlockNum(64);
    DWORD stored = 0, size = sizeof(stored), type = 0;
    ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, kSettingsKeyPath, kBlockNumValue, RRF_RT_ANY, &type, &stored, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(stored, 64u);
    EXPECT_EQ(ReadBlockNum(), 4);
}

// The key also holds the installer's language values, which other test programs
// use at the same time: only the panel path is this test's.
class PanelPath : public ::testing::Test {
protected:
    void SetUp() override { testsupport::DeleteValue(HKEY_LOCAL_MACHINE, kPanelLocationKeyPath, kPanelPathValue); }
    void TearDown() override { testsupport::DeleteValue(HKEY_LOCAL_MACHINE, kPanelLocationKeyPath, kPanelPathValue); }
};

TEST_F(PanelPath, OnlyAWholeTerminatedStringIsTaken) {
    const std::string ordinary = "C:\\Program Files\\Veltrix\\Veltrix_KMX_ASIO_Config.exe";
    struct Case {
        const char* what;
        Stored stored;
        std::string expected;  // what the zeroed buffer holds afterwards
    } cases[] = {
        {"missing", Missing(), ""},
        {"ordinary path", Raw(REG_SZ, ordinary + '\0'), ordinary},
        {"no terminator", Raw(REG_SZ, ordinary), ordinary},
        {"259 characters", Raw(REG_SZ, std::string(259, 'p') + '\0'), std::string(259, 'p')},
        {"260 characters, no terminator", Raw(REG_SZ, std::string(260, 'p')), ""},
        {"longer than the buffer", Raw(REG_SZ, std::string(400, 'p') + '\0'), ""},
        {"a number", Dword(7), ""},
    };
    for (const Case& c : cases) {
        testsupport::DeleteValue(HKEY_LOCAL_MACHINE, kPanelLocationKeyPath, kPanelPathValue);
        if (c.stored.present)
            testsupport::WriteRaw(HKEY_LOCAL_MACHINE, kPanelLocationKeyPath, kPanelPathValue, c.stored.type,
                                  c.stored.bytes.data(), static_cast<DWORD>(c.stored.bytes.size()));
        char buffer[kPanelPathSize + 16];
        std::memset(buffer, 0, kPanelPathSize);
        std::memset(buffer + kPanelPathSize, '#', 16);
        ReadPanelPath(buffer);
        EXPECT_EQ(std::string(buffer), c.expected) << c.what;
        EXPECT_EQ(buffer[kPanelPathSize], '#') << c.what << ": nothing past the buffer";
    }
}

TEST(DriverObjectSettings, ConstructionReadsTheSettings) {
    struct Case {
        long blockNum, bitResolution, toggleNum, sampleRate;
        long expectedBlockNum, expectedBytes, expectedToggleNum;
        double expectedRate;
    } cases[] = {
        {4, 1, 3, 44100, 4, 4, 3, 44100.0},
        {8, 0, 2, 96000, 8, 2, 2, 96000.0},
        {31, 5, 9, 12345, 4, 4, 3, 44100.0},
    };
    for (const Case& c : cases) {
        ScratchSettings scratch;
        testsupport::WriteDword(HKEY_CURRENT_USER, kSettingsKeyPath, kBlockNumValue, c.blockNum);
        testsupport::WriteDword(HKEY_CURRENT_USER, kSettingsKeyPath, kBitResolutionValue, c.bitResolution);
        testsupport::WriteDword(HKEY_CURRENT_USER, kSettingsKeyPath, kToggleNumValue, c.toggleNum);
        testsupport::WriteDword(HKEY_CURRENT_USER, kSettingsKeyPath, kSampleRateValue, c.sampleRate);
        auto* driver = new VeltrixControllerASIO(nullptr);
        EXPECT_EQ(driver->BlockNum(), c.expectedBlockNum);
        EXPECT_EQ(driver->BitResolution(), c.expectedBytes);
        EXPECT_EQ(driver->ToggleNum(), c.expectedToggleNum);
        EXPECT_EQ(driver->BufferFrames(), c.expectedBlockNum * 64);
        EXPECT_EQ(driver->SampleRate(), c.expectedRate);
        EXPECT_EQ(CBaseObject::LiveObjectCount(), 1);
        delete static_cast<CUnknown*>(driver);
        EXPECT_EQ(CBaseObject::LiveObjectCount(), 0);
    }
}

}  // namespace
