// The machine a program runs on: a machine file, or the default machine.
#include "platform/sim/sim_machine.h"

namespace sim {

bool StartMachine(const std::string& path, std::string* error) {
    MachineDesc machine;
    if (path.empty()) {
        if (!ParseMachineJson(DefaultMachineJson(), "default.json", &machine, error)) return false;
    } else if (!LoadMachineFile(path, &machine, error)) {
        return false;
    }
    std::string problem;
    if (!InstallMachine(machine, &problem)) {
        if (error) *error = (path.empty() ? std::string("default.json") : path) + ": " + problem;
        return false;
    }
    return true;
}

}  // namespace sim
