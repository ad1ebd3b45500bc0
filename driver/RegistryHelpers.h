// Small registry operations of the self-registration. Keys are opened and created
// with the plain calls' default access. Each returns 0, or -1 on failure.
#pragma once

#include <windows.h>

// Registry paths and file paths in the registration are held in buffers of this size.
constexpr DWORD kRegistrationPathSize = 360;

bool KeyExists(HKEY root, const char* path);

// Makes sure root\parentPath\name exists.
int EnsureSubkey(HKEY root, const char* parentPath, const char* name);

// Writes a REG_SZ value; a null valueName is the key's default value.
int SetStringValue(HKEY root, const char* path, const char* valueName, const char* text);

// Reads the default value of HKEY_CLASSES_ROOT\path into a buffer of
// kRegistrationPathSize bytes. Fails, leaving the buffer untouched, when the value
// is missing, not a string, or does not fit with its terminating zero.
int ReadDefaultValue(const char* path, char* buffer);

// Deletes openParent\name with every key below it, then closes openParent (which
// it takes over). -1 when name could not be opened.
int DeleteKeyTree(HKEY openParent, const char* name);
