// The server's knowledge of the files under a history folder: one row per
// file name (its Path relative to the folder), with the inode it names, its
// size and bytes on disk, whether it belongs to a recorded visit, and the
// SHA-256 of its bytes once that is known. Kept in an SQLite database in the
// history folder, kFileName.
//
// Nothing in it is trusted: it is only a way to find files that may hold
// the same bytes as a new one, and whoever links checks the bytes
// themselves. A store that cannot be opened or read, is not such a
// database or of another schema, is deleted and made anew empty; the caller
// fills it again from the files.
//
// Errors: every operation but Open throws CSharedFileStore::Damaged when
// SQLite fails; the caller then closes the store and opens it anew.
//
// Threading: one thread at a time per object.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class CSharedFileStore {
public:
    static constexpr const char* kFileName = "shared-files.db";
    using Digest = std::array<unsigned char, 32>;

    struct Damaged : std::runtime_error {
        using std::runtime_error::runtime_error;
    };

    struct Row {
        std::string path;  // relative to the history folder, "/" separated
        std::uint64_t dev = 0;
        std::uint64_t ino = 0;
        std::uint64_t size = 0;
        std::uint64_t blocks = 0;  // bytes on disk: st_blocks * 512
        std::int64_t mtime = 0;    // nanoseconds
        bool settled = false;      // belongs to a recorded visit: its writer is done
        std::optional<Digest> hash;
    };

    // Opens the store of `folder`, or makes it. A store found damaged is
    // deleted first and *madeAnew is set (it is set too when there was
    // none). Null when no store can be made there (a folder that cannot
    // be written): the caller does without.
    static std::unique_ptr<CSharedFileStore> Open(const std::string& folder, bool* madeAnew);
    // Deletes the store files of `folder`. True when none is left.
    static bool Discard(const std::string& folder);

    ~CSharedFileStore();
    CSharedFileStore(const CSharedFileStore&) = delete;
    CSharedFileStore& operator=(const CSharedFileStore&) = delete;

    // One transaction around several changes; a destroyed store rolls back
    // what was not committed.
    void Begin();
    void Commit();

    std::vector<Row> All();
    std::optional<Row> Get(const std::string& path);
    // Inserts the row, or replaces the one with its path.
    void Put(const Row& row);
    void Erase(const std::string& path);
    // The rows of a visit's saved copy: `page` itself and every path under
    // the folder `folder` (empty: none).
    std::vector<Row> UnderVisit(const std::string& page, const std::string& folder);
    // At most this many candidates are offered for one file: the names of
    // one shared file are all the same candidate, and one that fails is
    // mended in the store, so that the next visit is offered the next.
    static constexpr std::size_t kMaxCandidates = 8;
    // Settled rows on `dev` of files of `size` whose hash is `hash` or not
    // known yet, the known ones first; at most kMaxCandidates.
    std::vector<Row> Candidates(std::uint64_t dev, std::uint64_t size, const Digest& hash);
    // Whether any row names the inode.
    bool Named(std::uint64_t dev, std::uint64_t ino);

private:
    enum class Journal { WriteAhead, Plain };

    explicit CSharedFileStore(sqlite3* db);
    // Sets the journal, makes the schema or checks it; false when the
    // database is not this store's, is damaged, or refuses the journal.
    bool Prepare(Journal journal);
    sqlite3_stmt* Statement(int which);
    [[noreturn]] void Fail(const char* what);

    sqlite3* m_db;
    std::vector<sqlite3_stmt*> m_statements;
};
