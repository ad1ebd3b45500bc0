// The machine DeviceSystemInstance() answers with when no ScopedDeviceSystem is
// installed. Each program linking the virtual controller gets exactly one
// definition: an empty machine (EmptyVirtualMachine.cpp, for tests) or the
// configured one of the test-fixture driver DLL (fixture/FixtureMachine.cpp).
#pragma once

#include "device/DeviceSystem.h"

DeviceSystem& DefaultVirtualMachine();
