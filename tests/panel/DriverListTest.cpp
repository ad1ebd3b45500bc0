// The registered-driver list and loading the driver by name, against scratch
// entries in the real ASIO driver list and COM class registrations.
#include <gtest/gtest.h>

#include <string>

#include "CDriverLoader.h"
#include "TestSupport.h"

namespace {

constexpr char kAsioList[] = "SOFTWARE\\ASIO";
constexpr char kRealClassId[] = "{3C71A0E2-58B4-4D0F-9A26-1E7B40C8D5F3}";
// Classes the driver DLL does not make: listed, but CoCreateInstance fails.
constexpr char kForeignClassId[] = "{0B5C2E71-6A3D-4F19-8C47-2D9E61A0B3F4}";
constexpr char kNoServerClassId[] = "{0B5C2E72-6A3D-4F19-8C47-2D9E61A0B3F4}";
constexpr char kMissingFileClassId[] = "{0B5C2E73-6A3D-4F19-8C47-2D9E61A0B3F4}";

std::string ClassKey(const char* classId) { return std::string("CLSID\\") + classId; }

void WriteText(HKEY root, const std::string& path, const char* name, const std::string& text) {
    testsupport::WriteRaw(root, path.c_str(), name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

class DriverList : public ::testing::Test {
protected:
    void SetUp() override {
        clean();
        const std::string dll = testsupport::DriverDllPath();
        WriteText(HKEY_CLASSES_ROOT, ClassKey(kRealClassId) + "\\InprocServer32", nullptr, dll);
        WriteText(HKEY_CLASSES_ROOT, ClassKey(kForeignClassId) + "\\InprocServer32", nullptr, dll);
        WriteText(HKEY_CLASSES_ROOT, ClassKey(kNoServerClassId), nullptr, "no server");
        WriteText(HKEY_CLASSES_ROOT, ClassKey(kMissingFileClassId) + "\\InprocServer32", nullptr,
                  "C:\\nowhere\\missing.dll");
    }
    void TearDown() override { clean(); }
    void clean() {
        testsupport::DeleteTree(HKEY_LOCAL_MACHINE, kAsioList);
        for (const char* id : {kRealClassId, kForeignClassId, kNoServerClassId, kMissingFileClassId})
            testsupport::DeleteTree(HKEY_CLASSES_ROOT, ClassKey(id).c_str());
    }
    // One registration; description null leaves the value out.
    void add(const std::string& key, const char* classId, const char* description) {
        const std::string path = std::string(kAsioList) + "\\" + key;
        WriteText(HKEY_LOCAL_MACHINE, path, "CLSID", classId);
        if (description) WriteText(HKEY_LOCAL_MACHINE, path, "Description", description);
    }
    static std::string name(const CRegisteredDriverList& list, long id, int size = 128) {
        char buffer[256] = {};
        if (list.driverName(id, buffer, size) != kDriverListOk) return "<error>";
        return buffer;
    }
};

TEST_F(DriverList, NoRegistrationGivesAnEmptyList) {
    CDriverLoader loader;
    EXPECT_EQ(loader.driverCount(), 0);
    EXPECT_EQ(loader.loadByName("Veltrix KMX ASIO"), -1);
}

TEST_F(DriverList, ListsOnlyRegistrationsWithAnExistingServerFile) {
    add("A no server", kNoServerClassId, "no server");
    add("B missing file", kMissingFileClassId, "missing file");
    add("C named by key", kRealClassId, nullptr);
    add("D described", kForeignClassId, "Other Driver");
    add("E too long", kForeignClassId, std::string(200, 'L').c_str());
    CRegisteredDriverList list;
    ASSERT_EQ(list.driverCount(), 3);
    EXPECT_EQ(name(list, 0), "C named by key");
    EXPECT_EQ(name(list, 1), "Other Driver");
    EXPECT_EQ(name(list, 2), std::string(127, 'L')) << "a long description is cut to the entry's name";
}

TEST_F(DriverList, AKeyNameOver127CharactersEndsTheEnumeration) {
    add(std::string(130, 'A'), kRealClassId, "Long key");
    add("Veltrix KMX ASIO", kRealClassId, "Veltrix KMX ASIO");
    CRegisteredDriverList list;
    EXPECT_EQ(list.driverCount(), 0);
}

TEST_F(DriverList, NamesAreShortenedToTheBuffer) {
    add("Long", kRealClassId, (std::string(60, 'n') + "abcdef").c_str());
    CRegisteredDriverList list;
    ASSERT_EQ(list.driverCount(), 1);
    EXPECT_EQ(name(list, 0, 64), std::string(60, 'n') + "...");
    EXPECT_EQ(name(list, 0, 67), std::string(60, 'n') + "abcdef");
    EXPECT_EQ(name(list, 0, 2), "n");
    char buffer[8];
    EXPECT_EQ(list.driverName(0, nullptr, 8), kDriverListNullArgument);
    EXPECT_EQ(list.driverName(5, buffer, 8), kDriverListNoSuchEntry);
}

TEST_F(DriverList, LoadByNameComparesExactlyAndTakesTheFirstThatCanBeCreated) {
    const std::string longName = "Veltrix KMX ASIO with a name far longer than sixty-four characters";
    const std::string shortened = longName.substr(0, 60) + "...";
    const struct {
        const char* what;
        const char* firstClass;
        const char* firstName;  // null: no description, the key name "A" counts
        bool second;            // a creatable "Veltrix KMX ASIO" as key "B"
        std::string wanted;
        long expected;
    } cases[] = {
        {"key name without description", kRealClassId, nullptr, false, "A", 0},
        {"exact description", kRealClassId, "Veltrix KMX ASIO", false, "Veltrix KMX ASIO", 0},
        {"letter case differs", kRealClassId, "veltrix kmx asio", false, "Veltrix KMX ASIO", -1},
        {"first cannot be created", kForeignClassId, "Veltrix KMX ASIO", true, "Veltrix KMX ASIO", 1},
        {"64 characters or more: the shortened form", kRealClassId, longName.c_str(), false, shortened, 0},
        {"64 characters or more: not the full name", kRealClassId, longName.c_str(), false, longName, -1},
    };
    for (const auto& c : cases) {
        clean();
        SetUp();
        add("A", c.firstClass, c.firstName);
        if (c.second) add("B", kRealClassId, "Veltrix KMX ASIO");
        CDriverLoader loader;
        EXPECT_EQ(loader.loadByName(c.wanted.c_str()), c.expected) << c.what;
        if (c.expected >= 0) {
            EXPECT_EQ(loader.loadByName(c.wanted.c_str()), -1) << c.what << ": already loaded";
        }
    }
}

TEST_F(DriverList, OpenDriverCreatesTheObjectOnce) {
    add("A driver", kRealClassId, nullptr);
    add("B foreign", kForeignClassId, nullptr);
    CRegisteredDriverList list;
    IUnknown* driver = nullptr;
    EXPECT_EQ(list.openDriver(0, nullptr), kDriverListNullArgument);
    EXPECT_EQ(list.openDriver(7, &driver), kDriverListNoSuchEntry);
    ASSERT_EQ(list.openDriver(0, &driver), kDriverListOk);
    EXPECT_NE(driver, nullptr);
    EXPECT_EQ(list.openDriver(0, &driver), kDriverListAlreadyOpen);
    IUnknown* foreign = reinterpret_cast<IUnknown*>(1);
    EXPECT_LT(list.openDriver(1, &foreign), 0);
    EXPECT_EQ(foreign, nullptr);
}

}  // namespace
