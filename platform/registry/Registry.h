// The registry: hierarchical keys holding typed values, with the platform's
// function names, handles and error values.
//
// Three hives exist, each a text file (see HiveText.h for the format):
//   HKEY_CURRENT_USER   $XDG_CONFIG_HOME/wayscribe/registry/HKEY_CURRENT_USER.reg
//   HKEY_CLASSES_ROOT   $XDG_CONFIG_HOME/wayscribe/registry/HKEY_CLASSES_ROOT.reg
//   HKEY_LOCAL_MACHINE  <first of $XDG_CONFIG_DIRS>/wayscribe/registry/HKEY_LOCAL_MACHINE.reg
// XDG_CONFIG_HOME defaults to ~/.config and XDG_CONFIG_DIRS to /etc/xdg. The
// environment is read whenever a predefined key is used; an opened key stays
// in the file it was opened in.
//
// Every call reads the hive file afresh (under a shared file lock; parsed
// hives are cached while the file is unchanged), and every change rewrites it
// under an exclusive lock through a temporary file, so concurrent writers in
// any number of processes lose nothing and a crash leaves the old or the new
// hive, never a mixture. There is no other state: a key handle remembers its
// hive file, its path and its access rights.
//
// Strings are UTF-8. Key paths use backslashes ("Software\\Quillonix\\WYSC").
// Key and value names compare without regard to ASCII letter case and keep the
// case they were created with. A null or empty value name is the key's default
// value. Key names hold 1 to 255 bytes and no control characters; value names
// up to 16383 bytes.
//
// Results are ERROR_* values from WinError.h. Common ones:
//   ERROR_INVALID_HANDLE   null, closed or never-opened HKEY
//   ERROR_FILE_NOT_FOUND   missing key or value
//   ERROR_KEY_DELETED      the key of an open handle has since been deleted
//   ERROR_ACCESS_DENIED    the handle lacks the right, or the hive file or its
//                          folder may not be written by this user
//   ERROR_INVALID_PARAMETER bad arguments, names or paths
//   ERROR_CANTWRITE        a damaged hive's original could not be kept aside
//
// All functions may be called from any thread.
#pragma once

#include <cstdint>

#include "platform/base/WinError.h"
#include "platform/base/WinTypes.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(std::uintptr_t{0x80000000u}))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(std::uintptr_t{0x80000001u}))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(std::uintptr_t{0x80000002u}))

// Access rights. A handle may do only what its rights allow: reading values
// needs KEY_QUERY_VALUE, enumerating subkeys KEY_ENUMERATE_SUB_KEYS, setting
// and deleting values KEY_SET_VALUE, creating subkeys KEY_CREATE_SUB_KEY, and
// deleting keys any of KEY_SET_VALUE, KEY_CREATE_SUB_KEY or DELETE.
inline constexpr REGSAM DELETE = 0x00010000;
inline constexpr REGSAM READ_CONTROL = 0x00020000;
inline constexpr REGSAM STANDARD_RIGHTS_READ = READ_CONTROL;
inline constexpr REGSAM STANDARD_RIGHTS_WRITE = READ_CONTROL;
inline constexpr REGSAM STANDARD_RIGHTS_ALL = 0x001F0000;
inline constexpr REGSAM SYNCHRONIZE = 0x00100000;
inline constexpr REGSAM MAXIMUM_ALLOWED = 0x02000000;
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM KEY_READ =
    (STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) & ~SYNCHRONIZE;
