// CKsIrpTarget's synchronous property requests against the virtual controller, and
// the trace output's level filter and length cut.
#include "CKsIrpTarget.h"
#include "DebugOutput.h"
#include "KsDefinitions.h"
#include "ScopedDeviceSystem.h"
#include "Trace.h"
#include "VirtualController.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
// A target whose handle the test sets, as CKsFilter and CKsPin do when they open.
class Target : public CKsIrpTarget {
public:
    void Set(HANDLE handle) { m_hTarget = handle; }
    HANDLE& Handle() { return m_hTarget; }
};

HANDLE OpenRenderFilter() {
    DeviceSystem& system = DeviceSystemInstance();
    HDEVINFO set = system.SetupDiGetClassDevsA(&KSCATEGORY_RENDER, nullptr, nullptr,
                                               DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    BYTE storage[525] = {};
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(storage);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    HANDLE filter = INVALID_HANDLE_VALUE;
    if (system.SetupDiEnumDeviceInterfaces(set, nullptr, &KSCATEGORY_RENDER, 0, &data) &&
        system.SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof storage, nullptr, nullptr))
        filter = system.CreateFileA(detail->DevicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
    system.SetupDiDestroyDeviceInfoList(set);
    return filter;
}

KSP_PIN PinRequest(ULONG id) {
    KSP_PIN request{};
    request.Property = {KSPROPSETID_Pin, id, KSPROPERTY_TYPE_GET};
    return request;
}

class IrpTarget : public ::testing::Test {
protected:
    IrpTarget() : install(controller) { unit = controller.Connect(ControllerModel::KmxA7); }
    void SetUp() override {
        filter = OpenRenderFilter();
        ASSERT_NE(filter, INVALID_HANDLE_VALUE);
    }
    void TearDown() override { CKsIrpTarget::SafeCloseHandle(filter); }
    VirtualController controller;
    ScopedDeviceSystem install;
    UnitId unit = 0;
    HANDLE filter = INVALID_HANDLE_VALUE;
};

}  // namespace

TEST_F(IrpTarget, InvalidHandlesSendNothing) {
    // A refusal armed for the next request shows whether a request was sent.
    controller.RefuseNext(RequestKind::Property, 1, ERROR_GEN_FAILURE);
    KSP_PIN request = PinRequest(KSPROPERTY_PIN_CTYPES);
    ULONG count = 0, bytes = 99;
    EXPECT_EQ(CKsIrpTarget::SyncIoctl(INVALID_HANDLE_VALUE, &request, sizeof request, &count, 4, &bytes), E_FAIL);
    EXPECT_EQ(CKsIrpTarget::SyncIoctl(nullptr, &request, sizeof request, &count, 4, nullptr), E_FAIL);
    EXPECT_EQ(CKsIrpTarget::SyncIoctl(filter, &request, sizeof request, &count, 4, &bytes), E_FAIL);  // the refusal
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(CKsIrpTarget::SyncIoctl(filter, &request, sizeof request, &count, 4, &bytes), S_OK);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(bytes, 4u);
}

TEST_F(IrpTarget, SizeQueriesAndShortBuffers) {
    KSP_PIN request = PinRequest(KSPROPERTY_PIN_DATARANGES);
    ULONG bytes = 0;
    EXPECT_EQ(CKsIrpTarget::SyncIoctl(filter, &request, sizeof request, nullptr, 0, &bytes), S_OK);
    EXPECT_EQ(bytes, sizeof(KSMULTIPLE_ITEM) + 2 * sizeof(KSDATARANGE_AUDIO));
    BYTE small[20];
    EXPECT_EQ(CKsIrpTarget::SyncIoctl(filter, &request, sizeof request, small, sizeof small, &bytes), E_FAIL);
    EXPECT_EQ(bytes, 0u);
    KSP_PIN name = PinRequest(KSPROPERTY_PIN_NAME);
    wchar_t text[4];
    bytes = 7;
    EXPECT_EQ(CKsIrpTarget::SyncIoctl(filter, &name, sizeof name, text, sizeof text, &bytes), E_FAIL);
    EXPECT_EQ(bytes, 0u);
}

