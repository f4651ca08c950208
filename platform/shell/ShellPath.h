// Path helpers with the platform's names, limits and results.
//
// Input: "/" and "\" both separate components (paths recorded on the
// original platform use "\"). A path is absolute when it starts with a
// separator; there are no drive letters. Output: every path these functions
// write uses "/". Comparisons are byte for byte (names are case sensitive).
//
// Buffers: a `char*` destination holds MAX_PATH bytes. A result that would
// not fit (MAX_PATH characters or more, the terminator not counted) is not
// written: the function fails and, where the platform does so, leaves an
// empty string. Destination and source may be the same buffer. Functions
// returning `char*` into their argument return a pointer into that same
// string, never a copy.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/WinTypes.h"

inline constexpr DWORD MAX_PATH = 260;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;

// dir and file joined with one separator, then canonicalised as by
// PathCanonicalizeA. An absolute `file` replaces `dir`; a null or empty one
// gives the canonical `dir`. Returns dest, or null (dest emptied) when both
// are null or the result does not fit.
char* PathCombineA(char* dest, const char* dir, const char* file);
inline constexpr auto& PathCombine = PathCombineA;

// Appends `more` as PathCombineA does, except that a leading separator of
// `more` is ignored (it never replaces `path`). FALSE, `path` unchanged, when
// the result does not fit or an argument is null.
BOOL PathAppendA(char* path, const char* more);
inline constexpr auto& PathAppend = PathAppendA;

// Removes "." elements and each ".." with the element before it; a ".."
// with nothing before it is dropped, so the result never climbs above its
// root ("/.." is "/", "../x" is "x"). Runs of separators become one. A
// leading separator and a trailing one are kept ("a/b/" stays "a/b/"). A
// relative path that reduces to nothing is ".", an empty one stays empty.
// FALSE (dest emptied) when an argument is null or the result does not fit.
BOOL PathCanonicalizeA(char* dest, const char* src);
inline constexpr auto& PathCanonicalize = PathCanonicalizeA;

// Keeps only the text after the last separator: "a/b/c.htm" -> "c.htm",
// "a/b/" -> "" (a path ending in a separator has no name).
void PathStripPathA(char* path);
inline constexpr auto& PathStripPath = PathStripPathA;

// The text after the last separator (the whole path when there is none; the
// terminator when the path ends in a separator). Null for null.
char* PathFindFileNameA(const char* path);
inline constexpr auto& PathFindFileName = PathFindFileNameA;

// The last "." of the file name and what follows it ("x.tar.gz" -> ".gz"),
// or the terminator when the name has no dot. A dot in a folder name does
// not count. Null for null.
char* PathFindExtensionA(const char* path);
inline constexpr auto& PathFindExtension = PathFindExtensionA;

// TRUE unless the path starts with a separator ("/x" and "\x" are absolute;
// "", "x", "../x", "http://host/x" are relative).
BOOL PathIsRelativeA(const char* path);
inline constexpr auto& PathIsRelative = PathIsRelativeA;

// The relative path that leads from `from` to `to`, both canonicalised
// first. `from` names a folder when attrFrom has FILE_ATTRIBUTE_DIRECTORY,
// otherwise a file whose folder is used; attrTo does not change the result.
// Each step up is "../"; a path without steps up starts with "./"
// ("./x_files/a.png"), so callers canonicalise it as on the original
// platform. The same folder gives ".". FALSE (path emptied) when an
// argument is null or empty, when one path is absolute and the other is
// not, or when the result does not fit.
BOOL PathRelativePathToA(char* path, const char* from, DWORD attrFrom, const char* to, DWORD attrTo);
inline constexpr auto& PathRelativePathTo = PathRelativePathToA;

// The start of the component after the first one: "/a/b" -> "a/b" -> "b"
// -> "" (the terminator) -> null. Runs of separators are skipped. Null for
// null or an empty string. Used to walk a path from its root, the prefix
// before the returned pointer ending after a component and its separator.
char* PathFindNextComponentA(const char* path);
inline constexpr auto& PathFindNextComponent = PathFindNextComponentA;

// Removes the last component and the separators before it: "/a/b" -> "/a",
// "/a/b/" -> "/a/b", "/a" -> "/", "a" -> "". TRUE when something was
// removed; "/" and "" stay as they are and give FALSE. Separators left in
// the path become "/".
BOOL PathRemoveFileSpecA(char* path);
inline constexpr auto& PathRemoveFileSpec = PathRemoveFileSpecA;

// Whether something of that name exists on disk (a file, a folder, or a
// symbolic link, even a dangling one). FALSE for null or empty.
BOOL PathFileExistsA(const char* path);
inline constexpr auto& PathFileExists = PathFileExistsA;

// Whether the path names a folder (a symbolic link to a folder counts).
BOOL PathIsDirectoryA(const char* path);
inline constexpr auto& PathIsDirectory = PathIsDirectoryA;

// The path as the file system takes it: every "\" becomes "/". Every call
// that touches the disk with a recorded path goes through this first.
std::string PathWithSlashes(std::string_view path);
