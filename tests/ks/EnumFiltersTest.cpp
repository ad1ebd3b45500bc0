// CKsEnumFilters against the virtual controller: which interfaces become filters,
// in which order and of which class, and what is left open afterwards.
#include "CKsEnumFilters.h"
#include "DebugOutput.h"
#include "KsClassesSupport.h"

using namespace kstest;

namespace {

const GUID kRender[] = {KSCATEGORY_AUDIO, KSCATEGORY_RENDER};
const GUID kCapture[] = {KSCATEGORY_AUDIO, KSCATEGORY_CAPTURE};

std::vector<std::string> Paths(const CKsEnumFilters& enumerator) {
    std::vector<std::string> paths;
    for (auto* node = enumerator.m_listFilters.Head(); node; node = node->next) paths.push_back(node->item->Path());
    return paths;
}

bool Contains(const std::string& text, const char* fragment) { return text.find(fragment) != std::string::npos; }

// Counts the SetupAPI set requests it is asked for.
class CountingController : public VirtualController {
public:
    HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags) override {
        ++setRequests;
        return VirtualController::SetupDiGetClassDevsA(classGuid, enumerator, parent, flags);
    }
    int setRequests = 0;
};

}  // namespace

TEST_F(VirtualMachine, FiltersOfTwoControllersInSetupApiOrder) {
    controller.Connect(ControllerModel::KmxA7);
    UnitConfig named = DefaultConfig(ControllerModel::KmxB7);
    named.friendlyName = "Deck B";
    controller.Connect(ControllerModel::KmxB7, named);
    struct Case {
        const GUID* categories;
        ULONG kind;
        const char* reference;
    } cases[] = {{kRender, CKsEnumFilters::kRenderFilter, "\\render"},
                 {kCapture, CKsEnumFilters::kCaptureFilter, "\\capture"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reference);
        CKsEnumFilters enumerator;
        EXPECT_EQ(enumerator.EnumFilters(c.kind, c.categories, 2), S_OK);
        ASSERT_EQ(enumerator.m_listFilters.Count(), 2);
        std::vector<std::string> paths = Paths(enumerator);
        EXPECT_TRUE(Contains(paths[0], "usb#vid_7f1d&pid_2a01&mi_00"));
        EXPECT_TRUE(Contains(paths[1], "usb#vid_7f1d&pid_2a02&mi_00"));
        for (const std::string& path : paths) EXPECT_TRUE(Contains(path, c.reference));
        auto* head = enumerator.m_listFilters.Head();
        EXPECT_EQ(head->previous, nullptr);
        EXPECT_EQ(head->next, enumerator.m_listFilters.Tail());
        EXPECT_EQ(enumerator.m_listFilters.Tail()->previous, head);
        EXPECT_STREQ(head->item->Label(), "KMX-A7");
        EXPECT_STREQ(head->next->item->Label(), "Deck B");
        for (auto* node = head; node; node = node->next) {
            EXPECT_EQ(node->item->FilterKind(), int(c.kind));
            EXPECT_TRUE(CKsIrpTarget::IsValidHandle(node->item->GetHandle()));
        }
    }
    // Both enumerators are gone, with every filter they held.
    EXPECT_EQ(controller.OpenHandleCount(), 0);
}

// Interfaces that are no usable filter, between two controllers.
TEST_F(VirtualMachine, InterfacesWithoutAnEnabledAliasOrAnOpenableFilterAreLeftOut) {
    controller.Connect(ControllerModel::KmxA7);
    controller.AddDistractor(Distractor::NoAlias);
    controller.AddDistractor(Distractor::DisabledAlias);
    controller.AddDistractor(Distractor::CannotOpen);
    controller.AddDistractor(Distractor::LongPath);
    controller.Connect(ControllerModel::KmxNova);
    testsupport::DebugOutput output;
    TraceAll all(5);
    CKsEnumFilters enumerator;
    EXPECT_EQ(enumerator.EnumFilters(CKsEnumFilters::kRenderFilter, kRender, 2), S_OK);
    std::vector<std::string> paths = Paths(enumerator);
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_TRUE(Contains(paths[0], "pid_2a01&mi_00"));
    EXPECT_TRUE(Contains(paths[1], "pid_2a03&mi_00"));
    // The interface with no alias, and the two capture filters (no render alias).
    EXPECT_EQ(output.Count("Failed to get requested DeviceInterfaceAlias"), 3u);
    EXPECT_EQ(output.Count("DeviceInterfaceAlias disabled."), 1u);
    size_t failedToCreate = 0;
    for (const std::string& line : output.lines)
        if (line.rfind("Failed to create filter for ", 0) == 0) {
            ++failedToCreate;
            EXPECT_TRUE(Contains(line, "\\locked"));
        }
    EXPECT_EQ(failedToCreate, 1u);
    // The filter that could not open was deleted; the two kept hold one handle each.
    EXPECT_EQ(controller.OpenHandleCount(), 2);
}

