#include "WYSCbho/CPageCapture.h"

#include <functional>
#include <future>
#include <optional>
#include <set>
#include <system_error>
#include <vector>

#include "WYSCbho/CHistoryFolder.h"
#include "WYSCbho/CSavedPageLayout.h"
#include "WYSCbho/CSingleFilePage.h"
#include "WYSCbho/DocumentWalker.h"
#include "WYSCbho/DomText.h"
#include "WYSCbho/FrameSaver.h"
#include "WYSCbho/ParseUrl.h"
#include "WYSCbho/RewriteLinks.h"
#include "WYSCbho/StyleSheetSaver.h"
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
    if (FAILED(urlBase->AddData(_URL_DATE_{input.Time, url, relative, title})))
        throw ComError(kRecordRefused);
}

// Runs `read` on a thread of its own when one can be had, else when its
// result is asked for.
std::future<std::string> ReadBeside(std::function<std::string()> read)
{
    try {
        return std::async(std::launch::async, read);
    } catch (const std::system_error&) {
        return std::async(std::launch::deferred, std::move(read));
    }
}

}  // namespace

CPageCapture::CPageCapture(CaptureInput input, IWYSCURLBase* urlBase, IHTMLDocument2* document,
                           CaptureStopRef stop)
    : m_input(std::move(input)), m_urlBase(urlBase), m_document(document), m_stop(std::move(stop))
{
}

std::string CPageCapture::StatusText(CaptureOutcome outcome, const std::string& title)
{
    switch (outcome) {
        case CaptureOutcome::Archive:
        case CaptureOutcome::Page:
            return "Saved to the history: " + title;
        case CaptureOutcome::ArchiveTooSmall:
            return "Not saved to the history: the page holds nothing to keep";
        case CaptureOutcome::NoDocument:
            return "Not saved to the history: the page is not an HTML document";
        case CaptureOutcome::HistoryPage:
            break;
    }
    return {};
}

std::string CPageCapture::FailureText(HRESULT error)
{
    if (error == E_ABORT)
        return {};
    if (error == kHistoryFolderNotWritable)
        return "Not saved to the history: the history folder cannot be written";
    if (error == kRecordRefused)
        return "Not saved to the history: the history did not take the visit (it has it already, or its copy "
               "could not be written)";
    return "Not saved to the history: " + HResultText(error);
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
    // Nothing could be written below a folder that cannot be made.
    if (!layout.CreateDayFolder())
        throw ComError(kHistoryFolderNotWritable);
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
    FrameSaver frames(resourceFolder, fileUrls, m_stop);
    // Reading the page's markup out of the document takes about as long as
    // saving what the page needs, and the two share nothing (the document
    // does not change under a capture): it runs beside the saving.
    IHTMLDocument2* const page = m_document.Get();
    std::future<std::string> pageMarkup =
        ReadBeside([&frames, page] { return frames.GetDocumentHtml(page); });
    SaveAll(resources, walk.ResourceUrls);
    std::set<std::string> styleSheets = walk.StyleSheetUrls;
    CheckStop();

    // Frames at every depth, each with what it shows itself: a frame's
    // images and style sheets are as much the page as its own.
    CollectDocuments(frames, m_document.Get());
    std::set<std::string> pendingFrames = walk.FrameUrls;
    std::vector<std::pair<std::string, std::string>> frameDocumentFiles;  // URL, file
    while (!pendingFrames.empty()) {
        SaveAll(frames, pendingFrames);
        CheckStop();
        std::set<std::string> next;
        for (const std::string& url : pendingFrames) {
            auto file = frames.SavedFiles().find(url);
            auto document = frames.Documents().find(url);
            if (file == frames.SavedFiles().end() || document == frames.Documents().end())
                continue;
            frameDocumentFiles.emplace_back(url, file->second);
            WalkResult inner = WalkDocument(document->second.Get());
            std::set<std::string> unsaved;
            for (const std::string& resource : inner.ResourceUrls) {
                if (!resources.SavedFiles().count(resource))
                    unsaved.insert(resource);
            }
            SaveAll(resources, unsaved);
            styleSheets.insert(inner.StyleSheetUrls.begin(), inner.StyleSheetUrls.end());
            for (const std::string& frame : inner.FrameUrls) {
                if (!frames.SavedFiles().count(frame))
                    next.insert(frame);
            }
        }
        CheckStop();
        pendingFrames = std::move(next);
    }

    CStyleSheetSaver style(resources);
    for (const std::string& url : styleSheets) {
        auto saved = resources.SavedFiles().find(url);
        if (saved != resources.SavedFiles().end())
            style.FollowSheet(url, saved->second);
    }
    CheckStop();

    const std::string pageFile = layout.PageFile();
    const std::string pageUrl = DocumentUrl(m_document.Get());
    auto collected = frames.Documents().find(pageUrl);
    const bool pageWritten = collected != frames.Documents().end() && collected->second.Get() == page
                                 ? frames.WriteMarkup(pageMarkup.get(), pageFile)
                                 : frames.SaveUrl(pageUrl, pageFile);
    if (pageWritten)
        style.FollowHtmlFile(pageFile, pageUrl);
    for (const auto& [url, path] : frameDocumentFiles)
        style.FollowHtmlFile(path, url);
    CheckStop();

    std::map<std::string, std::string> savedFiles = resources.SavedFiles();
    savedFiles.insert(frames.SavedFiles().begin(), frames.SavedFiles().end());
    if (pageWritten)
        RewriteLinks(pageFile, layout.DayFolderPath(), savedFiles);
    for (const auto& [url, path] : frames.SavedFiles())
        RewriteLinks(path, resourceFolder, savedFiles);
    CheckStop();

    AddRecord(m_urlBase.Get(), m_input, layout.PagePath());
    return CaptureOutcome::Page;
}

}  // namespace wys::capture
