// The settings panel program: makes sure only one panel runs on the machine and
// that the driver is installed, reads the stored settings and runs the dialog.
#pragma once

#include <cstddef>

#include "Application.h"
#include "UniqueHandle.h"

class CConfigApp : public Application {
public:
    explicit CConfigApp(HINSTANCE instance) : Application(instance) {}

    // Copies string id of the panel's table for the installer's language into
    // buffer (capacity units, terminator included).
    void loadLocalizedString(UINT id, wchar_t* buffer, std::size_t capacity) const;

protected:
    int initInstance() override;

private:
    UniqueHandle m_instanceMutex;
};
