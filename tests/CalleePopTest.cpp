// The calling convention of the built driver, as an MSVC host meets it: every
// IASIO method is thiscall (this in ECX, the method pops its arguments) and the
// IUnknown methods are stdcall (this on the stack, popped too). Each vtable slot of
// a real driver object from the built DLL is called with raw pushes, and the bytes
// the method popped are measured. A compiler or declaration change that silently
// switches a convention fails here instead of crashing a host.
#include <gtest/gtest.h>

#include <cstdint>

#include "Asio.h"
#include "DriverIdentity.h"
#include "TestSupport.h"

namespace {

#if defined(__i386__)

// Pushes args[count-1] .. args[0] (so args[0] is the first argument), puts self in
// ECX, calls fn and returns how many bytes of the pushed arguments fn removed.
int BytesPoppedByCallee(void* fn, void* self, const std::uint32_t* args, int count) {
    int delta = 0;
    // Every register the sequence or the callee changes is an in/out operand or
    // a clobber, so the compiler keeps nothing it needs in them.
    int remaining = count;
    void* thisRegister = self;
    const std::uint32_t* argumentList = args;
    asm volatile(
        "mov %%esp, %%esi\n\t"
        "1:\n\t"
        "test %%edx, %%edx\n\t"
        "jz 2f\n\t"
        "dec %%edx\n\t"
        "pushl (%%edi,%%edx,4)\n\t"
        "jmp 1b\n\t"
        "2:\n\t"
        "call *%%eax\n\t"
        "mov %%esp, %%eax\n\t"
        "sub %%esi, %%eax\n\t"
        "mov %%esi, %%esp\n\t"
        : "=a"(delta), "+c"(thisRegister), "+d"(remaining), "+D"(argumentList)
        : "a"(fn)
        : "esi", "memory", "cc");
    // ESP after the call = before - pushed + popped.
    return delta + count * 4;
}

struct SlotCase {
    int slot;
    const char* name;
    int argumentBytes;  // what the method must pop, excluding a thiscall `this`
};

TEST(CalleePop, BuiltDriverMethodsPopTheirArgumentsAsMsvcHostsExpect) {
    HMODULE module = LoadLibraryA(testsupport::DriverDllPath().c_str());
    ASSERT_NE(module, nullptr) << "LoadLibrary " << testsupport::DriverDllPath() << ": " << GetLastError();
    auto getClassObject =
        testsupport::LoadExport<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(module, "DllGetClassObject");
    ASSERT_NE(getClassObject, nullptr);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(getClassObject(kDriverClassId, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    IASIO* driver = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, kDriverClassId, reinterpret_cast<void**>(&driver)), S_OK);
    factory->Release();

    // Harmless arguments: every pointer argument points at a zeroed scratch area
    // large enough for any record; doubles are pushed as two halves.
    alignas(8) static unsigned char scratch[4][512];
    const std::uint32_t p0 = reinterpret_cast<std::uintptr_t>(scratch[0]);
    const std::uint32_t p1 = reinterpret_cast<std::uintptr_t>(scratch[1]);
    const std::uint32_t p2 = reinterpret_cast<std::uintptr_t>(scratch[2]);
    const std::uint32_t p3 = reinterpret_cast<std::uintptr_t>(scratch[3]);
    double rate = 44100.0;
    std::uint32_t rateHalves[2];
    memcpy(rateHalves, &rate, sizeof(rate));
    const std::uint32_t self = reinterpret_cast<std::uintptr_t>(driver);
    const std::uint32_t iid = reinterpret_cast<std::uintptr_t>(&kDriverClassId);

    struct Call {
        SlotCase expect;
        std::uint32_t args[5];
        int count;
        bool stdcall;
    } calls[] = {
        // IUnknown: stdcall, `this` is the first stack argument and is popped too.
        {{0, "QueryInterface", 12}, {self, iid, p0}, 3, true},
        {{1, "AddRef", 4}, {self}, 1, true},
        {{2, "Release", 4}, {self}, 1, true},
        {{4, "getDriverName", 4}, {p0}, 1, false},
        {{5, "getDriverVersion", 0}, {}, 0, false},
        {{6, "getErrorMessage", 4}, {p0}, 1, false},
        {{7, "start", 0}, {}, 0, false},
        {{8, "stop", 0}, {}, 0, false},
        {{9, "getChannels", 8}, {p0, p1}, 2, false},
        {{10, "getLatencies", 8}, {p0, p1}, 2, false},
        {{11, "getBufferSize", 16}, {p0, p1, p2, p3}, 4, false},
        {{12, "canSampleRate", 8}, {rateHalves[0], rateHalves[1]}, 2, false},
        {{13, "getSampleRate", 4}, {p0}, 1, false},
        {{14, "setSampleRate", 8}, {rateHalves[0], rateHalves[1]}, 2, false},
        {{15, "getClockSources", 8}, {p0, p1}, 2, false},
        {{16, "setClockSource", 4}, {1}, 1, false},
        {{17, "getSamplePosition", 8}, {p0, p1}, 2, false},
        {{18, "getChannelInfo", 4}, {p0}, 1, false},
        {{19, "createBuffers", 16}, {p0, 0, 256, 0}, 4, false},
        {{20, "disposeBuffers", 0}, {}, 0, false},
        {{22, "future", 8}, {kAsioCanTimeInfo, 0}, 2, false},
        {{23, "outputReady", 0}, {}, 0, false},
        // init last: without a controller it spends its retries before answering.
        {{3, "init", 4}, {0}, 1, false},
    };
    // controlPanel (slot 21) would start a program when a panel path is installed;
    // it is checked only when none is.
    HKEY panelKey = nullptr;
    bool panelInstalled = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Veltrix\\Veltrix KMX", 0, KEY_READ, &panelKey) ==
                          ERROR_SUCCESS;
    if (panelKey) RegCloseKey(panelKey);

    void** vtable = *reinterpret_cast<void***>(driver);
    driver->AddRef();  // keeps the object alive through the Release slot's call
    for (const Call& call : calls) {
        memset(scratch, 0, sizeof(scratch));
        void* fn = vtable[call.expect.slot];
        int popped = BytesPoppedByCallee(fn, driver, call.args, call.count);
        EXPECT_EQ(popped, call.expect.argumentBytes) << "slot " << call.expect.slot << " " << call.expect.name;
    }
    if (!panelInstalled) {
        int popped = BytesPoppedByCallee(vtable[21], driver, nullptr, 0);
        EXPECT_EQ(popped, 0) << "slot 21 controlPanel";
    }
    driver->Release();  // the reference the QueryInterface slot added
    driver->Release();  // the AddRef before the loop
    EXPECT_EQ(driver->Release(), 0u);
}

#endif

}  // namespace
