// The settings dialog, run from the panel's real template in this process while
// a second thread acts as the user: what it shows for the stored values, when
// Apply is enabled, and what Apply, OK and Cancel write and send.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <thread>

#include "CConfigDialog.h"
#include "PanelTestSupport.h"
#include "TestSupport.h"
#include "resource.h"

namespace {

using paneltest::WindowText;

constexpr char kSettingsKey[] = "Software\\Veltrix KMX ASIO";

struct Stored {
    long blockNum, bitResolution, toggleNum, sampleRate;
};

// What the user sees at one moment.
struct Seen {
    std::wstring samples;
    std::wstring latency;
    long sliderPosition = 0;
    bool bit16 = false;
    bool bit24 = false;
    long kernelBuffersIndex = -1;
    bool applyEnabled = false;
};

Seen Look(HWND dialog) {
    Seen seen;
    seen.samples = WindowText(GetDlgItem(dialog, IDC_SAMPLES));
    seen.latency = WindowText(GetDlgItem(dialog, IDC_LATENCY));
    seen.sliderPosition = static_cast<long>(SendDlgItemMessageW(dialog, IDC_BUFFER_SLIDER, TBM_GETPOS, 0, 0));
    seen.bit16 = IsDlgButtonChecked(dialog, IDC_BIT16) == BST_CHECKED;
    seen.bit24 = IsDlgButtonChecked(dialog, IDC_BIT24) == BST_CHECKED;
    seen.kernelBuffersIndex = static_cast<long>(SendDlgItemMessageW(dialog, IDC_KERNEL_BUFFERS, CB_GETCURSEL, 0, 0));
    seen.applyEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_APPLY)) != FALSE;
    return seen;
}

void MoveSlider(HWND dialog, long position) {
    HWND slider = GetDlgItem(dialog, IDC_BUFFER_SLIDER);
    SendMessageW(slider, TBM_SETPOS, TRUE, position);
    SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, position), reinterpret_cast<LPARAM>(slider));
}

void Click(HWND dialog, int id) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void ChooseKernelBuffers(HWND dialog, long index) {
    HWND combo = GetDlgItem(dialog, IDC_KERNEL_BUFFERS);
    SendMessageW(combo, CB_SETCURSEL, index, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_KERNEL_BUFFERS, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

// Runs the dialog with the stored values on this thread; user runs on another
// thread once the dialog is on screen and must close it (closeWith).
INT_PTR RunDialog(const Stored& stored, const std::function<void(HWND)>& user) {
    CConfigDialog dialog(GetModuleHandleW(nullptr));
    dialog.setBlockNum(stored.blockNum);
    dialog.setBitResolution(stored.bitResolution);
    dialog.setToggleNum(stored.toggleNum);
    dialog.setSampleRate(stored.sampleRate);
    const DWORD self = GetCurrentProcessId();
    std::thread person([&] {
        HWND window = paneltest::WaitForTopLevelWindow(self, L"#32770", 20000);
        if (!window) return;
        user(window);
        // Whatever the user did, the dialog ends (a second close is harmless).
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    });
    const INT_PTR result = dialog.doModal();
    person.join();
    return result;
}

long StoredValue(const char* name) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueA(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_ANY, nullptr, &value, &size) != ERROR_SUCCESS)
        return -1;
    return static_cast<long>(value);
}

class ConfigDialog : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        m_language.setNumber(1033);
    }
    testsupport::ScratchSettings m_settings;
    paneltest::ScratchInstallLanguage m_language;
};

