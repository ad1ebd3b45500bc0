// The process's registered-driver list together with the drivers it has loaded.
// The panel loads the driver once, to prove that it is installed and can be
// created; the object stays alive until the process exits.
#pragma once

#include "CRegisteredDriverList.h"

class CDriverLoader : public CRegisteredDriverList {
public:
    // The process-wide loader, built on first use and destroyed at process exit.
    static CDriverLoader& instance();

    CDriverLoader() = default;
    ~CDriverLoader() override;

    // Creates the driver object of the registration with this name (exact,
    // case-sensitive; names of 64 characters or more compare in their shortened
    // form). Returns the entry's id, or -1 when no such driver can be created or
    // one of that name is already loaded.
    long loadByName(const char* name);

private:
    struct Loaded {
        long id;
        IUnknown* driver;
        Loaded* next;
    };
    Loaded* m_loaded = nullptr;
};
