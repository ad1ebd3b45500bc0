// The controller models the virtual controller can connect, and what each streams
// out of the box. Tests that need other capabilities start from DefaultConfig and
// change it.
#pragma once

#include "UnitConfig.h"

enum class ControllerModel { KmxA7, KmxB7, KmxNova };

struct ModelIdentity {
    const char* name;     // "KMX-A7"
    WORD vendorId;        // 0x7F1D
    WORD productId;       // 0x2A01
};

const ModelIdentity& IdentityOf(ControllerModel model);

// KMX-A7: render 4 and capture 2 channels of 24-bit samples in 3-byte containers at
// 44100 and 48000 Hz, plain or extensible form. KMX-B7: the same at 44100, 48000,
// 88200 and 96000 Hz. KMX-NOVA: 4 and 2 channels, extensible form only, 32-bit
// containers with 24 valid bits, all four rates.
UnitConfig DefaultConfig(ControllerModel model);
