// The user's shell folders, found as the platform's SHGetFolderPath finds
// them: here from the XDG user directories.
//
// CSIDL_PERSONAL is the XDG documents folder: XDG_DOCUMENTS_DIR from
// $XDG_CONFIG_HOME/user-dirs.dirs (default ~/.config/user-dirs.dirs), "$HOME"
// at its start standing for the home folder, or $HOME/Documents when the file
// or the entry is missing or unusable. CSIDL_DESKTOPDIRECTORY is the same
// with XDG_DESKTOP_DIR and $HOME/Desktop; CSIDL_PROFILE is $HOME.
#pragma once

#include "platform/base/WinError.h"
#include "platform/base/WinTypes.h"

inline constexpr int CSIDL_PERSONAL = 0x0005;
inline constexpr int CSIDL_MYDOCUMENTS = CSIDL_PERSONAL;
inline constexpr int CSIDL_DESKTOPDIRECTORY = 0x0010;
inline constexpr int CSIDL_PROFILE = 0x0028;
// Or-ed into the folder number: create the folder (and its parents) when it
// does not exist.
inline constexpr int CSIDL_FLAG_CREATE = 0x8000;
inline constexpr int CSIDL_FLAG_MASK = 0xFF00;

// `flags`: the folder as the user configured it, or its default location.
inline constexpr DWORD SHGFP_TYPE_CURRENT = 0;
inline constexpr DWORD SHGFP_TYPE_DEFAULT = 1;

// Writes the folder's absolute path (no trailing separator, at most
// MAX_PATH - 1 bytes) into `path`, a buffer of MAX_PATH bytes. `owner` and
// `token` are ignored. Results:
//   S_OK          the folder exists (possibly just created).
//   S_FALSE       the folder does not exist and CSIDL_FLAG_CREATE was not
//                 given; `path` still holds where it would be.
//   E_INVALIDARG  `path` is null or the folder number is not one above.
//   HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE)  the path does not fit.
//   HRESULT_FROM_WIN32(error)  the folder could not be created.
// On every failure `path` is left empty.
HRESULT SHGetFolderPathA(HWND owner, int csidl, void* token, DWORD flags, char* path);
inline constexpr auto& SHGetFolderPath = SHGetFolderPathA;
