// The shipped device system takes KsCreatePin from ksuser.dll at run time; without
// the library or its export the call answers ERROR_FILE_NOT_FOUND. The filter
// enumeration runs through it against Wine's real SetupAPI.
#include "CKsEnumFilters.h"
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

// Under Wine there is no Kernel Streaming device: the real SetupAPI lists are empty,
// and the enumeration says so without leaving anything open.
TEST(Win32DeviceSystem, EnumerationFindsNoFilterAndLeavesNothingOpen) {
    const GUID render[] = {KSCATEGORY_AUDIO, KSCATEGORY_RENDER};
    const GUID capture[] = {KSCATEGORY_AUDIO, KSCATEGORY_CAPTURE};
    CKsEnumFilters warmUp;  // SetupAPI's first use loads what it keeps for the process
    warmUp.EnumFilters(CKsEnumFilters::kRenderFilter, render, 2);
    DWORD handlesBefore = 0, handlesAfter = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handlesBefore));
    {
        CKsEnumFilters enumerator;
        EXPECT_EQ(enumerator.EnumFilters(CKsEnumFilters::kRenderFilter, render, 2), E_FAIL);
        EXPECT_EQ(enumerator.m_listFilters.Count(), 0);
        EXPECT_EQ(enumerator.EnumFilters(CKsEnumFilters::kCaptureFilter, capture, 2), E_FAIL);
        EXPECT_EQ(enumerator.m_listFilters.Head(), nullptr);
    }
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handlesAfter));
    EXPECT_EQ(handlesAfter, handlesBefore);
}
