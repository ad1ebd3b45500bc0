// The cheap count of connected controllers that decides whether a device event
// calls for a new firmware scan.
#pragma once

#include <windows.h>
#include <cfgmgr32.h>

// Present USB devices whose first child's device ID names a supported model.
int countConnectedControllers();

// True when the device node's first child has a device ID that holds one of the
// controller IDs; false when the child or its ID cannot be read.
bool isControllerDevice(DEVINST node);
