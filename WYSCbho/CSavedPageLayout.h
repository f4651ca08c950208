// Where one captured page lands under the history folder: a folder per local
// calendar day ("2003/November/27"), and in it a file stem named after the
// local time of the visit ("14h 5m 3s", or "Title 14h 5m 3s" with titled
// file names). The record's Path is relative to the history folder.
//
// Names only: nothing here touches the disk except CreateDayFolder and
// CreateResourceFolder.
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

    // Create the folder with every missing parent; whether it exists after.
    bool CreateDayFolder() const;
    bool CreateResourceFolder() const;

private:
    std::string m_historyFolder;
    std::string m_dayFolder;
    std::string m_stem;
};

}  // namespace wys::capture
