#include "ProcessTree.h"

#include <tlhelp32.h>

#include <vector>

long RunAndWaitForChildren(const std::string& commandLine, DWORD timeoutMs) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    long result = -1;
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        if (GetExitCodeProcess(process.hProcess, &code)) result = static_cast<long>(code);
        // The parent's handle is still open, so its process ID cannot have been reused.
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32 entry = {};
        entry.dwSize = sizeof(entry);
        for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
            if (entry.th32ParentProcessID != process.dwProcessId) continue;
            if (HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID)) {
                if (WaitForSingleObject(child, timeoutMs) != WAIT_OBJECT_0) result = -1;
                CloseHandle(child);
            }
        }
        CloseHandle(snapshot);
    } else {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

