// Saving a page as one MIME HTML archive (".mht") through the messaging
// component: the message fetches the page and what it embeds, the walker's
// resources are added as related parts, and after saving, the page's
// double-quoted relative references are fixed up to the absolute URLs under
// which the archive holds the parts.
//
// Errors are raised as ComError; the capture catches them and falls back to
// the HTML route. Used on one thread (the capture's apartment).
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>

#include "WYSCbho/CCaptureStop.h"
#include "WYSCbho/CSavedPageLayout.h"
#include "platform/com/ComPtr.h"
#include "platform/mime/AdoStream.h"
#include "platform/mime/Cdo.h"

namespace wys::capture {

using SpellingMap = std::map<std::string, std::set<std::string>>;

class CSingleFilePage {
public:
    // The sender written into every archive.
    static constexpr const char* kMarker = "<Saved by Quillonix Pagestow 1.5>";
    // Archives of this size or smaller are not saved.
    static constexpr ADO_LONGPTR kMinimumArchiveSize = 1000;

    // Creates the message object. A class that does not answer IMessage
    // leaves the message null (Build then fails); any other failure raises.
    explicit CSingleFilePage(CaptureStopRef stop);

    // Configures the message, fetches the page (CreateMHTMLBody) and adds a
    // related part for every key of `spellings` that the message can fetch
    // (IsFetchedResource). Raises on any failure.
    void Build(const std::string& pageUrl, const SpellingMap& spellings);

    // Claims the layout's archive file, saves the archive into it and fixes
    // it up. False, and nothing written, when the archive is
    // kMinimumArchiveSize bytes or smaller. Raises when it cannot be saved
    // (no file is left claimed then).
    bool Save(CSavedPageLayout& layout, const SpellingMap& spellings);

    IMessage* Message() const { return m_message.Get(); }

    // Whether a related part is asked for: http, https and ftp URLs, and
    // data URLs (which carry their resource). Other keys (javascript:, file:,
    // strings that could not be made absolute) would make the message refuse
    // the call and lose the whole archive for one reference it cannot hold.
    static bool IsFetchedResource(std::string_view url);

    // Replaces every double-quoted spelling of each key by the double-quoted
    // key, in key order, in the archive's quoted-printable form ('=' and
    // bytes outside printable ASCII written as =XX), so that a URL with '='
    // in its query is not read back as an escape.
    static std::string FixUpText(std::string text, const SpellingMap& spellings);
    static void FixUpArchive(const std::string& archiveFile, const SpellingMap& spellings);

private:
    ComPtr<IMessage> m_message;
    CaptureStopRef m_stop;
};

// Creates a class of the messaging component as the platform's call
// sequence does it: IUnknown, OleRun, then the interface. S_OK with *object
// set, or E_NOINTERFACE with *object null when the class does not answer
// `iid`; any other failure raises ComError.
HRESULT CreateCdoObject(REFCLSID clsid, REFIID iid, void** object);

}  // namespace wys::capture
