#include "common/contentindex/CPageText.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <filesystem>
#include <set>
#include <system_error>

#include "common/contentindex/ArchiveParts.h"
#include "common/contentindex/HtmlText.h"
#include "common/contentindex/TextCharset.h"
#include "platform/base/AsciiText.h"
#include "platform/base/CFileDescriptor.h"

namespace fs = std::filesystem;
using namespace wys::content;
using wys::base::CFileDescriptor;

namespace {

PageStamp StampFrom(const struct stat& info)
{
    PageStamp stamp;
    stamp.Size = static_cast<std::int64_t>(info.st_size);
    stamp.ModifiedNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return stamp;
}

// Reads at most `limit` bytes of the regular file; false when it cannot be
// read. Non-blocking, so that a fifo standing where a page should be cannot
// hold anything up.
bool ReadBytes(const std::string& path, std::size_t limit, std::string* bytes, bool* whole, PageStamp* stamp)
{
    CFileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.Get() < 0)
        return false;
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    if (::flock(file.Get(), LOCK_SH | LOCK_NB) != 0)
        return false;
    if (stamp)
        *stamp = StampFrom(info);
    const auto size = static_cast<std::size_t>(info.st_size);
    *whole = size <= limit;
    const std::size_t wanted = std::min(size, limit);
    try {
        bytes->resize(wanted);
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::size_t done = 0;
    while (done < wanted) {
        const ssize_t n = ::read(file.Get(), bytes->data() + done, wanted - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;  // the file shrank meanwhile: what there is
        done += static_cast<std::size_t>(n);
    }
    bytes->resize(done);
    return true;
}

// A document ends at its first NUL, as the text of a saved page always has:
// so a binary file where a page should be yields next to nothing. A
// document in UTF-16 is cut at its first NUL character instead, once decoded.
std::string_view UpToNul(std::string_view bytes, std::string_view charset)
{
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF") ||
        AsciiLower(charset).starts_with("utf-16"))
        return bytes;
    return bytes.substr(0, bytes.find('\0'));
}

// Adds one document's text to the page's.
class CPageTextBuilder {
public:
    explicit CPageTextBuilder(const PageTextLimits& limits) : m_limits(limits) {}

    // Returns the document's frame sources.
    std::vector<std::string> AddDocument(std::string_view bytes, std::string_view charset)
    {
        std::string text = DecodeToUtf8(UpToNul(bytes, charset), charset);
        text.resize(std::min(text.size(), text.find('\0')));
        if (text.size() > m_limits.MaxDocumentBytes) {
            // Cut at a character boundary.
            std::size_t cut = m_limits.MaxDocumentBytes;
            while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
                --cut;
            text.resize(cut);
            m_page.Complete = false;
        }
        if (Stopped())
            return {};
        HtmlText html = ExtractHtmlText(text, m_limits.Stop);
        if (html.Cut || html.Stopped)
            m_page.Complete = false;
        if (!m_hasTitle) {
            m_hasTitle = true;
            m_title = std::move(html.Title);
        }
        if (!html.Text.empty()) {
            if (!m_body.empty())
                m_body += '\n';
            m_body += html.Text;
        }
        return std::move(html.FrameSources);
    }

    void MarkIncomplete() { m_page.Complete = false; }
    bool Stopped() const { return m_limits.Stop && m_limits.Stop->load(std::memory_order_relaxed); }

