// The version utility's dialog, run from its real template in this process with
// the virtual controller as the machine's devices, while a second thread acts as
// the user: the firmware row for the controllers connected, plugging and
// unplugging while it is open, the driver row for the file in the system
// directory, its languages, fonts and layout, and how it closes.
#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>
#include <usbiodef.h>

#include <string>
#include <vector>

#include "PanelTestSupport.h"
#include "ScopedDeviceSystem.h"
#include "TamperedDeviceSystem.h"
#include "TestSupport.h"
#include "VersionTestSupport.h"
#include "VirtualController.h"
#include "resource.h"

namespace {

using paneltest::WindowText;
using versiontest::FirmwareRow;
using versiontest::LookAtFirmware;
using versiontest::RunVersionDialog;

constexpr wchar_t kNotConnected[] = L"Your Veltrix KMX is not connected.";
constexpr wchar_t kDriverProblem[] =
    L"There is a problem with the driver configuration. Please reinstall the drivers.";

struct UnitSpec {
    ControllerModel model;
    const char* revision;
    bool present = true;
};

// Connects the units in order; a unit that is not present is unplugged again, so
// its device nodes stay known to the system as an unplugged device's do.
std::vector<UnitId> ConnectAll(VirtualController& controller, const std::vector<UnitSpec>& units) {
    std::vector<UnitId> ids;
    for (const UnitSpec& unit : units) {
        UnitConfig config = DefaultConfig(unit.model);
        config.revision = unit.revision;
        const UnitId id = controller.Connect(unit.model, config);
        if (!unit.present) controller.Unplug(id);
        ids.push_back(id);
    }
    return ids;
}

FirmwareRow ShowFirmware(DeviceSystem& devices) {
    ScopedDeviceSystem installed(devices);
    FirmwareRow seen;
    RunVersionDialog([&](HWND dialog) { seen = LookAtFirmware(dialog); });
    return seen;
}

class VersionDialog : public ::testing::Test {
protected:
    void SetUp() override { m_language.setNumber(1033); }
    paneltest::ScratchInstallLanguage m_language;
};

void ExpectRow(const FirmwareRow& seen, const wchar_t* model, const wchar_t* version, const std::string& what) {
    EXPECT_TRUE(seen.rowShown) << what;
    EXPECT_FALSE(seen.notConnectedShown) << what;
    EXPECT_EQ(seen.model, model) << what;
    EXPECT_EQ(seen.version, version) << what;
    EXPECT_TRUE(seen.furtherRowsHidden) << what;
}

void ExpectNotConnected(const FirmwareRow& seen, const std::string& what) {
    EXPECT_TRUE(seen.notConnectedShown) << what;
    EXPECT_EQ(seen.notConnected, kNotConnected) << what;
    EXPECT_TRUE(seen.rowHidden) << what;
    EXPECT_TRUE(seen.furtherRowsHidden) << what;
}

TEST_F(VersionDialog, FirmwareRowShowsTheFirstPresentControllerInModelOrder) {
    using M = ControllerModel;
    const struct {
        const char* what;
        std::vector<UnitSpec> units;
        const wchar_t* model;  // null: not connected
        const wchar_t* version;
    } cases[] = {
        {"one KMX-B7", {{M::KmxB7, "0102"}}, L"KMX-B7", L"Ver1.02"},
        {"two KMX-A7: the first", {{M::KmxA7, "0102"}, {M::KmxA7, "0203"}}, L"KMX-A7 [1]", L"Ver1.02"},
        {"KMX-NOVA plugged before KMX-A7: table order", {{M::KmxNova, "0300"}, {M::KmxA7, "0105"}}, L"KMX-A7",
         L"Ver1.05"},
        {"known but not present", {{M::KmxA7, "0102", false}}, nullptr, nullptr},
        {"an unplugged KMX-A7 beside a KMX-B7", {{M::KmxA7, "0102", false}, {M::KmxB7, "0207"}}, L"KMX-B7",
         L"Ver2.07"},
        {"no controller", {}, nullptr, nullptr},
        {"five KMX-A7", {{M::KmxA7, "0101"}, {M::KmxA7, "0102"}, {M::KmxA7, "0103"}, {M::KmxA7, "0104"},
                         {M::KmxA7, "0105"}}, L"KMX-A7 [1]", L"Ver1.01"},
        {"revision 0000 is still connected", {{M::KmxB7, "0000"}}, L"KMX-B7", L"Ver0.00"},
        {"revision 1234", {{M::KmxNova, "1234"}}, L"KMX-NOVA", L"Ver12.34"},
        // Conversion stops at the first character that is not a digit.
        {"non-digit inside the revision", {{M::KmxB7, "01X2"}}, L"KMX-B7", L"Ver0.01"},
        {"non-digit revision", {{M::KmxB7, "ABCD"}}, L"KMX-B7", L"Ver0.00"},
        {"revision in lower case is read upper case", {{M::KmxB7, "00ab"}}, L"KMX-B7", L"Ver0.00"},
        // Only the prefix plus exactly four characters names a controller.
        {"three-character revision", {{M::KmxB7, "012"}}, nullptr, nullptr},
        {"five-character revision", {{M::KmxB7, "01020"}}, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        VirtualController controller;
        ConnectAll(controller, c.units);
        const FirmwareRow seen = ShowFirmware(controller);
        if (c.model)
            ExpectRow(seen, c.model, c.version, c.what);
        else
            ExpectNotConnected(seen, c.what);
    }
}

TEST_F(VersionDialog, AnotherVendorsDeviceIsNoController) {
    VirtualController controller;
    controller.AddDistractor(Distractor::OtherVendor);
    ExpectNotConnected(ShowFirmware(controller), "another vendor's USB audio device");
}

TEST_F(VersionDialog, FollowsUnplugAndPlugWhileOpen) {
    VirtualController controller;
    const std::vector<UnitId> ids =
        ConnectAll(controller, {{ControllerModel::KmxA7, "0105"}, {ControllerModel::KmxB7, "0102"}});
    ScopedDeviceSystem installed(controller);
    std::vector<FirmwareRow> seen;
    RunVersionDialog([&](HWND dialog) {
        seen.push_back(LookAtFirmware(dialog));
        // Each call returns once the dialog has handled the WM_DEVICECHANGE messages.
        controller.Unplug(ids[0]);
        seen.push_back(LookAtFirmware(dialog));
        controller.Unplug(ids[1]);
        seen.push_back(LookAtFirmware(dialog));
        controller.Plug(ids[1]);
        seen.push_back(LookAtFirmware(dialog));
        controller.Plug(ids[0]);
        seen.push_back(LookAtFirmware(dialog));
    });
    ASSERT_EQ(seen.size(), 5u);
    ExpectRow(seen[0], L"KMX-A7", L"Ver1.05", "both connected");
    ExpectRow(seen[1], L"KMX-B7", L"Ver1.02", "KMX-A7 unplugged");
    ExpectNotConnected(seen[2], "both unplugged");
    ExpectRow(seen[3], L"KMX-B7", L"Ver1.02", "KMX-B7 plugged back");
    ExpectRow(seen[4], L"KMX-A7", L"Ver1.05", "KMX-A7 plugged back");
}

TEST_F(VersionDialog, DeviceEventsAreAlwaysAnsweredTrueWhateverTheirData) {
    VirtualController controller;
    ConnectAll(controller, {{ControllerModel::KmxB7, "0102"}});
    ScopedDeviceSystem installed(controller);

    DEV_BROADCAST_DEVICEINTERFACE_W usb = {};
    usb.dbcc_size = sizeof(usb);
    usb.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    usb.dbcc_classguid = GUID_DEVINTERFACE_USB_DEVICE;
    // A header that claims to be shorter than the record it names.
    DEV_BROADCAST_HDR cut = {};
    cut.dbch_size = 4;
    cut.dbch_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    DEV_BROADCAST_HDR volume = {};
    volume.dbch_size = sizeof(volume);
    volume.dbch_devicetype = DBT_DEVTYP_VOLUME;

    const struct {
        const char* what;
        WPARAM event;
        const void* data;
    } events[] = {
        {"query remove: never refused", DBT_DEVICEQUERYREMOVE, &usb},
        {"remove pending", DBT_DEVICEREMOVEPENDING, &usb},
        {"remove complete", DBT_DEVICEREMOVECOMPLETE, &usb},
        {"arrival", DBT_DEVICEARRIVAL, &usb},
        {"arrival without data", DBT_DEVICEARRIVAL, nullptr},
        {"removal without data", DBT_DEVICEREMOVECOMPLETE, nullptr},
        {"arrival with a cut header", DBT_DEVICEARRIVAL, &cut},
        {"arrival of a volume", DBT_DEVICEARRIVAL, &volume},
        {"device nodes changed", DBT_DEVNODES_CHANGED, nullptr},
        {"configuration changed", DBT_CONFIGCHANGED, nullptr},
    };
    std::vector<LRESULT> answers;
    FirmwareRow after;
    RunVersionDialog([&](HWND dialog) {
        for (const auto& e : events)
            answers.push_back(
                SendMessageW(dialog, WM_DEVICECHANGE, e.event, reinterpret_cast<LPARAM>(e.data)));
        after = LookAtFirmware(dialog);
    });
    ASSERT_EQ(answers.size(), sizeof(events) / sizeof(events[0]));
    for (size_t i = 0; i < answers.size(); ++i) EXPECT_EQ(answers[i], TRUE) << events[i].what;
    ExpectRow(after, L"KMX-B7", L"Ver1.02", "after the events");
}

TEST_F(VersionDialog, BadHardwareIdsAndDeviceIdsAreShownAsNotFound) {
    const struct {
        const char* what;
        HardwareIdFault hardwareId;
        bool failDeviceSets;
        const wchar_t* model;  // null: not connected
    } cases[] = {
        {"hardware IDs typed REG_SZ", HardwareIdFault::NotMultiString, false, nullptr},
        {"hardware IDs of one byte", HardwareIdFault::OneByte, false, nullptr},
        // The walk ends with the data, terminator or not.
        {"one unterminated hardware ID", HardwareIdFault::Unterminated, false, L"KMX-B7"},
        // Bytes beyond the size reported are not read.
        {"hardware IDs reported shorter than written", HardwareIdFault::ReportedShort, false, nullptr},
        {"no device set", HardwareIdFault::None, true, nullptr},
    };
    for (const auto& c : cases) {
        VirtualController controller;
        ConnectAll(controller, {{ControllerModel::KmxB7, "0102"}});
        TamperedDeviceSystem tampered(controller);
        tampered.hardwareIdFault = c.hardwareId;
        tampered.failDeviceSets = c.failDeviceSets;
        const FirmwareRow seen = ShowFirmware(tampered);
        if (c.model)
            ExpectRow(seen, c.model, L"Ver1.02", c.what);
        else
            ExpectNotConnected(seen, c.what);
    }
}

TEST_F(VersionDialog, AControllerWhoseDeviceIdCannotBeReadIsNotCounted) {
    // The firmware scan does not need the device ID, so the row shows at start;
    // the count does, so an unplug it cannot count goes unnoticed until the next
    // change it can count.
    const DeviceIdFault faults[] = {DeviceIdFault::NoChild, DeviceIdFault::SizeTooSmall, DeviceIdFault::ReadFails};
    for (DeviceIdFault fault : faults) {
        VirtualController controller;
        const std::vector<UnitId> ids = ConnectAll(controller, {{ControllerModel::KmxB7, "0102"}});
        TamperedDeviceSystem tampered(controller);
        tampered.deviceIdFault = fault;
        ScopedDeviceSystem installed(tampered);
        FirmwareRow before;
        FirmwareRow afterUnplug;
        RunVersionDialog([&](HWND dialog) {
            before = LookAtFirmware(dialog);
            controller.Unplug(ids[0]);
            afterUnplug = LookAtFirmware(dialog);
        });
        const std::string what = "device ID fault " + std::to_string(static_cast<int>(fault));
        ExpectRow(before, L"KMX-B7", L"Ver1.02", what);
        ExpectRow(afterUnplug, L"KMX-B7", L"Ver1.02", what + ": no count change seen");
    }
}

struct DriverRow {
    std::wstring label;
    std::wstring version;
    bool versionShown = false;
    bool lineShown = false;
    bool labelCentred = false;
};

DriverRow LookAtDriver(HWND dialog) {
    DriverRow row;
    HWND label = GetDlgItem(dialog, IDC_DRIVER_LABEL);
    row.label = WindowText(label);
    row.version = WindowText(GetDlgItem(dialog, IDC_DRIVER_VERSION));
    row.versionShown = IsWindowVisible(GetDlgItem(dialog, IDC_DRIVER_VERSION)) != FALSE;
    row.lineShown = IsWindowVisible(GetDlgItem(dialog, IDC_DRIVER_LINE)) != FALSE;
    row.labelCentred = (GetWindowLongW(label, GWL_STYLE) & SS_CENTERIMAGE) != 0;
    return row;
}

TEST_F(VersionDialog, DriverRowShowsTheSystemDirectorysDriverVersion) {
    const struct {
        const char* what;
        std::string file;  // empty: no driver file
        DWORD language;
        const wchar_t* label;
        const wchar_t* version;  // null: the problem text, no version
    } cases[] = {
        {"the built driver", testsupport::DriverDllPath(), 1033, L"Windows Driver Pack", L"Ver1.100"},
        {"the built driver in Italian", testsupport::DriverDllPath(), 1040, L"Pacchetto di driver Windows",
         L"versione 1.100"},
        {"the built driver in Traditional Chinese", testsupport::DriverDllPath(), 1028,
         L"Windows驅動程式封包", L"1.100版"},
        {"the version under code page 0", versiontest::FixturePath("code_page_zero"), 1033,
         L"Windows Driver Pack", L"Ver2.05"},
        {"no driver file", "", 1033, kDriverProblem, nullptr},
        {"strings under another language only", versiontest::FixturePath("other_language"), 1033, kDriverProblem,
         nullptr},
        {"no ProductVersion", versiontest::FixturePath("no_product_version"), 1033, kDriverProblem, nullptr},
        {"numeric version only", versiontest::FixturePath("empty"), 1033, kDriverProblem, nullptr},
        {"no version resource", versiontest::FixturePath("no_resource"), 1033, kDriverProblem, nullptr},
        {"no driver file, German", "", 1031,
         L"Es gibt ein Problem mit der Treiber-Konfiguration. Bitte installieren Sie die Treiber erneut.", nullptr},
    };
    VirtualController noController;
    ScopedDeviceSystem installed(noController);
    for (const auto& c : cases) {
        versiontest::SystemDriverFile driverFile;
        if (!c.file.empty()) {
            ASSERT_TRUE(driverFile.install(c.file)) << c.what << ": " << GetLastError();
        }
        m_language.setNumber(c.language);
        DriverRow row;
        RunVersionDialog([&](HWND dialog) { row = LookAtDriver(dialog); });
        EXPECT_EQ(row.label, c.label) << c.what;
        if (c.version) {
            EXPECT_EQ(row.version, c.version) << c.what;
            EXPECT_TRUE(row.versionShown && row.lineShown && row.labelCentred) << c.what;
        } else {
            // The message starts at the top of the two-line label.
            EXPECT_FALSE(row.versionShown || row.lineShown || row.labelCentred) << c.what;
        }
    }
}

std::wstring FaceOf(HFONT font) {
    LOGFONTW logFont = {};
    GetObjectW(font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT), sizeof(logFont), &logFont);
    return logFont.lfFaceName;
}

BOOL CALLBACK collectChild(HWND child, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
    return TRUE;
}

TEST_F(VersionDialog, TextsAndFontFollowTheInstallerLanguage) {
    const std::wstring defaultGuiFace = FaceOf(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
    const struct {
        DWORD language;  // 0: none in the registry
        const wchar_t* title;
        const wchar_t* driverGroup;
        const wchar_t* firmwareGroup;
        const wchar_t* face;  // of every control
    } cases[] = {
        {2052, L"Veltrix KMX版本", L"驱动程序", L"固件", defaultGuiFace.c_str()},
        {1041, L"Veltrix KMXバージョン", L"ドライバ", L"ファームウェア", defaultGuiFace.c_str()},
        {1042, L"Veltrix KMX 버전", L"드라이버", L"펌웨어", defaultGuiFace.c_str()},
        {1036, L"Version de Veltrix KMX", L"Pilote", L"Microprogramme", L"Arial"},
        {1046, L"Versão Veltrix KMX", L"Driver", L"Firmware", L"Arial"},
        {0, L"Veltrix KMX Version", L"Driver", L"Firmware", L"Arial"},
    };
    VirtualController noController;
    ScopedDeviceSystem installed(noController);
    for (const auto& c : cases) {
        m_language.clear();
        if (c.language) m_language.setNumber(c.language);
        std::wstring title, driverGroup, firmwareGroup, ok;
        std::vector<std::wstring> faces;
        RunVersionDialog([&](HWND dialog) {
            title = WindowText(dialog);
            driverGroup = WindowText(GetDlgItem(dialog, IDC_DRIVER_GROUP));
            firmwareGroup = WindowText(GetDlgItem(dialog, IDC_FIRMWARE_GROUP));
            ok = WindowText(GetDlgItem(dialog, IDOK));
            std::vector<HWND> children;
            EnumChildWindows(dialog, collectChild, reinterpret_cast<LPARAM>(&children));
            // The etched lines carry no text, and so no font.
            for (HWND child : children)
                if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ETCHEDVERT)
                    faces.push_back(FaceOf(reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0))));
        });
        EXPECT_EQ(title, c.title) << c.language;
        EXPECT_EQ(driverGroup, c.driverGroup) << c.language;
        EXPECT_EQ(firmwareGroup, c.firmwareGroup) << c.language;
        EXPECT_EQ(ok, L"OK") << c.language;
        EXPECT_EQ(faces.size(), 14u) << c.language;
        for (const std::wstring& face : faces) EXPECT_EQ(face, c.face) << c.language;
    }
}

