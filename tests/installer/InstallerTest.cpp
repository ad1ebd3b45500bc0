// The setup program Veltrix_KMX_Setup.exe on a machine of its own: a Wine prefix
// made afresh for this program (run_in_fresh_prefix.sh), so that everything it
// finds was put there by the setup program under test. Silent installs in
// several languages, what they put in place and register, the installed driver
// used by a host through COM, its control panel button, the installed version
// utility, upgrades in place, and uninstalling (once, twice, with the driver file
// already gone).
//
// The program is a 32-bit one and runs in 32-bit and 64-bit prefixes alike. On
// 64-bit Windows, VELTRIX_SETUP_X64_BIN (a Linux path) names the folder of the
// x64 files the setup program was built with (and of the x64 host and control
// panel probe); unset, the setup program carries the 32-bit files only.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "PanelTestSupport.h"
#include "ProcessTree.h"
#include "TestSupport.h"
#include "resource.h"

namespace {

constexpr DWORD kSetupTimeoutMs = 60000;
constexpr DWORD kWindowTimeoutMs = 20000;
constexpr long kSetupGaveUp = 2;
constexpr long kSetupCouldNotReplaceFile = 4;

constexpr char kProductKey[] = "Software\\Veltrix\\Veltrix KMX";
constexpr char kVendorKey[] = "Software\\Veltrix";
constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Veltrix KMX ASIO";
constexpr char kClassKey[] = "CLSID\\{3C71A0E2-58B4-4D0F-9A26-1E7B40C8D5F3}";
constexpr char kAsioDriverKey[] = "SOFTWARE\\ASIO\\Veltrix KMX ASIO";
constexpr char kForeignAsioDriverKey[] = "SOFTWARE\\ASIO\\Another Vendor ASIO";
constexpr char kSettingsKey[] = "Software\\Veltrix KMX ASIO";
constexpr char kDriverFile[] = "Veltrix_KMX_ASIO.dll";
constexpr char kPanelFile[] = "Veltrix_KMX_ASIO_Config.exe";
constexpr char kVersionFile[] = "Veltrix_KMX_Version.exe";
constexpr char kUninstallerFile[] = "uninstall.exe";

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
    return text;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

bool Is64BitWindows() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::string WindowsDirectory() {
    char path[MAX_PATH] = {};
    GetWindowsDirectoryA(path, MAX_PATH);
    return path;
}

std::string KnownFolder(int csidl) {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

// "/work/x/bin" as Wine's Z: drive shows it.
std::string FromLinuxPath(const char* path) {
    std::string windows = std::string("Z:") + path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string FileContents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool ReadValue(HKEY root, REGSAM view, const char* key, const char* name, DWORD* type, std::string* data) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key, 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return false;
    BYTE buffer[1024] = {};
    DWORD size = sizeof(buffer) - 1;
    const bool read = RegQueryValueExA(opened, name, nullptr, type, buffer, &size) == ERROR_SUCCESS;
    RegCloseKey(opened);
    if (read) data->assign(reinterpret_cast<const char*>(buffer), size);
    return read;
}

bool KeyPresent(HKEY root, REGSAM view, const char* key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key, 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

void DeleteTree(HKEY root, REGSAM view, const char* key) {
    const char* slash = strrchr(key, '\\');
    std::string parent(key, slash - key);
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, parent.c_str(), 0, KEY_ALL_ACCESS | view, &opened) != ERROR_SUCCESS) return;
    RegDeleteTreeA(opened, slash + 1);
    RegDeleteKeyExA(opened, slash + 1, view, 0);
    RegCloseKey(opened);
}

std::string ShortcutTarget(const std::string& link) {
    IShellLinkA* shellLink = nullptr;
    std::string target = "<unreadable>";
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&shellLink))))
        return target;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        std::wstring wide(link.begin(), link.end());
        char path[MAX_PATH] = {};
        if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ)) && SUCCEEDED(shellLink->GetPath(path, MAX_PATH, nullptr, 0)))
            target = path;
        file->Release();
    }
    shellLink->Release();
    return target;
}

