// What the driver's filter enumeration and the version utility's device scans see:
// audio interfaces with aliases and names, USB device nodes, hardware IDs and
// presence, for two controllers among distractors.
#include "KsTestHelpers.h"
#include "ScopedDeviceSystem.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace kstest;

namespace {
int CountContaining(const std::vector<FoundFilter>& filters, const char* fragment) {
    return int(std::count_if(filters.begin(), filters.end(), [&](const FoundFilter& f) {
        return f.path.find(fragment) != std::string::npos;
    }));
}

class DeviceTree : public ::testing::Test {
protected:
    DeviceTree() : install(controller) {
        a7 = controller.Connect(ControllerModel::KmxA7);
        for (Distractor kind : {Distractor::OtherVendor, Distractor::OtherInterfaceNumber, Distractor::NoAlias,
                                Distractor::DisabledAlias, Distractor::CannotOpen})
            controller.AddDistractor(kind);
        nova = controller.Connect(ControllerModel::KmxNova);
    }
    VirtualController controller;
    ScopedDeviceSystem install;
    UnitId a7 = 0, nova = 0;
};

// The hardware IDs of every present device node, as the version utility reads them.
std::vector<std::wstring> PresentHardwareIds() {
    DeviceSystem& system = DeviceSystemInstance();
    std::vector<std::wstring> ids;
    HDEVINFO set = system.SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    EXPECT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD i = 0; system.SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        DWORD needed = 0, type = 0;
        EXPECT_FALSE(system.SetupDiGetDeviceRegistryPropertyW(set, &info, SPDRP_HARDWAREID, &type, nullptr, 0,
                                                               &needed));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
        std::vector<BYTE> buffer(needed);
        EXPECT_TRUE(system.SetupDiGetDeviceRegistryPropertyW(set, &info, SPDRP_HARDWAREID, &type, buffer.data(),
                                                              needed, nullptr));
        EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
        ULONG status = 0, problem = 0;
        if (system.CM_Get_DevNode_Status(&status, &problem, info.DevInst, 0) != CR_SUCCESS) continue;
        for (const wchar_t* id = reinterpret_cast<const wchar_t*>(buffer.data()); *id; id += wcslen(id) + 1)
            ids.push_back(id);
    }
    system.SetupDiDestroyDeviceInfoList(set);
    return ids;
}

// The device IDs of the first children of present USB device interfaces.
std::vector<std::wstring> UsbDeviceChildIds() {
    DeviceSystem& system = DeviceSystemInstance();
    std::vector<std::wstring> ids;
    HDEVINFO set = system.SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USB_DEVICE, nullptr, nullptr,
                                               DIGCF_DEVICEINTERFACE | DIGCF_PRESENT);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD i = 0; system.SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USB_DEVICE, i, &data);
         ++i) {
        DWORD needed = 0;
        EXPECT_FALSE(system.SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &needed, nullptr));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
        std::vector<BYTE> storage(needed);
        auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        EXPECT_TRUE(system.SetupDiGetDeviceInterfaceDetailW(set, &data, detail, needed, nullptr, &info));
        DEVINST child = 0;
        ULONG length = 0;
        if (system.CM_Get_Child(&child, info.DevInst, 0) != CR_SUCCESS) continue;
        EXPECT_EQ(system.CM_Get_Device_ID_Size(&length, child, 0), CR_SUCCESS);
        std::vector<wchar_t> id(length + 1);
        EXPECT_EQ(system.CM_Get_Device_IDW(child, id.data(), length + 1, 0), CR_SUCCESS);
        ids.push_back(id.data());
    }
    system.SetupDiDestroyDeviceInfoList(set);
    return ids;
}
}  // namespace

