// The driver file's resources, read the way the version utility and Windows read
// them: the version strings under Japanese/Unicode, the numeric version, and the
// manifest.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

TEST(DriverFile, VersionResourceCarriesTheProductVersionUnder041104B0) {
    const std::string path = testsupport::DriverDllPath();
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << GetLastError();
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data.data()));

    struct Translation {
        WORD language, codePage;
    }* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, sizeof(Translation));
    EXPECT_EQ(translation->language, 0x0411);
    EXPECT_EQ(translation->codePage, 0x04B0);

    const std::pair<const char*, const char*> strings[] = {
        {"FileDescription", "Veltrix KMX ASIO Driver"}, {"InternalName", "Veltrix KMX ASIO Driver"},
        {"ProductName", "Veltrix KMX ASIO Driver"},     {"FileVersion", "1.100.000.002"},
        {"ProductVersion", "1.100.000.002"},            {"OriginalFilename", "Veltrix_KMX_ASIO.dll"},
    };
    for (const auto& [name, expected] : strings) {
        char* value = nullptr;
        std::string query = std::string("\\StringFileInfo\\041104B0\\") + name;
        ASSERT_TRUE(VerQueryValueA(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) << name;
        EXPECT_STREQ(value, expected) << name;
    }

    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(100, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(2, 0));
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(100, 1));
    EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(2, 0));
}

TEST(DriverFile, ManifestAsksForTheInvokersRights) {
    HMODULE image = LoadLibraryExA(testsupport::DriverDllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);
    HRSRC resource = FindResourceA(image, MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_NE(resource, nullptr) << "a DLL's manifest is resource 2";
    const char* text = static_cast<const char*>(LockResource(LoadResource(image, resource)));
    std::string manifest(text, SizeofResource(image, resource));
    EXPECT_NE(manifest.find("requestedExecutionLevel level=\"asInvoker\""), std::string::npos) << manifest;
    FreeLibrary(image);
}

}  // namespace
