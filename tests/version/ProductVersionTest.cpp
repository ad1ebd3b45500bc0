// The driver's product version: read from a file's version resource without
// loading it (the built driver DLL and small resource-only DLLs made for the odd
// cases), and the short form the dialog shows.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "ProductVersion.h"
#include "TestSupport.h"
#include "VersionTestSupport.h"

namespace {

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

TEST(ProductVersion, ReadsTheStringUnderJapaneseOnly) {
    const struct {
        const char* what;
        std::string path;
        const wchar_t* expected;
    } cases[] = {
        {"the built driver", testsupport::DriverDllPath(), L"1.100.000.002"},
        {"strings only under another language", versiontest::FixturePath("other_language"), L""},
        {"no ProductVersion", versiontest::FixturePath("no_product_version"), L""},
        {"numeric version only", versiontest::FixturePath("empty"), L""},
        {"no version resource", versiontest::FixturePath("no_resource"), L""},
        {"empty under 041104B0, text under 04110000", versiontest::FixturePath("code_page_zero"), L"2.05.001.7"},
        {"no file", testsupport::BuildBinDirectory() + "\\no_such_driver.dll", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(readProductVersionText(Wide(c.path).c_str()), c.expected) << c.what;
}

TEST(ProductVersion, AFileThatCannotBeOpenedForReadingCountsAsAbsent) {
    const std::string path = testsupport::DriverDllPath();
    // Held open with no sharing: the utility's read-only open is refused.
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_EQ(readProductVersionText(Wide(path).c_str()), L"");
    CloseHandle(held);
    EXPECT_EQ(readProductVersionText(Wide(path).c_str()), L"1.100.000.002");
}

TEST(ProductVersion, ShortensToMajorAndMinor) {
    const struct {
        const wchar_t* version;
        const wchar_t* shown;
    } cases[] = {
        {L"1.100.000.002", L"1.100"},
        {L"1.100.0", L"1.100"},
        {L"10.2.3", L"10.2"},
        {L"1.2.", L"1.2"},
        {L"7", L"7"},            // no dot: whole
        {L"1.2", L"1.2"},        // one dot: whole
        {L"123.4", L"123.4"},    // one dot, long first field: whole, nothing dropped
        {L".5.6", L".5.6"},      // empty first field: whole
        {L"1..3", L"1..3"},      // empty second field: whole
        {L"12..3", L"12..3"},
        {L"", L""},
        {L"beta", L"beta"},
    };
    for (const auto& c : cases) EXPECT_EQ(shortenProductVersion(c.version), c.shown) << std::wstring(c.version).size();
}

TEST(ProductVersion, AVeryLongVersionIsCut) {
    const std::wstring longText(5000, L'9');
    EXPECT_EQ(shortenProductVersion(longText), std::wstring(kMaxShownProductVersion, L'9'));
    EXPECT_EQ(shortenProductVersion(L"1.2." + longText), L"1.2");
}

}  // namespace
