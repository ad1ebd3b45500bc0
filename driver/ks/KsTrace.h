// The entry and exit traces every Kernel Streaming operation writes (level 6).
#pragma once

#include <windows.h>

#include "Trace.h"

inline void TraceEnter(const char* operation) { Trace(6, "%s Enter", operation); }

// The plain exit trace, for operations that report no result.
inline void TraceLeave(const char* operation) { Trace(6, "%s Leave", operation); }

inline void TraceLeave(const char* operation, HRESULT result) {
    Trace(6, "%s Leave, returning %#08x", operation, static_cast<unsigned>(result));
}
