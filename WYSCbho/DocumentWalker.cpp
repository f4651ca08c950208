#include "WYSCbho/DocumentWalker.h"

#include "WYSCbho/AbsoluteUrlCollector.h"
#include "WYSCbho/CompositeCollector.h"
#include "WYSCbho/DomText.h"
#include "WYSCbho/FrameUrlCollector.h"
#include "WYSCbho/ResourceCollectors.h"

namespace wys::capture {

void FrameUrlCollector::Collect(IHTMLDocument2* document)
{
    UrlCollector::Collect(document);
    ForEachFrameDocument(document, [this](IHTMLDocument2* frameDocument) { VisitFrame(frameDocument); });
}

void FrameUrlCollector::VisitFrame(IHTMLDocument2* frameDocument)
{
    AddUrl(DocumentUrl(frameDocument));
}

WalkResult WalkDocument(IHTMLDocument2* document)
{
    ImageCollector images;
    ScriptCollector scripts;
    StyleSheetCollector styleSheets;
    ImageInputCollector imageInputs;
    PlayerObjectCollector flash = PlayerObjectCollector::Flash();
    PlayerObjectCollector quickTime = PlayerObjectCollector::QuickTime();
    PlayerObjectCollector realPlayer = PlayerObjectCollector::RealPlayer();
    PlayerObjectCollector mediaPlayer = PlayerObjectCollector::MediaPlayer();
    CompositeCollector resources(
        {&images, &scripts, &styleSheets, &imageInputs, &flash, &quickTime, &realPlayer, &mediaPlayer});

    AbsoluteUrlCollector absolute(&resources);
    absolute.VisitFrame(document);

    FrameUrlCollector frames;
    frames.Collect(document);

    AbsoluteUrlCollector sheets(&styleSheets);
    sheets.VisitFrame(document);

    return WalkResult{absolute.Urls(), absolute.Spellings(), frames.Urls(), sheets.Urls()};
}

}  // namespace wys::capture