TEST_F(VirtualMachine, AnotherEnumerationDeletesTheFiltersOfTheLastOne) {
    controller.Connect(ControllerModel::KmxA7);
    controller.Connect(ControllerModel::KmxB7);
    CKsEnumFilters enumerator;
    ASSERT_EQ(enumerator.EnumFilters(CKsEnumFilters::kRenderFilter, kRender, 2), S_OK);
    EXPECT_EQ(controller.OpenHandleCount(), 2);
    ASSERT_EQ(enumerator.EnumFilters(CKsEnumFilters::kCaptureFilter, kCapture, 2), S_OK);
    EXPECT_EQ(enumerator.m_listFilters.Count(), 2);
    EXPECT_EQ(controller.OpenHandleCount(), 2);
    for (const std::string& path : Paths(enumerator)) EXPECT_TRUE(Contains(path, "\\capture"));
    // Even an enumeration that finds nothing empties the list first.
    const GUID nothing[] = {kNullGuid};
    EXPECT_EQ(enumerator.EnumFilters(CKsEnumFilters::kCaptureFilter, nothing, 1), E_FAIL);
    EXPECT_EQ(enumerator.m_listFilters.Count(), 0);
    EXPECT_EQ(enumerator.m_listFilters.Head(), nullptr);
    EXPECT_EQ(controller.OpenHandleCount(), 0);
}

TEST(EnumFilters, NoCategoryToEnumerateAsksSetupApiNothing) {
    CountingController machine;
    machine.Connect(ControllerModel::KmxA7);
    ScopedDeviceSystem scope(machine);
    const GUID nullFirst[] = {kNullGuid, KSCATEGORY_RENDER};
    CKsEnumFilters enumerator;
    EXPECT_EQ(enumerator.EnumFilters(CKsEnumFilters::kRenderFilter, nullFirst, 2), E_FAIL);
    EXPECT_EQ(enumerator.EnumFilters(CKsEnumFilters::kRenderFilter, nullptr, 2), E_FAIL);
    EXPECT_EQ(enumerator.EnumFilters(CKsEnumFilters::kRenderFilter, kRender, 0), E_FAIL);
    EXPECT_EQ(machine.setRequests, 0);
    EXPECT_EQ(enumerator.EnumFilters(CKsEnumFilters::kRenderFilter, kRender, 2), S_OK);
    EXPECT_EQ(machine.setRequests, 1);
}

TEST_F(VirtualMachine, NothingFoundIsAFailure) {
    CKsEnumFilters enumerator;
    EXPECT_EQ(enumerator.EnumFilters(CKsEnumFilters::kRenderFilter, kRender, 2), E_FAIL);
    controller.AddDistractor(Distractor::NoAlias);
    EXPECT_EQ(enumerator.EnumFilters(CKsEnumFilters::kRenderFilter, kRender, 2), E_FAIL);
    EXPECT_EQ(enumerator.m_listFilters.Count(), 0);
    EXPECT_EQ(controller.OpenHandleCount(), 0);
}

// Kinds other than render (1) and capture (2) build plain filters: every pin
// factory, the bridge too, becomes a plain CKsPin.
TEST_F(VirtualMachine, OtherKindsBuildPlainFilters) {
    controller.Connect(ControllerModel::KmxA7);
    for (ULONG kind : {0u, 3u}) {
        SCOPED_TRACE(kind);
        CKsEnumFilters enumerator;
        ASSERT_EQ(enumerator.EnumFilters(kind, kRender, 2), S_OK);
        ASSERT_EQ(enumerator.m_listFilters.Count(), 1);
        CKsFilter* filter = enumerator.m_listFilters.Head()->item;
        EXPECT_EQ(filter->FilterKind(), 0);
        EXPECT_EQ(dynamic_cast<CKsAudFilter*>(filter), nullptr);
        EXPECT_EQ(filter->m_allPins.Count(), 2);
        for (auto* node = filter->m_allPins.Head(); node; node = node->next) {
            EXPECT_EQ(node->item->PinKind(), 0);
            EXPECT_EQ(dynamic_cast<CKsAudPin*>(node->item), nullptr);
        }
    }
}

// A device path longer than the detail record is skipped, and so never copied.
TEST_F(VirtualMachine, PathsLongerThanTheDetailRecordAreSkipped) {
    controller.AddDistractor(Distractor::LongPath);
    CKsEnumFilters enumerator;
    EXPECT_EQ(enumerator.EnumFilters(CKsEnumFilters::kRenderFilter, kRender, 2), E_FAIL);
    EXPECT_EQ(controller.OpenHandleCount(), 0);
}