// A started program of ours, ended when the object goes.
struct Program {
    PROCESS_INFORMATION info = {};
    bool started = false;
    explicit Program(const std::string& path) {
        std::string command = Quoted(path);
        std::vector<char> line(command.begin(), command.end());
        line.push_back('\0');
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
    }
    bool waitForEnd(DWORD timeoutMs) const {
        return started && WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0;
    }
    ~Program() {
        if (!started) return;
        if (!waitForEnd(0)) TerminateProcess(info.hProcess, 1);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
};

std::string ProcessImage(DWORD processId) {
    std::string image;
    if (HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId)) {
        char path[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        if (QueryFullProcessImageNameA(process, 0, path, &size)) image = path;
        CloseHandle(process);
    }
    return image;
}

struct DialogSearch {
    std::string image;
    HWND found;
};

BOOL CALLBACK FindDialogOfImage(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<DialogSearch*>(context);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (IsWindowVisible(window) && lstrcmpW(className, L"#32770") == 0 &&
        Lower(ProcessImage(processId)) == Lower(search->image)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The dialog of a process started from the program file image, however started.
HWND WaitForDialogOf(const std::string& image) {
    DialogSearch search = {image, nullptr};
    const DWORD start = GetTickCount();
    while (!search.found && GetTickCount() - start < kWindowTimeoutMs) {
        EnumWindows(FindDialogOfImage, reinterpret_cast<LPARAM>(&search));
        if (!search.found) Sleep(50);
    }
    return search.found;
}

// What one installation is expected to consist of, for the Windows this runs on.
struct Layout {
    struct File {
        std::string installed;  // as this (32-bit) process reaches it
        std::string built;      // the build's file it must equal
    };
    struct View {
        REGSAM flag;
        std::string panel;       // "AsioConfig"
        std::string driver;      // registered server path, lower case
        std::string controlPanelProbe;
        std::string host;
    };
    std::string installDir;
    std::string shortcutFolder;
    REGSAM uninstallEntryView;
    std::vector<File> files;
    std::vector<View> views;

    static Layout ForThisWindows() {
        Layout layout;
        const std::string bin32 = testsupport::BuildBinDirectory();
        const std::string windows = Lower(WindowsDirectory());
        layout.shortcutFolder = KnownFolder(CSIDL_COMMON_PROGRAMS) + "\\Veltrix KMX";
        // A 32-bit process sees Program Files (x86) under CSIDL_PROGRAM_FILES.
        const std::string programFiles32 = KnownFolder(CSIDL_PROGRAM_FILES) + "\\Veltrix\\Veltrix KMX";
        if (!Is64BitWindows()) {
            const std::string system = windows + "\\system32";
            layout.installDir = programFiles32;
            layout.uninstallEntryView = 0;
            layout.files = {{system + "\\" + kDriverFile, bin32 + "\\" + kDriverFile},
                            {layout.installDir + "\\" + kPanelFile, bin32 + "\\" + kPanelFile},
                            {layout.installDir + "\\" + kVersionFile, bin32 + "\\" + kVersionFile}};
            layout.views = {{0, layout.installDir + "\\" + kPanelFile, Lower(system + "\\" + kDriverFile),
                             bin32 + "\\kmx_control_panel_probe.exe", bin32 + "\\kmx_asio_host.exe"}};
            return layout;
        }
        const std::string wow64 = windows + "\\syswow64";
        layout.uninstallEntryView = KEY_WOW64_64KEY;
        const char* x64Bin = std::getenv("VELTRIX_SETUP_X64_BIN");
        if (!x64Bin || !*x64Bin) {
            layout.installDir = programFiles32;
            const std::string panel = layout.installDir + "\\" + kPanelFile;
            layout.files = {{wow64 + "\\" + kDriverFile, bin32 + "\\" + kDriverFile},
                            {panel, bin32 + "\\" + kPanelFile},
                            {layout.installDir + "\\" + kVersionFile, bin32 + "\\" + kVersionFile}};
            layout.views = {{KEY_WOW64_32KEY, panel, Lower(wow64 + "\\" + kDriverFile),
                             bin32 + "\\kmx_control_panel_probe.exe", bin32 + "\\kmx_asio_host.exe"}};
            return layout;
        }
        const std::string bin64 = FromLinuxPath(x64Bin);
        char programFiles64[MAX_PATH] = {};
        GetEnvironmentVariableA("ProgramW6432", programFiles64, MAX_PATH);
        layout.installDir = std::string(programFiles64) + "\\Veltrix\\Veltrix KMX";
        // Sysnative: System32 itself, which a 32-bit process otherwise sees as SysWOW64.
        const std::string native = windows + "\\sysnative";
        const std::string panel64 = layout.installDir + "\\" + kPanelFile;
        const std::string panel32 = layout.installDir + "\\x86\\" + kPanelFile;
        layout.files = {{native + "\\" + kDriverFile, bin64 + "\\" + kDriverFile},
                        {wow64 + "\\" + kDriverFile, bin32 + "\\" + kDriverFile},
                        {panel64, bin64 + "\\" + kPanelFile},
                        {panel32, bin32 + "\\" + kPanelFile},
                        {layout.installDir + "\\" + kVersionFile, bin64 + "\\" + kVersionFile}};
        layout.views = {{KEY_WOW64_64KEY, panel64, Lower(windows + "\\system32\\" + kDriverFile),
                         bin64 + "\\kmx_control_panel_probe.exe", bin64 + "\\kmx_asio_host.exe"},
                        {KEY_WOW64_32KEY, panel32, Lower(wow64 + "\\" + kDriverFile),
                         bin32 + "\\kmx_control_panel_probe.exe", bin32 + "\\kmx_asio_host.exe"}};
        return layout;
    }

    std::string uninstaller() const { return installDir + "\\" + kUninstallerFile; }
    std::string versionUtility() const { return installDir + "\\" + kVersionFile; }
    // Both views, also on 32-bit Windows where the flags change nothing.
    static std::vector<REGSAM> AllViews() { return {KEY_WOW64_32KEY, KEY_WOW64_64KEY}; }
};

class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        ASSERT_TRUE(FileExists(setupProgram())) << setupProgram() << " was not built";
        ASSERT_FALSE(FileExists(m_layout.uninstaller())) << "an earlier test left an installation behind";
    }
    void TearDown() override {
        // A failed test must not leave its installation to the next one.
        if (FileExists(m_layout.uninstaller())) uninstall();
        CoUninitialize();
    }

    // This build's setup program, or the one VELTRIX_SETUP_PROGRAM names (a Linux
    // path): the 64-bit build's, which carries both bitnesses' files.
    static std::string setupProgram() {
        const char* other = std::getenv("VELTRIX_SETUP_PROGRAM");
        if (other && *other) return FromLinuxPath(other);
        return testsupport::BuildBinDirectory() + "\\Veltrix_KMX_Setup.exe";
    }

    long install(const std::string& arguments) {
        return RunAndWaitForChildren(Quoted(setupProgram()) + " /S " + arguments, kSetupTimeoutMs);
    }
    long uninstall() { return RunAndWaitForChildren(Quoted(m_layout.uninstaller()) + " /S", kSetupTimeoutMs); }

    // Every file, shortcut, value and registration of an installation in this language.
    void expectInstalled(DWORD language) {
        SCOPED_TRACE("installed in language " + std::to_string(language));
        for (const Layout::File& file : m_layout.files) {
            EXPECT_TRUE(FileExists(file.installed)) << file.installed;
            EXPECT_TRUE(FileContents(file.installed) == FileContents(file.built)) << file.installed << " is not the built file";
        }
        EXPECT_TRUE(FileExists(m_layout.uninstaller()));
        EXPECT_EQ(Lower(ShortcutTarget(m_layout.shortcutFolder + "\\Veltrix KMX ASIO Settings.lnk")),
                  Lower(m_layout.installDir + "\\" + kPanelFile));
        EXPECT_EQ(Lower(ShortcutTarget(m_layout.shortcutFolder + "\\Veltrix KMX Version.lnk")),
                  Lower(m_layout.versionUtility()));

        DWORD type = 0;
        std::string data;
        for (const Layout::View& view : m_layout.views) {
            SCOPED_TRACE("registry view flag " + std::to_string(view.flag));
            ASSERT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, view.flag, kProductKey, "AsioConfig", &type, &data));
            EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
            EXPECT_EQ(data, view.panel + '\0');
            ASSERT_TRUE(ReadValue(HKEY_CLASSES_ROOT, view.flag, (kClassKey + std::string("\\InprocServer32")).c_str(),
                                  nullptr, &type, &data));
            EXPECT_EQ(data, view.driver + '\0');
            ASSERT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, view.flag, kAsioDriverKey, "CLSID", &type, &data));
            EXPECT_EQ(data, std::string("{3C71A0E2-58B4-4D0F-9A26-1E7B40C8D5F3}") + '\0');
        }
        if (Is64BitWindows() && m_layout.views.size() == 1) {
            // Only a 32-bit driver: no panel for the 64-bit view, which has no driver.
            EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, kProductKey, "AsioConfig", &type, &data));
        }
        for (REGSAM view : Layout::AllViews()) {
            ASSERT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, view, kProductKey, "Veltrix KMXInstallLanguage", &type, &data));
            EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
            ASSERT_EQ(data.size(), sizeof(DWORD));
            DWORD stored = 0;
            memcpy(&stored, data.data(), sizeof(stored));
            EXPECT_EQ(stored, language);
            ASSERT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, view, kUninstallKey, "NSIS:Language", &type, &data));
            EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
            EXPECT_EQ(data, std::to_string(language) + '\0');
        }
        const struct {
            const char* name;
            std::string text;
        } entries[] = {
            {"DisplayName", "Veltrix KMX ASIO Driver"},
            {"DisplayVersion", "1.100.000.002"},
            {"Publisher", "Veltrix"},
            {"UninstallString", Quoted(m_layout.uninstaller())},
        };
        for (const auto& entry : entries) {
            ASSERT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, m_layout.uninstallEntryView, kUninstallKey, entry.name, &type, &data))
                << entry.name;
            EXPECT_EQ(data, entry.text + '\0') << entry.name;
        }
    }

    // Nothing the setup program wrote is left.
    void expectNothingLeft() {
        for (const Layout::File& file : m_layout.files) EXPECT_FALSE(FileExists(file.installed)) << file.installed;
        for (const std::string& path : {m_layout.uninstaller(), m_layout.installDir + "\\x86", m_layout.installDir,
                                        m_layout.installDir.substr(0, m_layout.installDir.rfind('\\')),
                                        m_layout.shortcutFolder})
            EXPECT_FALSE(FileExists(path)) << path;
        for (REGSAM view : Layout::AllViews()) {
            for (const char* key : {kProductKey, kVendorKey, kUninstallKey, kAsioDriverKey})
                EXPECT_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, view, key)) << key << " in view " << view;
            EXPECT_FALSE(KeyPresent(HKEY_CLASSES_ROOT, view, kClassKey)) << "view " << view;
        }
    }

    // The installed version utility's driver row and caption.
    void expectVersionUtilityShows(const std::wstring& driverVersion, const std::wstring& caption) {
        Program utility(m_layout.versionUtility());
        ASSERT_TRUE(utility.started);
        HWND dialog = paneltest::WaitForTopLevelWindow(utility.info.dwProcessId, L"#32770", kWindowTimeoutMs);
        ASSERT_NE(dialog, nullptr) << "the installed version utility showed no window";
        EXPECT_EQ(paneltest::WindowText(GetDlgItem(dialog, IDC_DRIVER_VERSION)), driverVersion);
        EXPECT_EQ(paneltest::WindowText(dialog), caption);
        PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        EXPECT_TRUE(utility.waitForEnd(kWindowTimeoutMs));
    }

    Layout m_layout = Layout::ForThisWindows();
};

