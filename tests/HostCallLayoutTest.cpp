// The built driver as an MSVC-built host of the same bitness meets it: the object
// from the test-fixture DLL is called only by vtable slot number, through function
// pointer types of the host's own convention (on x64 the one convention, `this`
// first; on x86 thiscall and stdcall), and every record crosses as raw bytes at
// the offsets the host's compiler gives it, never through our ASIO declarations.
// A slot moved, a record of the wrong size for the bitness (pointer members on
// x64) or a changed packing fails here instead of in a host.
#include <gtest/gtest.h>

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

#include "DriverIdentity.h"
#include "TestSupport.h"

namespace {

#if defined(_WIN64)
#define HOST_METHOD
#define HOST_IUNKNOWN
#else
#define HOST_METHOD __thiscall
#define HOST_IUNKNOWN __stdcall
#endif

constexpr std::size_t kPointer = sizeof(void*);

// The records as the host's compiler lays them out, 4-byte packed.
constexpr std::size_t kBufferInfoSize = kPointer == 8 ? 24 : 16;  // isInput, channelNum, buffers[2]
constexpr std::size_t kBufferInfoBuffers = 8;
constexpr std::size_t kCallbacksSize = kPointer == 8 ? 32 : 16;    // four function pointers
constexpr std::size_t kChannelInfoSize = 52;
constexpr std::size_t kChannelInfoType = 16;
constexpr std::size_t kChannelInfoName = 20;
constexpr std::size_t kClockSourceSize = 48;
constexpr std::size_t kClockSourceName = 16;
constexpr std::size_t kTimeSampleRate = 40;  // ASIOTime: reserved[4], timeInfo at 16, its sampleRate at 24

// Slots after IUnknown's three, in the order hosts call them.
enum Slot : int {
    kQueryInterface = 0, kAddRef, kRelease, kInit, kGetDriverName, kGetDriverVersion, kGetErrorMessage, kStart,
    kStop, kGetChannels, kGetLatencies, kGetBufferSize, kCanSampleRate, kGetSampleRate, kSetSampleRate,
    kGetClockSources, kSetClockSource, kGetSamplePosition, kGetChannelInfo, kCreateBuffers, kDisposeBuffers,
    kControlPanel, kFuture, kOutputReady,
};

constexpr long kAseOk = 0;
constexpr long kAseSuccess = 0x3f4847a0;
constexpr long kAseNoClock = -995;
constexpr long kSelectorSupportsTimeInfo = 7;
constexpr long kFutureCanTimeInfo = 10;

template <typename T>
T Get(const unsigned char* record, std::size_t offset) {
    T value;
    std::memcpy(&value, record + offset, sizeof value);
    return value;
}

template <typename T>
void Put(unsigned char* record, std::size_t offset, T value) {
    std::memcpy(record + offset, &value, sizeof value);
}

// What the host's callbacks saw, written from the driver's stream thread.
struct CallbackLog {
    std::atomic<long> plainSwitches{0};
    std::atomic<long> timeInfoSwitches{0};
    std::atomic<bool> answerTimeInfo{false};
    std::atomic<double> lastTimeSampleRate{0.0};
    std::atomic<bool> indexOutOfRange{false};
    HANDLE enoughSwitches = nullptr;
};
CallbackLog g_log;
constexpr long kSwitchesWanted = 8;

void NoteSwitch(long index, std::atomic<long>& counter) {
    if (index != 0 && index != 1) g_log.indexOutOfRange = true;
    if (++counter == kSwitchesWanted) SetEvent(g_log.enoughSwitches);
}

// Plain C functions, as the host declares its callbacks.
void OnBufferSwitch(long index, long) { NoteSwitch(index, g_log.plainSwitches); }
void OnSampleRateDidChange(double) {}
long OnAsioMessage(long selector, long value, void*, double*) {
    if (selector == 1) return value == kSelectorSupportsTimeInfo ? 1 : 0;  // kAsioSelectorSupported
    if (selector == kSelectorSupportsTimeInfo) return g_log.answerTimeInfo ? 1 : 0;
    return 0;
}
void* OnBufferSwitchTimeInfo(void* time, long index, long) {
    g_log.lastTimeSampleRate = Get<double>(static_cast<unsigned char*>(time), kTimeSampleRate);
    NoteSwitch(index, g_log.timeInfoSwitches);
    return nullptr;
}

class HostCallLayout : public ::testing::Test {
protected:
    static std::string FixtureDllPath() {
        return testsupport::BuildBinDirectory() + "\\..\\virtual\\Veltrix_KMX_ASIO.dll";
    }