inline constexpr REGSAM KEY_WRITE =
    (STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & ~SYNCHRONIZE;
inline constexpr REGSAM KEY_EXECUTE = KEY_READ & ~SYNCHRONIZE;
inline constexpr REGSAM KEY_ALL_ACCESS =
    (STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS |
     KEY_NOTIFY | KEY_CREATE_LINK) &
    ~SYNCHRONIZE;

// Value types.
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_DWORD_LITTLE_ENDIAN = 4;
inline constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
inline constexpr DWORD REG_LINK = 6;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;
inline constexpr DWORD REG_QWORD_LITTLE_ENDIAN = 11;

// RegCreateKeyEx options and dispositions.
inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0x0000;
inline constexpr DWORD REG_OPTION_VOLATILE = 0x0001;
inline constexpr DWORD REG_OPTION_OPEN_LINK = 0x0008;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Opens an existing key; `subKey` null or empty opens `key` itself again.
// Opening for writing fails with ERROR_ACCESS_DENIED when this user may not
// write the hive. MAXIMUM_ALLOWED gives every right the hive file permits.
// `options` may only be 0 or REG_OPTION_OPEN_LINK. The caller closes
// *result with RegCloseKey.
LONG RegOpenKeyEx(HKEY key, const char* subKey, DWORD options, REGSAM desired, PHKEY result);

// Opens a key, creating it and any missing keys above it. `disposition`
// (optional) receives REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
// Creating needs KEY_CREATE_SUB_KEY on `key`. Volatile keys are not kept
// (ERROR_INVALID_PARAMETER); `keyClass` and `security` are ignored.
LONG RegCreateKeyEx(HKEY key, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
                    REGSAM desired, const void* security, PHKEY result, DWORD* disposition);

// Releases a handle; closing a predefined key does nothing and succeeds.
LONG RegCloseKey(HKEY key);

// Reads a value as stored. With `data` null and `dataSize` given, only the
// size is reported. A buffer smaller than the value gives ERROR_MORE_DATA,
// the needed size in *dataSize and the type in *type, leaving `data` as it
// was. `type`, `data` and `dataSize` are each optional, but `data` needs
// `dataSize`; `reserved` must be null.
LONG RegQueryValueEx(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                     DWORD* dataSize);

// Stores `dataSize` bytes exactly as given, whatever `type` says (a REG_SZ is
// kept with or without its terminating NUL, as passed).
LONG RegSetValueEx(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                   DWORD dataSize);

LONG RegDeleteValue(HKEY key, const char* valueName);

// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED otherwise); `subKey`
// empty deletes `key` itself. A hive's root cannot be deleted.
LONG RegDeleteKey(HKEY key, const char* subKey);

// Deletes `subKey` with everything below it; with `subKey` null, deletes the
// values and subkeys of `key` but keeps the key.
LONG RegDeleteTree(HKEY key, const char* subKey);

// Enumerates subkeys in name order (ignoring ASCII case). On input *nameSize
// is the buffer size in bytes including the NUL; on success it is the name's
// length without it. A short buffer gives ERROR_MORE_DATA with the length
// needed (without the NUL) in *nameSize. Past the last subkey:
// ERROR_NO_MORE_ITEMS. Classes and write times are not kept: `keyClass` gets
// an empty string when given, `lastWriteTime` is left untouched.
LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved, char* keyClass,
                  DWORD* classSize, void* lastWriteTime);

// Enumerates values in the order they were first set, the default value
// under the empty name. Name sizes as for RegEnumKeyEx; data as for
// RegQueryValueEx (ERROR_MORE_DATA when the data buffer is short, the name
// then still filled in).
LONG RegEnumValue(HKEY key, DWORD index, char* valueName, DWORD* valueNameSize, DWORD* reserved, DWORD* type,
                  BYTE* data, DWORD* dataSize);

// Counts and longest sizes under a key (names in bytes without the NUL).
// Every out parameter is optional; the class is always empty and the
// security descriptor size and write time are not reported.
LONG RegQueryInfoKey(HKEY key, char* keyClass, DWORD* classSize, DWORD* reserved, DWORD* subKeys,
                     DWORD* maxSubKeyLength, DWORD* maxClassLength, DWORD* values, DWORD* maxValueNameLength,
                     DWORD* maxValueLength, DWORD* securityDescriptorSize, void* lastWriteTime);
