// Self-registration under Wine's real registry: regsvr32 on the built DLL, the
// failure codes below the message box, and the registry helpers' edge cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "DriverIdentity.h"
#include "DriverRegistration.h"
#include "RegistryHelpers.h"
#include "TestSupport.h"

namespace {

using testsupport::DriverDllPath;
using testsupport::KeyPresent;
using testsupport::ReadString;
using testsupport::Regsvr32;

constexpr char kClassKey[] = "CLSID\\{3C71A0E2-58B4-4D0F-9A26-1E7B40C8D5F3}";
constexpr char kServerKey[] = "CLSID\\{3C71A0E2-58B4-4D0F-9A26-1E7B40C8D5F3}\\InprocServer32";
constexpr char kListEntry[] = "SOFTWARE\\ASIO\\Veltrix KMX ASIO";

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override {
        Clean();
        if (!otherCopy.empty()) {
            DeleteFileA(otherCopy.c_str());
            RemoveDirectoryA(otherDir.c_str());
        }
    }
    static void Clean() {
        testsupport::DeleteTree(HKEY_CLASSES_ROOT, kClassKey);
        testsupport::DeleteTree(HKEY_LOCAL_MACHINE, kListEntry);
    }
    // A second copy of the DLL at another path, as after a reinstall elsewhere.
    std::string OtherCopy() {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        otherDir = std::string(temp) + "VeltrixRegistrationTest";
        CreateDirectoryA(otherDir.c_str(), nullptr);
        otherCopy = otherDir + "\\Veltrix_KMX_ASIO.dll";
        EXPECT_TRUE(CopyFileA(DriverDllPath().c_str(), otherCopy.c_str(), FALSE)) << GetLastError();
        return otherCopy;
    }
    std::string otherDir, otherCopy;
};

TEST_F(Registration, Regsvr32WritesTheClassAndTheDriverListEntry) {
    ASSERT_TRUE(Regsvr32(DriverDllPath()));
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kClassKey, nullptr), "Veltrix KMX ASIO");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kServerKey, nullptr), Lower(DriverDllPath()));
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kServerKey, "ThreadingModel"), "Apartment");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kListEntry, "CLSID"), "{3C71A0E2-58B4-4D0F-9A26-1E7B40C8D5F3}");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kListEntry, "Description"), "Veltrix KMX ASIO");

    ASSERT_TRUE(Regsvr32(DriverDllPath(), true));
    EXPECT_FALSE(KeyPresent(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, kListEntry));
    EXPECT_TRUE(KeyPresent(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO")) << "other drivers' list stays";

    // Nothing registered: unregistering still succeeds, silently.
    EXPECT_TRUE(Regsvr32(DriverDllPath(), true));
}

TEST_F(Registration, SecondRegistrationFromTheSamePathKeepsTheClassKeyAndRecreatesTheEntry) {
    ASSERT_TRUE(Regsvr32(DriverDllPath()));
    std::string marker = std::string(kClassKey) + "\\Marker";
    testsupport::WriteDword(HKEY_CLASSES_ROOT, marker.c_str(), "kept", 1);
    testsupport::WriteDword(HKEY_LOCAL_MACHINE, kListEntry, "stale", 1);

    ASSERT_TRUE(Regsvr32(DriverDllPath()));
    EXPECT_TRUE(KeyPresent(HKEY_CLASSES_ROOT, marker.c_str()));
    HKEY entry = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kListEntry, 0, KEY_READ, &entry), ERROR_SUCCESS);
    EXPECT_NE(RegQueryValueExA(entry, "stale", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    RegCloseKey(entry);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kListEntry, "Description"), "Veltrix KMX ASIO");
}

TEST_F(Registration, RegistrationFromAnotherPathReplacesTheWholeClassKey) {
    ASSERT_TRUE(Regsvr32(DriverDllPath()));
    std::string foreign = std::string(kClassKey) + "\\Foreign\\Deeper";
    testsupport::WriteDword(HKEY_CLASSES_ROOT, foreign.c_str(), "x", 1);

    std::string other = OtherCopy();
    ASSERT_TRUE(Regsvr32(other));
    EXPECT_FALSE(KeyPresent(HKEY_CLASSES_ROOT, (std::string(kClassKey) + "\\Foreign").c_str()));
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kServerKey, nullptr), Lower(other));
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kServerKey, "ThreadingModel"), "Apartment");
}

// Substitutes for single system calls, to reach the codes a working system never
// produces.
HMODULE WINAPI NoModule(LPCSTR) { return nullptr; }
HMODULE WINAPI SomeModule(LPCSTR) { return GetModuleHandleA(nullptr); }
DWORD WINAPI EmptyPath(HMODULE, LPSTR path, DWORD) {
    path[0] = '\0';
    return 0;
}
// The module path does not fit: Windows cuts it to the buffer (without a
// terminator on older versions) and returns the buffer size.
DWORD WINAPI OverlongPath(HMODULE, LPSTR path, DWORD size) {
    std::memset(path, 'a', size);
    return size;
}
HRESULT WINAPI NoClassIdText(REFCLSID, LPOLESTR*) { return E_OUTOFMEMORY; }
int WINAPI NoAnsiText(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL) { return 0; }

