// The work of one capture once it holds the page's document and its own URL
// base connection: walk the document, try the single-file route for plain
// http pages, else save the page as an HTML file with a resource folder, and
// record the visit.
//
// Run raises ComError for everything that ends a capture without a record
// (a failing BaseDirectory, a refused AddData, a message object that cannot
// be created, a stop request: E_ABORT); errors inside the single-file route
// switch to the HTML route instead. Files written before an error stay.
//
// Used on one thread: the capture thread's apartment, where `document` and
// `urlBase` (proxies, or objects of this thread) may be called.
#pragma once

#include <cstdint>
#include <string>

#include "WYSCbho/CCaptureStop.h"
#include "common/IWYSCURLBase.h"
#include "platform/com/ComPtr.h"
#include "platform/dom/HtmlDocument.h"

namespace wys::capture {

// What the helper object hands over about the completed page.
struct CaptureInput {
    std::string Url;        // as the browser reported it
    std::int64_t Time = 0;  // seconds since 1970 UTC, when the page completed
    std::string Title;      // the browser's LocationName (may be empty)
};

enum class CaptureOutcome {
    Archive,          // saved as ".mht" and recorded
    Page,             // saved as ".htm" with its resource folder and recorded
    ArchiveTooSmall,  // the archive was 1000 bytes or less: nothing saved
    NoDocument,       // the browser's document is not HTML: nothing saved, on either route
    HistoryPage,      // a file inside the history folder: one of its saved copies, not captured
};

// Why a capture ended without a record, beyond the platform's errors.
inline constexpr HRESULT kHistoryFolderNotWritable = MakeHResult(0x80040201u);
inline constexpr HRESULT kRecordRefused = MakeHResult(0x80040202u);

class CPageCapture {
public:
    // `document` may be null (the browser's document is not HTML);
    // `urlBase` must not be. `stop` may be null.
    CPageCapture(CaptureInput input, IWYSCURLBase* urlBase, IHTMLDocument2* document, CaptureStopRef stop);

    CaptureOutcome Run();

    // Whether a page URL takes the single-file route first: an http URL
    // whose text (query included) does not end in ".php" in any case.
    static bool TakesSingleFileRoute(const std::string& url);

    // What the window's status line says of a capture that ended with
    // `outcome` ("Saved to the history: <title>"), or that raised `error`
    // ("Not saved to the history: <why>"); empty when there is nothing to
    // tell (a saved copy of the history opened, a capture stopped).
    static std::string StatusText(CaptureOutcome outcome, const std::string& title);
    static std::string FailureText(HRESULT error);

private:
    void CheckStop() const;

    CaptureInput m_input;
    ComPtr<IWYSCURLBase> m_urlBase;
    ComPtr<IHTMLDocument2> m_document;
    CaptureStopRef m_stop;
};

}  // namespace wys::capture
