#include "CAudioDevice.h"

#include "DriverSettings.h"

CAudioDevice::CAudioDevice(int direction_, int /*maxChannels*/, int /*hostSampleBytes*/) : direction(direction_) {}

bool CAudioDevice::SupportsSampleRate(int rate) const {
    for (long tableRate : kSampleRates)
        if (rate == tableRate) return true;
    return false;
}

const char* CAudioDevice::GetChannelModel(int, int* outNumber, int* outOrdinal, int* outCount) const {
    if (outNumber) *outNumber = 0;
    if (outOrdinal) *outOrdinal = 0;
    if (outCount) *outCount = 0;
    return nullptr;
}
