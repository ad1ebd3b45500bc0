// The shipped device system takes KsCreatePin from ksuser.dll at run time; without
// the library or its export the call answers ERROR_FILE_NOT_FOUND.
#include "KsDefinitions.h"
#include "device/Win32DeviceSystem.h"

#include <gtest/gtest.h>

TEST(Win32DeviceSystem, KsCreatePinWithoutTheLibraryIsFileNotFound) {
    Win32DeviceSystem missingLibrary("kmx_no_such_library.dll");
    HANDLE pin = INVALID_HANDLE_VALUE;
    BYTE block[sizeof(KSPIN_CONNECT) + sizeof(KSDATAFORMAT_WAVEFORMATEX)] = {};
    EXPECT_EQ(missingLibrary.KsCreatePin(INVALID_HANDLE_VALUE, block, GENERIC_READ, &pin),
              DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(pin, INVALID_HANDLE_VALUE);
    // A library without the export: kernel32 has no KsCreatePin.
    Win32DeviceSystem missingExport("kernel32.dll");
    EXPECT_EQ(missingExport.KsCreatePin(INVALID_HANDLE_VALUE, block, GENERIC_READ, &pin),
              DWORD(ERROR_FILE_NOT_FOUND));
}
