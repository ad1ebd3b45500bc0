#include "CRegisteredDriverList.h"

#include <cstring>

#include "UniqueRegKey.h"

namespace {

constexpr char kAsioListKeyPath[] = "software\\asio";
constexpr char kClassIdValue[] = "clsid";
constexpr char kDescriptionValue[] = "description";
constexpr char kClassesKeyPath[] = "clsid";
constexpr char kInprocServerKey[] = "InprocServer32";

// Room for the names and values read while building the list, terminators included.
constexpr DWORD kAsioKeyNameSize = 128;
constexpr DWORD kClassKeyNameSize = 512;
constexpr DWORD kTextValueSize = 256;
constexpr DWORD kServerPathSize = 512;
constexpr int kWideClassIdSize = 100;

constexpr char kEllipsis[] = "...";

// Reads a string value into buffer (size bytes) and guarantees its terminator,
// which the registry does not: a value stored without one, or one that fills the
// buffer exactly, would otherwise be read past its end. Values that are not
// strings count as unreadable.
bool readText(HKEY key, const char* name, char* buffer, DWORD size) {
    DWORD type = REG_NONE;
    DWORD bytes = size - 1;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    buffer[bytes < size ? bytes : size - 1] = '\0';
    return true;
}

// True when the COM class whose ID text this is names an in-process server file
// that exists. The text is lower-cased in place.
bool serverFileExists(char* classIdText) {
    CharLowerBuffA(classIdText, static_cast<DWORD>(std::strlen(classIdText)));
    UniqueRegKey classes;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kClassesKeyPath, 0, KEY_READ, classes.put()) != ERROR_SUCCESS) return false;

    char name[kClassKeyNameSize];
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = kClassKeyNameSize;
        if (RegEnumKeyExA(classes.get(), index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        CharLowerBuffA(name, nameSize);
        if (std::strcmp(name, classIdText) != 0) continue;

        // The first matching class decides, whatever it holds.
        UniqueRegKey classKey;
        UniqueRegKey server;
        char path[kServerPathSize] = {};
        if (RegOpenKeyExA(classes.get(), name, 0, KEY_READ, classKey.put()) != ERROR_SUCCESS ||
            RegOpenKeyExA(classKey.get(), kInprocServerKey, 0, KEY_READ, server.put()) != ERROR_SUCCESS ||
            !readText(server.get(), nullptr, path, sizeof(path)))
            return false;
        // GetFileAttributes rather than OpenFile(OF_EXIST), whose 128-character
        // path limit would report a driver installed under a long path as missing.
        const DWORD attributes = GetFileAttributesA(path);
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
}

}  // namespace

CRegisteredDriverList::CRegisteredDriverList() {
    UniqueRegKey list;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAsioListKeyPath, 0, KEY_READ, list.put()) == ERROR_SUCCESS) {
        Entry** tail = &m_first;
        char keyName[kAsioKeyNameSize];
        // A key name longer than 127 characters makes the enumeration call fail,
        // which ends the list there.
        for (DWORD index = 0;; ++index) {
            DWORD nameSize = kAsioKeyNameSize;
            if (RegEnumKeyExA(list.get(), index, keyName, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            UniqueRegKey driverKey;
            if (RegOpenKeyExA(list.get(), keyName, 0, KEY_READ, driverKey.put()) != ERROR_SUCCESS) continue;
            char classIdText[kTextValueSize];
            if (!readText(driverKey.get(), kClassIdValue, classIdText, sizeof(classIdText))) continue;
            if (!serverFileExists(classIdText)) continue;

            Entry* entry = new Entry{};
            entry->id = m_count;
            wchar_t wideClassId[kWideClassIdSize] = {};
            if (MultiByteToWideChar(CP_ACP, 0, classIdText, -1, wideClassId, kWideClassIdSize) == 0 ||
                FAILED(CLSIDFromString(wideClassId, &entry->classId)))
                entry->classId = CLSID{};
            // The description may be longer than the entry's name: it is read in
            // full and cut to what the name holds.
            char description[kTextValueSize];
            const char* name = readText(driverKey.get(), kDescriptionValue, description, sizeof(description))
                                   ? description
                                   : keyName;
            const std::size_t length = strnlen(name, kDriverNameSize - 1);
            std::memcpy(entry->name, name, length);
            entry->name[length] = '\0';
            *tail = entry;
            tail = &entry->next;
            ++m_count;
        }
    }
    if (m_count != 0) CoInitialize(nullptr);
}

CRegisteredDriverList::~CRegisteredDriverList() {
    if (m_count == 0) return;
    for (Entry* entry = m_first; entry;) {
        Entry* next = entry->next;
        if (entry->driver) entry->driver->Release();
        delete entry;
        entry = next;
    }
    CoUninitialize();
}

CRegisteredDriverList::Entry* CRegisteredDriverList::find(long id) const {
    for (Entry* entry = m_first; entry; entry = entry->next)
        if (entry->id == id) return entry;
    return nullptr;
}

long CRegisteredDriverList::driverName(long id, char* buffer, int size) const {
    // Too small for any text at all counts like no buffer.
    if (!buffer || size <= 0) return kDriverListNullArgument;
    const Entry* entry = find(id);
    if (!entry) return kDriverListNoSuchEntry;
    const int length = static_cast<int>(std::strlen(entry->name));
    if (length < size) {
        std::memcpy(buffer, entry->name, length + 1);
    } else if (size > static_cast<int>(sizeof(kEllipsis))) {
        std::memcpy(buffer, entry->name, size - sizeof(kEllipsis));
        std::memcpy(buffer + size - sizeof(kEllipsis), kEllipsis, sizeof(kEllipsis));
    } else {
        // No room for the ellipsis: as much of the name as fits.
        std::memcpy(buffer, entry->name, size - 1);
        buffer[size - 1] = '\0';
    }
    return kDriverListOk;
}

long CRegisteredDriverList::openDriver(long id, IUnknown** driver) {
    if (!driver) return kDriverListNullArgument;
    Entry* entry = find(id);
    if (!entry) return kDriverListNoSuchEntry;
    if (entry->driver) return kDriverListAlreadyOpen;
    *driver = nullptr;
    // ASIO has no interface ID of its own: the driver's class ID serves as one.
    const HRESULT result = CoCreateInstance(entry->classId, nullptr, CLSCTX_INPROC_SERVER, entry->classId,
                                            reinterpret_cast<void**>(driver));
    if (FAILED(result)) {
        *driver = nullptr;
        return result;
    }
    entry->driver = *driver;
    return kDriverListOk;
}
