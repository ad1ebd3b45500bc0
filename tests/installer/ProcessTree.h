// Running the setup program's uninstaller to its real end.
#pragma once

#include <windows.h>

#include <string>

// Runs a command line and waits for the program and for the processes it started
// (at most timeoutMs each): the uninstaller copies itself to the temporary folder,
// starts that copy and ends. Returns the program's exit code, or -1 when it could
// not be started or something did not end in time.
long RunAndWaitForChildren(const std::string& commandLine, DWORD timeoutMs);
