// What the panel makes of every kind of stored setting at start-up.
#include <gtest/gtest.h>

#include <string>

#include "PanelSettings.h"
#include "TestSupport.h"

namespace {

constexpr char kSettingsKey[] = "Software\\Veltrix KMX ASIO";

struct Case {
    const char* what;
    const char* value;
    DWORD type;
    std::string bytes;
    PanelSettings expected;
};

std::string Dword(long value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

TEST(PanelSettings, StoredValuesOutsideThePanelsRangesGiveTheReplacements) {
    const Case cases[] = {
        {"blockNum 1", "blockNum", REG_DWORD, Dword(1), {1, 1, 3, 44100}},
        {"blockNum 31 above the slider", "blockNum", REG_DWORD, Dword(31), {31, 1, 3, 44100}},
        {"blockNum 64", "blockNum", REG_DWORD, Dword(64), {64, 1, 3, 44100}},
        {"blockNum 65", "blockNum", REG_DWORD, Dword(65), {4, 1, 3, 44100}},
        {"blockNum 0", "blockNum", REG_DWORD, Dword(0), {4, 1, 3, 44100}},
        {"blockNum as text", "blockNum", REG_SZ, std::string("8\0", 2), {4, 1, 3, 44100}},
        {"blockNum as a wide text of 4 bytes", "blockNum", REG_SZ, std::string("8\0\0\0", 4), {4, 1, 3, 44100}},
        {"blockNum in 2 bytes", "blockNum", REG_BINARY, std::string("\x08\0", 2), {4, 1, 3, 44100}},
        {"blockNum in 8 bytes", "blockNum", REG_QWORD, std::string("\x08\0\0\0\0\0\0\0", 8), {4, 1, 3, 44100}},
        {"blockNum 4 bytes of another type", "blockNum", REG_BINARY, Dword(8), {8, 1, 3, 44100}},
        {"bitResolution 0", "bitResolution", REG_DWORD, Dword(0), {4, 0, 3, 44100}},
        {"bitResolution 2", "bitResolution", REG_DWORD, Dword(2), {4, 1, 3, 44100}},
        {"toggleNum 2", "toggleNum", REG_DWORD, Dword(2), {4, 1, 2, 44100}},
        {"toggleNum 4", "toggleNum", REG_DWORD, Dword(4), {4, 1, 4, 44100}},
        {"toggleNum 1", "toggleNum", REG_DWORD, Dword(1), {4, 1, 3, 44100}},
        {"toggleNum 5", "toggleNum", REG_DWORD, Dword(5), {4, 1, 3, 44100}},
        {"sampleRate 48000", "sampleRate", REG_DWORD, Dword(48000), {4, 1, 3, 48000}},
        {"sampleRate 88200", "sampleRate", REG_DWORD, Dword(88200), {4, 1, 3, 44100}},
    };
    for (const Case& c : cases) {
        testsupport::ScratchSettings scratch;
        testsupport::WriteRaw(HKEY_CURRENT_USER, kSettingsKey, c.value, c.type, c.bytes.data(),
                              static_cast<DWORD>(c.bytes.size()));
        const PanelSettings read = ReadPanelSettings();
        EXPECT_EQ(read.blockNum, c.expected.blockNum) << c.what;
        EXPECT_EQ(read.bitResolution, c.expected.bitResolution) << c.what;
        EXPECT_EQ(read.toggleNum, c.expected.toggleNum) << c.what;
        EXPECT_EQ(read.sampleRate, c.expected.sampleRate) << c.what;
    }
}

TEST(PanelSettings, NoKeyGivesTheStandardValuesAndWritingCreatesIt) {
    testsupport::ScratchSettings scratch;
    const PanelSettings read = ReadPanelSettings();
    EXPECT_EQ(read.blockNum, 4);
    EXPECT_EQ(read.bitResolution, 1);
    EXPECT_EQ(read.toggleNum, 3);
    EXPECT_EQ(read.sampleRate, 44100);
    ASSERT_TRUE(WritePanelSettings(6, 0, 4));
    const PanelSettings written = ReadPanelSettings();
    EXPECT_EQ(written.blockNum, 6);
    EXPECT_EQ(written.bitResolution, 0);
    EXPECT_EQ(written.toggleNum, 4);
}

}  // namespace
