#include "ControllerModel.h"

namespace {
constexpr WORD kVendorId = 0x7F1D;

const ModelIdentity kIdentities[] = {
    {"KMX-A7", kVendorId, 0x2A01},
    {"KMX-B7", kVendorId, 0x2A02},
    {"KMX-NOVA", kVendorId, 0x2A03},
};

StreamCapabilities Stream(WORD channels, std::vector<DWORD> rates, WORD containerBytes, bool plainForm) {
    StreamCapabilities stream;
    stream.channelCounts = {channels};
    stream.sampleRates = std::move(rates);
    stream.containerBytes = containerBytes;
    stream.validBits = 24;
    stream.acceptsPlainForm = plainForm;
    stream.acceptsExtensibleForm = true;
    return stream;
}
}  // namespace

KSIDENTIFIER StandardStreamingInterface() {
    KSIDENTIFIER identifier = {};
    identifier.Set = KSINTERFACESETID_Standard;
    identifier.Id = KSINTERFACE_STANDARD_STREAMING;
    return identifier;
}

KSIDENTIFIER StandardMedium() {
    KSIDENTIFIER identifier = {};
    identifier.Set = KSMEDIUMSETID_Standard;
    identifier.Id = KSMEDIUM_TYPE_ANYINSTANCE;
    return identifier;
}

const ModelIdentity& IdentityOf(ControllerModel model) { return kIdentities[static_cast<int>(model)]; }

UnitConfig DefaultConfig(ControllerModel model) {
    UnitConfig config;
    switch (model) {
    case ControllerModel::KmxA7:
        config.render = Stream(4, {44100, 48000}, 3, true);
        config.capture = Stream(2, {44100, 48000}, 3, true);
        break;
    case ControllerModel::KmxB7:
        config.render = Stream(4, {44100, 48000, 88200, 96000}, 3, true);
        config.capture = Stream(2, {44100, 48000, 88200, 96000}, 3, true);
        break;
    case ControllerModel::KmxNova:
        config.render = Stream(4, {44100, 48000, 88200, 96000}, 4, false);
        config.capture = Stream(2, {44100, 48000, 88200, 96000}, 4, false);
        break;
    }
    return config;
}
