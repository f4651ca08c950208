// Private to platform/dom: the automation object of a media-player control
// (MediaPlayers.h). It holds what it answers and nothing of the document.
#pragma once

#include <optional>
#include <string>

#include "platform/dom/MediaPlayers.h"
#include "platform/dom/src/DomObject.h"

namespace wys::dom {

class CMediaPlayerObject final : public CDomObject<CMediaPlayerObject, IDispatch> {
public:
    // `mediaFile`: what the player's DISPID answers; nullopt when the page
    // named no media file.
    CMediaPlayerObject(const MediaPlayerDescription& player, std::optional<std::string> mediaFile)
        : m_player(player), m_mediaFile(std::move(mediaFile))
    {
    }

    HRESULT Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argError) override;

private:
    const MediaPlayerDescription& m_player;  // one of kMediaPlayers
    std::optional<std::string> m_mediaFile;
};

}  // namespace wys::dom
