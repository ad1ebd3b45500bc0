// Our own declarations of the ASIO driver interface, written from the published
// binary facts of the interface. ASIO hosts are built with MSVC, so every layout
// and calling convention here must match what MSVC makes of the same interface.
#pragma once

#include <cstddef>
#include <unknwn.h>

// x86 MSVC compiles the IASIO methods as thiscall (this in ECX, callee pops the
// arguments). mingw g++ does the same for member functions by default, but we say
// it explicitly so that a change of compiler default cannot silently break hosts.
// x64 has one calling convention only.
#if defined(_M_IX86) || defined(__i386__)
#define ASIO_THISCALL __thiscall
#else
#define ASIO_THISCALL
#endif

typedef long ASIOBool;
typedef long ASIOError;
typedef long ASIOSampleType;
typedef double ASIOSampleRate;

enum : ASIOBool { ASIOFalse = 0, ASIOTrue = 1 };

// Hosts see every ASIO record with 4-byte packing; without it the records that hold
// doubles after 32-bit fields come out larger.
#pragma pack(push, 4)

// 64-bit counts as two unsigned halves, high half first. This is not the memory
// image of a native 64-bit integer.
struct ASIOSamples {
    unsigned long hi;
    unsigned long lo;
};
typedef ASIOSamples ASIOTimeStamp;

struct ASIOClockSource {
    long index;
    long associatedChannel;
    long associatedGroup;
    ASIOBool isCurrentSource;
    char name[32];
};

struct ASIOChannelInfo {
    long channel;
    ASIOBool isInput;
    ASIOBool isActive;
    long channelGroup;
    ASIOSampleType type;
    char name[32];
};

struct ASIOBufferInfo {
    ASIOBool isInput;
    long channelNum;
    void* buffers[2];
};

struct AsioTimeInfo {
    double speed;
    ASIOTimeStamp systemTime;   // nanoseconds
    ASIOSamples samplePosition;
    ASIOSampleRate sampleRate;
    unsigned long flags;
    char reserved[12];
};

struct ASIOTimeCode {
    double speed;
    ASIOSamples timeCodeSamples;
    unsigned long flags;
    char future[64];
};

struct ASIOTime {
    long reserved[4];           // must be zero
    AsioTimeInfo timeInfo;
    ASIOTimeCode timeCode;
};

// Plain C function pointers: cdecl on x86, which is GCC's default for them too.
struct ASIOCallbacks {
    void (*bufferSwitch)(long doubleBufferIndex, ASIOBool directProcess);
    void (*sampleRateDidChange)(ASIOSampleRate sRate);
    long (*asioMessage)(long selector, long value, void* message, double* opt);
    ASIOTime* (*bufferSwitchTimeInfo)(ASIOTime* params, long doubleBufferIndex, ASIOBool directProcess);
};

#pragma pack(pop)

// Error codes.
enum : ASIOError {
    ASE_OK = 0,
    ASE_SUCCESS = 0x3f4847a0,   // answer of future() to a supported selector
    ASE_NotPresent = -1000,
    ASE_HWMalfunction = -999,
    ASE_InvalidParameter = -998,
    ASE_InvalidMode = -997,
    ASE_SPNotAdvancing = -996,
    ASE_NoClock = -995,
    ASE_NoMemory = -994,
};

// Sample types.
enum : ASIOSampleType {
    ASIOSTInt16MSB = 0,
    ASIOSTInt24MSB = 1,
    ASIOSTInt32MSB = 2,
    ASIOSTFloat32MSB = 3,
    ASIOSTFloat64MSB = 4,
    ASIOSTInt32MSB16 = 8,
    ASIOSTInt32MSB18 = 9,
    ASIOSTInt32MSB20 = 10,
    ASIOSTInt32MSB24 = 11,
    ASIOSTInt16LSB = 16,
    ASIOSTInt24LSB = 17,
    ASIOSTInt32LSB = 18,
    ASIOSTFloat32LSB = 19,
    ASIOSTFloat64LSB = 20,
    ASIOSTInt32LSB16 = 24,
    ASIOSTInt32LSB18 = 25,
    ASIOSTInt32LSB20 = 26,
    ASIOSTInt32LSB24 = 27,
    ASIOSTDSDInt8LSB1 = 32,
    ASIOSTDSDInt8MSB1 = 33,
    ASIOSTDSDInt8NER8 = 40,
};

