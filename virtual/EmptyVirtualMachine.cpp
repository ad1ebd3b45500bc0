#include "DefaultVirtualMachine.h"

#include "VirtualController.h"

DeviceSystem& DefaultVirtualMachine() {
    // A machine with no controller connected.
    static VirtualController empty;
    return empty;
}