TEST_F(ConfigDialog, ShowsTheStoredValues) {
    const struct {
        Stored stored;
        const wchar_t* samples;
        const wchar_t* latency;
        long slider;
        bool bit24;
        long kernelIndex;
    } cases[] = {
        {{4, 1, 3, 44100}, L"256 Sample", L"5.8msec (44100Hz)", 4, true, 1},
        // Truncated, not rounded: 53.3 tenths.
        {{4, 1, 3, 48000}, L"256 Sample", L"5.3msec (48000Hz)", 4, true, 1},
        {{1, 0, 2, 44100}, L"64 Sample", L"1.4msec (44100Hz)", 1, false, 0},
        {{30, 1, 4, 48000}, L"1920 Sample", L"40.0msec (48000Hz)", 30, true, 2},
        // Beyond the slider: its own texts, the thumb at the end.
        {{64, 1, 3, 44100}, L"4096 Sample", L"92.8msec (44100Hz)", 30, true, 1},
    };
    for (const auto& c : cases) {
        Seen seen;
        std::wstring caption;
        RunDialog(c.stored, [&](HWND dialog) {
            seen = Look(dialog);
            caption = WindowText(dialog);
        });
        EXPECT_EQ(seen.samples, c.samples);
        EXPECT_EQ(seen.latency, c.latency);
        EXPECT_EQ(seen.sliderPosition, c.slider) << c.samples;
        EXPECT_EQ(seen.bit24, c.bit24) << c.samples;
        EXPECT_EQ(seen.bit16, !c.bit24) << c.samples;
        EXPECT_EQ(seen.kernelBuffersIndex, c.kernelIndex) << c.samples;
        EXPECT_FALSE(seen.applyEnabled) << c.samples;
        EXPECT_EQ(caption, L"Veltrix KMX ASIO Settings Utility");
    }
}

TEST_F(ConfigDialog, ApplyIsEnabledExactlyWhileAValueDiffersFromTheAppliedOne) {
    Seen afterMove, afterMoveBack, afterBit16, afterBit24, afterKernel, afterKernelBack;
    Seen standardUnchanged, afterChanges, afterStandard;
    Seen bigStart, bigAfterMove;
    RunDialog({4, 1, 3, 44100}, [&](HWND dialog) {
        MoveSlider(dialog, 8);
        afterMove = Look(dialog);
        MoveSlider(dialog, 4);
        afterMoveBack = Look(dialog);
        CheckRadioButton(dialog, IDC_BIT16, IDC_BIT24, IDC_BIT16);
        Click(dialog, IDC_BIT16);
        afterBit16 = Look(dialog);
        CheckRadioButton(dialog, IDC_BIT16, IDC_BIT24, IDC_BIT24);
        Click(dialog, IDC_BIT24);
        afterBit24 = Look(dialog);
        ChooseKernelBuffers(dialog, 2);
        afterKernel = Look(dialog);
        ChooseKernelBuffers(dialog, 1);
        afterKernelBack = Look(dialog);
        Click(dialog, IDC_STANDARD);
        standardUnchanged = Look(dialog);
    });
    EXPECT_TRUE(afterMove.applyEnabled);
    EXPECT_EQ(afterMove.samples, L"512 Sample");
    EXPECT_EQ(afterMove.latency, L"11.6msec (44100Hz)");
    EXPECT_FALSE(afterMoveBack.applyEnabled);
    EXPECT_TRUE(afterBit16.applyEnabled);
    EXPECT_FALSE(afterBit24.applyEnabled);
    EXPECT_TRUE(afterKernel.applyEnabled);
    EXPECT_FALSE(afterKernelBack.applyEnabled);
    EXPECT_FALSE(standardUnchanged.applyEnabled);

    // Standard Setting from other applied values restores 4/1/3 and enables Apply;
    // nothing is written by it.
    RunDialog({10, 0, 2, 44100}, [&](HWND dialog) {
        afterStandard = Look(dialog);
        Click(dialog, IDC_STANDARD);
        afterStandard = Look(dialog);
    });
    EXPECT_TRUE(afterStandard.applyEnabled);
    EXPECT_EQ(afterStandard.sliderPosition, 4);
    EXPECT_TRUE(afterStandard.bit24);
    EXPECT_FALSE(afterStandard.bit16);
    EXPECT_EQ(afterStandard.kernelBuffersIndex, 1);
    EXPECT_EQ(afterStandard.samples, L"256 Sample");
    EXPECT_EQ(StoredValue("blockNum"), -1);

    // A stored 64 stays until the slider moves; then the slider's position counts.
    RunDialog({64, 1, 3, 44100}, [&](HWND dialog) {
        bigStart = Look(dialog);
        MoveSlider(dialog, 30);
        bigAfterMove = Look(dialog);
    });
    EXPECT_FALSE(bigStart.applyEnabled);
    EXPECT_TRUE(bigAfterMove.applyEnabled);
    EXPECT_EQ(bigAfterMove.samples, L"1920 Sample");
}

