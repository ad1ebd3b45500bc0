// Counts the driver objects alive in this process; DllCanUnloadNow refuses while
// any exists.
#pragma once

#include <windows.h>

class CBaseObject {
public:
    CBaseObject();
    ~CBaseObject();
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;

    static LONG LiveObjectCount();

private:
    static volatile LONG s_liveObjects;
};
