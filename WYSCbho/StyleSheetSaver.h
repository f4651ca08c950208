// Saving what a page's style needs: the sheets that its saved style sheets
// import, and the images, fonts and other files their url(...) references
// name, recursively through imports, together with what the page's own
// style elements and style attributes refer to. Each reference that could be
// saved is pointed at its local copy (url("name"), relative to the file that
// holds it); one that could not stays as written.
//
// Files are saved with the page's resource saver, so they get their local
// names in the order their references are met, after the page's own
// resources, and a URL saved already (by the page or by another sheet) is
// not fetched again. A sheet is followed once however many sheets import it,
// itself included; imports deeper than kMaxImportDepth and files beyond
// kMaxFiles are left unsaved (their references as written).
//
// Used on one thread, with one saver.
#pragma once

#include <set>
#include <string>

#include "WYSCbho/ResourceSaver.h"

namespace wys::capture {

class CStyleSheetSaver {
public:
    // Sheets imported through more than this many levels are not saved.
    static constexpr int kMaxImportDepth = 16;
    // Files saved for the style of one page at most.
    static constexpr std::size_t kMaxFiles = 1000;

    // `saver` (not owned, outlives this object) saves into the page's
    // resource folder and keeps its SavedFiles.
    explicit CStyleSheetSaver(ResourceSaver& saver) : m_saver(saver) {}

    // Follows the style sheet `sheetUrl` saved as `sheetFile`, rewriting
    // the file in place.
    void FollowSheet(const std::string& sheetUrl, const std::string& sheetFile)
    {
        Follow(sheetUrl, sheetFile, 0);
    }

    // Follows the style elements and style attributes of the saved HTML
    // file `htmlFile`, whose references resolve against `documentUrl` (or
    // its base element), rewriting the file in place.
    void FollowHtmlFile(const std::string& htmlFile, const std::string& documentUrl);

private:
    void Follow(const std::string& sheetUrl, const std::string& sheetFile, int depth);
    // The CSS text with its references saved and pointed at their copies,
    // relative to `folder`.
    std::string SaveReferences(const std::string& css, const std::string& baseUrl, const std::string& folder,
                               int depth);
    // The local file of `url` (saved now if need be); empty when none.
    std::string LocalFile(const std::string& url);

    ResourceSaver& m_saver;
    std::set<std::string> m_followed;
    std::size_t m_saved = 0;
};

}  // namespace wys::capture