    // Calls slot `slot` of the driver through the function pointer type Method
    // (whose first parameter is the object) with the given further arguments.
    template <typename Method, typename... Args>
    auto Call(int slot, Args... args) {
        void** vtable = *static_cast<void***>(m_driver);
        auto method = reinterpret_cast<Method>(vtable[slot]);
        return method(m_driver, args...);
    }

    long CallLong(int slot) { return Call<long(HOST_METHOD*)(void*)>(slot); }
    long CallPtr(int slot, void* a) { return Call<long(HOST_METHOD*)(void*, void*)>(slot, a); }
    long CallPtr2(int slot, void* a, void* b) { return Call<long(HOST_METHOD*)(void*, void*, void*)>(slot, a, b); }
    long CallRate(int slot, double rate) { return Call<long(HOST_METHOD*)(void*, double)>(slot, rate); }

    void SetUp() override {
        m_module = LoadLibraryA(FixtureDllPath().c_str());
        ASSERT_NE(m_module, nullptr) << "LoadLibrary " << FixtureDllPath() << ": " << GetLastError();
        auto getClassObject =
            testsupport::LoadExport<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(m_module, "DllGetClassObject");
        ASSERT_NE(getClassObject, nullptr);
        IClassFactory* factory = nullptr;
        ASSERT_EQ(getClassObject(kDriverClassId, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
        // The class ID as interface ID, as hosts ask; what comes back is used as
        // a bare vtable from here on.
        HRESULT hr = factory->CreateInstance(nullptr, kDriverClassId, &m_driver);
        factory->Release();
        ASSERT_EQ(hr, S_OK);
        ASSERT_NE(m_driver, nullptr);
        g_log.enoughSwitches = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }

    void TearDown() override {
        if (m_driver) {
            EXPECT_EQ(Call<ULONG(HOST_IUNKNOWN*)(void*)>(kRelease), 0u);
        }
        if (g_log.enoughSwitches) CloseHandle(g_log.enoughSwitches);
        g_log.enoughSwitches = nullptr;
        if (m_module) FreeLibrary(m_module);
    }

    testsupport::ScratchSettings m_settings;
    HMODULE m_module = nullptr;
    void* m_driver = nullptr;
};

TEST_F(HostCallLayout, QueriesAnswerThroughTheSlotsAndRecordsAHostLaysOut) {
    void* unknown = nullptr;
    EXPECT_EQ((Call<HRESULT(HOST_IUNKNOWN*)(void*, const IID*, void**)>(kQueryInterface, &IID_IUnknown, &unknown)), S_OK);
    EXPECT_NE(unknown, nullptr);
    EXPECT_EQ(Call<ULONG(HOST_IUNKNOWN*)(void*)>(kAddRef), 3u);
    EXPECT_EQ(Call<ULONG(HOST_IUNKNOWN*)(void*)>(kRelease), 2u);
    EXPECT_EQ(Call<ULONG(HOST_IUNKNOWN*)(void*)>(kRelease), 1u);

    ASSERT_EQ(CallPtr(kInit, nullptr), 1) << "init against the fixture's virtual KMX-B7";
    char name[32] = {};
    Call<void(HOST_METHOD*)(void*, char*)>(kGetDriverName, name);
    EXPECT_STREQ(name, kDriverName);
    EXPECT_EQ(CallLong(kGetDriverVersion), kDriverVersion);
    char message[124] = {};
    Call<void(HOST_METHOD*)(void*, char*)>(kGetErrorMessage, message);
    EXPECT_LT(std::strlen(message), sizeof message);

    long in = -1, out = -1;
    EXPECT_EQ(CallPtr2(kGetChannels, &in, &out), kAseOk);
    EXPECT_EQ(in, 2);
    EXPECT_EQ(out, 4);
    long minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
    EXPECT_EQ((Call<long(HOST_METHOD*)(void*, long*, long*, long*, long*)>(kGetBufferSize, &minSize, &maxSize, &preferred,
                                                                          &granularity)),
              kAseOk);
    EXPECT_EQ(minSize, 64);
    EXPECT_EQ(maxSize, 1920);
    EXPECT_EQ(granularity, 64);

    // A double as the method's only argument: on x64 it travels in the second
    // vector register, behind `this`.
    struct RateCase {
        double rate;
        long answer;
    } rates[] = {{44100.0, kAseOk}, {96000.0, kAseOk}, {12345.0, kAseNoClock}, {-1.0, kAseNoClock}};
    for (const RateCase& c : rates) EXPECT_EQ(CallRate(kCanSampleRate, c.rate), c.answer) << c.rate;
    EXPECT_EQ(CallRate(kSetSampleRate, 48000.0), kAseOk);
    double rate = 0.0;
    EXPECT_EQ(CallPtr(kGetSampleRate, &rate), kAseOk);
    EXPECT_EQ(rate, 48000.0);

    unsigned char clocks[kClockSourceSize + 8];
    std::memset(clocks, 0xCD, sizeof clocks);
    long clockCount = 0;
    EXPECT_EQ(CallPtr2(kGetClockSources, clocks, &clockCount), kAseOk);
    EXPECT_EQ(clockCount, 1);
    EXPECT_EQ(Get<long>(clocks, 12), 1) << "isCurrentSource";
    EXPECT_NE(std::memchr(clocks + kClockSourceName, 0, 32), nullptr) << "name ends inside its 32 bytes";
    EXPECT_EQ(clocks[kClockSourceSize], 0xCD) << "nothing written past the record";
    EXPECT_EQ((Call<long(HOST_METHOD*)(void*, long)>(kSetClockSource, 0)), kAseOk);

    struct ChannelCase {
        long channel;
        long isInput;
        const char* name;
    } channels[] = {{0, 1, "KMX-B7 AUX/MIC L"}, {1, 0, "KMX-B7 MASTER R"}, {3, 0, "KMX-B7 PHONES R"}};
    for (const ChannelCase& c : channels) {
        unsigned char info[kChannelInfoSize + 8];
        std::memset(info, 0xCD, sizeof info);
        Put<long>(info, 0, c.channel);
        Put<long>(info, 4, c.isInput);
        EXPECT_EQ(CallPtr(kGetChannelInfo, info), kAseOk) << c.name;
        EXPECT_EQ(Get<long>(info, kChannelInfoType), 18) << c.name << ": ASIOSTInt32LSB at the default bit depth";
        EXPECT_STREQ(reinterpret_cast<const char*>(info + kChannelInfoName), c.name);
        EXPECT_EQ(info[kChannelInfoSize], 0xCD) << c.name << ": nothing written past the record";
    }
    EXPECT_EQ((Call<long(HOST_METHOD*)(void*, long, void*)>(kFuture, kFutureCanTimeInfo, nullptr)), kAseSuccess);
    EXPECT_EQ(CallLong(kOutputReady), kAseOk);
}

TEST_F(HostCallLayout, BuffersAndCallbacksCrossAsTheHostLaysThemOut) {
    ASSERT_EQ(CallPtr(kInit, nullptr), 1) << "init against the fixture's virtual KMX-B7";
    for (bool timeInfo : {false, true}) {
        SCOPED_TRACE(timeInfo ? "host takes bufferSwitchTimeInfo" : "host takes bufferSwitch");
        g_log.plainSwitches = 0;
        g_log.timeInfoSwitches = 0;
        g_log.answerTimeInfo = timeInfo;
        g_log.indexOutOfRange = false;
        ResetEvent(g_log.enoughSwitches);

        // Two inputs and four outputs, records back to back as in a host's array.
        constexpr int kChannels = 6;
        std::vector<unsigned char> packed(kBufferInfoSize * kChannels);
        for (int i = 0; i < kChannels; ++i) {
            unsigned char* record = packed.data() + i * kBufferInfoSize;
            Put<long>(record, 0, i < 2 ? 1 : 0);
            Put<long>(record, 4, i < 2 ? i : i - 2);
            Put<void*>(record, kBufferInfoBuffers, nullptr);
            Put<void*>(record, kBufferInfoBuffers + kPointer, nullptr);
        }
        unsigned char callbacks[kCallbacksSize];
        Put<void*>(callbacks, 0 * kPointer, reinterpret_cast<void*>(&OnBufferSwitch));
        Put<void*>(callbacks, 1 * kPointer, reinterpret_cast<void*>(&OnSampleRateDidChange));
        Put<void*>(callbacks, 2 * kPointer, reinterpret_cast<void*>(&OnAsioMessage));
        Put<void*>(callbacks, 3 * kPointer, reinterpret_cast<void*>(&OnBufferSwitchTimeInfo));

        ASSERT_EQ((Call<long(HOST_METHOD*)(void*, void*, long, long, void*)>(kCreateBuffers, packed.data(), long(kChannels),
                                                                             256L, callbacks)),
                  kAseOk);
        std::vector<void*> seen;
        for (int i = 0; i < kChannels; ++i) {
            const unsigned char* record = packed.data() + i * kBufferInfoSize;
            void* halves[2] = {Get<void*>(record, kBufferInfoBuffers), Get<void*>(record, kBufferInfoBuffers + kPointer)};
            for (void* half : halves) {
                EXPECT_NE(half, nullptr) << "channel record " << i;
                for (void* other : seen) EXPECT_NE(half, other) << "channel record " << i;
                seen.push_back(half);
            }
            EXPECT_EQ(Get<long>(record, 0), i < 2 ? 1 : 0) << "isInput left as the host wrote it";
        }
        long inputLatency = 0, outputLatency = 0;
        EXPECT_EQ(CallPtr2(kGetLatencies, &inputLatency, &outputLatency), kAseOk);
        EXPECT_GT(inputLatency, 0);
        EXPECT_GT(outputLatency, 0);

        ASSERT_EQ(CallLong(kStart), kAseOk);
        // A generous bound: the machine is shared; only the arrival counts.
        EXPECT_EQ(WaitForSingleObject(g_log.enoughSwitches, 10000), WAIT_OBJECT_0) << "no callbacks from the driver";
        unsigned char position[8] = {}, stamp[8] = {};
        EXPECT_EQ(CallPtr2(kGetSamplePosition, position, stamp), kAseOk);
        EXPECT_EQ(CallLong(kStop), kAseOk);
        EXPECT_EQ(CallLong(kDisposeBuffers), kAseOk);

        // The driver picked the callback the host asked for, from the right slot
        // of the host's record.
        EXPECT_GE(timeInfo ? g_log.timeInfoSwitches.load() : g_log.plainSwitches.load(), kSwitchesWanted);
        EXPECT_EQ(timeInfo ? g_log.plainSwitches.load() : g_log.timeInfoSwitches.load(), 0);
        EXPECT_FALSE(g_log.indexOutOfRange.load()) << "a buffer index other than 0 or 1";
        if (timeInfo) {
            EXPECT_EQ(g_log.lastTimeSampleRate.load(), 44100.0) << "ASIOTime's sample rate at byte 40";
        }
        // Hi half first: a few thousand frames fit the low half.
        EXPECT_EQ(Get<unsigned long>(position, 0), 0u);
        EXPECT_GT(Get<unsigned long>(position, 4), 0u);
    }
}

}  // namespace