TEST_F(DeviceTree, RenderAndCaptureEnumerationListTheControllersAndSkipUnusableInterfaces) {
    std::vector<FoundFilter> render = EnumerateAudioFilters(KSCATEGORY_RENDER);
    std::vector<FoundFilter> capture = EnumerateAudioFilters(KSCATEGORY_CAPTURE);

    EXPECT_EQ(CountContaining(render, "usb#vid_7f1d&pid_2a03&mi_00"), 1);
    EXPECT_EQ(CountContaining(capture, "usb#vid_7f1d&pid_2a01&mi_00"), 1);
    EXPECT_EQ(CountContaining(capture, "usb#vid_7f1d&pid_2a03&mi_00"), 1);
    EXPECT_EQ(CountContaining(render, "usb#vid_0d8c"), 1);                     // another vendor
    EXPECT_EQ(CountContaining(render, "usb#vid_7f1d&pid_2a01&mi_02"), 1);      // another interface
    EXPECT_EQ(CountContaining(render, "\\topology"), 0);                       // no alias
    EXPECT_EQ(CountContaining(render, "\\disabled"), 0);                       // disabled alias
    // The A7's own render filter and the one that cannot be opened.
    EXPECT_EQ(CountContaining(render, "usb#vid_7f1d&pid_2a01&mi_00"), 2);
    // SetupAPI order: the A7 was connected before the NOVA.
    auto first = std::find_if(render.begin(), render.end(),
                              [](const FoundFilter& f) { return f.path.find("pid_2a01&mi_00") != std::string::npos; });
    auto second = std::find_if(render.begin(), render.end(),
                               [](const FoundFilter& f) { return f.path.find("pid_2a03") != std::string::npos; });
    EXPECT_LT(first - render.begin(), second - render.begin());

    for (const FoundFilter& filter : capture) {
        EXPECT_EQ(filter.path.rfind("\\\\?\\usb#", 0), 0u) << filter.path;
        EXPECT_EQ(filter.path, [&] { std::string l = filter.path; for (char& c : l) c = char(tolower(c)); return l; }());
    }
    EXPECT_EQ(capture.front().friendlyName, "KMX-A7");
}

TEST_F(DeviceTree, OnlyOpenableFiltersOpen) {
    HANDLE locked = OpenFilter(KSCATEGORY_RENDER, "\\locked");
    EXPECT_EQ(locked, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    HANDLE filter = OpenFilter(KSCATEGORY_RENDER, "usb#vid_7f1d&pid_2a03&mi_00");
    ASSERT_NE(filter, INVALID_HANDLE_VALUE);
    ASSERT_NE(filter, nullptr);
    EXPECT_TRUE(DeviceSystemInstance().CloseHandle(filter));
    HANDLE missing = DeviceSystemInstance().CreateFileA("\\\\?\\usb#vid_7f1d&pid_2a09&mi_00#x#{y}\\render",
                                                        GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(missing, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST_F(DeviceTree, UsbNodesCarryRevisionHardwareIdsAndAudioChildren) {
    std::vector<std::wstring> ids = PresentHardwareIds();
    EXPECT_NE(std::find(ids.begin(), ids.end(), L"USB\\VID_7F1D&PID_2A01&REV_0102"), ids.end());
    EXPECT_NE(std::find(ids.begin(), ids.end(), L"USB\\VID_7F1D&PID_2A01"), ids.end());
    EXPECT_NE(std::find(ids.begin(), ids.end(), L"USB\\VID_7F1D&PID_2A03&REV_0102"), ids.end());

    std::vector<std::wstring> children = UsbDeviceChildIds();
    ASSERT_EQ(children.size(), 3u);  // the two controllers and the other vendor's device
    EXPECT_EQ(children[0].rfind(L"USB\\VID_7F1D&PID_2A01&MI_00", 0), 0u);
    EXPECT_EQ(children[2].rfind(L"USB\\VID_7F1D&PID_2A03&MI_00", 0), 0u);
}

TEST_F(DeviceTree, UnpluggedControllerIsKnownButNotPresent) {
    controller.Unplug(a7);
    std::vector<std::wstring> ids = PresentHardwareIds();
    EXPECT_EQ(std::find(ids.begin(), ids.end(), L"USB\\VID_7F1D&PID_2A01&REV_0102"), ids.end());
    EXPECT_NE(std::find(ids.begin(), ids.end(), L"USB\\VID_7F1D&PID_2A03&REV_0102"), ids.end());
    EXPECT_EQ(CountContaining(EnumerateAudioFilters(KSCATEGORY_CAPTURE), "pid_2a01"), 0);
    EXPECT_EQ(UsbDeviceChildIds().size(), 2u);

    controller.Plug(a7);
    EXPECT_EQ(CountContaining(EnumerateAudioFilters(KSCATEGORY_CAPTURE), "pid_2a01"), 1);
}

TEST(DeviceTreeConfig, RevisionAndFriendlyNameAreConfigurable) {
    VirtualController controller;
    ScopedDeviceSystem install(controller);
    UnitConfig config = DefaultConfig(ControllerModel::KmxB7);
    config.revision = "0231";
    config.friendlyName = "Deck B";
    controller.Connect(ControllerModel::KmxB7, config);
    std::vector<std::wstring> ids = PresentHardwareIds();
    EXPECT_NE(std::find(ids.begin(), ids.end(), L"USB\\VID_7F1D&PID_2A02&REV_0231"), ids.end());
    EXPECT_EQ(EnumerateAudioFilters(KSCATEGORY_RENDER).at(0).friendlyName, "Deck B");
}

TEST(DeviceTreeConfig, WithNothingInstalledTheMachineHasNoController) {
    EXPECT_TRUE(EnumerateAudioFilters(KSCATEGORY_RENDER).empty());
}