TEST_F(Installer, SilentInstallPutsEverythingInPlaceAndTheUninstallerRemovesIt) {
    // The user's settings and another vendor's driver must outlive the uninstaller.
    testsupport::WriteDword(HKEY_CURRENT_USER, kSettingsKey, "blockNum", 8);
    for (REGSAM view : Layout::AllViews()) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kForeignAsioDriverKey, 0, nullptr, 0, KEY_ALL_ACCESS | view,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    ASSERT_EQ(install("/LANG=1033"), 0);
    expectInstalled(1033);

    for (const Layout::View& view : m_layout.views) {
        SCOPED_TRACE(view.host);
        // There is no controller here: the real driver is found and created through
        // the ASIO list and COM, and then reports that it found no device.
        std::string output;
        EXPECT_EQ(testsupport::RunProgramCapturingOutput(Quoted(view.host) + " --seconds 1", &output), 1) << output;
        EXPECT_NE(output.find(view.driver), std::string::npos) << output;
        EXPECT_EQ(output.find("(file missing)"), std::string::npos) << output;
        EXPECT_NE(output.find("init failed"), std::string::npos) << output;
        EXPECT_NE(output.find("connect the controller"), std::string::npos) << output;

        // The driver's control panel call starts the panel named for this view,
        // and the panel finds the driver registered (no error box).
        EXPECT_EQ(testsupport::RunProgram(Quoted(view.controlPanelProbe)), 0);
        HWND panel = WaitForDialogOf(view.panel);
        ASSERT_NE(panel, nullptr) << view.panel << " showed no window";
        EXPECT_EQ(paneltest::WindowText(panel), L"Veltrix KMX ASIO Settings Utility");
        DWORD panelProcessId = 0;
        GetWindowThreadProcessId(panel, &panelProcessId);
        HANDLE panelProcess = OpenProcess(SYNCHRONIZE, FALSE, panelProcessId);
        PostMessageW(panel, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(WaitForSingleObject(panelProcess, kWindowTimeoutMs), WAIT_OBJECT_0) << "the panel did not close";
        CloseHandle(panelProcess);
    }
    expectVersionUtilityShows(L"Ver1.100", L"Veltrix KMX Version");

    ASSERT_EQ(uninstall(), 0);
    expectNothingLeft();
    DWORD type = 0;
    std::string data;
    EXPECT_TRUE(ReadValue(HKEY_CURRENT_USER, 0, kSettingsKey, "blockNum", &type, &data)) << "the user's settings stay";
    for (REGSAM view : Layout::AllViews())
        EXPECT_TRUE(KeyPresent(HKEY_LOCAL_MACHINE, view, kForeignAsioDriverKey)) << "view " << view;
    for (REGSAM view : Layout::AllViews()) DeleteTree(HKEY_LOCAL_MACHINE, view, kForeignAsioDriverKey);
    testsupport::DeleteTree(HKEY_CURRENT_USER, kSettingsKey);
}

// The setup program as a person uses it: the language page lists the languages
// of the programs' string tables, and the one chosen there is stored.
TEST_F(Installer, TheLanguagePageOffersTheProgramsLanguagesAndStoresTheChoice) {
    Program setup(setupProgram());
    ASSERT_TRUE(setup.started);
    HWND page = paneltest::WaitForTopLevelWindow(setup.info.dwProcessId, L"#32770", kWindowTimeoutMs);
    ASSERT_NE(page, nullptr) << "no language page";
    HWND list = FindWindowExW(page, nullptr, L"ComboBox", nullptr);
    ASSERT_NE(list, nullptr);
    std::vector<std::wstring> offered;
    const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t name[128] = {};
        if (SendMessageW(list, CB_GETLBTEXTLEN, i, 0) < 128) SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name));
        offered.push_back(name);
    }
    std::sort(offered.begin(), offered.end());
    std::vector<std::wstring> expected = {
        L"Deutsch", L"English", L"Espa\x00f1ol (Alfabetizaci\x00f3n Internacional)", L"Fran\x00e7" L"ais", L"Italiano",
        L"Nederlands", L"Portugu\x00eas", L"Portugu\x00eas Brasileiro",
        L"\x0420\x0443\x0441\x0441\x043a\x0438\x0439",            // Russian
        L"\x65e5\x672c\x8a9e",                                         // Japanese
        L"\xd55c\xad6d\xc5b4",                                         // Korean
        L"\x4e2d\x6587(\x7b80\x4f53)", L"\x4e2d\x6587(\x7e41\x9ad4)",  // Chinese, Simplified and Traditional
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(offered, expected);

    const LRESULT german = SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"Deutsch"));
    ASSERT_NE(german, CB_ERR);
    SendMessageW(list, CB_SETCURSEL, german, 0);
    PostMessageW(GetDlgItem(page, IDOK), BM_CLICK, 0, 0);

    // Then Next (welcome page), Next (files installed) and Finish, whatever they
    // are called in German.
    HWND wizard = nullptr;
    const DWORD start = GetTickCount();
    while (!setup.waitForEnd(500)) {
        ASSERT_LT(GetTickCount() - start, kSetupTimeoutMs) << "the wizard did not come to its end";
        if (!wizard || !IsWindow(wizard)) {
            wizard = paneltest::WaitForTopLevelWindow(setup.info.dwProcessId, L"#32770", 0);
            continue;
        }
        HWND next = GetDlgItem(wizard, 1);
        if (next && IsWindowEnabled(next)) PostMessageW(next, BM_CLICK, 0, 0);
    }
    expectInstalled(1031);
    expectVersionUtilityShows(L"Ver1.100", L"Version Veltrix KMX");
    ASSERT_EQ(uninstall(), 0);
    expectNothingLeft();
}

