#include "CreatableClassEntry.h"

#include <new>

#include "DriverIdentity.h"
#include "VeltrixControllerASIO.h"

const CreatableClassEntry kCreatableClasses[] = {
    {&kDriverClassId, CreateDriverInstance},
};
const int kCreatableClassCount = sizeof(kCreatableClasses) / sizeof(kCreatableClasses[0]);

INonDelegatingUnknown* CreateDriverInstance(IUnknown* outer, HRESULT* /*result*/) {
    auto* driver = new (std::nothrow) VeltrixControllerASIO(outer);
    return driver ? static_cast<INonDelegatingUnknown*>(driver) : nullptr;
}
