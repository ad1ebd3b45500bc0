// The filters' pin factories, their properties and size conventions, pin creation
// per model, the connection state machine, and requests with bad input.
#include "KsTestHelpers.h"
#include "ScopedDeviceSystem.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace kstest;

namespace {
class Filter : public ::testing::Test {
protected:
    Filter() : install(controller) { unit = controller.Connect(ControllerModel::KmxA7); }
    ~Filter() override {
        if (render != INVALID_HANDLE_VALUE) DeviceSystemInstance().CloseHandle(render);
        if (capture != INVALID_HANDLE_VALUE) DeviceSystemInstance().CloseHandle(capture);
    }
    void SetUp() override {
        render = OpenFilter(KSCATEGORY_RENDER, "pid_2a01&mi_00");
        capture = OpenFilter(KSCATEGORY_CAPTURE, "pid_2a01&mi_00");
        ASSERT_NE(render, INVALID_HANDLE_VALUE);
        ASSERT_NE(capture, INVALID_HANDLE_VALUE);
    }
    template <typename T>
    T Simple(HANDLE filter, ULONG pin, ULONG property) {
        T value{};
        ULONG bytes = 0;
        EXPECT_EQ(PinProperty(filter, pin, property, &value, sizeof value, &bytes), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(bytes, sizeof value);
        return value;
    }
    std::vector<BYTE> Multi(HANDLE filter, ULONG pin, ULONG property) {
        ULONG size = 0;
        EXPECT_EQ(PinProperty(filter, pin, property, nullptr, 0, &size), DWORD(ERROR_MORE_DATA));
        std::vector<BYTE> buffer(size);
        ULONG bytes = 0;
        EXPECT_EQ(PinProperty(filter, pin, property, buffer.data(), size, &bytes), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(bytes, size);
        return buffer;
    }
    VirtualController controller;
    ScopedDeviceSystem install;
    UnitId unit = 0;
    HANDLE render = INVALID_HANDLE_VALUE;
    HANDLE capture = INVALID_HANDLE_VALUE;
};

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
}  // namespace

TEST_F(Filter, PinFactoriesDescribeAStreamingSinkAndABridge) {
    EXPECT_EQ(Simple<ULONG>(render, 0, KSPROPERTY_PIN_CTYPES), 2u);
    EXPECT_EQ(Simple<KSPIN_DATAFLOW>(render, 0, KSPROPERTY_PIN_DATAFLOW), KSPIN_DATAFLOW_IN);
    EXPECT_EQ(Simple<KSPIN_DATAFLOW>(capture, 0, KSPROPERTY_PIN_DATAFLOW), KSPIN_DATAFLOW_OUT);
    EXPECT_EQ(Simple<KSPIN_COMMUNICATION>(render, 0, KSPROPERTY_PIN_COMMUNICATION), KSPIN_COMMUNICATION_SINK);
    EXPECT_EQ(Simple<KSPIN_COMMUNICATION>(capture, 0, KSPROPERTY_PIN_COMMUNICATION), KSPIN_COMMUNICATION_SINK);
    EXPECT_EQ(Simple<KSPIN_COMMUNICATION>(render, 1, KSPROPERTY_PIN_COMMUNICATION), KSPIN_COMMUNICATION_BRIDGE);

    KSPIN_CINSTANCES instances = Simple<KSPIN_CINSTANCES>(render, 0, KSPROPERTY_PIN_CINSTANCES);
    EXPECT_EQ(instances.PossibleCount, 1u);
    EXPECT_EQ(instances.CurrentCount, 0u);
    EXPECT_EQ(Simple<KSPIN_CINSTANCES>(render, 0, KSPROPERTY_PIN_GLOBALCINSTANCES).PossibleCount, 1u);
    EXPECT_TRUE(SameGuid(Simple<GUID>(render, 0, KSPROPERTY_PIN_CATEGORY), KSCATEGORY_AUDIO));

    std::vector<BYTE> interfaces = Multi(render, 0, KSPROPERTY_PIN_INTERFACES);
    auto* list = reinterpret_cast<KSMULTIPLE_ITEM*>(interfaces.data());
    ASSERT_EQ(list->Count, 1u);
    auto* standard = reinterpret_cast<KSIDENTIFIER*>(list + 1);
    EXPECT_TRUE(SameGuid(standard->Set, KSINTERFACESETID_Standard));
    EXPECT_EQ(standard->Id, ULONG(KSINTERFACE_STANDARD_STREAMING));

    std::vector<BYTE> mediums = Multi(render, 0, KSPROPERTY_PIN_MEDIUMS);
    auto* medium = reinterpret_cast<KSIDENTIFIER*>(mediums.data() + sizeof(KSMULTIPLE_ITEM));
    EXPECT_TRUE(SameGuid(medium->Set, KSMEDIUMSETID_Standard));
    EXPECT_EQ(medium->Id, ULONG(KSMEDIUM_TYPE_ANYINSTANCE));

    std::vector<BYTE> ranges = Multi(render, 0, KSPROPERTY_PIN_DATARANGES);
    list = reinterpret_cast<KSMULTIPLE_ITEM*>(ranges.data());
    ASSERT_EQ(list->Count, 2u);
    EXPECT_EQ(list->Size, ranges.size());
    auto* range = reinterpret_cast<KSDATARANGE_AUDIO*>(list + 1);
    EXPECT_EQ(range[0].DataRange.FormatSize, sizeof(KSDATARANGE_AUDIO));
    EXPECT_TRUE(SameGuid(range[0].DataRange.SubFormat, KSDATAFORMAT_SUBTYPE_PCM));
    EXPECT_EQ(range[0].MaximumChannels, 4u);
    EXPECT_EQ(range[0].MaximumBitsPerSample, 24u);
    EXPECT_EQ(range[0].MinimumSampleFrequency, 44100u);
    EXPECT_EQ(range[1].MaximumSampleFrequency, 48000u);

    wchar_t name[130] = {};
    ULONG bytes = 0;
    EXPECT_EQ(PinProperty(render, 0, KSPROPERTY_PIN_NAME, name, 259, &bytes), DWORD(ERROR_SUCCESS));
    EXPECT_STREQ(name, L"KMX-A7 Output");

    KSPROPERTY nodes{KSPROPSETID_Topology, KSPROPERTY_TOPOLOGY_NODES, KSPROPERTY_TYPE_GET};
    DWORD size = 0;
    EXPECT_FALSE(DeviceSystemInstance().DeviceIoControl(render, IOCTL_KS_PROPERTY, &nodes, sizeof nodes, nullptr, 0,
                                                         &size, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(size, sizeof(KSMULTIPLE_ITEM) + 2 * sizeof(GUID));
}

TEST_F(Filter, ListSizeConventionsAndBoundsAreKept) {
    struct Case {
        ULONG valueSize;
        DWORD error;
        ULONG bytes;
    };
    const ULONG full = sizeof(KSMULTIPLE_ITEM) + 2 * sizeof(KSDATARANGE_AUDIO);
    const Case cases[] = {
        {0, ERROR_MORE_DATA, full},              // size query
        {sizeof(ULONG), ERROR_SUCCESS, 4},       // the total size alone
        {sizeof(KSMULTIPLE_ITEM), ERROR_SUCCESS, 8},  // the header alone
        {12, ERROR_INSUFFICIENT_BUFFER, 0},
        {full - 1, ERROR_INSUFFICIENT_BUFFER, 0},
        {full, ERROR_SUCCESS, full},
    };
    for (const Case& c : cases) {
        std::vector<BYTE> buffer(c.valueSize + 16, 0xEE);
        ULONG bytes = 12345;
        EXPECT_EQ(PinProperty(render, 0, KSPROPERTY_PIN_DATARANGES, c.valueSize ? buffer.data() : nullptr,
                              c.valueSize, &bytes),
                  c.error)
            << c.valueSize;
        EXPECT_EQ(bytes, c.bytes) << c.valueSize;
        for (size_t i = c.valueSize; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xEE) << "written past the value";
    }
    ULONG flow = 0, bytes = 0;
    EXPECT_EQ(PinProperty(render, 0, KSPROPERTY_PIN_DATAFLOW, &flow, 2, &bytes), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(PinProperty(render, 7, KSPROPERTY_PIN_DATAFLOW, &flow, 4, &bytes), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(PinProperty(render, 0, KSPROPERTY_PIN_PHYSICALCONNECTION, &flow, 4, &bytes), DWORD(ERROR_NOT_FOUND));
}

TEST_F(Filter, AdvertisedRangesCanLieAndRepliesCanBeMalformed) {
    controller.SetMalformedReply(unit, KSPROPSETID_Pin, KSPROPERTY_PIN_DATARANGES, MalformedReply::ZeroFormatSize);
    std::vector<BYTE> ranges = Multi(render, 0, KSPROPERTY_PIN_DATARANGES);
    EXPECT_EQ(reinterpret_cast<KSDATARANGE*>(ranges.data() + sizeof(KSMULTIPLE_ITEM))->FormatSize, 0u);
    controller.SetMalformedReply(unit, KSPROPSETID_Pin, KSPROPERTY_PIN_DATARANGES, MalformedReply::CountPastData);
    ranges = Multi(render, 0, KSPROPERTY_PIN_DATARANGES);
    EXPECT_EQ(reinterpret_cast<KSMULTIPLE_ITEM*>(ranges.data())->Count, 7u);

    // A pin that claims 2 channels only, though KsCreatePin opens 4.
    VirtualController liar;
    ScopedDeviceSystem inner(liar);
    UnitConfig config = DefaultConfig(ControllerModel::KmxA7);
    KSDATARANGE_AUDIO claim{};
    claim.DataRange.FormatSize = sizeof claim;
    claim.DataRange.MajorFormat = KSDATAFORMAT_TYPE_AUDIO;
    claim.DataRange.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    claim.DataRange.Specifier = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
    claim.MaximumChannels = 2;
    claim.MinimumBitsPerSample = claim.MaximumBitsPerSample = 16;
    claim.MinimumSampleFrequency = claim.MaximumSampleFrequency = 48000;
    config.advertisedRender = {claim};
    liar.Connect(ControllerModel::KmxA7, config);
    HANDLE filter = OpenFilter(KSCATEGORY_RENDER, "pid_2a01");
    std::vector<BYTE> advertised = Multi(filter, 0, KSPROPERTY_PIN_DATARANGES);
    EXPECT_EQ(reinterpret_cast<KSDATARANGE_AUDIO*>(advertised.data() + 8)->MaximumChannels, 2u);
    HANDLE pin;
    EXPECT_EQ(CreatePin(filter, {false, 4, 48000, 3, 0}, &pin), DWORD(ERROR_SUCCESS));
    DeviceSystemInstance().CloseHandle(pin);
    DeviceSystemInstance().CloseHandle(filter);
}

struct CreateCase {
    ControllerModel model;
    bool renderSide;
    WaveRequest wave;
    DWORD expected;
};

TEST(PinCreation, AcceptsExactlyTheStreamableFormats) {
    const DWORD ok = ERROR_SUCCESS, no = ERROR_NO_MATCH;
    const CreateCase cases[] = {
        {ControllerModel::KmxA7, true, {false, 4, 48000, 3, 0}, ok},
        {ControllerModel::KmxA7, true, {false, 4, 44100, 3, 0}, ok},
        {ControllerModel::KmxA7, true, {true, 4, 48000, 3, 24}, ok},
        {ControllerModel::KmxA7, true, {false, 4, 96000, 3, 0}, no},   // rate
        {ControllerModel::KmxA7, true, {false, 2, 48000, 3, 0}, no},   // channel count
        {ControllerModel::KmxA7, true, {false, 4, 48000, 2, 0}, no},   // container
        {ControllerModel::KmxA7, true, {false, 4, 48000, 4, 0}, no},
        {ControllerModel::KmxA7, false, {false, 2, 48000, 3, 0}, ok},
        {ControllerModel::KmxA7, false, {false, 4, 48000, 3, 0}, no},
        {ControllerModel::KmxB7, true, {false, 4, 96000, 3, 0}, ok},
        {ControllerModel::KmxB7, true, {false, 4, 88200, 3, 0}, ok},
        {ControllerModel::KmxB7, false, {true, 2, 96000, 3, 24}, ok},
        {ControllerModel::KmxB7, true, {false, 4, 22050, 3, 0}, no},
        {ControllerModel::KmxNova, true, {true, 4, 96000, 4, 32}, ok},
        {ControllerModel::KmxNova, true, {true, 4, 44100, 4, 24}, ok},
        {ControllerModel::KmxNova, false, {true, 2, 48000, 4, 32}, ok},
        {ControllerModel::KmxNova, true, {false, 4, 48000, 4, 0}, no},  // plain form
        {ControllerModel::KmxNova, true, {true, 4, 48000, 3, 24}, no},  // 3-byte container
        {ControllerModel::KmxNova, true, {true, 4, 48000, 4, 16}, no},  // fewer valid bits than the device
        {ControllerModel::KmxNova, true, {true, 2, 48000, 4, 32}, no},
    };
    for (const CreateCase& c : cases) {
        VirtualController controller;
        ScopedDeviceSystem install(controller);
        controller.Connect(c.model);
        HANDLE filter = OpenFilter(c.renderSide ? KSCATEGORY_RENDER : KSCATEGORY_CAPTURE, "usb#vid_7f1d");
        ASSERT_NE(filter, INVALID_HANDLE_VALUE);
        HANDLE pin = INVALID_HANDLE_VALUE;
        DWORD result = CreatePin(filter, c.wave, &pin);
        EXPECT_EQ(result, c.expected) << IdentityOf(c.model).name << (c.renderSide ? " render " : " capture ")
                                      << (c.wave.extensible ? "ext " : "pcm ") << c.wave.channels << "ch "
                                      << c.wave.rate << " Hz " << c.wave.containerBytes << " bytes";
        if (result == ERROR_SUCCESS) {
            EXPECT_NE(pin, INVALID_HANDLE_VALUE);
            EXPECT_NE(pin, nullptr);
            EXPECT_EQ(GetState(pin), KSSTATE_STOP);
            // One instance at a time, as the hardware streams one format at a time.
            HANDLE second;
            EXPECT_EQ(CreatePin(filter, c.wave, &second), DWORD(ERROR_BUSY));
            EXPECT_TRUE(DeviceSystemInstance().CloseHandle(pin));
        } else {
            EXPECT_EQ(pin, INVALID_HANDLE_VALUE);
        }
        DeviceSystemInstance().CloseHandle(filter);
        EXPECT_EQ(controller.OpenHandleCount(), 0);
    }
}

TEST_F(Filter, PinCreationRefusesBadBlocks) {
    HANDLE pin = INVALID_HANDLE_VALUE;
    WaveRequest good{false, 4, 48000, 3, 0};
    std::vector<BYTE> bridge = ConnectBlock(good, 1);
    EXPECT_EQ(DeviceSystemInstance().KsCreatePin(render, bridge.data(), GENERIC_READ, &pin),
              DWORD(ERROR_INVALID_PARAMETER));
    std::vector<BYTE> looped = ConnectBlock(good);
    reinterpret_cast<KSPIN_CONNECT*>(looped.data())->Interface.Id = KSINTERFACE_STANDARD_LOOPED_STREAMING;
    EXPECT_EQ(DeviceSystemInstance().KsCreatePin(render, looped.data(), GENERIC_READ, &pin), DWORD(ERROR_NO_MATCH));
    std::vector<BYTE> shortFormat = ConnectBlock(good);
    reinterpret_cast<KSDATAFORMAT*>(shortFormat.data() + sizeof(KSPIN_CONNECT))->FormatSize = 70;
    EXPECT_EQ(DeviceSystemInstance().KsCreatePin(render, shortFormat.data(), GENERIC_READ, &pin),
              DWORD(ERROR_INVALID_PARAMETER));
    std::vector<BYTE> block = ConnectBlock(good);
    EXPECT_EQ(DeviceSystemInstance().KsCreatePin(render, nullptr, GENERIC_READ, &pin), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(DeviceSystemInstance().KsCreatePin(render, block.data(), GENERIC_READ, nullptr),
              DWORD(ERROR_INVALID_PARAMETER));
    HANDLE foreign = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(DeviceSystemInstance().KsCreatePin(foreign, block.data(), GENERIC_READ, &pin),
              DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(pin, INVALID_HANDLE_VALUE);
    controller.RefuseNext(RequestKind::CreatePin, 1, ERROR_NO_SYSTEM_RESOURCES);
    EXPECT_EQ(DeviceSystemInstance().KsCreatePin(render, block.data(), GENERIC_READ, &pin),
              DWORD(ERROR_NO_SYSTEM_RESOURCES));
    EXPECT_EQ(DeviceSystemInstance().KsCreatePin(render, block.data(), GENERIC_READ, &pin), DWORD(ERROR_SUCCESS));
    DeviceSystemInstance().CloseHandle(pin);
    CloseHandle(foreign);
}

TEST_F(Filter, ConnectionStateMovesThroughEveryStateAndRefusesOthers) {
    HANDLE pin;
    ASSERT_EQ(CreatePin(render, {false, 4, 48000, 3, 0}, &pin), DWORD(ERROR_SUCCESS));
    for (KSSTATE state : {KSSTATE_ACQUIRE, KSSTATE_PAUSE, KSSTATE_RUN, KSSTATE_PAUSE, KSSTATE_STOP}) {
        EXPECT_EQ(SetState(pin, state), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(GetState(pin), state);
    }
    EXPECT_EQ(SetState(pin, KSSTATE(7)), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(GetState(pin), KSSTATE_STOP);
    // A stopped pin takes no stream requests.
    StreamBuffer buffer(64 * 12);
    EXPECT_FALSE(buffer.Write(pin));
    EXPECT_EQ(buffer.lastError, DWORD(ERROR_BAD_COMMAND));
    DeviceSystemInstance().CloseHandle(pin);
}

TEST_F(Filter, BadRequestsGetTheWindowsErrorAndNoWrite) {
    DeviceSystem& system = DeviceSystemInstance();
    HANDLE pin;
    ASSERT_EQ(CreatePin(render, {false, 4, 48000, 3, 0}, &pin), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(SetState(pin, KSSTATE_RUN), DWORD(ERROR_SUCCESS));
    KSP_PIN request{};
    request.Property = {KSPROPSETID_Pin, KSPROPERTY_PIN_DATAFLOW, KSPROPERTY_TYPE_GET};
    ULONG value = 0;
    DWORD bytes = 0;
    struct Case {
        const char* what;
        HANDLE target;
        DWORD code;
        void* in;
        DWORD inSize;
        void* out;
        DWORD outSize;
        DWORD error;
    };
    KSSTREAM_HEADER header{};
    header.Size = sizeof header;
    KSSTREAM_HEADER tooSmall{};
    tooSmall.Size = 8;
    const Case cases[] = {
        {"short request", render, IOCTL_KS_PROPERTY, &request, 20, &value, 4, ERROR_INVALID_USER_BUFFER},
        {"null request", render, IOCTL_KS_PROPERTY, nullptr, sizeof request, &value, 4, ERROR_NOACCESS},
        {"null value", render, IOCTL_KS_PROPERTY, &request, sizeof request, nullptr, 4, ERROR_NOACCESS},
        {"unknown set", pin, IOCTL_KS_PROPERTY, &request, sizeof request, &value, 4, ERROR_SET_NOT_FOUND},
        {"unknown code", render, 0x2F0FFF, &request, sizeof request, &value, 4, ERROR_INVALID_FUNCTION},
        {"write to filter", render, IOCTL_KS_WRITE_STREAM, nullptr, 0, &header, sizeof header, ERROR_INVALID_FUNCTION},
        {"read from render", pin, IOCTL_KS_READ_STREAM, nullptr, 0, &header, sizeof header, ERROR_INVALID_FUNCTION},
        {"no overlapped", pin, IOCTL_KS_WRITE_STREAM, nullptr, 0, &header, sizeof header, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(system.DeviceIoControl(c.target, c.code, c.in, c.inSize, c.out, c.outSize, &bytes, nullptr))
            << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(system.DeviceIoControl(pin, IOCTL_KS_WRITE_STREAM, nullptr, 0, &tooSmall, sizeof tooSmall, &bytes,
                                        &overlapped));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER));
    header.FrameExtent = 64;
    EXPECT_FALSE(system.DeviceIoControl(pin, IOCTL_KS_WRITE_STREAM, nullptr, 0, &header, sizeof header, &bytes,
                                        &overlapped));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOACCESS));  // no data behind a non-empty frame

    // A handle the device system never handed out gets the operating system's answer.
    EXPECT_FALSE(system.DeviceIoControl(overlapped.hEvent, IOCTL_KS_PROPERTY, &request, sizeof request, &value, 4,
                                        &bytes, nullptr));
    EXPECT_NE(GetLastError(), DWORD(ERROR_SUCCESS));
    HDEVINFO bogus = reinterpret_cast<HDEVINFO>(overlapped.hEvent);
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    EXPECT_FALSE(system.SetupDiEnumDeviceInfo(bogus, 0, &info));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(system.SetupDiDestroyDeviceInfoList(bogus));
    ULONG status, problem;
    EXPECT_EQ(system.CM_Get_DevNode_Status(&status, &problem, 0xDEAD, 0), CR_INVALID_DEVNODE);
    EXPECT_EQ(system.CM_Get_DevNode_Status(nullptr, &problem, 0x1000, 0), CR_INVALID_POINTER);
    CloseHandle(overlapped.hEvent);
    system.CloseHandle(pin);
}

TEST_F(Filter, InterfaceDetailAndNamesRespectTheCallersBuffer) {
    DeviceSystem& system = DeviceSystemInstance();
    HDEVINFO set = system.SetupDiGetClassDevsA(&KSCATEGORY_AUDIO, nullptr, nullptr,
                                               DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    ASSERT_TRUE(system.SetupDiEnumDeviceInterfaces(set, nullptr, &KSCATEGORY_AUDIO, 0, &data));
    DWORD needed = 0;
    EXPECT_FALSE(system.SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &needed, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    std::vector<BYTE> storage(needed + 8, 0xEE);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    EXPECT_FALSE(system.SetupDiGetDeviceInterfaceDetailA(set, &data, detail, needed - 1, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    detail->cbSize = 1;
    EXPECT_FALSE(system.SetupDiGetDeviceInterfaceDetailA(set, &data, detail, needed, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER));
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    EXPECT_TRUE(system.SetupDiGetDeviceInterfaceDetailA(set, &data, detail, needed, nullptr, nullptr));
    for (DWORD i = needed; i < storage.size(); ++i) ASSERT_EQ(storage[i], 0xEE);

    HKEY key = system.SetupDiOpenDeviceInterfaceRegKey(set, &data, 0, KEY_QUERY_VALUE);
    ASSERT_NE(key, reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
    char name[4] = {'x', 'x', 'x', 'x'};
    DWORD size = 3, type = 0;
    EXPECT_EQ(system.RegQueryValueExA(key, "FriendlyName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size),
              LONG(ERROR_MORE_DATA));
    EXPECT_EQ(size, 7u);  // "KMX-A7" and its terminator
    EXPECT_EQ(name[3], 'x');
    EXPECT_EQ(system.RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size), LONG(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(system.RegCloseKey(key), LONG(ERROR_SUCCESS));
    system.SetupDiDestroyDeviceInfoList(set);
}