    PageText Finish()
    {
        m_page.Text = m_title;
        if (!m_title.empty() && !m_body.empty())
            m_page.Text += '\n';
        m_page.Text += m_body;
        return std::move(m_page);
    }

private:
    const PageTextLimits& m_limits;
    PageText m_page;
    bool m_hasTitle = false;
    std::string m_title;
    std::string m_body;
};

// The file a frame's src names, when it is a saved frame document of the
// page: a relative reference to a regular file inside `resources`.
std::optional<fs::path> FrameFile(const fs::path& documentFolder, const fs::path& resources, std::string src)
{
    if (src.find("://") != std::string::npos || src.starts_with("//") || src.starts_with("/") ||
        src.starts_with("data:") || src.starts_with("javascript:") || src.starts_with("about:"))
        return std::nullopt;
    src = src.substr(0, src.find_first_of("?#"));
    for (const std::string& candidate : {src, wys::base::PercentDecode(src)}) {
        if (candidate.empty())
            continue;
        const fs::path file = (documentFolder / candidate).lexically_normal();
        const fs::path inside = file.lexically_relative(resources);
        if (inside.empty() || *inside.begin() == "..")
            continue;
        std::error_code error;
        if (fs::is_regular_file(file, error))
            return file;
    }
    return std::nullopt;
}

}  // namespace

bool CPageText::IsArchivePath(std::string_view path)
{
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || path.find_first_of("/\\", dot) != std::string_view::npos)
        return false;
    const std::string extension = AsciiLower(path.substr(dot + 1));
    return extension == "mht" || extension == "mhtml";
}

std::optional<PageStamp> CPageText::StampOf(const std::string& fullPath)
{
    return StampAt(AT_FDCWD, fullPath);
}

