// CPageText: the text a person reads on a saved page, as the content search
// matches it and the content index keeps it.
//
// For a single-file archive (".mht", ".mhtml") it is the text of every HTML
// part, the transfer encoding (quoted-printable, base64) undone and the
// declared character set decoded; the other parts (scripts, style sheets,
// images) are not read. For a saved HTML page it is the text of the page
// file and of the frame documents it refers to in its own resource folder
// ("<page>_files"), at every depth. From each document it takes its text
// without markup, scripts and style sheets, character references decoded
// (see HtmlText.h for the layout). The text starts with the page's title on
// a line of its own. Each document ends at its first NUL byte (its first NUL
// character in UTF-16), as the text of a saved page always has.
//
// The text is UTF-8 and holds no NUL. Threads: every function may be called
// on any thread; nothing is shared.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct PageText {
    std::string Text;
    // False when a limit (below) left part of the page unread.
    bool Complete = true;
};

// How much of a page is read. A page beyond them is read as far as they
// allow and is not Complete.
struct PageTextLimits {
    // Bytes of the saved file.
    std::size_t MaxFileBytes = std::size_t{256} << 20;
    // Bytes of one document handed to the HTML parser (after decoding): the
    // parser needs some twenty times as much memory.
    std::size_t MaxDocumentBytes = std::size_t{8} << 20;
    // Frame documents followed from one page file.
    std::size_t MaxFrames = 64;
    // Polled while a page is read; once raised, ReadFile gives up (nullopt)
    // and the From functions return what they have. Not owned; may be null.
    const std::atomic<bool>* Stop = nullptr;
};

// What identifies the saved file a text was read from, to tell later
// whether it is still the same file.
struct PageStamp {
    std::int64_t Size = -1;
    std::int64_t ModifiedNs = -1;
    bool operator==(const PageStamp&) const = default;
};

class CPageText {
public:
    // The text of the saved page at `fullPath`. Nullopt when it cannot be
    // read at all: missing, not a regular file, unreadable, or held under
    // an exclusive lock by another process (a page still being written).
    // `stamp`, when given, receives the page file's size and time.
    static std::optional<PageText> ReadFile(const std::string& fullPath, PageStamp* stamp = nullptr,
                                            const PageTextLimits& limits = {});

    // The size and time of the file at `fullPath`; nullopt when ReadFile
    // could not read it now.
    static std::optional<PageStamp> StampOf(const std::string& fullPath);
    // The same for `path` relative to the open folder `folder` (or absolute).
    static std::optional<PageStamp> StampAt(int folder, const std::string& path);

    // The text of an archive held in memory.
    static PageText FromArchive(std::string_view message, const PageTextLimits& limits = {});
    // The text of one HTML document held in memory, without its frames;
    // `charset` is a declared character set (may be empty).
    static PageText FromHtml(std::string_view bytes, std::string_view charset,
                             const PageTextLimits& limits = {});

    // Whether the Path names a single-file archive (by its extension).
    static bool IsArchivePath(std::string_view path);
};

// The stamps of many pages of one folder, each at the cost of one status
// call where opening every page to test its lock would cost four: which
// files are held under an exclusive lock is read once, from the system's
// table of locks, and only those, and files that are not plainly the
// reader's own to read, are opened to be checked. The table is read on a
// thread of its own while the first stamps are taken (reading it can take
// milliseconds: the system waits for its other cores first); a lock taken
// after it was read is seen only by a new object.
//
// Threads: any number at once.
class CPageStamps {
public:
    // `folder` is an open folder (not owned), or AT_FDCWD.
    explicit CPageStamps(int folder);
    ~CPageStamps();
    CPageStamps(const CPageStamps&) = delete;
    CPageStamps& operator=(const CPageStamps&) = delete;

    // As CPageText::StampAt(folder, path).
    std::optional<PageStamp> StampAt(const std::string& path) const;
    // The same without waiting for the table: where *unsure is set (to the
    // file's inode number), the stamp holds only while MayBeLocked(**unsure)
    // is false, and StampAt must be asked otherwise.
    std::optional<PageStamp> QuickStampAt(const std::string& path,
                                          std::optional<std::uint64_t>* unsure) const;
    // Whether the file with this inode number may be under an exclusive
    // lock; waits for the table.
    bool MayBeLocked(std::uint64_t inode) const;

    // The inode numbers of the files under an exclusive whole-file lock in
    // `table`, text as /proc/locks gives it, sorted.
    static std::vector<std::uint64_t> LockedInodes(std::string_view table);

private:
    void ReadTable();
    void WaitForTable() const;

    int m_folder;
    unsigned m_user;
    mutable std::once_flag m_waited;
    mutable std::thread m_reader;
    bool m_tableRead = false;                   // without the table every page is opened
    std::vector<std::uint64_t> m_lockedInodes;  // of any device: a coincidence only costs an open
};
