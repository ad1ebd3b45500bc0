#include "Trace.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

int TraceLevel = 0;

void Trace(int level, const char* format, ...) {
    if (level > TraceLevel || !format) return;
    // A buffer per call: traces come from the driver's threads at once.
    char buffer[kTraceMaxChars + 1];
    va_list arguments;
    va_start(arguments, format);
    int written = std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    if (written < 0) return;
    // Some C runtimes leave a cut string unterminated.
    buffer[kTraceMaxChars] = '\0';
    OutputDebugStringA(buffer);
}