// Each step installs over the last one. A language given on the command line is
// stored as the offered language the programs map it to; none keeps the one
// installed.
TEST_F(Installer, InstallingOverAnInstallationUpgradesItInPlace) {
    const struct {
        const char* arguments;
        DWORD stored;
        const wchar_t* driverVersion;  // the version utility's row, or null: not looked at
        const wchar_t* caption;
    } steps[] = {
        {"/LANG=1033", 1033, nullptr, nullptr},
        {"/LANG=1036", 1036, L"Ver. 1.100", L"Version de Veltrix KMX"},
        {"", 1036, nullptr, nullptr},
        {"/LANG=2057", 1033, nullptr, nullptr},  // English (United Kingdom)
        {"/LANG=1034", 3082, nullptr, nullptr},  // Spanish, traditional sort
        {"/LANG=3079", 1031, nullptr, nullptr},  // German (Austria)
        {"/LANG=4100", 2052, nullptr, nullptr},  // Chinese (Singapore)
        {"/LANG=3076", 1028, L"1.100\x7248", L"Veltrix KMX \x7248\x672c"},  // Chinese (Hong Kong)
        {"/LANG=1046", 1046, L"Vers\x00e3o 1.100", L"Vers\x00e3o Veltrix KMX"},
        {"/LANG=1055", 1033, nullptr, nullptr},  // Turkish: not offered
        {"/LANG=1041", 1041, nullptr, nullptr},
    };
    bool first = true;
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string("setup /S ") + step.arguments);
        if (!first) {
            // An older build in place: the upgrade must replace it and register again.
            std::ofstream(m_layout.versionUtility(), std::ios::binary | std::ios::trunc) << "an older version";
            for (const Layout::View& view : m_layout.views) DeleteTree(HKEY_LOCAL_MACHINE, view.flag, kAsioDriverKey);
        }
        first = false;
        ASSERT_EQ(install(step.arguments), 0);
        expectInstalled(step.stored);
        if (step.driverVersion) expectVersionUtilityShows(step.driverVersion, step.caption);
    }
    ASSERT_EQ(uninstall(), 0);
    expectNothingLeft();
}

