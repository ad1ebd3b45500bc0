// Helpers shared by the test programs: where the built files are, running another
// program, and scratch registry state that a test removes again.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

// The folder holding the running test program, the driver DLL and the other
// programs of the build (a Windows path).
std::string BuildBinDirectory();

// The shipped driver DLL of this build.
std::string DriverDllPath();

// A DLL export as a typed function pointer (null when missing).
template <typename Function>
Function LoadExport(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// A program started with its path quoted and no arguments, for tests that watch
// it run; terminated and closed at the end of the scope if still running.
class RunningProgram {
public:
    explicit RunningProgram(const std::string& path);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // True when the program ended within the time.
    bool waitForEnd(DWORD timeoutMs);
    // Its exit code, or -1 when it cannot be read.
    long exitCode() const;

    PROCESS_INFORMATION info = {};
    bool started = false;
};

// Runs a command line, waits at most timeoutMs and returns its exit code, or -1
// when it could not be started or did not end in time (it is then terminated).
long RunProgram(const std::string& commandLine, DWORD timeoutMs = 30000);

// The same, with what the program writes to its standard output and error in
// *output.
long RunProgramCapturingOutput(const std::string& commandLine, std::string* output, DWORD timeoutMs = 30000);

// regsvr32 /s [/u] on a DLL; true when regsvr32 reports success.
bool Regsvr32(const std::string& dllPath, bool unregister = false);

// Deletes root\path with everything below it; no error when it is missing.
void DeleteTree(HKEY root, const char* path);

bool KeyPresent(HKEY root, const char* path);

// Deletes one value; no error when it or its key is missing.
void DeleteValue(HKEY root, const char* path, const char* valueName);

// A string value, or "<missing>" when the key or value cannot be read.
std::string ReadString(HKEY root, const char* path, const char* valueName);

void WriteDword(HKEY root, const char* path, const char* valueName, DWORD value);
void WriteRaw(HKEY root, const char* path, const char* valueName, DWORD type, const void* data, DWORD size);

// Removes the driver's per-user settings key when it is made and again when it
// goes, so each test starts from, and leaves, an empty settings store.
class ScratchSettings {
public:
    ScratchSettings();
    ~ScratchSettings();
    ScratchSettings(const ScratchSettings&) = delete;
    ScratchSettings& operator=(const ScratchSettings&) = delete;
};

}  // namespace testsupport
