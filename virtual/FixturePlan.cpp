#include "FixturePlan.h"

#include <cstdlib>
#include <sstream>

namespace {

bool ParseModel(const std::string& name, ControllerModel& model) {
    for (ControllerModel candidate : {ControllerModel::KmxA7, ControllerModel::KmxB7, ControllerModel::KmxNova}) {
        if (name == IdentityOf(candidate).name) {
            model = candidate;
            return true;
        }
    }
    return false;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream stream(text);
    while (std::getline(stream, part, separator))
        if (!part.empty()) parts.push_back(part);
    return parts;
}

}  // namespace

bool ParseFixturePlan(const std::string& text, FixturePlan& plan, std::string& error) {
    plan = FixturePlan();
    std::vector<std::string> sections = Split(text, ';');
    if (sections.empty()) {
        error = "empty";
        return false;
    }
    if (sections[0] != "none") {
        for (const std::string& item : Split(sections[0], '+')) {
            FixturePlan::Unit unit;
            std::string name = item;
            size_t at = item.find('@');
            if (at != std::string::npos) {
                name = item.substr(0, at);
                unit.revision = item.substr(at + 1);
                if (unit.revision.size() != 4) {
                    error = "revision \"" + unit.revision + "\" is not four characters";
                    return false;
                }
            }
            if (!ParseModel(name, unit.model)) {
                error = "unknown model \"" + name + "\" (KMX-A7, KMX-B7, KMX-NOVA or none)";
                return false;
            }
            plan.units.push_back(unit);
        }
    }
    for (size_t i = 1; i < sections.size(); ++i) {
        const std::string& option = sections[i];
        size_t equals = option.find('=');
        std::string key = option.substr(0, equals);
        std::string value = equals == std::string::npos ? "" : option.substr(equals + 1);
        if (key == "capture") {
            if (value == "loopback") plan.capture = CaptureSource::Loopback;
            else if (value == "silence") plan.capture = CaptureSource::Silence;
            else if (value == "signal") plan.capture = CaptureSource::Signal;
            else {
                error = "capture must be loopback, silence or signal";
                return false;
            }
        } else if (key == "unplug") {
            for (const std::string& outage : Split(value, ',')) {
                char* end = nullptr;
                FixturePlan::Outage entry;
                entry.unplugAt = std::strtod(outage.c_str(), &end);
                entry.plugAt = -1;
                if (end == outage.c_str() || entry.unplugAt < 0) {
                    error = "unplug times are seconds, as T or T/T2";
                    return false;
                }
                if (*end == '/') {
                    const char* plug = end + 1;
                    entry.plugAt = std::strtod(plug, &end);
                    if (end == plug || entry.plugAt < entry.unplugAt) {
                        error = "a plug-back time must follow its unplug time";
                        return false;
                    }
                }
                plan.outages.push_back(entry);
            }
        } else {
            error = "unknown option \"" + key + "\"";
            return false;
        }
    }
    return true;
}

