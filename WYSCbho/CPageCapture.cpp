#include "WYSCbho/CPageCapture.h"

#include <optional>

#include "WYSCbho/CHistoryFolder.h"
#include "WYSCbho/CSavedPageLayout.h"
#include "WYSCbho/CSingleFilePage.h"
#include "WYSCbho/DocumentWalker.h"
#include "WYSCbho/DomText.h"
#include "WYSCbho/FrameSaver.h"
#include "WYSCbho/ParseUrl.h"
#include "WYSCbho/RewriteLinks.h"
#include "common/StringConvert.h"
#include "platform/shell/CreateFolderPath.h"

namespace wys::capture {
namespace {

std::string UpperAscii(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

void AddRecord(IWYSCURLBase* urlBase, const CaptureInput& input, const std::string& path)
{
    CComBSTR url(input.Url);
    CComBSTR relative(path);
    CComBSTR title(input.Title);
    ThrowIfFailed(urlBase->AddData(_URL_DATE_{input.Time, url, relative, title}));
}

}  // namespace

CPageCapture::CPageCapture(CaptureInput input, IWYSCURLBase* urlBase, IHTMLDocument2* document,
                           CaptureStopRef stop)
    : m_input(std::move(input)), m_urlBase(urlBase), m_document(document), m_stop(std::move(stop))
{
}

bool CPageCapture::TakesSingleFileRoute(const std::string& url)
{
    std::optional<UrlParts> parts = ParseUrl(url);
    if (!parts || parts->Scheme != kSchemeHttp)
        return false;
    return url.size() < 4 || UpperAscii(url.substr(url.size() - 4)) != ".PHP";
}

void CPageCapture::CheckStop() const
{
    if (m_stop)
        m_stop->ThrowIfStopped();
}

CaptureOutcome CPageCapture::Run()
{
    WalkResult walk;
    if (m_document)
        walk = WalkDocument(m_document.Get());
    CheckStop();

    // A page whose document is not HTML (an image, a download) is not
    // archived either: it is recorded on neither route.
    bool singleFile = m_document && TakesSingleFileRoute(m_input.Url);
    // A message object that cannot be created ends the capture on either route.
    CSingleFilePage archive(m_stop);
    if (singleFile) {
        try {
            archive.Build(m_input.Url, walk.ResourceSpellings);
        } catch (const ComError&) {
            singleFile = false;
        }
    }
    CheckStop();

    CComBSTR baseDirectory;
    ThrowIfFailed(m_urlBase->get_BaseDirectory(&baseDirectory));
    // The helper object filters these already; the folder may have changed
    // since, and nothing may be written for the history's own pages.
    if (CHistoryFolder(BstrToNarrowZ(baseDirectory)).ContainsFileUrl(m_input.Url))
        return CaptureOutcome::HistoryPage;
    std::string dayFolder = CSavedPageLayout::DayFolder(m_input.Time);
    VARIANT_BOOL titled = VARIANT_FALSE;
    ThrowIfFailed(m_urlBase->get_TitledFileNames(&titled));
    std::string documentTitle = m_document ? DocumentTitle(m_document.Get()) : std::string();
    CSavedPageLayout layout(BstrToNarrowZ(baseDirectory), std::move(dayFolder),
                            CSavedPageLayout::Stem(m_input.Time, titled == VARIANT_TRUE, documentTitle));
    layout.CreateDayFolder();
    CheckStop();

    if (singleFile) {
        try {
            if (!archive.Save(layout, walk.ResourceSpellings))
                return CaptureOutcome::ArchiveTooSmall;
            AddRecord(m_urlBase.Get(), m_input, layout.ArchivePath());
            return CaptureOutcome::Archive;
        } catch (const ComError&) {
            // An archive already written stays; the HTML route runs as well.
            singleFile = false;
        }
        CheckStop();
    }

    if (!m_document)
        return CaptureOutcome::NoDocument;

    // A folder that cannot be claimed (the day folder missing, say) is made
    // under the plain stem; the writes below then fail as they will.
    if (!layout.ClaimResourceFolder())
        CreateFolderPath(layout.ResourceFolder().c_str());
    const std::string resourceFolder = layout.ResourceFolder();
    std::optional<UrlParts> pageParts = ParseUrl(m_input.Url);
    const FileUrlCopy fileUrls =
        pageParts && pageParts->Scheme == kSchemeFile ? FileUrlCopy::Allowed : FileUrlCopy::Refused;

    ResourceSaver resources(resourceFolder, fileUrls, m_stop);
    std::map<std::string, std::string> savedFiles = SaveAll(resources, walk.ResourceUrls);
    CheckStop();

    FrameSaver frames(resourceFolder, fileUrls, m_stop);
    CollectDocuments(frames, m_document.Get());
    std::map<std::string, std::string> frameFiles = SaveAll(frames, walk.FrameUrls);
    savedFiles.insert(frameFiles.begin(), frameFiles.end());
    CheckStop();

    const std::string pageFile = layout.PageFile();
    if (frames.SaveUrl(DocumentUrl(m_document.Get()), pageFile))
        RewriteLinks(pageFile, layout.DayFolderPath(), savedFiles);
    for (const auto& [url, path] : frameFiles)
        RewriteLinks(path, resourceFolder, savedFiles);
    CheckStop();

    AddRecord(m_urlBase.Get(), m_input, layout.PagePath());
    return CaptureOutcome::Page;
}

}  // namespace wys::capture
