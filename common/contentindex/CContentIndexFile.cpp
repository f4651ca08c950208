#include "common/contentindex/CContentIndexFile.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr const char* kSchema = R"(
CREATE TABLE page(
    id INTEGER PRIMARY KEY,
    path TEXT NOT NULL UNIQUE,
    size INTEGER NOT NULL,
    modified INTEGER NOT NULL,
    complete INTEGER NOT NULL);
CREATE TABLE body(id INTEGER PRIMARY KEY, text TEXT NOT NULL);
CREATE VIRTUAL TABLE page_text USING fts5(text, content='body', content_rowid='id', tokenize='trigram',
                                         columnsize=0);
CREATE TRIGGER body_added AFTER INSERT ON body BEGIN
    INSERT INTO page_text(rowid, text) VALUES (new.id, new.text);
END;
CREATE TRIGGER body_removed AFTER DELETE ON body BEGIN
    INSERT INTO page_text(page_text, rowid, text) VALUES ('delete', old.id, old.text);
END;
CREATE TRIGGER page_removed AFTER DELETE ON page BEGIN
    DELETE FROM body WHERE id = old.id;
END;
)";

// Closes a statement on every path out.
class CStatement {
public:
    CStatement(sqlite3* db, const char* sql) { ::sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr); }
    ~CStatement() { ::sqlite3_finalize(m_statement); }
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;
    sqlite3_stmt* Get() const { return m_statement; }

private:
    sqlite3_stmt* m_statement = nullptr;
};

// A text column of the current row, valid until the statement moves on.
std::string_view ColumnText(sqlite3_stmt* statement, int column)
{
    const auto* bytes = reinterpret_cast<const char*>(::sqlite3_column_text(statement, column));
    return {bytes ? bytes : "", static_cast<std::size_t>(::sqlite3_column_bytes(statement, column))};
}

bool IsDamage(int result)
{
    const int primary = result & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

CContentIndexFile::Status StatusOf(int result)
{
    const int primary = result & 0xFF;
    if (IsDamage(result))
        return CContentIndexFile::Status::Damaged;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
        return CContentIndexFile::Status::Busy;
    return CContentIndexFile::Status::Unavailable;
}

bool Exists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::int64_t SizeOf(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<std::int64_t>(info.st_size) : 0;
}

// A pragma's one integer; false when it cannot be read.
bool PragmaValue(sqlite3* db, const char* sql, std::int64_t* value, int* result)
{
    CStatement statement(db, sql);
    *result = statement.Get() ? ::sqlite3_step(statement.Get()) : ::sqlite3_errcode(db);
    if (*result != SQLITE_ROW)
        return false;
    *value = ::sqlite3_column_int64(statement.Get(), 0);
    *result = SQLITE_OK;
    return true;
}

// The FTS query that asks for every literal as a phrase. The index keeps
// where each trigram stands, so a phrase matches only where the literal
// itself stands (letter case folded): the candidates are the pages that
// hold every literal, and the matcher has few to rule out. Without the
// positions, "allocator" made twice as many candidates as pages holding it,
// each of which had to be read and scanned.
std::string MatchQuery(const std::vector<std::string>& literals)
{
    std::string query;
    for (const std::string& literal : literals) {
        if (!query.empty())
            query += " AND ";
        query += '"';
        for (char c : literal) {
            if (c == '"')
                query += '"';
            query += c;
        }
        query += '"';
    }
    return query;
}

}  // namespace

const char* CContentIndexFile::StatusName(Status status)
{
    switch (status) {
        case Status::Ready:
            return "Ready";
        case Status::Missing:
            return "Missing";
        case Status::Damaged:
            return "Damaged";
        case Status::Foreign:
            return "Foreign";
        case Status::Busy:
            return "Busy";
        case Status::Unavailable:
            return "Unavailable";
    }
    return "?";
}

std::string CContentIndexFile::PathIn(const std::string& folder)
{
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    return path + kFileName;
}

