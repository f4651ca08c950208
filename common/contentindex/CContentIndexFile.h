// CContentIndexFile: the content index of a history folder, an SQLite
// database beside the index file that holds the readable text of every
// saved page (CPageText) with a trigram full-text index over it.
//
// The server (WYSCHelper) is its only writer; searches open it read-only
// and read it directly, while the server may be writing (the database runs
// in write-ahead-log mode, so readers see a consistent state and never hold
// the writer up). The index is a cache: it names each page by its record's
// Path and keeps the size and time its saved file had when it was read, so
// a reader can tell a page it does not hold, or holds for a file that has
// changed since, and read the file instead. Deleting the file loses nothing.
//
// A file that is not an SQLite database, is truncated, damaged, belongs to
// something else or to another schema version is never used: OpenForWriting
// reports it (the writer then discards and rebuilds it) and OpenForReading
// refuses it.
//
// Threads: one object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/contentindex/CPageText.h"

struct sqlite3;
struct sqlite3_stmt;

class CContentIndexFile {
public:
    static constexpr const char* kFileName = "content-index.sqlite";
    static constexpr std::int32_t kSchemaVersion = 3;
    // "WYSC", in the database header, so that no other file is taken for one.
    static constexpr std::int32_t kApplicationId = 0x57595343;

    enum class Status {
        Ready,        // open and usable
        Missing,      // there is no file (OpenForReading only)
        Damaged,      // not a database, truncated or corrupt
        Foreign,      // another application's file or another schema version
        Busy,         // locked by another connection beyond the wait
        Unavailable,  // cannot be opened or created (a folder that cannot be written)
    };

    // Names a status ("Damaged"); for notes and tests.
    static const char* StatusName(Status status);

    // The index file of a history folder.
    static std::string PathIn(const std::string& folder);

    // Opens the index of `folder` for the writer, creating an empty one
    // where there is none. Null, with *status telling why, when it cannot
    // be used.
    static std::unique_ptr<CContentIndexFile> OpenForWriting(const std::string& folder, Status* status);
    // Opens the index of `folder` read-only for a search, waiting at most
    // `busyMs` for a lock. Null, with *status telling why, when it cannot be
    // used as it stands; nothing is changed on disk.
    static std::unique_ptr<CContentIndexFile> OpenForReading(const std::string& folder, Status* status,
                                                             int busyMs = 250);
    // Removes the index file of `folder` and its log files; true when none
    // is left.
    static bool Discard(const std::string& folder);

    ~CContentIndexFile();
    CContentIndexFile(const CContentIndexFile&) = delete;
    CContentIndexFile& operator=(const CContentIndexFile&) = delete;

    // Whether the file this object has open is still the one at its path
    // (it may have been deleted or replaced meanwhile).
    bool IsStillInPlace() const;

    // Whether a call failed because the file is damaged; it should then be
    // discarded and rebuilt.
    bool IsDamaged() const { return m_damaged; }
    // The status of the last failure (Ready when none failed).
    Status LastFailure() const { return m_lastFailure; }

    // --- Writing -----------------------------------------------------------
    // A transaction around several changes, for speed; every change outside
    // one is its own transaction. False on failure (nothing of it is kept).
    bool Begin();
    bool Commit();
    void Rollback();
    // Keeps the text of the page with this Path, replacing what was kept.
    bool Put(std::string_view path, const PageStamp& stamp, const PageText& text);
    // Forgets the page with this Path; true also when it was not kept.
    bool Remove(std::string_view path);
    // Every Path kept.
    bool Paths(std::vector<std::string>* paths);
    // The bytes of the index of `folder` on disk, its log included.
    static std::int64_t FileBytes(const std::string& folder);

    // --- Reading -----------------------------------------------------------
    struct Entry {
        std::int64_t Id = 0;
        PageStamp Stamp;
        bool Complete = true;
    };
    // For a reader about to read most of the texts: maps the file.
    void MapForWholeReads();
    // Starts and ends a read transaction: every read in between sees the
    // same state of the index, whatever the writer does meanwhile.
    bool BeginRead();
    void EndRead();
    // Every page kept, by Path.
    bool Entries(std::unordered_map<std::string, Entry>* entries);
    // The pages whose text may contain every one of `literals`, compared
    // without regard to letter case (Unicode simple case folding, which
    // takes together at least what the search's case rule does): every page
    // that does, and only those, as far as that folding goes. Each literal
    // must be valid UTF-8 of at least three characters.
    bool Candidates(const std::vector<std::string>& literals, std::unordered_set<std::int64_t>* ids);
    // Calls `visit` with every page Candidates(literals) names whose id is
    // in [firstId, lastId]: its entry, its Path and its text, both valid
    // during the call only; stops early when `visit` returns false. False
    // when the query failed.
    using CandidateVisitor =
        std::function<bool(const Entry& entry, std::string_view path, std::string_view text)>;
    bool VisitCandidates(const std::vector<std::string>& literals, std::int64_t firstId, std::int64_t lastId,
                         const CandidateVisitor& visit);
    // The highest page id in use (0 when there is none); false on failure.
    bool LastId(std::int64_t* id);
    // The pages kept whose text was not read to its end, by id.
    bool IncompletePages(std::vector<std::pair<std::int64_t, std::string>>* pages);
    // The text kept for the page `id`, valid until the next call or
    // EndRead; false when there is none.
    bool Text(std::int64_t id, std::string_view* text);

private:
    CContentIndexFile() = default;
    bool Check(int result);
    bool Execute(const char* sql);
    sqlite3_stmt* Prepared(sqlite3_stmt** slot, const char* sql);
    static Status Validate(sqlite3* db, bool writer, bool* empty);

    sqlite3* m_db = nullptr;
    std::string m_path;
    std::uint64_t m_device = 0;
    std::uint64_t m_inode = 0;
    bool m_damaged = false;
    Status m_lastFailure = Status::Ready;
    sqlite3_stmt* m_insert = nullptr;
    sqlite3_stmt* m_insertBody = nullptr;
    sqlite3_stmt* m_delete = nullptr;
    sqlite3_stmt* m_text = nullptr;
};
