// Where one captured page lands under the history folder: a folder per local
// calendar day ("2003/November/27"), and in it a file stem named after the
// local time of the visit ("14h 5m 3s", or "Title 14h 5m 3s" with titled
// file names). The record's Path is relative to the history folder.
//
// Two captures in the same second with the same stem would write to the same
// files, the later one replacing the saved copy that the earlier one's record
// names. So each route claims its names: the archive route its ".mht" file,
// the HTML route its "_files" folder (with no ".htm" of that stem about),
// and when they are taken the stem gets " (2)", " (3)", ... appended.
//
// Names only, apart from the folder creations and the claims.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace wys::capture {

class CSavedPageLayout {
public:
    // "year/full month name/day of month", from the local time of `time`
    // (seconds since 1970 UTC). A time that cannot be broken down gives -1
    // for the numbers and an empty month name.
    static std::string DayFolder(std::int64_t time);

    // The document title with the characters that cannot stand in a file
    // name replaced; "Untitled" for an empty title. Length is not limited.
    static std::string CleanTitle(std::string_view title);

    // "%dh %dm %ds" of the local time of `time`, preceded by the cleaned
    // title and a space when `titledFileNames` is true.
    static std::string Stem(std::int64_t time, bool titledFileNames, std::string_view documentTitle);

    // `historyFolder` as the URL base names it (a trailing separator is
    // dropped); `dayFolder` and `stem` as the functions above give them.
    CSavedPageLayout(std::string_view historyFolder, std::string dayFolder, std::string stem);

    // The stem in use: Stem's, or a numbered variant once a claim needed one.

    const std::string& HistoryFolder() const { return m_historyFolder; }
    const std::string& DayFolderName() const { return m_dayFolder; }
    const std::string& StemName() const { return m_stem; }

    // Full paths.
    std::string DayFolderPath() const;
    std::string ArchiveFile() const;     // <day>/<stem>.mht
    std::string PageFile() const;        // <day>/<stem>.htm
    std::string ResourceFolder() const;  // <day>/<stem>_files

    // Record Paths, relative to the history folder.
    std::string ArchivePath() const;
    std::string PagePath() const;

    // Highest number a claimed stem gets.
    static constexpr int kMaxStemNumber = 9999;

    // Creates the day folder with every missing parent; whether it exists after.
    bool CreateDayFolder() const;

    // Claims the archive file: creates an empty "<stem>.mht" that did not
    // exist, numbering the stem when taken, and keeps that stem. False
    // (stem unchanged) when no name can be created.
    bool ClaimArchiveFile();
    // Claims the HTML route's names: creates "<stem>_files" where neither it
    // nor "<stem>.htm" existed, numbering the stem when taken, and keeps
    // that stem. False (stem unchanged) when no folder can be created.
    bool ClaimResourceFolder();

private:
    std::string Variant(int number) const;

    std::string m_historyFolder;
    std::string m_dayFolder;
    std::string m_baseStem;
    std::string m_stem;
};

}  // namespace wys::capture