TEST_F(Installer, RunningTheUninstallerTwiceIsHarmless) {
    ASSERT_EQ(install("/LANG=1049"), 0);
    expectInstalled(1049);
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string copy = std::string(temp) + "uninstall-copy.exe";
    ASSERT_TRUE(CopyFileA(m_layout.uninstaller().c_str(), copy.c_str(), FALSE));

    ASSERT_EQ(uninstall(), 0);
    expectNothingLeft();
    // The copy runs in place (_?=) for the installation folder that is gone now.
    // A value planted again shows that it really ran.
    testsupport::WriteRaw(HKEY_LOCAL_MACHINE, kProductKey, "AsioConfig", REG_SZ, "x", 2);
    EXPECT_EQ(RunAndWaitForChildren(Quoted(copy) + " /S _?=" + m_layout.installDir, kSetupTimeoutMs), 0);
    expectNothingLeft();
    DeleteFileA(copy.c_str());

    // And the machine takes a new installation as before.
    ASSERT_EQ(install("/LANG=1033"), 0);
    expectInstalled(1033);
    ASSERT_EQ(uninstall(), 0);
    expectNothingLeft();
}

// A driver file deleted by hand cannot unregister itself; the uninstaller then
// removes its registration.
TEST_F(Installer, UninstallerRemovesTheRegistrationOfADriverFileThatIsGone) {
    ASSERT_EQ(install("/LANG=1033"), 0);
    for (const Layout::File& file : m_layout.files)
        if (file.installed.find(kDriverFile) != std::string::npos) {
            ASSERT_TRUE(DeleteFileA(file.installed.c_str())) << file.installed;
        }
    ASSERT_EQ(uninstall(), 0);
    expectNothingLeft();
}

