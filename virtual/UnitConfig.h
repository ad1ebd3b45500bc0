// What one virtual controller (or distractor device) streams, advertises and calls
// itself. Plain data: tests copy DefaultConfig(model) and change what they need.
#pragma once

#include "KsDefinitions.h"

#include <string>
#include <vector>

// The formats a streaming pin really accepts at KsCreatePin. A format is accepted
// when its channel count, rate and container are listed here, its form is
// accepted, and (extensible form) its SubFormat is PCM, its valid bits lie between
// validBits and the container size, and its channel mask is listed (or the list
// is empty).
struct StreamCapabilities {
    std::vector<WORD> channelCounts;
    std::vector<DWORD> sampleRates;
    WORD containerBytes = 3;
    WORD validBits = 24;
    bool acceptsPlainForm = true;
    bool acceptsExtensibleForm = true;
    std::vector<DWORD> channelMasks;
};

// What a capture pin records.
enum class CaptureSource {
    Loopback,  // what the render pin of the same controller played (first channels)
    Silence,   // zero samples
    Signal,    // a ramp: every sample of frame n holds n, left-justified in the valid bits
};

// The standard identifiers a streaming pin offers: KSINTERFACESETID_Standard with
// KSINTERFACE_STANDARD_STREAMING, and KSMEDIUMSETID_Standard with
// KSMEDIUM_TYPE_ANYINSTANCE.
KSIDENTIFIER StandardStreamingInterface();
KSIDENTIFIER StandardMedium();

// A pin factory a filter offers after its streaming pin (0) and its bridge pin (1),
// described by what its properties answer. Its values need not make sense: a
// faulty filter's pin factories are made this way. It has no instances: KsCreatePin
// refuses it with ERROR_INVALID_PARAMETER, as the bridge pin.
struct PinFactoryConfig {
    ULONG communication = KSPIN_COMMUNICATION_SINK;  // KSPROPERTY_PIN_COMMUNICATION
    ULONG dataFlow = KSPIN_DATAFLOW_IN;              // KSPROPERTY_PIN_DATAFLOW
    std::vector<KSIDENTIFIER> interfaces{StandardStreamingInterface()};
    std::vector<KSIDENTIFIER> mediums{StandardMedium()};
    // KSPROPERTY_PIN_DATARANGES: the blocks laid back to back, each exactly as given
    // (so a range's FormatSize may say anything).
    std::vector<std::vector<BYTE>> dataRanges;
};

struct UnitConfig {
    std::string revision = "0102";      // the four characters after &REV_ in the hardware ID
    std::string friendlyName;           // "FriendlyName" of the audio interfaces; the model name when empty
    StreamCapabilities render;
    StreamCapabilities capture;
    // The KSDATARANGE_AUDIO ranges the streaming pins advertise. Empty: one truthful
    // range per accepted rate. Set them to make a pin claim less, or more, than
    // KsCreatePin accepts.
    std::vector<KSDATARANGE_AUDIO> advertisedRender;
    std::vector<KSDATARANGE_AUDIO> advertisedCapture;
    CaptureSource captureSource = CaptureSource::Loopback;
    // Pin factories 2, 3, ... of the render and the capture filter.
    std::vector<PinFactoryConfig> extraRenderPins;
    std::vector<PinFactoryConfig> extraCapturePins;
};
