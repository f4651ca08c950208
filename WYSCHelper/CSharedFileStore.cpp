#include "WYSCHelper/CSharedFileStore.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kSchemaVersion = 1;

constexpr const char* kSchema =
    "CREATE TABLE files("
    " path TEXT PRIMARY KEY NOT NULL,"
    " dev INTEGER NOT NULL, ino INTEGER NOT NULL,"
    " size INTEGER NOT NULL, blocks INTEGER NOT NULL, mtime INTEGER NOT NULL,"
    " settled INTEGER NOT NULL, hash BLOB) WITHOUT ROWID;"
    "CREATE INDEX files_by_content ON files(dev, size, hash);"
    "CREATE INDEX files_by_inode ON files(dev, ino);";

enum Statement {
    kAll,
    kGet,
    kPut,
    kErase,
    kUnderVisit,
    kKnownCandidates,
    kUnhashedCandidates,
    kNamed,
    kStatementCount,
};

constexpr const char* kColumns = "path, dev, ino, size, blocks, mtime, settled, hash";

const std::string kStatementText[kStatementCount] = {
    std::string("SELECT ") + kColumns + " FROM files",
    std::string("SELECT ") + kColumns + " FROM files WHERE path = ?1",
    "INSERT OR REPLACE INTO files(path, dev, ino, size, blocks, mtime, settled, hash) "
    "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
    "DELETE FROM files WHERE path = ?1",
    // "/" is followed by "0" in byte order: the range holds exactly the
    // paths that begin with the folder and a "/".
    std::string("SELECT ") + kColumns +
        " FROM files WHERE path = ?1 OR (path >= ?2 || '/' AND path < ?2 || '0')",
    // Each an equality on the content index: a file shared by thousands of
    // visits costs no more to look up than one shared by two.
    std::string("SELECT ") + kColumns +
        " FROM files WHERE dev = ?1 AND size = ?2 AND hash = ?3 AND settled = 1 LIMIT ?4",
    std::string("SELECT ") + kColumns +
        " FROM files WHERE dev = ?1 AND size = ?2 AND hash IS NULL AND settled = 1 LIMIT ?3",
    "SELECT 1 FROM files WHERE dev = ?1 AND ino = ?2 LIMIT 1",
};

std::string StorePath(const std::string& folder)
{
    return folder + "/" + CSharedFileStore::kFileName;
}

CSharedFileStore::Row ReadRow(sqlite3_stmt* statement)
{
    CSharedFileStore::Row row;
    row.path = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    row.dev = static_cast<std::uint64_t>(sqlite3_column_int64(statement, 1));
    row.ino = static_cast<std::uint64_t>(sqlite3_column_int64(statement, 2));
    row.size = static_cast<std::uint64_t>(sqlite3_column_int64(statement, 3));
    row.blocks = static_cast<std::uint64_t>(sqlite3_column_int64(statement, 4));
    row.mtime = sqlite3_column_int64(statement, 5);
    row.settled = sqlite3_column_int(statement, 6) != 0;
    // A hash of any other length is no hash: the file is hashed again.
    if (sqlite3_column_type(statement, 7) == SQLITE_BLOB &&
        sqlite3_column_bytes(statement, 7) == static_cast<int>(sizeof(CSharedFileStore::Digest))) {
        CSharedFileStore::Digest digest;
        std::memcpy(digest.data(), sqlite3_column_blob(statement, 7), digest.size());
        row.hash = digest;
    }
    return row;
}

// Resets a statement and its bindings on every way out.
class CStatementUse {
public:
    explicit CStatementUse(sqlite3_stmt* statement) : m_statement(statement) {}
    ~CStatementUse()
    {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    CStatementUse(const CStatementUse&) = delete;
    CStatementUse& operator=(const CStatementUse&) = delete;

private:
    sqlite3_stmt* m_statement;
};

}  // namespace

