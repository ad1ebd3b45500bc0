// The ASIO declarations as MSVC-built hosts see them: record layouts are checked
// at compile time in Asio.h; here, the vtable slot of every method, called the
// way a host calls it, through the raw slot number.
#include <gtest/gtest.h>

#include <string>

#include "Asio.h"

namespace {

// Each method says which one was called.
struct SlotProbe : IASIO {
    std::string called;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return Mark("QueryInterface"); }
    ULONG STDMETHODCALLTYPE AddRef() override { return Mark("AddRef"); }
    ULONG STDMETHODCALLTYPE Release() override { return Mark("Release"); }
    ASIOBool ASIO_THISCALL init(void*) override { return Mark("init"); }
    void ASIO_THISCALL getDriverName(char*) override { Mark("getDriverName"); }
    long ASIO_THISCALL getDriverVersion() override { return Mark("getDriverVersion"); }
    void ASIO_THISCALL getErrorMessage(char*) override { Mark("getErrorMessage"); }
    ASIOError ASIO_THISCALL start() override { return Mark("start"); }
    ASIOError ASIO_THISCALL stop() override { return Mark("stop"); }
    ASIOError ASIO_THISCALL getChannels(long*, long*) override { return Mark("getChannels"); }
    ASIOError ASIO_THISCALL getLatencies(long*, long*) override { return Mark("getLatencies"); }
    ASIOError ASIO_THISCALL getBufferSize(long*, long*, long*, long*) override { return Mark("getBufferSize"); }
    ASIOError ASIO_THISCALL canSampleRate(ASIOSampleRate) override { return Mark("canSampleRate"); }
    ASIOError ASIO_THISCALL getSampleRate(ASIOSampleRate*) override { return Mark("getSampleRate"); }
    ASIOError ASIO_THISCALL setSampleRate(ASIOSampleRate) override { return Mark("setSampleRate"); }
    ASIOError ASIO_THISCALL getClockSources(ASIOClockSource*, long*) override { return Mark("getClockSources"); }
    ASIOError ASIO_THISCALL setClockSource(long) override { return Mark("setClockSource"); }
    ASIOError ASIO_THISCALL getSamplePosition(ASIOSamples*, ASIOTimeStamp*) override {
        return Mark("getSamplePosition");
    }
    ASIOError ASIO_THISCALL getChannelInfo(ASIOChannelInfo*) override { return Mark("getChannelInfo"); }
    ASIOError ASIO_THISCALL createBuffers(ASIOBufferInfo*, long, long, ASIOCallbacks*) override {
        return Mark("createBuffers");
    }
    ASIOError ASIO_THISCALL disposeBuffers() override { return Mark("disposeBuffers"); }
    ASIOError ASIO_THISCALL controlPanel() override { return Mark("controlPanel"); }
    ASIOError ASIO_THISCALL future(long, void*) override { return Mark("future"); }
    ASIOError ASIO_THISCALL outputReady() override { return Mark("outputReady"); }

    long Mark(const char* name) {
        called = name;
        return 0;
    }
};

// Calls slot `slot` of the object's vtable with the argument list a host uses for
// that slot: nothing but the slot number and the calling convention.
void CallSlot(IASIO* object, int slot) {
    void** vtable = *reinterpret_cast<void***>(object);
    void* fn = vtable[slot];
    long a = 0, b = 0, c = 0, d = 0;
    double rate = 0.0;
    char text[128] = {};
    ASIOSamples samples = {};
    ASIOTimeStamp stamp = {};
    ASIOClockSource clocks[1] = {};
    ASIOChannelInfo info = {};
    ASIOBufferInfo buffers[1] = {};
    ASIOCallbacks callbacks = {};
    IUnknown* out = nullptr;
    using Stdcall1 = ULONG(__stdcall*)(void*);
    using Stdcall3 = HRESULT(__stdcall*)(void*, const IID*, void**);
    using This0 = long(ASIO_THISCALL*)(void*);
    using ThisPtr = long(ASIO_THISCALL*)(void*, void*);
    using ThisPtr2 = long(ASIO_THISCALL*)(void*, void*, void*);
    using ThisPtr4 = long(ASIO_THISCALL*)(void*, void*, void*, void*, void*);
    using ThisRate = long(ASIO_THISCALL*)(void*, double);
    using ThisLong = long(ASIO_THISCALL*)(void*, long);
    using ThisCreate = long(ASIO_THISCALL*)(void*, ASIOBufferInfo*, long, long, ASIOCallbacks*);
    using ThisFuture = long(ASIO_THISCALL*)(void*, long, void*);
    switch (slot) {
    case 0: reinterpret_cast<Stdcall3>(fn)(object, &IID_IUnknown, reinterpret_cast<void**>(&out)); break;
    case 1:
    case 2: reinterpret_cast<Stdcall1>(fn)(object); break;
    case 3: reinterpret_cast<ThisPtr>(fn)(object, nullptr); break;
    case 4:
    case 6: reinterpret_cast<ThisPtr>(fn)(object, text); break;
    case 5:
    case 7:
    case 8:
    case 20:
    case 21:
    case 23: reinterpret_cast<This0>(fn)(object); break;
    case 9:
    case 10: reinterpret_cast<ThisPtr2>(fn)(object, &a, &b); break;
    case 11: reinterpret_cast<ThisPtr4>(fn)(object, &a, &b, &c, &d); break;
    case 12:
    case 14: reinterpret_cast<ThisRate>(fn)(object, 44100.0); break;
    case 13: reinterpret_cast<ThisPtr>(fn)(object, &rate); break;
    case 15: reinterpret_cast<ThisPtr2>(fn)(object, clocks, &a); break;
    case 16: reinterpret_cast<ThisLong>(fn)(object, 0); break;
    case 17: reinterpret_cast<ThisPtr2>(fn)(object, &samples, &stamp); break;
    case 18: reinterpret_cast<ThisPtr>(fn)(object, &info); break;
    case 19: reinterpret_cast<ThisCreate>(fn)(object, buffers, 0, 256, &callbacks); break;
    case 22: reinterpret_cast<ThisFuture>(fn)(object, kAsioCanTimeInfo, nullptr); break;
    }
}

TEST(AsioAbi, EveryMethodSitsInTheSlotHostsCall) {
    const char* const expected[kIasioSlotCount] = {
        "QueryInterface",  "AddRef",         "Release",        "init",          "getDriverName",
        "getDriverVersion", "getErrorMessage", "start",        "stop",          "getChannels",
        "getLatencies",    "getBufferSize",  "canSampleRate",  "getSampleRate", "setSampleRate",
        "getClockSources", "setClockSource", "getSamplePosition", "getChannelInfo", "createBuffers",
        "disposeBuffers",  "controlPanel",   "future",         "outputReady",
    };
    SlotProbe probe;
    for (int slot = 0; slot < static_cast<int>(kIasioSlotCount); ++slot) {
        probe.called.clear();
        CallSlot(&probe, slot);
        EXPECT_EQ(probe.called, expected[slot]) << "vtable slot " << slot;
    }
}

}  // namespace