CContentIndexFile::Status CContentIndexFile::Validate(sqlite3* db, bool writer, bool* empty)
{
    *empty = false;
    int result = SQLITE_OK;
    std::int64_t application = 0;
    std::int64_t version = 0;
    std::int64_t objects = 0;
    if (!PragmaValue(db, "PRAGMA application_id", &application, &result) ||
        !PragmaValue(db, "PRAGMA user_version", &version, &result) ||
        !PragmaValue(db, "SELECT count(*) FROM sqlite_master", &objects, &result))
        return StatusOf(result);
    if (application == 0 && version == 0 && objects == 0) {
        *empty = true;
        return writer ? Status::Ready : Status::Missing;
    }
    if (application != kApplicationId || version != kSchemaVersion)
        return Status::Foreign;
    std::int64_t tables = 0;
    if (!PragmaValue(db, "SELECT count(*) FROM sqlite_master WHERE name IN ('page', 'body', 'page_text')",
                     &tables, &result))
        return StatusOf(result);
    if (tables != 3)
        return Status::Damaged;
    // A file cut short still announces its full size in its header.
    std::int64_t pages = 0;
    std::int64_t pageSize = 0;
    if (!PragmaValue(db, "PRAGMA page_count", &pages, &result) ||
        !PragmaValue(db, "PRAGMA page_size", &pageSize, &result))
        return StatusOf(result);
    const char* file = ::sqlite3_db_filename(db, "main");
    if (file && SizeOf(file) + SizeOf(std::string(file) + "-wal") < pages * pageSize)
        return Status::Damaged;
    return Status::Ready;
}