std::unique_ptr<CSharedFileStore> CSharedFileStore::Open(const std::string& folder, bool* madeAnew)
{
    *madeAnew = false;
    const std::string path = StorePath(folder);
    // Nothing to read or make before the folder is there.
    if (::access(folder.c_str(), F_OK) != 0)
        return nullptr;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool existed = ::access(path.c_str(), F_OK) == 0;
        *madeAnew = *madeAnew || !existed;
        // A write-ahead log needs shared memory beside the file, which some
        // file systems (FAT through FUSE) refuse: then a plain journal, in
        // a store made anew if the failed try made it.
        for (Journal journal : {Journal::WriteAhead, Journal::Plain}) {
            if (journal == Journal::Plain && !existed)
                Discard(folder);
            sqlite3* db = nullptr;
            int result = sqlite3_open_v2(
                path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
            std::unique_ptr<CSharedFileStore> store;
            if (db)
                store.reset(new CSharedFileStore(db));
            if (result == SQLITE_OK && store->Prepare(journal))
                return store;
            // Another process holds it: it is not damaged, only not ours now.
            if (db && (sqlite3_errcode(db) == SQLITE_BUSY || sqlite3_errcode(db) == SQLITE_LOCKED))
                return nullptr;
        }
        if (attempt == 0) {
            std::fprintf(stderr, "WYSCHelper: the store of shared files %s cannot be read; it is made anew\n",
                         path.c_str());
            *madeAnew = true;
            if (!Discard(folder))
                break;
        }
    }
    return nullptr;
}

bool CSharedFileStore::Discard(const std::string& folder)
{
    bool gone = true;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        const std::string file = StorePath(folder) + suffix;
        if (::unlink(file.c_str()) != 0 && errno != ENOENT)
            gone = false;
    }
    return gone;
}

CSharedFileStore::CSharedFileStore(sqlite3* db) : m_db(db), m_statements(kStatementCount, nullptr) {}

CSharedFileStore::~CSharedFileStore()
{
    for (sqlite3_stmt* statement : m_statements)
        sqlite3_finalize(statement);
    // Closing rolls back a transaction that was not committed.
    sqlite3_close(m_db);
}

bool CSharedFileStore::Prepare(Journal journal)
{
    // A busy store (another server's, on a folder shared by two users)
    // waits a little before it counts as one that cannot be used.
    sqlite3_busy_timeout(m_db, 2000);
    // The store can always be made again from the files: a crash may lose
    // its last changes, never the files themselves.
    const char* setup = journal == Journal::WriteAhead
                            ? "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                            : "PRAGMA journal_mode=DELETE; PRAGMA synchronous=NORMAL;";
    if (sqlite3_exec(m_db, setup, nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_db, "PRAGMA user_version", -1, &statement, nullptr) != SQLITE_OK)
        return false;
    int version = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int(statement, 0) : -1;
    sqlite3_finalize(statement);
    if (version == 0) {
        const std::string make = std::string("BEGIN;") + kSchema +
                                 "PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";COMMIT;";
        if (sqlite3_exec(m_db, make.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            return false;
    } else if (version != kSchemaVersion) {
        return false;
    }
    // A truncated or overwritten file often opens; its pages fail the check.
    statement = nullptr;
    if (sqlite3_prepare_v2(m_db, "PRAGMA quick_check", -1, &statement, nullptr) != SQLITE_OK)
        return false;
    bool healthy = sqlite3_step(statement) == SQLITE_ROW &&
                   std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)), "ok") == 0;
    sqlite3_finalize(statement);
    if (!healthy)
        return false;
    for (int i = 0; i < kStatementCount; ++i) {
        if (sqlite3_prepare_v3(m_db, kStatementText[i].c_str(), -1, SQLITE_PREPARE_PERSISTENT,
                               &m_statements[i], nullptr) != SQLITE_OK)
            return false;
    }
    return true;
}

sqlite3_stmt* CSharedFileStore::Statement(int which)
{
    return m_statements[static_cast<std::size_t>(which)];
}

void CSharedFileStore::Fail(const char* what)
{
    throw Damaged(std::string(what) + ": " + sqlite3_errmsg(m_db));
}

