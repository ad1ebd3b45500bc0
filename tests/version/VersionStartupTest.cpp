// The real programs: the shipped Veltrix_KMX_Version.exe runs once per machine and
// closes with OK or Escape; its test-fixture build shows the controllers of its
// virtual controller. Both are started as their own processes.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "PanelTestSupport.h"
#include "TestSupport.h"
#include "VersionTestSupport.h"
#include "resource.h"

namespace {

constexpr DWORD kWindowTimeoutMs = 20000;
constexpr long kExitAlreadyRunning = 1;

std::string ShippedPath() { return testsupport::BuildBinDirectory() + "\\Veltrix_KMX_Version.exe"; }
std::string FixturePath() { return testsupport::BuildBinDirectory() + "\\Veltrix_KMX_Version_TestFixture.exe"; }

// The utility started in a process of its own, with its dialog found on demand.
struct Program : testsupport::RunningProgram {
    using RunningProgram::RunningProgram;
    HWND dialog(DWORD timeoutMs = kWindowTimeoutMs) const {
        return paneltest::WaitForTopLevelWindow(info.dwProcessId, L"#32770", timeoutMs);
    }
};

class VersionStartup : public ::testing::Test {
protected:
    void SetUp() override { m_language.setNumber(1033); }
    paneltest::ScratchInstallLanguage m_language;
    versiontest::SystemDriverFile m_driverFile;
};

TEST_F(VersionStartup, OneCopyPerMachineClosedWithEscapeOrOk) {
    ASSERT_TRUE(m_driverFile.install(testsupport::DriverDllPath())) << GetLastError();
    Program first(ShippedPath());
    ASSERT_TRUE(first.started);
    HWND dialog = first.dialog();
    ASSERT_NE(dialog, nullptr) << "the utility showed no window";
    EXPECT_EQ(paneltest::WindowText(dialog), L"Veltrix KMX Version");
    EXPECT_EQ(paneltest::WindowText(GetDlgItem(dialog, IDC_DRIVER_VERSION)), L"Ver1.100");
    // Wine's SetupAPI knows no controller.
    EXPECT_EQ(paneltest::WindowText(GetDlgItem(dialog, IDC_NOT_CONNECTED)), L"Your Veltrix KMX is not connected.");
    EXPECT_FALSE(GetWindowLongW(dialog, GWL_STYLE) & WS_SYSMENU) << "no close box";

    Program second(ShippedPath());
    ASSERT_TRUE(second.started);
    EXPECT_TRUE(second.waitForEnd(kWindowTimeoutMs)) << "a second copy must end while the first shows its window";
    EXPECT_EQ(second.exitCode(), kExitAlreadyRunning);
    EXPECT_EQ(second.dialog(0), nullptr);
    EXPECT_TRUE(IsWindow(dialog)) << "the first copy is left alone";

    PostMessageW(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(first.waitForEnd(kWindowTimeoutMs)) << "Escape closes it";

    // With the first one gone, the next start shows the window again.
    Program third(ShippedPath());
    HWND again = third.dialog();
    ASSERT_NE(again, nullptr);
    PostMessageW(GetDlgItem(again, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(third.waitForEnd(kWindowTimeoutMs)) << "OK closes it";
    EXPECT_EQ(third.exitCode(), 0);
}

TEST_F(VersionStartup, TheTestFixtureBuildShowsItsVirtualController) {
    SetEnvironmentVariableW(L"VELTRIX_VIRTUAL_CONTROLLER", L"KMX-NOVA@0310+KMX-B7@0102");
    Program fixture(FixturePath());
    SetEnvironmentVariableW(L"VELTRIX_VIRTUAL_CONTROLLER", nullptr);
    ASSERT_TRUE(fixture.started);
    HWND dialog = fixture.dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(paneltest::WindowText(GetDlgItem(dialog, IDC_MODEL_NAME)), L"KMX-B7");
    EXPECT_EQ(paneltest::WindowText(GetDlgItem(dialog, IDC_FIRMWARE_VERSION)), L"Ver1.02");
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDC_MODEL_NAME)));
    // No driver file in the system directory.
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_DRIVER_VERSION)));
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(fixture.waitForEnd(kWindowTimeoutMs));
}

}  // namespace
