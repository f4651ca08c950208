// Private to platform/mime: the body of CreateMHTMLBody, the page and what it
// embeds as MIME parts.
#pragma once

#include <string>
#include <vector>

#include "platform/mime/Cdo.h"
#include "platform/mime/MhtmlWriter.h"
#include "platform/mime/ResourceFetcher.h"

// Where the page and its frames come from.
enum class PageVersion {
    Latest,  // always fetched
    Shown,   // the document a browser window of this process shows, when
             // the internet library's cache has one (ShownDocuments.h);
             // fetched otherwise
};

// Fetches the page and, when it is HTML, the resources it embeds, then those
// that its style sheets import or use (imports to a depth of 16) and those
// of its frames (frames of frames to a depth of 3); each URL once, resolved
// against the page's base, without fragment, at most 2000 parts. The page
// is the first part (its location as given); resources follow in the order
// found, each under its absolute URL. Resources that fail are left out; a
// page that fails, and a stop, throw ComError as CResourceFetcher::Fetch
// does.
std::vector<MimeBodyPart> CollectPageParts(CResourceFetcher& fetcher, const std::string& pageUrl,
                                           CdoMHTMLFlags flags, const Credentials& credentials,
                                           PageVersion version = PageVersion::Latest);