std::optional<PageStamp> CPageText::StampAt(int folder, const std::string& path)
{
    CFileDescriptor file(::openat(folder, path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info {};
    if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        ::flock(file.Get(), LOCK_SH | LOCK_NB) != 0)
        return std::nullopt;
    return StampFrom(info);
}

CPageStamps::CPageStamps(int folder) : m_folder(folder), m_user(::geteuid())
{
    try {
        m_reader = std::thread(&CPageStamps::ReadTable, this);
    } catch (const std::system_error&) {
        ReadTable();
    }
}

CPageStamps::~CPageStamps()
{
    WaitForTable();
}

void CPageStamps::ReadTable()
{
    std::string table;
    CFileDescriptor file(::open("/proc/locks", O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0)
        return;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(file.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return;
        if (n == 0)
            break;
        table.append(buffer, static_cast<std::size_t>(n));
    }
    try {
        m_lockedInodes = LockedInodes(table);
        m_tableRead = true;
    } catch (const std::bad_alloc&) {
    }
}

void CPageStamps::WaitForTable() const
{
    // The first caller joins the reader; any other waits until it has.
    std::call_once(m_waited, [this] {
        if (m_reader.joinable())
            m_reader.join();
    });
}

bool CPageStamps::MayBeLocked(std::uint64_t inode) const
{
    WaitForTable();
    return !m_tableRead || std::binary_search(m_lockedInodes.begin(), m_lockedInodes.end(), inode);
}

std::vector<std::uint64_t> CPageStamps::LockedInodes(std::string_view table)
{
    // "1: FLOCK  ADVISORY  WRITE 4711 fe:00:10985875 0 EOF" is an exclusive
    // flock on inode 10985875; lines of waiters ("1: -> FLOCK ...") hold
    // nothing, and READ locks stop no reader.
    std::vector<std::uint64_t> inodes;
    while (!table.empty()) {
        const std::size_t end = std::min(table.find('\n'), table.size());
        std::string_view line = table.substr(0, end);
        table.remove_prefix(std::min(end + 1, table.size()));
        std::vector<std::string_view> words;
        while (!line.empty() && words.size() < 6) {
            const std::size_t start = line.find_first_not_of(' ');
            if (start == std::string_view::npos)
                break;
            line.remove_prefix(start);
            const std::size_t stop = std::min(line.find(' '), line.size());
            words.push_back(line.substr(0, stop));
            line.remove_prefix(stop);
        }
        if (words.size() < 6 || words[1] != "FLOCK" || words[3] != "WRITE")
            continue;
        const std::string_view id = words[5].substr(words[5].rfind(':') + 1);
        std::uint64_t inode = 0;
        bool digits = !id.empty();
        for (char c : id) {
            digits = digits && c >= '0' && c <= '9';
            inode = inode * 10 + static_cast<std::uint64_t>(c - '0');
        }
        if (digits)
            inodes.push_back(inode);
    }
    std::sort(inodes.begin(), inodes.end());
    return inodes;
}

std::optional<PageStamp> CPageStamps::QuickStampAt(const std::string& path,
                                                   std::optional<std::uint64_t>* unsure) const
{
    unsure->reset();
    struct stat info {};
    if (::fstatat(m_folder, path.c_str(), &info, 0) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    // A file of the reader's own that its owner may read opens unless
    // someone holds it locked; any other is opened to be sure.
    if (info.st_uid != m_user || (info.st_mode & S_IRUSR) == 0)
        return CPageText::StampAt(m_folder, path);
    *unsure = static_cast<std::uint64_t>(info.st_ino);
    return StampFrom(info);
}

std::optional<PageStamp> CPageStamps::StampAt(const std::string& path) const
{
    std::optional<std::uint64_t> unsure;
    std::optional<PageStamp> stamp = QuickStampAt(path, &unsure);
    if (unsure && MayBeLocked(*unsure))
        return CPageText::StampAt(m_folder, path);
    return stamp;
}

PageText CPageText::FromArchive(std::string_view message, const PageTextLimits& limits)
{
    CPageTextBuilder builder(limits);
    for (const ArchivePart& part : SplitArchive(message)) {
        if (part.MediaType != "text/html" && part.MediaType != "application/xhtml+xml")
            continue;
        builder.AddDocument(part.Decoded(), part.Charset);
    }
    return builder.Finish();
}

PageText CPageText::FromHtml(std::string_view bytes, std::string_view charset, const PageTextLimits& limits)
{
    CPageTextBuilder builder(limits);
    builder.AddDocument(bytes, charset);
    return builder.Finish();
}

std::optional<PageText> CPageText::ReadFile(const std::string& fullPath, PageStamp* stamp,
                                            const PageTextLimits& limits)
{
    std::string bytes;
    bool whole = true;
    if (!ReadBytes(fullPath, limits.MaxFileBytes, &bytes, &whole, stamp))
        return std::nullopt;
    if (IsArchivePath(fullPath)) {
        PageText page = FromArchive(bytes, limits);
        if (limits.Stop && limits.Stop->load(std::memory_order_relaxed))
            return std::nullopt;
        page.Complete = page.Complete && whole;
        return page;
    }

    CPageTextBuilder builder(limits);
    if (!whole)
        builder.MarkIncomplete();
    const fs::path page(fullPath);
    fs::path resources = page;
    resources.replace_extension();
    resources += "_files";
    resources = resources.lexically_normal();

    // Frame documents, breadth first, each once.
    std::deque<std::pair<fs::path, std::vector<std::string>>> pending;
    pending.emplace_back(page.parent_path(), builder.AddDocument(bytes, ""));
    std::set<fs::path> seen{page.lexically_normal()};
    std::size_t frames = 0;
    while (!pending.empty()) {
        auto [folder, sources] = std::move(pending.front());
        pending.pop_front();
        for (const std::string& src : sources) {
            const std::optional<fs::path> file = FrameFile(folder, resources, src);
            if (!file || !seen.insert(*file).second)
                continue;
            if (frames++ >= limits.MaxFrames) {
                builder.MarkIncomplete();
                break;
            }
            std::string frameBytes;
            bool frameWhole = true;
            if (!ReadBytes(file->string(), limits.MaxFileBytes, &frameBytes, &frameWhole, nullptr))
                continue;
            if (!frameWhole)
                builder.MarkIncomplete();
            pending.emplace_back(file->parent_path(), builder.AddDocument(frameBytes, ""));
        }
    }
    if (builder.Stopped())
        return std::nullopt;
    return builder.Finish();
}
