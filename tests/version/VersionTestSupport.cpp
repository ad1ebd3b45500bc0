#include "VersionTestSupport.h"

#include "TestSupport.h"

namespace versiontest {

std::string FixturePath(const char* name) {
    return testsupport::BuildBinDirectory() + "\\version_fixture_" + name + ".dll";
}

std::string SystemDriverFile::Path() {
    char directory[MAX_PATH] = {};
    GetSystemDirectoryA(directory, MAX_PATH);
    return std::string(directory) + "\\Veltrix_KMX_ASIO.dll";
}

SystemDriverFile::SystemDriverFile() { remove(); }
SystemDriverFile::~SystemDriverFile() { remove(); }

bool SystemDriverFile::install(const std::string& source) {
    return CopyFileA(source.c_str(), Path().c_str(), FALSE) != FALSE;
}

void SystemDriverFile::remove() { DeleteFileA(Path().c_str()); }

}  // namespace versiontest