// asioMessage selectors (driver to host).
enum : long {
    kAsioSelectorSupported = 1,
    kAsioEngineVersion = 2,
    kAsioResetRequest = 3,
    kAsioBufferSizeChange = 4,
    kAsioResyncRequest = 5,
    kAsioLatenciesChanged = 6,
    kAsioSupportsTimeInfo = 7,
    kAsioSupportsTimeCode = 8,
    kAsioMMCCommand = 9,
    kAsioSupportsInputMonitor = 10,
    kAsioSupportsInputGain = 11,
    kAsioSupportsInputMeter = 12,
    kAsioSupportsOutputGain = 13,
    kAsioSupportsOutputMeter = 14,
    kAsioOverload = 15,
};

// future selectors (host to driver).
enum : long {
    kAsioEnableTimeCodeRead = 1,
    kAsioDisableTimeCodeRead = 2,
    kAsioSetInputMonitor = 3,
    kAsioTransport = 4,
    kAsioSetInputGain = 5,
    kAsioGetInputMeter = 6,
    kAsioSetOutputGain = 7,
    kAsioGetOutputMeter = 8,
    kAsioCanInputMonitor = 9,
    kAsioCanTimeInfo = 10,
    kAsioCanTimeCode = 11,
    kAsioCanTransport = 12,
    kAsioCanInputGain = 13,
    kAsioCanInputMeter = 14,
    kAsioCanOutputGain = 15,
    kAsioCanOutputMeter = 16,
    kAsioOptionalOne = 17,
    kAsioSetIoFormat = 0x23111961,
    kAsioGetIoFormat = 0x23111983,
    kAsioCanDoIoFormat = 0x23112004,
    kAsioCanReportOverload = 0x24042012,
    kAsioGetInternalBufferSamples = 0x25042012,
};

// AsioTimeInfo flags.
enum : unsigned long {
    kSystemTimeValid = 1,
    kSamplePositionValid = 2,
    kSampleRateValid = 4,
    kSpeedValid = 8,
    kSampleRateChanged = 16,
    kClockSourceChanged = 32,
};

// ASIOTimeCode flags.
enum : unsigned long {
    kTcValid = 1,
    kTcRunning = 2,
    kTcReverse = 4,
    kTcOnspeed = 8,
    kTcStill = 16,
    kTcSpeedValid = 256,
};

// The driver interface. It has no interface ID of its own: hosts ask for the
// driver's class ID and then use the object blindly as an IASIO. Single inheritance
// from IUnknown, no virtual destructor and no overloads keep GCC's vtable identical
// to MSVC's; the slot order below is fixed by hosts.
struct IASIO : public IUnknown {
    virtual ASIOBool ASIO_THISCALL init(void* sysHandle) = 0;
    virtual void ASIO_THISCALL getDriverName(char* name) = 0;        // host buffer: 32 bytes
    virtual long ASIO_THISCALL getDriverVersion() = 0;
    virtual void ASIO_THISCALL getErrorMessage(char* string) = 0;    // host buffer: 124 bytes
    virtual ASIOError ASIO_THISCALL start() = 0;
    virtual ASIOError ASIO_THISCALL stop() = 0;
    virtual ASIOError ASIO_THISCALL getChannels(long* numInputChannels, long* numOutputChannels) = 0;
    virtual ASIOError ASIO_THISCALL getLatencies(long* inputLatency, long* outputLatency) = 0;
    virtual ASIOError ASIO_THISCALL getBufferSize(long* minSize, long* maxSize, long* preferredSize,
                                                  long* granularity) = 0;
    virtual ASIOError ASIO_THISCALL canSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError ASIO_THISCALL getSampleRate(ASIOSampleRate* sampleRate) = 0;
    virtual ASIOError ASIO_THISCALL setSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError ASIO_THISCALL getClockSources(ASIOClockSource* clocks, long* numSources) = 0;
    virtual ASIOError ASIO_THISCALL setClockSource(long reference) = 0;
    virtual ASIOError ASIO_THISCALL getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) = 0;
    virtual ASIOError ASIO_THISCALL getChannelInfo(ASIOChannelInfo* info) = 0;
    virtual ASIOError ASIO_THISCALL createBuffers(ASIOBufferInfo* bufferInfos, long numChannels,
                                                  long bufferSize, ASIOCallbacks* callbacks) = 0;
    virtual ASIOError ASIO_THISCALL disposeBuffers() = 0;
    virtual ASIOError ASIO_THISCALL controlPanel() = 0;
    virtual ASIOError ASIO_THISCALL future(long selector, void* opt) = 0;
    virtual ASIOError ASIO_THISCALL outputReady() = 0;
};