std::unique_ptr<CContentIndexFile> CContentIndexFile::OpenForWriting(const std::string& folder,
                                                                     Status* status)
{
    std::unique_ptr<CContentIndexFile> index(new CContentIndexFile());
    const std::string path = PathIn(folder);
    int result = ::sqlite3_open_v2(path.c_str(), &index->m_db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (result != SQLITE_OK) {
        *status = StatusOf(result);
        return nullptr;
    }
    ::sqlite3_busy_timeout(index->m_db, 2000);
    // Larger pages than the default: a search reads the texts of its
    // candidates whole, and each page is a read call. The size must be set
    // before the log mode, which fixes it for a new file; an existing file
    // keeps its own.
    ::sqlite3_exec(index->m_db, "PRAGMA page_size=16384", nullptr, nullptr, nullptr);
    // The log of a server killed while writing is played back here; then
    // the main file holds every page and its size can be checked.
    result = ::sqlite3_exec(index->m_db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    if (result == SQLITE_OK)
        result =
            ::sqlite3_wal_checkpoint_v2(index->m_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    if (result != SQLITE_OK) {
        *status = StatusOf(result);
        return nullptr;
    }
    bool empty = false;
    *status = Validate(index->m_db, true, &empty);
    if (*status != Status::Ready)
        return nullptr;
    if (empty) {
        std::string create = std::string("BEGIN;") + kSchema +
                             "PRAGMA application_id=" + std::to_string(kApplicationId) +
                             ";PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";COMMIT;";
        result = ::sqlite3_exec(index->m_db, create.c_str(), nullptr, nullptr, nullptr);
        if (result != SQLITE_OK) {
            *status = StatusOf(result);
            return nullptr;
        }
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        index->m_path = path;
        index->m_device = info.st_dev;
        index->m_inode = info.st_ino;
    }
    // Losing the last commits to a power failure costs only their pages,
    // which the next start indexes again; each commit stays atomic.
    index->Execute("PRAGMA synchronous=NORMAL");
    index->Execute("PRAGMA cache_size=-32768");
    return index;
}

std::unique_ptr<CContentIndexFile> CContentIndexFile::OpenForReading(const std::string& folder,
                                                                     Status* status, int busyMs)
{
    const std::string path = PathIn(folder);
    if (!Exists(path)) {
        *status = Status::Missing;
        return nullptr;
    }
    std::unique_ptr<CContentIndexFile> index(new CContentIndexFile());
    int result =
        ::sqlite3_open_v2(path.c_str(), &index->m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (result != SQLITE_OK) {
        *status = StatusOf(result);
        return nullptr;
    }
    ::sqlite3_busy_timeout(index->m_db, busyMs);
    bool empty = false;
    *status = Validate(index->m_db, false, &empty);
    if (*status != Status::Ready)
        return nullptr;
    return index;
}

void CContentIndexFile::MapForWholeReads()
{
    // Texts are then read straight from the file's pages in the page cache,
    // without a read call and a copy for each page. Mapping costs more than
    // it saves when only a few pages are read: the faults, and unmapping
    // the whole file at the end.
    Execute("PRAGMA mmap_size=17179869184");
}

bool CContentIndexFile::Discard(const std::string& folder)
{
    const std::string path = PathIn(folder);
    bool gone = true;
    for (const std::string& file : {path, path + "-wal", path + "-shm", path + "-journal"}) {
        if (::unlink(file.c_str()) != 0 && errno != ENOENT)
            gone = false;
    }
    return gone;
}

CContentIndexFile::~CContentIndexFile()
{
    ::sqlite3_finalize(m_insert);
    ::sqlite3_finalize(m_insertBody);
    ::sqlite3_finalize(m_delete);
    ::sqlite3_finalize(m_text);
    ::sqlite3_close_v2(m_db);
}

bool CContentIndexFile::IsStillInPlace() const
{
    struct stat info {};
    return !m_path.empty() && ::stat(m_path.c_str(), &info) == 0 && info.st_dev == m_device &&
           info.st_ino == m_inode;
}

bool CContentIndexFile::Check(int result)
{
    if (result == SQLITE_OK || result == SQLITE_DONE || result == SQLITE_ROW)
        return true;
    m_lastFailure = StatusOf(result);
    if (IsDamage(result))
        m_damaged = true;
    return false;
}

bool CContentIndexFile::Execute(const char* sql)
{
    return Check(::sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr));
}

sqlite3_stmt* CContentIndexFile::Prepared(sqlite3_stmt** slot, const char* sql)
{
    if (!*slot && !Check(::sqlite3_prepare_v2(m_db, sql, -1, slot, nullptr)))
        return nullptr;
    ::sqlite3_reset(*slot);
    ::sqlite3_clear_bindings(*slot);
    return *slot;
}

bool CContentIndexFile::Begin()
{
    return Execute("BEGIN IMMEDIATE");
}

bool CContentIndexFile::Commit()
{
    if (Execute("COMMIT"))
        return true;
    Rollback();
    return false;
}

void CContentIndexFile::Rollback()
{
    if (!::sqlite3_get_autocommit(m_db))
        (void)::sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);  // nothing to keep either way
}

bool CContentIndexFile::Remove(std::string_view path)
{
    sqlite3_stmt* statement = Prepared(&m_delete, "DELETE FROM page WHERE path = ?1");
    if (!statement)
        return false;
    ::sqlite3_bind_text(statement, 1, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
    const bool done = Check(::sqlite3_step(statement));
    ::sqlite3_reset(statement);
    return done;
}

bool CContentIndexFile::Put(std::string_view path, const PageStamp& stamp, const PageText& text)
{
    if (!Remove(path))
        return false;
    // The texts stand in a table of their own, so that reading which pages
    // are held never reads them.
    sqlite3_stmt* statement =
        Prepared(&m_insert, "INSERT INTO page(path, size, modified, complete) VALUES (?1, ?2, ?3, ?4)");
    if (!statement)
        return false;
    ::sqlite3_bind_text(statement, 1, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
    ::sqlite3_bind_int64(statement, 2, stamp.Size);
    ::sqlite3_bind_int64(statement, 3, stamp.ModifiedNs);
    ::sqlite3_bind_int(statement, 4, text.Complete ? 1 : 0);
    bool done = Check(::sqlite3_step(statement));
    ::sqlite3_reset(statement);
    if (!done)
        return false;
    statement = Prepared(&m_insertBody, "INSERT INTO body(id, text) VALUES (?1, ?2)");
    if (!statement)
        return false;
    ::sqlite3_bind_int64(statement, 1, ::sqlite3_last_insert_rowid(m_db));
    ::sqlite3_bind_text64(statement, 2, text.Text.data(), text.Text.size(), SQLITE_STATIC, SQLITE_UTF8);
    done = Check(::sqlite3_step(statement));
    ::sqlite3_reset(statement);
    return done;
}

bool CContentIndexFile::Paths(std::vector<std::string>* paths)
{
    paths->clear();
    CStatement statement(m_db, "SELECT path FROM page");
    if (!statement.Get())
        return Check(::sqlite3_errcode(m_db));
    int result;
    while ((result = ::sqlite3_step(statement.Get())) == SQLITE_ROW) {
        paths->emplace_back(ColumnText(statement.Get(), 0));
    }
    return Check(result);
}

std::int64_t CContentIndexFile::FileBytes(const std::string& folder)
{
    const std::string path = PathIn(folder);
    return SizeOf(path) + SizeOf(path + "-wal");
}

bool CContentIndexFile::BeginRead()
{
    if (!Execute("BEGIN"))
        return false;
    // A read transaction takes its snapshot at its first read.
    std::int64_t ignored = 0;
    int result = SQLITE_OK;
    return PragmaValue(m_db, "SELECT count(*) FROM sqlite_master", &ignored, &result) || Check(result);
}

void CContentIndexFile::EndRead()
{
    if (m_text)
        ::sqlite3_reset(m_text);
    Rollback();
}

bool CContentIndexFile::Entries(std::unordered_map<std::string, Entry>* entries)
{
    entries->clear();
    CStatement statement(m_db, "SELECT path, id, size, modified, complete FROM page");
    if (!statement.Get())
        return Check(::sqlite3_errcode(m_db));
    int result;
    while ((result = ::sqlite3_step(statement.Get())) == SQLITE_ROW) {
        Entry entry;
        entry.Id = ::sqlite3_column_int64(statement.Get(), 1);
        entry.Stamp.Size = ::sqlite3_column_int64(statement.Get(), 2);
        entry.Stamp.ModifiedNs = ::sqlite3_column_int64(statement.Get(), 3);
        entry.Complete = ::sqlite3_column_int(statement.Get(), 4) != 0;
        entries->emplace(std::string(ColumnText(statement.Get(), 0)), entry);
    }
    return Check(result);
}

bool CContentIndexFile::Candidates(const std::vector<std::string>& literals,
                                   std::unordered_set<std::int64_t>* ids)
{
    ids->clear();
    CStatement statement(m_db, "SELECT rowid FROM page_text WHERE page_text MATCH ?1");
    if (!statement.Get())
        return Check(::sqlite3_errcode(m_db));
    const std::string query = MatchQuery(literals);
    ::sqlite3_bind_text(statement.Get(), 1, query.data(), static_cast<int>(query.size()), SQLITE_STATIC);
    int result;
    while ((result = ::sqlite3_step(statement.Get())) == SQLITE_ROW)
        ids->insert(::sqlite3_column_int64(statement.Get(), 0));
    return Check(result);
}

bool CContentIndexFile::LastId(std::int64_t* id)
{
    CStatement statement(m_db, "SELECT coalesce(max(id), 0) FROM page");
    if (!statement.Get())
        return Check(::sqlite3_errcode(m_db));
    const int result = ::sqlite3_step(statement.Get());
    if (result != SQLITE_ROW)
        return Check(result);
    *id = ::sqlite3_column_int64(statement.Get(), 0);
    return true;
}

bool CContentIndexFile::VisitCandidates(const std::vector<std::string>& literals, std::int64_t firstId,
                                        std::int64_t lastId, const CandidateVisitor& visit)
{
    // The text comes with the page's row, in the order of the index, so
    // that no candidate costs a second lookup.
    CStatement statement(m_db,
                         "SELECT p.id, p.path, p.size, p.modified, p.complete, b.text FROM page_text "
                         "JOIN page p ON p.id = page_text.rowid JOIN body b ON b.id = p.id "
                         "WHERE page_text MATCH ?1 AND page_text.rowid BETWEEN ?2 AND ?3");
    if (!statement.Get())
        return Check(::sqlite3_errcode(m_db));
    const std::string query = MatchQuery(literals);
    ::sqlite3_bind_text(statement.Get(), 1, query.data(), static_cast<int>(query.size()), SQLITE_STATIC);
    ::sqlite3_bind_int64(statement.Get(), 2, firstId);
    ::sqlite3_bind_int64(statement.Get(), 3, lastId);
    int result;
    while ((result = ::sqlite3_step(statement.Get())) == SQLITE_ROW) {
        Entry entry;
        entry.Id = ::sqlite3_column_int64(statement.Get(), 0);
        entry.Stamp.Size = ::sqlite3_column_int64(statement.Get(), 2);
        entry.Stamp.ModifiedNs = ::sqlite3_column_int64(statement.Get(), 3);
        entry.Complete = ::sqlite3_column_int(statement.Get(), 4) != 0;
        const std::string_view path = ColumnText(statement.Get(), 1);
        if (!visit(entry, path, ColumnText(statement.Get(), 5)))
            return true;
    }
    return Check(result);
}

bool CContentIndexFile::IncompletePages(std::vector<std::pair<std::int64_t, std::string>>* pages)
{
    pages->clear();
    CStatement statement(m_db, "SELECT id, path FROM page WHERE complete = 0");
    if (!statement.Get())
        return Check(::sqlite3_errcode(m_db));
    int result;
    while ((result = ::sqlite3_step(statement.Get())) == SQLITE_ROW) {
        pages->emplace_back(::sqlite3_column_int64(statement.Get(), 0), ColumnText(statement.Get(), 1));
    }
    return Check(result);
}

bool CContentIndexFile::Text(std::int64_t id, std::string_view* text)
{
    sqlite3_stmt* statement = Prepared(&m_text, "SELECT text FROM body WHERE id = ?1");
    if (!statement)
        return false;
    ::sqlite3_bind_int64(statement, 1, id);
    const int result = ::sqlite3_step(statement);
    if (result == SQLITE_ROW) {
        // Left in place until the next call, which resets the statement.
        *text = ColumnText(statement, 0);
        return true;
    }
    ::sqlite3_reset(statement);
    Check(result);
    return false;
}
