// The media-player controls whose object elements answer `object` with an
// automation object. Pages embed them as
//   <object classid="clsid:D27CDB6E-AE6D-11CF-96B8-444553540000">
//     <param name="movie" value="intro.swf">
//   </object>
// and the player's automation object answers Invoke with the player's
// DISPID (no arguments, as a property get or a method call) by a BSTR
// naming the media file: the value of the object's first <param> whose
// name is the player's first parameter name, else its second, and so on.
// Parameter names compare ignoring ASCII case; a <param> with an empty value
// names nothing; a <param> inside a nested object belongs to that object.
// Invoke fails with E_FAIL when no <param> names a media file, and with
// DISP_E_MEMBERNOTFOUND for any other DISPID or a property put.
#pragma once

#include <array>
#include <string_view>

#include "platform/com/Dispatch.h"

struct MediaPlayerDescription {
    std::string_view name;
    // As an object element's classid names it; compared ignoring ASCII case.
    std::string_view classId;
    DISPID dispId;
    // The kind of call the player's own interface uses for that DISPID;
    // Invoke answers either kind.
    WORD invokeKind;
    // In order of preference; unused entries are empty.
    std::array<std::string_view, 3> paramNames;
};

inline constexpr std::array<MediaPlayerDescription, 4> kMediaPlayers = {{
    {"Shockwave Flash",
     "CLSID:D27CDB6E-AE6D-11CF-96B8-444553540000",
     102,
     DISPATCH_PROPERTYGET,
     {"movie", "src", ""}},
    {"QuickTime", "CLSID:02BF25D5-8C17-4B23-BC80-D3488ABDDC6B", 304, DISPATCH_METHOD, {"qtsrc", "src", ""}},
    {"RealPlayer",
     "CLSID:CFCDAA03-8BE4-11CF-B84B-0020AFBBCCFA",
     102,
     DISPATCH_PROPERTYGET,
     {"src", "source", ""}},
    {"Windows Media Player 6.4",
     "CLSID:22D6F312-B0F6-11D0-94AB-0080C74C7E95",
     1026,
     DISPATCH_PROPERTYGET,
     {"filename", "url", "src"}},
}};

// The player an object element's classid names, or null.
const MediaPlayerDescription* FindMediaPlayer(std::string_view classId);
