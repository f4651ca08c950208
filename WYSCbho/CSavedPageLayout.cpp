#include "WYSCbho/CSavedPageLayout.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "common/LocalTime.h"
#include "platform/shell/CreateFolderPath.h"
#include "platform/shell/ShellPath.h"

namespace wys::capture {
namespace {

// The buffer the month name was formatted into on the original platform.
constexpr std::size_t kMonthNameLimit = 128;

std::string Format(const char* format, auto... values)
{
    int size = std::snprintf(nullptr, 0, format, values...);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, format, values...);
    return text;
}

}  // namespace

std::string CSavedPageLayout::DayFolder(std::int64_t time)
{
    std::tm tm{};
    if (!BreakDownLocalTime(time, &tm))
        return Format("%d/%s/%d", -1, "", -1);
    std::string month = FormatTm("%B", tm, kMonthNameLimit);
    return Format("%d/%s/%d", tm.tm_year + 1900, month.c_str(), tm.tm_mday);
}

std::string CSavedPageLayout::CleanTitle(std::string_view title)
{
    if (title.empty())
        return "Untitled";
    std::string cleaned(title);
    for (char& c : cleaned) {
        switch (c) {
            case ':':
            case '*':
                c = ' ';
                break;
            case '\\':
            case '?':
            case '"':
            case '>':
            case '<':
            case '|':
                c = '_';
                break;
            case '/':
                c = '-';
                break;
            default:
                break;
        }
    }
    return cleaned;
}

std::string CSavedPageLayout::Stem(std::int64_t time, bool titledFileNames, std::string_view documentTitle)
{
    int hour = -1;
    int minute = -1;
    int second = -1;
    std::tm tm{};
    if (BreakDownLocalTime(time, &tm)) {
        hour = tm.tm_hour;
        minute = tm.tm_min;
        second = tm.tm_sec;
    }
    if (!titledFileNames)
        return Format("%dh %dm %ds", hour, minute, second);
    std::string title = CleanTitle(documentTitle);
    return Format("%s %dh %dm %ds", title.c_str(), hour, minute, second);
}

CSavedPageLayout::CSavedPageLayout(std::string_view historyFolder, std::string dayFolder, std::string stem)
    : m_historyFolder(historyFolder),
      m_dayFolder(std::move(dayFolder)),
      m_baseStem(stem),
      m_stem(std::move(stem))
{
    while (m_historyFolder.size() > 1 && (m_historyFolder.back() == '/' || m_historyFolder.back() == '\\'))
        m_historyFolder.pop_back();
}

std::string CSavedPageLayout::DayFolderPath() const
{
    return m_historyFolder + "/" + m_dayFolder;
}

std::string CSavedPageLayout::ArchiveFile() const
{
    return DayFolderPath() + "/" + m_stem + ".mht";
}

std::string CSavedPageLayout::PageFile() const
{
    return DayFolderPath() + "/" + m_stem + ".htm";
}

std::string CSavedPageLayout::ResourceFolder() const
{
    return DayFolderPath() + "/" + m_stem + "_files";
}

std::string CSavedPageLayout::ArchivePath() const
{
    return m_dayFolder + "/" + m_stem + ".mht";
}

std::string CSavedPageLayout::PagePath() const
{
    return m_dayFolder + "/" + m_stem + ".htm";
}

bool CSavedPageLayout::CreateDayFolder() const
{
    return CreateFolderPath(DayFolderPath().c_str());
}

std::string CSavedPageLayout::Variant(int number) const
{
    return number == 1 ? m_baseStem : Format("%s (%d)", m_baseStem.c_str(), number);
}

bool CSavedPageLayout::ClaimArchiveFile()
{
    const std::string folder = DayFolderPath() + "/";
    for (int number = 1; number <= kMaxStemNumber; ++number) {
        std::string stem = Variant(number);
        int fd = ::open((folder + stem + ".mht").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            m_stem = std::move(stem);
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool CSavedPageLayout::ClaimResourceFolder()
{
    const std::string folder = DayFolderPath() + "/";
    for (int number = 1; number <= kMaxStemNumber; ++number) {
        std::string stem = Variant(number);
        if (PathFileExistsA((folder + stem + ".htm").c_str()))
            continue;
        if (::mkdir((folder + stem + "_files").c_str(), 0755) == 0) {
            m_stem = std::move(stem);
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

}  // namespace wys::capture
