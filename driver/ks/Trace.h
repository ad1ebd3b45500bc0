// Trace output of the Kernel Streaming classes. A message is written with
// OutputDebugStringA when its level is at most TraceLevel. TraceLevel starts at 0
// and nothing in the shipped files raises it, while every trace call uses a level
// from 1 (errors) to 6 (entry and exit), so the shipped driver writes nothing.
// For diagnosis, a debugger (or a test) sets TraceLevel in the running process.
#pragma once

// Levels in use: 1 errors, 3 a pin property unreadable while a pin is set up,
// 4 a search that found nothing or an optional property that failed,
// 5 information, 6 entry and exit of operations.
extern int TraceLevel;

// Longest message written; longer output is cut so that it and its terminator fit
// the 260-byte buffer.
constexpr int kTraceMaxChars = 259;

void Trace(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