TEST_F(ConfigDialog, ApplyWritesTheThreeValuesAndTellsTheDriversWindow) {
    paneltest::DriverWindowStub driver;
    ASSERT_TRUE(driver.running());
    Seen afterApply;
    RunDialog({4, 1, 3, 48000}, [&](HWND dialog) {
        MoveSlider(dialog, 8);
        CheckRadioButton(dialog, IDC_BIT16, IDC_BIT24, IDC_BIT16);
        Click(dialog, IDC_BIT16);
        ChooseKernelBuffers(dialog, 0);
        Click(dialog, IDC_APPLY);
        afterApply = Look(dialog);
        // Nothing changed since: a second Apply writes and sends nothing.
        Click(dialog, IDC_APPLY);
    });
    EXPECT_FALSE(afterApply.applyEnabled);
    EXPECT_EQ(StoredValue("blockNum"), 8);
    EXPECT_EQ(StoredValue("bitResolution"), 0);
    EXPECT_EQ(StoredValue("toggleNum"), 2);
    EXPECT_EQ(StoredValue("sampleRate"), -1) << "the sample rate is never written";
    EXPECT_EQ(driver.stop(), 1) << "messages the driver's window received";
}

TEST_F(ConfigDialog, ApplyWithoutARunningDriverStillWrites) {
    ASSERT_EQ(FindWindowW(L"Veltrix_KMX_ASIO_WndProc", nullptr), nullptr);
    RunDialog({4, 1, 3, 44100}, [&](HWND dialog) {
        MoveSlider(dialog, 2);
        Click(dialog, IDC_APPLY);
    });
    EXPECT_EQ(StoredValue("blockNum"), 2);
    EXPECT_EQ(StoredValue("bitResolution"), 1);
    EXPECT_EQ(StoredValue("toggleNum"), 3);
}

TEST_F(ConfigDialog, OkAppliesAndClosesAndCancelWritesNothing) {
    paneltest::DriverWindowStub driver;
    ASSERT_TRUE(driver.running());
    const INT_PTR cancelled = RunDialog({4, 1, 3, 44100}, [&](HWND dialog) {
        MoveSlider(dialog, 12);
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(cancelled, IDCANCEL);
    EXPECT_EQ(StoredValue("blockNum"), -1);

    const INT_PTR accepted = RunDialog({4, 1, 3, 44100}, [&](HWND dialog) {
        MoveSlider(dialog, 12);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    EXPECT_EQ(accepted, IDOK);
    EXPECT_EQ(StoredValue("blockNum"), 12);
    EXPECT_EQ(driver.stop(), 1);
}

TEST_F(ConfigDialog, JapaneseUsesTheDefaultGuiFontEverywhere) {
    const struct {
        DWORD language;
        bool guiFont;
    } cases[] = {{1041, true}, {1033, false}};
    for (const auto& c : cases) {
        m_language.setNumber(c.language);
        LOGFONTW seenFont = {};
        std::wstring description;
        RunDialog({4, 1, 3, 44100}, [&](HWND dialog) {
            HFONT font = reinterpret_cast<HFONT>(SendDlgItemMessageW(dialog, IDC_SAMPLES, WM_GETFONT, 0, 0));
            GetObjectW(font, sizeof(seenFont), &seenFont);
            description = WindowText(GetDlgItem(dialog, IDC_DESCRIPTION));
        });
        LOGFONTW gui = {};
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(gui), &gui);
        EXPECT_EQ(std::wstring(seenFont.lfFaceName) == gui.lfFaceName, c.guiFont) << c.language;
        EXPECT_FALSE(description.empty());
    }
}

}  // namespace
