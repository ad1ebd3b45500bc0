// Localized string loading: which installer language the two registry sources
// give, which table each program uses for it, and the strings read from the real
// string tables of the built panel program.
#include <gtest/gtest.h>

#include <string>

#include "LocalizedStrings.h"
#include "PanelTestSupport.h"

namespace {

using paneltest::ScratchInstallLanguage;

enum class Numeric { Absent, Zero, Value, AsText };

struct SourceCase {
    const char* what;
    Numeric numeric;
    DWORD number;
    const wchar_t* text;  // "NSIS:Language", null when absent
    DWORD expected;
};

void Apply(ScratchInstallLanguage& language, const SourceCase& c) {
    switch (c.numeric) {
    case Numeric::Absent: break;
    case Numeric::Zero: language.setNumber(0); break;
    case Numeric::Value: language.setNumber(c.number); break;
    case Numeric::AsText: {
        const wchar_t text[] = L"1041";
        language.setRaw(REG_SZ, text, sizeof(text));
        break;
    }
    }
    if (c.text) language.setText(c.text);
}

TEST(LocalizedStrings, InstallLanguageReadsTheNumberFirstAndTheUninstallTextSecond) {
    const SourceCase cases[] = {
        {"first source wins", Numeric::Value, 1041, L"1031", 1041},
        {"first absent: second", Numeric::Absent, 0, L"1036", 1036},
        {"first 0: second", Numeric::Zero, 0, L"1036", 1036},
        {"neither", Numeric::Absent, 0, nullptr, 0},
        {"first stored as text: second decides", Numeric::AsText, 0, L"1036", 1036},
        {"second longer than four digits", Numeric::Absent, 0, L"10311", 0},
        {"second not a number", Numeric::Absent, 0, L"abc", 0},
        {"second with a blank and sign", Numeric::Absent, 0, L" +33", 33},
        {"second stops at a non-digit", Numeric::Absent, 0, L"104x", 104},
    };
    for (const SourceCase& c : cases) {
        ScratchInstallLanguage language;
        Apply(language, c);
        EXPECT_EQ(installLanguage(), c.expected) << c.what;
    }
}

TEST(LocalizedStrings, TableLanguageFollowsEachProgramsMap) {
    const struct {
        DWORD language;
        WORD panel;
        WORD version;
    } cases[] = {
        {0, 1033, 1033},    {1033, 1033, 1033}, {2057, 1033, 1033}, {3081, 1033, 1033}, {1031, 1031, 1031},
        {3079, 1031, 1031}, {1034, 3082, 3082}, {3082, 3082, 3082}, {1036, 1036, 1036}, {1040, 1040, 1040},
        {1041, 1041, 1041}, {1042, 1042, 1042}, {1043, 1043, 1043}, {1049, 1049, 1049}, {1046, 1046, 2070},
        {2070, 1046, 2070}, {2052, 2052, 2052}, {1028, 1028, 1028}, {3076, 3076, 3076}, {1045, 1033, 1033},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tableLanguage(c.language, kPortugueseBrazilTable), c.panel) << c.language;
        EXPECT_EQ(tableLanguage(c.language, kPortugueseTableOfPortugal), c.version) << c.language;
    }
}

TEST(LocalizedStrings, IsCjkLanguageForChineseJapaneseAndKoreanOnly) {
    const struct {
        DWORD language;
        bool cjk;
    } cases[] = {{1028, true}, {2052, true}, {1041, true}, {1042, true}, {1033, false}, {1049, false}, {0, false}};
    for (const auto& c : cases) {
        ScratchInstallLanguage language;
        if (c.language) language.setNumber(c.language);
        EXPECT_EQ(isCjkLanguage(), c.cjk) << c.language;
    }
}