TEST_F(Registration, FailureCodesAndTheirMessages) {
    RegistrationServices base = DefaultRegistrationServices();
    base.getModuleHandle = SomeModule;
    struct Case {
        const char* what;
        RegistrationServices services;
        int expected;
    } cases[] = {
        {"own module not loaded", {NoModule, base.getModuleFileName, base.stringFromClsid, base.wideCharToMultiByte},
         kRegistrationNoModule},
        {"empty module path", {SomeModule, EmptyPath, base.stringFromClsid, base.wideCharToMultiByte},
         kRegistrationNoModulePath},
        {"module path longer than the buffer", {SomeModule, OverlongPath, base.stringFromClsid, base.wideCharToMultiByte},
         kRegistrationNoModulePath},
        {"class ID has no text", {SomeModule, base.getModuleFileName, NoClassIdText, base.wideCharToMultiByte},
         kRegistrationNoClassIdText},
        {"no ANSI text", {SomeModule, base.getModuleFileName, base.stringFromClsid, NoAnsiText},
         kRegistrationNoAnsiText},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RunServerRegistration(RegistrationAction::Register, c.services), c.expected) << c.what;
        EXPECT_EQ(RunServerRegistration(RegistrationAction::Unregister, c.services), c.expected) << c.what;
        EXPECT_FALSE(KeyPresent(HKEY_CLASSES_ROOT, kClassKey)) << c.what << ": nothing may be written";
        EXPECT_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, kListEntry)) << c.what;
    }
    // In this test program the driver DLL is not loaded, so the real lookup fails
    // just as the substitute does.
    EXPECT_EQ(RunServerRegistration(RegistrationAction::Register), kRegistrationNoModule);

    char text[kRegistrationMessageSize];
    FormatRegistrationFailure(RegistrationAction::Register, kRegistrationNoModule, text);
    EXPECT_STREQ(text, "Register Server failed ! (-101)");
    FormatRegistrationFailure(RegistrationAction::Unregister, kRegistrationNoAnsiText, text);
    EXPECT_STREQ(text, "Unregister Server failed ! (-104)");
    EXPECT_EQ(CompleteServerRegistration(RegistrationAction::Register, kRegistrationOk), S_OK);
}

class RegistryHelpers : public ::testing::Test {
protected:
    static constexpr char kScratch[] = "CLSID\\VeltrixHelperTest";
    void SetUp() override { testsupport::DeleteTree(HKEY_CLASSES_ROOT, kScratch); }
    void TearDown() override { testsupport::DeleteTree(HKEY_CLASSES_ROOT, kScratch); }
};

TEST_F(RegistryHelpers, DeleteKeyTreeRemovesEveryLevelAndClosesTheParent) {
    for (const char* path : {"\\A\\B\\C", "\\A\\B2", "\\D"})
        testsupport::WriteDword(HKEY_CLASSES_ROOT, (std::string(kScratch) + path).c_str(), "v", 1);
    HKEY parent = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "CLSID", &parent), ERROR_SUCCESS);
    EXPECT_EQ(DeleteKeyTree(parent, "VeltrixHelperTest"), 0);
    EXPECT_FALSE(KeyPresent(HKEY_CLASSES_ROOT, kScratch));

    ASSERT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "CLSID", &parent), ERROR_SUCCESS);
    EXPECT_EQ(DeleteKeyTree(parent, "VeltrixHelperTest"), -1) << "a missing key gives -1";
}

TEST_F(RegistryHelpers, ReadDefaultValueTakesOnlyWholeTerminatedStrings) {
    std::string key = kScratch;
    struct Case {
        const char* what;
        std::string data;
        bool terminated;
        int expected;
    } cases[] = {
        {"ordinary path", "c:\\windows\\system32\\x.dll", true, 0},
        {"no terminator", "c:\\x.dll", false, 0},
        {"exactly fills the buffer", std::string(kRegistrationPathSize - 1, 'p'), true, 0},
        {"one byte too long", std::string(kRegistrationPathSize, 'p'), true, -1},
        {"fills the buffer, no terminator", std::string(kRegistrationPathSize, 'p'), false, -1},
    };
    for (const Case& c : cases) {
        DWORD size = static_cast<DWORD>(c.data.size() + (c.terminated ? 1 : 0));
        testsupport::WriteRaw(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, c.data.c_str(), size);
        char buffer[kRegistrationPathSize + 8];
        std::memset(buffer, '#', sizeof(buffer));
        EXPECT_EQ(ReadDefaultValue(key.c_str(), buffer), c.expected) << c.what;
        if (c.expected == 0) {
            EXPECT_EQ(std::string(buffer), c.data) << c.what;
        } else {
            EXPECT_EQ(buffer[0], '#') << c.what << ": the buffer must stay untouched";
        }
        EXPECT_EQ(buffer[kRegistrationPathSize], '#') << c.what << ": nothing past the buffer";
    }
    DWORD number = 5;
    testsupport::WriteRaw(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_DWORD, &number, sizeof(number));
    char buffer[kRegistrationPathSize];
    EXPECT_EQ(ReadDefaultValue(key.c_str(), buffer), -1) << "a number is not a path";
    EXPECT_EQ(ReadDefaultValue("CLSID\\VeltrixNoSuchKey", buffer), -1);
}

TEST_F(RegistryHelpers, EnsureSubkeyAndSetStringValue) {
    EXPECT_EQ(EnsureSubkey(HKEY_CLASSES_ROOT, "CLSID\\VeltrixNoSuchParent", "x"), -1);
    EXPECT_EQ(SetStringValue(HKEY_CLASSES_ROOT, kScratch, "v", "text"), -1) << "key missing";
    EXPECT_EQ(EnsureSubkey(HKEY_CLASSES_ROOT, "CLSID", "VeltrixHelperTest"), 0);
    EXPECT_EQ(EnsureSubkey(HKEY_CLASSES_ROOT, "CLSID", "VeltrixHelperTest"), 0);
    EXPECT_EQ(SetStringValue(HKEY_CLASSES_ROOT, kScratch, nullptr, "default"), 0);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kScratch, nullptr), "default");
}

}  // namespace
