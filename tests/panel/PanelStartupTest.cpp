// The real panel program: one per machine, the error box without a driver, and
// the dialog with the driver registered by regsvr32.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PanelTestSupport.h"
#include "TestSupport.h"

namespace {

// The static text of a message box carries this control ID.
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr int kSliderId = 1007;

class PanelStartup : public ::testing::Test {
protected:
    void SetUp() override { m_language.setNumber(1033); }
    void TearDown() override {
        testsupport::Regsvr32(testsupport::DriverDllPath(), true);
        testsupport::DeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO");
    }
    paneltest::ScratchInstallLanguage m_language;
    testsupport::ScratchSettings m_settings;
};

TEST_F(PanelStartup, WithoutTheDriverShowsTheErrorBoxAndEnds) {
    testsupport::Regsvr32(testsupport::DriverDllPath(), true);
    testsupport::DeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO");
    testsupport::RunningProgram panel(paneltest::PanelPath());
    ASSERT_TRUE(panel.started);
    HWND box = paneltest::WaitForTopLevelWindow(panel.info.dwProcessId, L"#32770", 20000);
    ASSERT_NE(box, nullptr) << "no error box appeared";
    EXPECT_EQ(paneltest::WindowText(box), L"Veltrix KMX ASIO Settings Utility");
    EXPECT_EQ(paneltest::WindowText(GetDlgItem(box, kMessageBoxTextId)),
              L"The Veltrix KMX ASIO drivers have not been installed.");
    EXPECT_EQ(GetDlgItem(box, kSliderId), nullptr) << "the settings dialog must not show";
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(panel.waitForEnd(20000));
}

TEST_F(PanelStartup, WithTheDriverShowsTheDialogAndASecondPanelEndsSilently) {
    ASSERT_TRUE(testsupport::Regsvr32(testsupport::DriverDllPath()));
    testsupport::RunningProgram first(paneltest::PanelPath());
    ASSERT_TRUE(first.started);
    HWND dialog = paneltest::WaitForTopLevelWindow(first.info.dwProcessId, L"#32770", 20000);
    ASSERT_NE(dialog, nullptr);
    EXPECT_NE(GetDlgItem(dialog, kSliderId), nullptr);
    EXPECT_EQ(paneltest::WindowText(GetDlgItem(dialog, 1004)), L"256 Sample");

    testsupport::RunningProgram second(paneltest::PanelPath());
    ASSERT_TRUE(second.started);
    EXPECT_TRUE(second.waitForEnd(20000)) << "a second panel must end while the first shows its dialog";
    EXPECT_EQ(paneltest::WaitForTopLevelWindow(second.info.dwProcessId, L"#32770", 0), nullptr);

    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(first.waitForEnd(20000));

    // With the first one gone, a new panel shows its dialog again.
    testsupport::RunningProgram third(paneltest::PanelPath());
    HWND again = paneltest::WaitForTopLevelWindow(third.info.dwProcessId, L"#32770", 20000);
    ASSERT_NE(again, nullptr);
    PostMessageW(again, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(third.waitForEnd(20000));
}

}  // namespace
