// The band's artwork: small icons drawn in code, looked up by the icon
// resource numbers the band's windows use.
#pragma once

#include <QIcon>
#include <QList>

namespace BandIcons {

inline constexpr int kDay = 210;
inline constexpr int kMonth = 212;
inline constexpr int kPage = 219;
inline constexpr int kTime = 220;
inline constexpr int kOptions = 225;
inline constexpr int kImport = 227;
inline constexpr int kExport = 229;
inline constexpr int kProduct = 232;  // the History tab and the About box
inline constexpr int kSearch = 237;

// The icon of a resource number, at 16 and 32 pixels; a null icon for a
// number the band does not use.
QIcon Icon(int resourceId);

// The history tree's images in the order of the nodes' image indexes:
// month, day, page, time.
QList<QIcon> HistoryTreeImages();

}  // namespace BandIcons