// A file that cannot be replaced (here: a folder in its place) must not give a
// silent upgrade that reports success with the old file left: it gives up with
// exit code 4.
TEST_F(Installer, SilentSetupGivesUpWhenAFileCannotBeReplaced) {
    ASSERT_EQ(install("/LANG=1033"), 0);
    const std::string utility = m_layout.versionUtility();
    ASSERT_TRUE(DeleteFileA(utility.c_str()));
    ASSERT_TRUE(CreateDirectoryA(utility.c_str(), nullptr));
    EXPECT_EQ(install("/LANG=1031"), kSetupCouldNotReplaceFile);
    ASSERT_TRUE(RemoveDirectoryA(utility.c_str()));
    ASSERT_EQ(uninstall(), 0);
    expectNothingLeft();
}

// While a host holds an initialised driver, its files cannot be replaced: silent
// setup gives up with exit code 2 and changes nothing.
TEST_F(Installer, SetupGivesUpWhileTheDriverIsInUse) {
    HANDLE inUse = CreateMutexA(nullptr, FALSE, "Global\\NTVeltrixKMXASIO");
    ASSERT_NE(inUse, nullptr);
    EXPECT_EQ(install("/LANG=1033"), kSetupGaveUp);
    CloseHandle(inUse);
    expectNothingLeft();
}

}  // namespace
