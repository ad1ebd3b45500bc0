#include "CDriverLoader.h"

#include <cstring>

namespace {
// Names are compared in the form driverName gives for a buffer of this size.
constexpr int kCompareNameSize = 64;
constexpr long kNotLoaded = -1;
}  // namespace

CDriverLoader& CDriverLoader::instance() {
    static CDriverLoader loader;
    return loader;
}

CDriverLoader::~CDriverLoader() {
    // The driver objects themselves are released by the list.
    while (m_loaded) {
        Loaded* next = m_loaded->next;
        delete m_loaded;
        m_loaded = next;
    }
}

long CDriverLoader::loadByName(const char* name) {
    if (!name) return kNotLoaded;
    char entryName[kCompareNameSize];
    Loaded** tail = &m_loaded;
    for (Loaded* loaded = m_loaded; loaded; loaded = loaded->next) {
        if (driverName(loaded->id, entryName, kCompareNameSize) == kDriverListOk && std::strcmp(entryName, name) == 0)
            return kNotLoaded;
        tail = &loaded->next;
    }
    for (long id = 0; id < driverCount(); ++id) {
        if (driverName(id, entryName, kCompareNameSize) != kDriverListOk || std::strcmp(entryName, name) != 0)
            continue;
        IUnknown* driver = nullptr;
        if (openDriver(id, &driver) != kDriverListOk) continue;
        *tail = new Loaded{id, driver, nullptr};
        return id;
    }
    return kNotLoaded;
}
