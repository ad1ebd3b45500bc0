// A driver object made the way the class factory makes it (one reference held),
// released at the end of the scope. For tests that link the driver's code.
#pragma once

#include "VeltrixControllerASIO.h"

namespace testsupport {

class DriverObject {
public:
    DriverObject() : m_driver(new VeltrixControllerASIO(nullptr)) { m_driver->InnerAddRef(); }
    ~DriverObject() { m_driver->InnerRelease(); }
    DriverObject(const DriverObject&) = delete;
    DriverObject& operator=(const DriverObject&) = delete;

    VeltrixControllerASIO* operator->() const { return m_driver; }
    VeltrixControllerASIO* get() const { return m_driver; }

private:
    VeltrixControllerASIO* m_driver;
};

}  // namespace testsupport
