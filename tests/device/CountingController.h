// A virtual controller that also records what the driver asked of the device
// system: its searches for render and capture filters, and the filters it tried
// pins on. The driver's own code keeps no counters for tests.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "KsDefinitions.h"
#include "VirtualController.h"

class CountingController : public VirtualController {
public:
    enum class Search { Unknown, Render, Capture };

    // One entry per search for audio filters, in order. A search's direction shows
    // in the alias it asks of the first audio interface it meets; connect at least
    // one (a Distractor::NoAlias device will do) or every search stays Unknown.
    std::vector<Search> searches;
    // The filter handle and the wave format of every KsCreatePin call, in order.
    std::vector<HANDLE> pinCreationFilters;
    std::vector<WAVEFORMATEXTENSIBLE> pinCreationFormats;

    int Count(Search kind) const { return static_cast<int>(std::count(searches.begin(), searches.end(), kind)); }

    HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags) override {
        if (classGuid && IsEqualGUID(*classGuid, KSCATEGORY_AUDIO)) searches.push_back(Search::Unknown);
        return VirtualController::SetupDiGetClassDevsA(classGuid, enumerator, parent, flags);
    }

    BOOL SetupDiGetDeviceInterfaceAlias(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData, const GUID* aliasClass,
                                        PSP_DEVICE_INTERFACE_DATA aliasData) override {
        if (aliasClass && !searches.empty() && searches.back() == Search::Unknown) {
            if (IsEqualGUID(*aliasClass, KSCATEGORY_RENDER)) searches.back() = Search::Render;
            if (IsEqualGUID(*aliasClass, KSCATEGORY_CAPTURE)) searches.back() = Search::Capture;
        }
        return VirtualController::SetupDiGetDeviceInterfaceAlias(set, interfaceData, aliasClass, aliasData);
    }

    DWORD KsCreatePin(HANDLE filter, void* connect, ACCESS_MASK desiredAccess, PHANDLE pin) override {
        pinCreationFilters.push_back(filter);
        // The creation block: KSPIN_CONNECT, then KSDATAFORMAT_WAVEFORMATEX, read
        // only as far as its FormatSize says.
        WAVEFORMATEXTENSIBLE format = {};
        if (connect) {
            const auto* data = reinterpret_cast<const KSDATAFORMAT*>(static_cast<const KSPIN_CONNECT*>(connect) + 1);
            if (data->FormatSize > sizeof(KSDATAFORMAT))
                std::memcpy(&format, data + 1, std::min<size_t>(data->FormatSize - sizeof(KSDATAFORMAT), sizeof(format)));
        }
        pinCreationFormats.push_back(format);
        return VirtualController::KsCreatePin(filter, connect, desiredAccess, pin);
    }
};
