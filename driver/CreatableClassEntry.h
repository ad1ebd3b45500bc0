// The classes this server can create. There is exactly one: the driver object.
#pragma once

#include <windows.h>

#include "CUnknown.h"

typedef INonDelegatingUnknown* (*CreateInstanceFunction)(IUnknown* outer, HRESULT* result);

struct CreatableClassEntry {
    const CLSID* classId;
    CreateInstanceFunction create;
};

extern const CreatableClassEntry kCreatableClasses[];
extern const int kCreatableClassCount;

// Allocates and constructs a driver object; null when out of memory. Leaves
// *result as it was.
INonDelegatingUnknown* CreateDriverInstance(IUnknown* outer, HRESULT* result);
