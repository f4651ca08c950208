// Context-help maps of the band's dialogs: pairs of control identifier and
// popup topic number, ended by two zeros.
#pragma once

#include "platform/base/WinTypes.h"

namespace Help {

// The export panel: dates and times of the range, the URL filter, the scope.
inline constexpr DWORD kExportHelpIds[] = {
    231, 1001, 234, 1001, 232, 1002, 235, 1002, 206, 1003, 257, 1007, 258, 1008, 259, 1009, 0, 0,
};

// The options dialog: collection, folder, the four keep-time edits and
// their spin controls, long file names, Browse.
inline constexpr DWORD kOptionsHelpIds[] = {
    202,  1004, 203,  1005, 217,  1006, 218,  1006, 219,  1006, 220,  1006, 224,
    1006, 222,  1006, 225,  1006, 226,  1006, 242,  1010, 204,  1011, 0,    0,
};

}  // namespace Help