TEST_F(VersionDialog, TemplateHasEveryControlInPlaceAndNoCloseBox) {
    // x, y, width, height in dialog units, as the template gives them.
    const struct {
        int id;
        RECT units;
    } controls[] = {
        {IDC_DRIVER_GROUP, {10, 7, 217, 46}},         {IDC_DRIVER_LABEL, {26, 20, 190, 24}},
        {IDC_DRIVER_LINE, {135, 18, 1, 28}},          {IDC_DRIVER_VERSION, {139, 28, 86, 9}},
        {IDC_FIRMWARE_GROUP, {10, 59, 217, 74}},      {IDC_NOT_CONNECTED, {27, 70, 194, 13}},
        {IDC_MODEL_NAME, {27, 68, 106, 13}},          {IDC_FIRMWARE_LINE, {135, 68, 1, 13}},
        {IDC_FIRMWARE_VERSION, {139, 68, 74, 13}},    {IDC_MODEL_NAME_2, {27, 82, 100, 13}},
        {IDC_FIRMWARE_LINE_2, {135, 82, 1, 13}},      {IDC_FIRMWARE_VERSION_2, {139, 82, 74, 13}},
        {IDC_MODEL_NAME_3, {27, 96, 100, 13}},        {IDC_FIRMWARE_LINE_3, {135, 96, 1, 13}},
        {IDC_FIRMWARE_VERSION_3, {139, 96, 74, 13}},  {IDC_MODEL_NAME_4, {27, 110, 100, 13}},
        {IDC_FIRMWARE_LINE_4, {135, 110, 1, 13}},     {IDC_FIRMWARE_VERSION_4, {139, 110, 74, 13}},
        {IDOK, {94, 142, 50, 14}},
    };
    VirtualController noController;
    ScopedDeviceSystem installed(noController);
    LONG style = 0, exStyle = 0;
    RECT client = {};
    RECT clientExpected = {0, 0, 238, 163};
    std::vector<std::pair<RECT, RECT>> places;  // seen, expected, in pixels
    LONG okStyle = 0, lineStyle = 0;
    RunVersionDialog([&](HWND dialog) {
        style = GetWindowLongW(dialog, GWL_STYLE);
        exStyle = GetWindowLongW(dialog, GWL_EXSTYLE);
        GetClientRect(dialog, &client);
        MapDialogRect(dialog, &clientExpected);
        for (const auto& control : controls) {
            RECT seen = {};
            HWND window = GetDlgItem(dialog, control.id);
            GetWindowRect(window, &seen);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&seen), 2);
            // Position and size convert separately, as the dialog manager does.
            RECT expected = control.units;
            MapDialogRect(dialog, &expected);
            expected.right += expected.left;
            expected.bottom += expected.top;
            places.push_back({seen, expected});
        }
        okStyle = GetWindowLongW(GetDlgItem(dialog, IDOK), GWL_STYLE);
        lineStyle = GetWindowLongW(GetDlgItem(dialog, IDC_FIRMWARE_LINE), GWL_STYLE);
    });
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_FALSE(style & WS_SYSMENU) << "no system menu, so no close box";
    EXPECT_TRUE(exStyle & WS_EX_APPWINDOW) << "a taskbar button";
    EXPECT_EQ(client.right, clientExpected.right);
    EXPECT_EQ(client.bottom, clientExpected.bottom);
    ASSERT_EQ(places.size(), sizeof(controls) / sizeof(controls[0]));
    for (size_t i = 0; i < places.size(); ++i) {
        const RECT& seen = places[i].first;
        RECT expected = places[i].second;
        // An etched line (one unit wide) is given its length by the static control
        // itself; its place and width are the template's.
        if (controls[i].units.right == 1) expected.bottom = seen.bottom;
        EXPECT_TRUE(EqualRect(&seen, &expected))
            << "control " << controls[i].id << " at " << seen.left << "," << seen.top << "-" << seen.right << ","
            << seen.bottom << ", expected " << expected.left << "," << expected.top << "-" << expected.right << ","
            << expected.bottom;
    }
    EXPECT_EQ(okStyle & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(lineStyle & SS_TYPEMASK, SS_ETCHEDVERT);
}

// Waits until the dialog's window is gone, so the runner's own closing comes after.
void WaitUntilClosed(HWND dialog) {
    for (int i = 0; i < 500 && IsWindow(dialog); ++i) Sleep(20);
}

TEST_F(VersionDialog, OkEnterAndEscapeCloseIt) {
    VirtualController noController;
    ScopedDeviceSystem installed(noController);
    const struct {
        const char* what;
        UINT message;
        WPARAM key;
        INT_PTR result;
    } closers[] = {
        {"Escape", WM_KEYDOWN, VK_ESCAPE, IDCANCEL},
        {"Enter: the default button", WM_KEYDOWN, VK_RETURN, IDOK},
        {"a click on OK", BM_CLICK, 0, IDOK},
    };
    for (const auto& c : closers) {
        const INT_PTR result = RunVersionDialog([&](HWND dialog) {
            HWND ok = GetDlgItem(dialog, IDOK);
            PostMessageW(ok, c.message, c.key, 0);
            WaitUntilClosed(dialog);
        });
        EXPECT_EQ(result, c.result) << c.what;
    }
}

}  // namespace
