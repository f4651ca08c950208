// The shell's file operation: delete, copy and move lists of files and
// folders in one call, with the platform's flags and results.
//
// A saved web page and its resource folder are one unit ("connected
// files"): for a source file "x.htm" (also .html, .shtml, .mht, .mhtml) the
// folder "x_files" beside it is deleted, copied or moved with it; a copy or
// move puts it beside the target, named after the target ("y.htm" gets
// "y_files"). FOF_NO_CONNECTED_ELEMENTS turns this off.
//
// Paths: "\" separates as "/" does; relative paths are taken from the
// current folder; "." and ".." are resolved by text before use. Symbolic
// links are never followed: a link is deleted or copied as a link (or left
// out, with fSkipLinks), so a delete never reaches outside the named trees.
// Links in the folders above a named path are the caller's to check.
// Wildcards are not expanded.
#pragma once

#include "platform/base/WinError.h"
#include "platform/base/WinTypes.h"
#include "platform/shell/IFileOperationProgress.h"

inline constexpr UINT FO_MOVE = 0x0001;
inline constexpr UINT FO_COPY = 0x0002;
inline constexpr UINT FO_DELETE = 0x0003;
inline constexpr UINT FO_RENAME = 0x0004;  // done as a move

using FILEOP_FLAGS = WORD;
inline constexpr FILEOP_FLAGS FOF_MULTIDESTFILES = 0x0001;         // pTo holds one target per source
inline constexpr FILEOP_FLAGS FOF_CONFIRMMOUSE = 0x0002;           // not used
inline constexpr FILEOP_FLAGS FOF_SILENT = 0x0004;                 // no progress sink from the factory
inline constexpr FILEOP_FLAGS FOF_RENAMEONCOLLISION = 0x0008;      // not supported; ignored
inline constexpr FILEOP_FLAGS FOF_NOCONFIRMATION = 0x0010;         // answer "yes to all" without asking
inline constexpr FILEOP_FLAGS FOF_WANTMAPPINGHANDLE = 0x0020;      // ignored; hNameMappings stays null
inline constexpr FILEOP_FLAGS FOF_ALLOWUNDO = 0x0040;              // ignored: there is no recycle bin here
inline constexpr FILEOP_FLAGS FOF_FILESONLY = 0x0080;              // wildcards only; ignored
inline constexpr FILEOP_FLAGS FOF_SIMPLEPROGRESS = 0x0100;         // progress without file names
inline constexpr FILEOP_FLAGS FOF_NOCONFIRMMKDIR = 0x0200;         // create target folders without asking
inline constexpr FILEOP_FLAGS FOF_NOERRORUI = 0x0400;              // no error message boxes
inline constexpr FILEOP_FLAGS FOF_NOCOPYSECURITYATTRIBS = 0x0800;  // ignored
inline constexpr FILEOP_FLAGS FOF_NORECURSION = 0x1000;            // ignored
inline constexpr FILEOP_FLAGS FOF_NO_CONNECTED_ELEMENTS = 0x2000;  // no "_files" folder carried along

// Results beside the Win32 error values (ERROR_FILE_NOT_FOUND, ...).
inline constexpr int DE_SAMEFILE = 0x71;       // source and target are the same file
inline constexpr int DE_MANYSRC1DEST = 0x72;   // more sources than targets
inline constexpr int DE_ROOTDIR = 0x74;        // the root folder cannot be deleted, copied or moved
inline constexpr int DE_DESTSUBTREE = 0x76;    // a folder's target lies inside it
inline constexpr int DE_MANYDEST = 0x7A;       // more targets than sources
inline constexpr int DE_INVALIDFILES = 0x7C;   // a source that is neither file, folder nor link
inline constexpr int DE_FLDDESTISFILE = 0x7E;  // a folder's target is a file
inline constexpr int DE_FILEDESTISFLD = 0x80;  // a file's target is a folder
inline constexpr int DE_INVALIDPATH = 0x402;   // no usable target path (pTo missing or empty)

struct SHFILEOPSTRUCTA {
    HWND hwnd = nullptr;          // owner of message boxes and progress; may be null
    UINT wFunc = 0;               // FO_ value
    const char* pFrom = nullptr;  // sources: NUL-separated, closed by a second NUL
    // Targets: with FOF_MULTIDESTFILES a list like pFrom, the n-th source
    // becoming exactly the n-th path; otherwise one path: the folder that
    // receives every source under its own name when it is an existing folder
    // or there are several sources, else the new name of the single source.
    // Unused for FO_DELETE.
    const char* pTo = nullptr;
    FILEOP_FLAGS fFlags = 0;
    BOOL fAnyOperationsAborted = FALSE;  // out: TRUE after a cancel or a skipped item
    void* hNameMappings = nullptr;       // out: always null
    const char* lpszProgressTitle = nullptr;
    // Not on the original platform: a progress sink for this operation only.
    // It receives reports even with FOF_SILENT. Must outlive the call.
    IFileOperationProgress* pProgress = nullptr;
    // Not on the original platform: a copy (not a move) leaves symbolic
    // links out (a source that is one, and those inside copied folders)
    // instead of making them anew at the target.
    BOOL fSkipLinks = FALSE;
};

// Runs the operation. Returns 0 on success; ERROR_CANCELLED (with
// fAnyOperationsAborted set) when the progress sink or the user cancelled;
// otherwise a Win32 error value or a DE_ value. Items are done in list order
// (a folder's contents before the folder when deleting, after it when
// copying) and the first failure ends the operation, leaving what was done.
// Every source must exist: a missing one (ERROR_FILE_NOT_FOUND) or an
// invalid pair is found before anything changes, and before the progress
// sink hears of the operation. An empty source list succeeds at once.
//
// Copy and move create missing target folders (asking first unless
// FOF_NOCONFIRMMKDIR or FOF_NOCONFIRMATION), merge into existing folders and
// replace existing files (asking per file unless FOF_NOCONFIRMATION: "No"
// skips the file). Delete asks once unless FOF_NOCONFIRMATION. Questions and,
// unless FOF_NOERRORUI, errors are message boxes owned by hwnd. A copied file
// keeps its permission bits and modification time.
int SHFileOperationA(SHFILEOPSTRUCTA* operation);
inline constexpr auto& SHFileOperation = SHFileOperationA;
