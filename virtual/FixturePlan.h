// A plan of virtual controllers written as text, for the test fixtures that take
// their controllers from the environment variable VELTRIX_VIRTUAL_CONTROLLER.
//
//   models joined by '+', each with an optional "@rrrr" revision, or "none";
//   then options after ';':  capture=loopback|silence|signal
//                            unplug=T[/T2],...   (seconds; pull the first controller's
//                                                 cable at T, plug it back at T2)
//   e.g. "KMX-B7", "KMX-A7@0103+KMX-NOVA", "KMX-B7;unplug=1.5/2.5"
#pragma once

#include <string>
#include <vector>

#include "ControllerModel.h"

inline constexpr char kVirtualControllerVariable[] = "VELTRIX_VIRTUAL_CONTROLLER";

struct FixturePlan {
    struct Unit {
        ControllerModel model;
        std::string revision;  // empty: the model's default
    };
    struct Outage {
        double unplugAt;  // seconds after the plan was put in place
        double plugAt;    // negative: stays unplugged
    };
    std::vector<Unit> units;
    CaptureSource capture = CaptureSource::Loopback;
    std::vector<Outage> outages;
};

// Parses the text; false with a reason for text it cannot read.
bool ParseFixturePlan(const std::string& text, FixturePlan& plan, std::string& error);