// Number of vtable slots hosts rely on: IUnknown's three and the 21 above.
constexpr std::size_t kIasioSlotCount = 24;

// The layouts MSVC hosts expect; x64 differs from x86 only where pointers are.
static_assert(sizeof(long) == 4, "ASIO longs are 32-bit on Windows");
static_assert(sizeof(ASIOSamples) == 8 && offsetof(ASIOSamples, hi) == 0 && offsetof(ASIOSamples, lo) == 4,
              "ASIOSamples: hi first, lo second");
static_assert(sizeof(ASIOClockSource) == 48 && offsetof(ASIOClockSource, name) == 16, "ASIOClockSource layout");
static_assert(sizeof(ASIOChannelInfo) == 52 && offsetof(ASIOChannelInfo, type) == 16 &&
                  offsetof(ASIOChannelInfo, name) == 20,
              "ASIOChannelInfo layout");
static_assert(offsetof(ASIOBufferInfo, buffers) == 8 && sizeof(ASIOBufferInfo) == 8 + 2 * sizeof(void*),
              "ASIOBufferInfo layout");
static_assert(sizeof(ASIOCallbacks) == 4 * sizeof(void*), "ASIOCallbacks layout");
static_assert(sizeof(AsioTimeInfo) == 48 && offsetof(AsioTimeInfo, systemTime) == 8 &&
                  offsetof(AsioTimeInfo, samplePosition) == 16 && offsetof(AsioTimeInfo, sampleRate) == 24 &&
                  offsetof(AsioTimeInfo, flags) == 32 && offsetof(AsioTimeInfo, reserved) == 36,
              "AsioTimeInfo layout");
static_assert(sizeof(ASIOTimeCode) == 84 && offsetof(ASIOTimeCode, timeCodeSamples) == 8 &&
                  offsetof(ASIOTimeCode, flags) == 16 && offsetof(ASIOTimeCode, future) == 20,
              "ASIOTimeCode layout (4-byte packing)");
static_assert(sizeof(ASIOTime) == 148 && offsetof(ASIOTime, timeInfo) == 16 && offsetof(ASIOTime, timeCode) == 64,
              "ASIOTime layout (4-byte packing)");
#if defined(_WIN64)
static_assert(sizeof(ASIOBufferInfo) == 24 && offsetof(ASIOBufferInfo, buffers) == 8 && sizeof(ASIOCallbacks) == 32 &&
                  offsetof(ASIOCallbacks, bufferSwitchTimeInfo) == 24,
              "64-bit pointer-sized records");
#else
static_assert(sizeof(ASIOBufferInfo) == 16 && sizeof(ASIOCallbacks) == 16 &&
                  offsetof(ASIOCallbacks, bufferSwitchTimeInfo) == 12,
              "32-bit pointer-sized records");
#endif
