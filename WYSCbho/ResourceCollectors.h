// The collectors that find a page's resources: images, scripts, style
// sheets, image buttons and the media files of four player controls.
#pragma once

#include "WYSCbho/UrlCollector.h"
#include "platform/com/Dispatch.h"

namespace wys::capture {

// The src of every img element that has one.
class ImageCollector final : public UrlCollector {
public:
    void Collect(IHTMLDocument2* document) override;
};

// The src of every script element that has one (inline scripts have none).
class ScriptCollector final : public UrlCollector {
public:
    void Collect(IHTMLDocument2* document) override;
};

// The href of every linked style sheet (style elements have none).
class StyleSheetCollector final : public UrlCollector {
public:
    void Collect(IHTMLDocument2* document) override;
};

// The src of every input element of type "image" that has one.
class ImageInputCollector final : public TagCollector {
public:
    ImageInputCollector() : TagCollector("INPUT") {}
    void VisitElement(IDispatch* element) override;
};

// The media file of every object element of one player: the string the
// player's automation object answers for DispId (even an empty one).
class PlayerObjectCollector final : public TagCollector {
public:
    // `classId` in upper case, as "CLSID:D27CDB6E-...".
    PlayerObjectCollector(std::string classId, DISPID dispId, WORD invokeKind)
        : TagCollector("OBJECT"), m_classId(std::move(classId)), m_dispId(dispId), m_invokeKind(invokeKind)
    {
    }
    void VisitElement(IDispatch* element) override;

    // Shockwave Flash, QuickTime, RealPlayer and Windows Media Player 6.4.
    static PlayerObjectCollector Flash();
    static PlayerObjectCollector QuickTime();
    static PlayerObjectCollector RealPlayer();
    static PlayerObjectCollector MediaPlayer();

private:
    std::string m_classId;
    DISPID m_dispId;
    WORD m_invokeKind;
};

}  // namespace wys::capture
