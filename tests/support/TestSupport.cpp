#include "TestSupport.h"

#include <vector>

namespace testsupport {

namespace {
constexpr char kSettingsKey[] = "Software\\Veltrix KMX ASIO";
}

std::string BuildBinDirectory() {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string full(path, length);
    return full.substr(0, full.find_last_of('\\'));
}

std::string DriverDllPath() { return BuildBinDirectory() + "\\Veltrix_KMX_ASIO.dll"; }

RunningProgram::RunningProgram(const std::string& path) {
    std::string command = "\"" + path + "\"";
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
}

RunningProgram::~RunningProgram() {
    if (!started) return;
    if (!waitForEnd(0)) TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

bool RunningProgram::waitForEnd(DWORD timeoutMs) {
    return started && WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

long RunningProgram::exitCode() const {
    DWORD code = 0;
    return started && GetExitCodeProcess(info.hProcess, &code) ? static_cast<long>(code) : -1;
}

long RunProgram(const std::string& commandLine, DWORD timeoutMs) {
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
    } else {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

long RunProgramCapturingOutput(const std::string& commandLine, std::string* output, DWORD timeoutMs) {
    output->clear();
    // The program writes into a temporary file: a pipe would need a reader thread
    // to keep a talkative program from blocking.
    char directory[MAX_PATH] = {}, path[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, directory);
    if (!GetTempFileNameA(directory, "out", 0, path)) return -1;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = file;
    startup.hStdError = file;
    PROCESS_INFORMATION process = {};
    long result = -1;
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
            DWORD code = 0;
            if (GetExitCodeProcess(process.hProcess, &code)) result = static_cast<long>(code);
        } else {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, 5000);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(file);
    HANDLE reader = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (reader != INVALID_HANDLE_VALUE) {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(reader, buffer, sizeof(buffer), &read, nullptr) && read > 0) output->append(buffer, read);
        CloseHandle(reader);
    }
    DeleteFileA(path);
    return result;
}

bool Regsvr32(const std::string& dllPath, bool unregister) {
    std::string command = std::string("regsvr32.exe /s ") + (unregister ? "/u " : "") + "\"" + dllPath + "\"";
    return RunProgram(command) == 0;
}

void DeleteTree(HKEY root, const char* path) {
    RegDeleteTreeA(root, path);
    RegDeleteKeyA(root, path);
}

void DeleteValue(HKEY root, const char* path, const char* valueName) { RegDeleteKeyValueA(root, path, valueName); }

bool KeyPresent(HKEY root, const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::string ReadString(HKEY root, const char* path, const char* valueName) {
    char buffer[1024] = {};
    DWORD size = sizeof(buffer) - 1;
    if (RegGetValueA(root, path, valueName, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return "<missing>";
    return buffer;
}

void WriteRaw(HKEY root, const char* path, const char* valueName, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) return;
    RegSetValueExA(key, valueName, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void WriteDword(HKEY root, const char* path, const char* valueName, DWORD value) {
    WriteRaw(root, path, valueName, REG_DWORD, &value, sizeof(value));
}

ScratchSettings::ScratchSettings() { DeleteTree(HKEY_CURRENT_USER, kSettingsKey); }

ScratchSettings::~ScratchSettings() { DeleteTree(HKEY_CURRENT_USER, kSettingsKey); }

}  // namespace testsupport
