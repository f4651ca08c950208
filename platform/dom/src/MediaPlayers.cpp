#include "platform/dom/MediaPlayers.h"

#include "platform/dom/src/DocumentTree.h"

const MediaPlayerDescription* FindMediaPlayer(std::string_view classId)
{
    for (const MediaPlayerDescription& player : kMediaPlayers) {
        if (wys::dom::EqualsIgnoringAsciiCase(classId, player.classId))
            return &player;
    }
    return nullptr;
}