class PanelStringTables : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string path = paneltest::PanelPath();
        m_module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(m_module, nullptr) << "LoadLibraryEx " << path << " failed, error " << GetLastError();
    }
    void TearDown() override {
        if (m_module) FreeLibrary(m_module);
    }
    std::wstring load(UINT id, std::size_t capacity = 1024) {
        std::wstring buffer(capacity + 1, L'#');
        loadLocalizedString(m_module, kPortugueseBrazilTable, id, &buffer[0], capacity);
        return buffer.substr(0, buffer.find(L'\0'));
    }
    HMODULE m_module = nullptr;
    ScratchInstallLanguage m_language;
};

TEST_F(PanelStringTables, EachInstallerLanguageShowsItsTable) {
    const struct {
        DWORD language;
        const wchar_t* latency;  // string 5
    } cases[] = {
        {0, L"Latency"},     {1033, L"Latency"},    {2057, L"Latency"},     {3081, L"Latency"},
        {1031, L"Latenz"},   {1036, L"Latence"},    {1040, L"Latenza"},     {3082, L"Latencia"},
        {1043, L"Latentie"}, {1046, L"Latência"},   {2070, L"Latência"},    {1049, L"Задержка"},
        {1041, L"レイテンシー"}, {1042, L"레이턴시"}, {2052, L"延迟"},         {1028, L"延遲"},
        // A Chinese variant with no table of its own falls back to English.
        {3076, L"Latency"},
    };
    for (const auto& c : cases) {
        m_language.clear();
        if (c.language) m_language.setNumber(c.language);
        EXPECT_EQ(load(5), c.latency) << c.language;
    }
}

TEST_F(PanelStringTables, StringsAreFoundByBlockAndEntry) {
    m_language.setNumber(1033);
    // String 10 is entry 10 of block 1, string 17 entry 1 of block 2.
    EXPECT_EQ(load(10), L"%d.%dmsec");
    EXPECT_EQ(load(17), L"Kernel Buffers");
    EXPECT_EQ(load(3), L"\nBuffer Size");
    EXPECT_EQ(load(11), L"The Veltrix KMX ASIO drivers have not been installed.");
    // Numbers without text, inside and beyond the tables.
    EXPECT_EQ(load(9), L"");
    EXPECT_EQ(load(12), L"");
    EXPECT_EQ(load(500), L"");
    m_language.setNumber(1031);
    EXPECT_EQ(load(10), L"%d,%d ms");
}

TEST_F(PanelStringTables, ALongStringIsCutToTheBuffersCapacity) {
    m_language.setNumber(1033);
    EXPECT_EQ(load(6, 8), L"Veltrix");
    EXPECT_EQ(load(6, 1), L"");
    std::wstring untouched(2, L'#');
    loadLocalizedString(m_module, kPortugueseBrazilTable, 6, &untouched[0], 0);
    EXPECT_EQ(untouched, L"##");
}

TEST_F(PanelStringTables, EveryLanguageKeepsTheFormatsArguments) {
    for (DWORD language : {1033, 1031, 1036, 1040, 3082, 1043, 1046, 1049, 1041, 1042, 2052, 1028}) {
        m_language.clear();
        m_language.setNumber(language);
        for (UINT id : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 10u, 11u, 13u, 14u, 15u, 16u, 17u})
            EXPECT_FALSE(load(id).empty()) << language << " string " << id;
        const std::wstring samples = load(4);
        const std::wstring latency = load(10);
        EXPECT_EQ(samples.find(L"%d"), samples.rfind(L"%d")) << language;
        EXPECT_NE(samples.find(L"%d"), std::wstring::npos) << language;
        const std::size_t first = latency.find(L"%d");
        ASSERT_NE(first, std::wstring::npos) << language;
        const std::size_t second = latency.find(L"%d", first + 2);
        ASSERT_NE(second, std::wstring::npos) << language;
        EXPECT_EQ(latency.find(L"%d", second + 2), std::wstring::npos) << language;
        EXPECT_EQ(load(3)[0], L'\n') << language;
    }
}

}  // namespace
