// The ASIO driver list as hosts read it: HKEY_LOCAL_MACHINE\SOFTWARE\ASIO, one
// subkey per driver with its "CLSID" and "Description".
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct AsioDriverEntry {
    std::string keyName;
    std::string description;  // the key name when "Description" is missing
    std::string classIdText;
    CLSID classId = {};
    std::string serverPath;   // InprocServer32 of the class, "" when unregistered
    bool serverFileExists = false;
};

class AsioDriverList {
public:
    // Reads the list; entries whose class ID text does not parse are skipped.
    static std::vector<AsioDriverEntry> Read();
};