void CSharedFileStore::Begin()
{
    if (sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        Fail("begin");
}

void CSharedFileStore::Commit()
{
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        Fail("commit");
}

std::vector<CSharedFileStore::Row> CSharedFileStore::All()
{
    sqlite3_stmt* statement = Statement(kAll);
    CStatementUse use(statement);
    std::vector<Row> rows;
    int result;
    while ((result = sqlite3_step(statement)) == SQLITE_ROW)
        rows.push_back(ReadRow(statement));
    if (result != SQLITE_DONE)
        Fail("reading");
    return rows;
}

std::optional<CSharedFileStore::Row> CSharedFileStore::Get(const std::string& path)
{
    sqlite3_stmt* statement = Statement(kGet);
    CStatementUse use(statement);
    sqlite3_bind_text(statement, 1, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
    int result = sqlite3_step(statement);
    if (result == SQLITE_ROW)
        return ReadRow(statement);
    if (result != SQLITE_DONE)
        Fail("reading");
    return std::nullopt;
}

void CSharedFileStore::Put(const Row& row)
{
    sqlite3_stmt* statement = Statement(kPut);
    CStatementUse use(statement);
    sqlite3_bind_text(statement, 1, row.path.data(), static_cast<int>(row.path.size()), SQLITE_STATIC);
    sqlite3_bind_int64(statement, 2, static_cast<sqlite3_int64>(row.dev));
    sqlite3_bind_int64(statement, 3, static_cast<sqlite3_int64>(row.ino));
    sqlite3_bind_int64(statement, 4, static_cast<sqlite3_int64>(row.size));
    sqlite3_bind_int64(statement, 5, static_cast<sqlite3_int64>(row.blocks));
    sqlite3_bind_int64(statement, 6, row.mtime);
    sqlite3_bind_int(statement, 7, row.settled ? 1 : 0);
    if (row.hash)
        sqlite3_bind_blob(statement, 8, row.hash->data(), static_cast<int>(row.hash->size()), SQLITE_STATIC);
    else
        sqlite3_bind_null(statement, 8);
    if (sqlite3_step(statement) != SQLITE_DONE)
        Fail("writing");
}

void CSharedFileStore::Erase(const std::string& path)
{
    sqlite3_stmt* statement = Statement(kErase);
    CStatementUse use(statement);
    sqlite3_bind_text(statement, 1, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
    if (sqlite3_step(statement) != SQLITE_DONE)
        Fail("writing");
}

std::vector<CSharedFileStore::Row> CSharedFileStore::UnderVisit(const std::string& page,
                                                                const std::string& folder)
{
    sqlite3_stmt* statement = Statement(kUnderVisit);
    CStatementUse use(statement);
    sqlite3_bind_text(statement, 1, page.data(), static_cast<int>(page.size()), SQLITE_STATIC);
    if (folder.empty())
        sqlite3_bind_null(statement, 2);  // matches no path
    else
        sqlite3_bind_text(statement, 2, folder.data(), static_cast<int>(folder.size()), SQLITE_STATIC);
    std::vector<Row> rows;
    int result;
    while ((result = sqlite3_step(statement)) == SQLITE_ROW)
        rows.push_back(ReadRow(statement));
    if (result != SQLITE_DONE)
        Fail("reading");
    return rows;
}

std::vector<CSharedFileStore::Row> CSharedFileStore::Candidates(std::uint64_t dev, std::uint64_t size,
                                                                const Digest& hash)
{
    std::vector<Row> rows;
    for (int which : {kKnownCandidates, kUnhashedCandidates}) {
        if (rows.size() >= kMaxCandidates)
            break;
        sqlite3_stmt* statement = Statement(which);
        CStatementUse use(statement);
        sqlite3_bind_int64(statement, 1, static_cast<sqlite3_int64>(dev));
        sqlite3_bind_int64(statement, 2, static_cast<sqlite3_int64>(size));
        int limitParameter = 3;
        if (which == kKnownCandidates) {
            sqlite3_bind_blob(statement, 3, hash.data(), static_cast<int>(hash.size()), SQLITE_STATIC);
            limitParameter = 4;
        }
        sqlite3_bind_int64(statement, limitParameter,
                           static_cast<sqlite3_int64>(kMaxCandidates - rows.size()));
        int result;
        while ((result = sqlite3_step(statement)) == SQLITE_ROW)
            rows.push_back(ReadRow(statement));
        if (result != SQLITE_DONE)
            Fail("reading");
    }
    return rows;
}

bool CSharedFileStore::Named(std::uint64_t dev, std::uint64_t ino)
{
    sqlite3_stmt* statement = Statement(kNamed);
    CStatementUse use(statement);
    sqlite3_bind_int64(statement, 1, static_cast<sqlite3_int64>(dev));
    sqlite3_bind_int64(statement, 2, static_cast<sqlite3_int64>(ino));
    int result = sqlite3_step(statement);
    if (result != SQLITE_ROW && result != SQLITE_DONE)
        Fail("reading");
    return result == SQLITE_ROW;
}