TEST_F(IrpTarget, PendingCompletionGivesZeroBytes) {
    controller.PendNextProperties(1);
    KSP_PIN request = PinRequest(KSPROPERTY_PIN_CTYPES);
    ULONG count = 0, bytes = 99;
    EXPECT_EQ(CKsIrpTarget::SyncIoctl(filter, &request, sizeof request, &count, 4, &bytes), S_OK);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(count, 2u);
}

TEST_F(IrpTarget, ConnectionStateAndTopologyNodes) {
    std::vector<BYTE> block(sizeof(KSPIN_CONNECT) + sizeof(KSDATAFORMAT_WAVEFORMATEX));
    auto* connect = reinterpret_cast<KSPIN_CONNECT*>(block.data());
    connect->Interface = {KSINTERFACESETID_Standard, KSINTERFACE_STANDARD_STREAMING, 0};
    connect->Medium = {KSMEDIUMSETID_Standard, KSMEDIUM_TYPE_ANYINSTANCE, 0};
    auto* format = reinterpret_cast<KSDATAFORMAT_WAVEFORMATEX*>(connect + 1);
    format->DataFormat.FormatSize = sizeof *format;
    format->DataFormat.MajorFormat = KSDATAFORMAT_TYPE_AUDIO;
    format->DataFormat.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    format->DataFormat.Specifier = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
    format->WaveFormatEx = {WAVE_FORMAT_PCM, 4, 48000, 48000 * 12, 12, 24, 0};
    Target pin;
    ASSERT_EQ(DeviceSystemInstance().KsCreatePin(filter, block.data(), GENERIC_READ | GENERIC_WRITE, &pin.Handle()),
              DWORD(ERROR_SUCCESS));
    KSSTATE state = KSSTATE_RUN;
    EXPECT_EQ(pin.GetPropertySimple(&state), S_OK);
    EXPECT_EQ(state, KSSTATE_STOP);
    for (KSSTATE next : {KSSTATE_ACQUIRE, KSSTATE_PAUSE, KSSTATE_RUN, KSSTATE_PAUSE, KSSTATE_STOP}) {
        EXPECT_EQ(pin.SetPropertySimple(&next), S_OK);
        EXPECT_EQ(pin.GetPropertySimple(&state), S_OK);
        EXPECT_EQ(state, next);
    }
    EXPECT_TRUE(CKsIrpTarget::SafeCloseHandle(pin.Handle()));
    EXPECT_EQ(pin.GetHandle(), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CKsIrpTarget::SafeCloseHandle(pin.Handle()));  // nothing left to close
    EXPECT_EQ(pin.GetPropertySimple(&state), E_FAIL);

    Target filterTarget;
    filterTarget.Set(filter);
    PKSMULTIPLE_ITEM nodes = nullptr;
    EXPECT_EQ(filterTarget.GetPropertyMulti(&nodes), S_OK);
    ASSERT_NE(nodes, nullptr);
    EXPECT_EQ(nodes->Count, 2u);
    EXPECT_EQ(nodes->Size, sizeof(KSMULTIPLE_ITEM) + 2 * sizeof(GUID));
    CKsIrpTarget::FreePropertyBuffer(nodes);
}

TEST(Trace, WritesOnlyUpToTheLevelAndCutsLongMessages) {
    testsupport::DebugOutput output;
    ASSERT_EQ(TraceLevel, 0);
    Trace(1, "%s", "an error nobody sees");
    Trace(6, "%s Enter", "CKsIrpTarget::SyncIoctl()");
    EXPECT_TRUE(output.lines.empty());

    TraceLevel = 6;
    std::string longText(400, 'x');
    Trace(6, "%s Enter", "CKsPin::Init()");
    Trace(1, "%s", longText.c_str());
    TraceLevel = 3;
    Trace(4, "%s", "above the level");
    TraceLevel = 0;
    ASSERT_EQ(output.lines.size(), 2u);
    EXPECT_EQ(output.lines[0], "CKsPin::Init() Enter");
    EXPECT_EQ(output.lines[1], std::string(kTraceMaxChars, 'x'));
    EXPECT_EQ(kTraceMaxChars, 259);
}
