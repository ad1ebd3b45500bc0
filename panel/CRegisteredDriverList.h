// The ASIO drivers registered on this machine (HKEY_LOCAL_MACHINE\SOFTWARE\ASIO),
// read once when the list is built, in registry enumeration order. Only drivers
// whose COM class names an existing server file are listed. Narrow (ANSI) texts
// throughout, as the ASIO driver list convention has them.
#pragma once

#include <windows.h>
#include <unknwn.h>

// Result codes of the list's operations.
inline constexpr long kDriverListOk = 0;
inline constexpr long kDriverListNullArgument = -5001;
inline constexpr long kDriverListAlreadyOpen = -5002;
inline constexpr long kDriverListNoSuchEntry = -5003;

// Room for a driver's name: 127 characters and a terminator.
inline constexpr int kDriverNameSize = 128;

class CRegisteredDriverList {
public:
    struct Entry {
        long id;
        CLSID classId;
        char name[kDriverNameSize];
        IUnknown* driver;
        Entry* next;
    };

    // Builds the list; initializes COM for this thread when it is not empty.
    CRegisteredDriverList();
    // Releases every driver object created through the list and, when the list
    // initialized COM, uninitializes it.
    virtual ~CRegisteredDriverList();

    CRegisteredDriverList(const CRegisteredDriverList&) = delete;
    CRegisteredDriverList& operator=(const CRegisteredDriverList&) = delete;

    long driverCount() const { return m_count; }

    // Copies the entry's name into buffer (size characters). A name that does not
    // fit is shortened to size - 4 characters followed by "...".
    long driverName(long id, char* buffer, int size) const;

    // Creates the entry's driver object in this process (class ID used as the
    // interface ID, as ASIO hosts do) and records it in the entry.
    long openDriver(long id, IUnknown** driver);

private:
    Entry* find(long id) const;

    Entry* m_first = nullptr;
    long m_count = 0;
};
