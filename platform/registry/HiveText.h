// The text form of a hive file. Private to the registry.
//
// A hive file is UTF-8 text made for people to read and, with care, to edit:
//
//   ; Wayscribe registry hive HKEY_CURRENT_USER
//
//   [Software\Quillonix\WYSC]
//   @=sz:"default text"
//   "BasePath"=sz:"/home/u/Documents/Collected IE History"
//   "CollectHistory"=binary:01
//   "HistoryRange"=qword:00000000000d2f00
//   "N"=dword:0000002a
//   "List"=multi_sz:"one","two"
//   "Odd"=hex(1):61,62
//
// - Lines end with LF; a CR before it, blanks around a line, empty lines and
//   lines starting with ';' or '#' are ignored.
// - "[A\B\C]" starts a key, its path from the hive's root with backslashes
//   between the names; the keys above it exist too. "[]" is the root itself.
//   Every key has its line, empty ones included, in name order.
// - A value line belongs to the key line above it: a name, '=', a type, ':'
//   and the data. The name is '@' for the default value or a quoted string.
// - Quoted strings escape '\' as \\, '"' as \", and control characters, DEL
//   and (in names) bytes outside UTF-8 as \xNN; \n, \r and \t are read too.
// - Types and their data:
//     sz, expand_sz  a quoted string; the value's bytes are its text and one NUL
//     multi_sz       quoted non-empty strings separated by commas; the bytes are
//                    each string with its NUL, then one more NUL
//     dword, qword   a hexadecimal number of up to 8 or 16 digits, stored as 4
//                    or 8 bytes little-endian
//     binary         REG_BINARY bytes: two hexadecimal digits each, separated
//                    by commas ("binary:" alone is no bytes)
//     hex(T)         bytes of type T (hexadecimal), the form used for every value
//                    the readable forms cannot carry exactly: REG_NONE and
//                    unknown types, strings without their NUL, with embedded
//                    NULs or not UTF-8, numbers of the wrong size
// A line that does not read as one of these is skipped and reported; so are
// the values under a key line that was skipped, and a value set twice in one
// key keeps only the later line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/registry/HiveKey.h"

namespace wys::registry {

struct ParsedHive {
    CHiveKey root;
    // Lines not taken as written: skipped, overridden by a later line, or a
    // last line without its LF (perhaps cut short). Zero for a file this code wrote.
    std::size_t unsoundLines = 0;
};

// Never fails: whatever cannot be read is counted in unsoundLines.
ParsedHive ParseHiveText(std::string_view text);

// The whole file for `root`, headed by a comment naming `hiveName`.
std::string FormatHiveText(const CHiveKey& root, std::string_view hiveName);

// The value part of one line ("sz:\"x\"", "dword:0000002a", "hex(0):"), for
// messages and tests.
std::string FormatValueData(DWORD type, std::string_view data);

}  // namespace wys::registry
