#include "Wayscribe/tools/search/CSavedPageContent.h"

#include <fcntl.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

#include "Wayscribe/tools/search/CSavedPageReader.h"
#include "platform/com/Utf.h"

namespace {

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Whether an index-answered search hands an outcome on: every other page
// the index holds does not match.
bool IsHandedOn(CSavedPageContent::Result result)
{
    return result == CSavedPageContent::Result::Match || result == CSavedPageContent::Result::Incomplete;
}

}  // namespace

CSavedPageContent::CSavedPageContent(std::string historyFolder, const CRegExp& expression)
    : m_folder(std::move(historyFolder)), m_expression(expression)
{
    if (m_folder.empty())
        return;
    m_folderFd = wys::base::CFileDescriptor(::open(m_folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (m_folderFd.IsValid())
        m_stamps.emplace(m_folderFd.Get());
    for (const std::string& literal : expression.RequiredLiterals()) {
        for (std::string& piece : UsableLiterals(literal))
            m_literals.push_back(std::move(piece));
    }
    CContentIndexFile::Status status = CContentIndexFile::Status::Ready;
    m_index = CContentIndexFile::OpenForReading(m_folder, &status);
    // The read transaction starts here: what the index holds is what it
    // held when the search began.
    if (m_index && !m_index->BeginRead())
        DropIndex();
}

bool CSavedPageContent::LoadEntries()
{
    // Only a walk over every visit needs the map of every page; a search
    // that the index answers on its own never builds it.
    if (m_entriesLoaded)
        return m_index != nullptr;
    m_entriesLoaded = true;
    if (!m_index)
        return false;
    m_index->MapForWholeReads();
    try {
        if (!m_index->Entries(&m_entries) ||
            (!m_literals.empty() && !m_index->Candidates(m_literals, &m_candidates)))
            DropIndex();
    } catch (const std::bad_alloc&) {
        DropIndex();
    }
    return m_index != nullptr;
}

bool CSavedPageContent::TestCandidates(CContentIndexFile& index, std::int64_t firstId, std::int64_t lastId,
                                       CRegExpMatch& context, const PartHandler& handOver,
                                       std::vector<std::int64_t>* incompleteTested)
{
    std::vector<IndexedOutcome> part;
    // Matches whose stamps hold unless their file is locked: settled before
    // the part is handed on, by when the table of locks has been read.
    struct Unsure {
        std::size_t at;
        std::uint64_t inode;
    };
    std::vector<Unsure> unsure;
    const auto handOn = [&] {
        bool retested = false;
        for (const Unsure& page : unsure) {
            if (!m_stamps->MayBeLocked(page.inode))
                continue;
            IndexedOutcome& outcome = part[page.at];
            std::string excerpt;
            outcome.Outcome = TestFile(CSavedPageReader::PagePath(m_folder, outcome.Path), context, &excerpt);
            outcome.Excerpt = outcome.Outcome == Result::Match ? std::move(excerpt) : "";
            retested = true;
        }
        unsure.clear();
        if (retested)
            std::erase_if(part, [](const IndexedOutcome& outcome) { return !IsHandedOn(outcome.Outcome); });
        if (!part.empty())
            handOver(std::exchange(part, {}));
    };
    const bool read = index.VisitCandidates(
        m_literals, firstId, lastId,
        [&](const CContentIndexFile::Entry& entry, std::string_view path, std::string_view text) {
            if (m_stop && m_stop->load(std::memory_order_relaxed))
                return false;
            if (!entry.Complete)
                incompleteTested->push_back(entry.Id);
            std::string excerpt;
            Result result = MatchText(text, entry.Complete, context, &excerpt);
            if (!IsHandedOn(result))
                return true;
            std::string pagePath(path);
            const std::string fullPath = CSavedPageReader::PagePath(m_folder, pagePath);
            if (fullPath.empty())
                return true;  // a Path that leaves the folder has no page
            // As in Test: a match counts only for the file it was read from.
            std::optional<std::uint64_t> inode;
            if (result == Result::Match && StampOf(fullPath, &inode) != entry.Stamp) {
                inode.reset();
                result = TestFile(fullPath, context, &excerpt);
            }
            if (IsHandedOn(result)) {
                if (inode)
                    unsure.push_back({part.size(), *inode});
                part.push_back(
                    {std::move(pagePath), result, result == Result::Match ? std::move(excerpt) : ""});
            }
            if (part.size() >= kOutcomesPerPart)
                handOn();
            return true;
        });
    handOn();
    return read;
}

bool CSavedPageContent::TestIndexed(CRegExpMatch& context, IndexedParts* parts, const PartReader& onPart)
{
    parts->clear();
    if (!m_index || m_literals.empty() || m_folder.empty())
        return false;
    // Parts reach the caller here, on its own thread.
    const auto deliver = [&](std::vector<IndexedOutcome>&& part) {
        parts->push_back(std::move(part));
        if (onPart)
            onPart(parts->back());
    };
    std::vector<std::int64_t> tested;  // the candidates not indexed whole, which were tested
    try {
        std::int64_t lastId = 0;
        if (!m_index->LastId(&lastId)) {
            DropIndex();
            return false;
        }
        // With a second core, the pages are tested on two threads of their
        // own, the upper half over a connection of its own that began
        // reading after this one (it sees every page this one does), while
        // this thread hands their outcomes on as they come.
        std::unique_ptr<CContentIndexFile> second;
        if (lastId >= kPagesForTwoThreads && std::thread::hardware_concurrency() > 1) {
            CContentIndexFile::Status status = CContentIndexFile::Status::Ready;
            second = CContentIndexFile::OpenForReading(m_folder, &status);
            if (second && !second->BeginRead())
                second.reset();
        }
        bool read = false;
        if (!second) {
            try {
                read = TestCandidates(*m_index, 0, lastId, context, deliver, &tested);
            } catch (const std::bad_alloc&) {
            }
        } else {
            std::mutex mutex;
            std::condition_variable arrived;
            std::deque<std::vector<IndexedOutcome>> waiting;
            int running = 2;
            const PartHandler handOver = [&](std::vector<IndexedOutcome>&& part) {
                std::lock_guard lock(mutex);
                waiting.push_back(std::move(part));
                arrived.notify_one();
            };
            struct Share {
                CContentIndexFile* index;
                std::int64_t first;
                std::int64_t last;
                std::vector<std::int64_t> tested;
                bool read = false;
            };
            Share shares[2] = {{m_index.get(), 0, lastId / 2, {}},
                               {second.get(), lastId / 2 + 1, lastId, {}}};
            const auto test = [&](Share& share) {
                try {
                    CRegExpMatch shareContext;
                    shareContext.SetStopFlag(m_stop);
                    share.read = TestCandidates(*share.index, share.first, share.last, shareContext, handOver,
                                                &share.tested);
                } catch (const std::bad_alloc&) {
                    share.read = false;
                }
                std::lock_guard lock(mutex);
                --running;
                arrived.notify_one();
            };
            std::thread lower(test, std::ref(shares[0]));
            std::thread upper(test, std::ref(shares[1]));
            bool delivering = true;
            try {
                std::unique_lock lock(mutex);
                for (;;) {
                    arrived.wait(lock, [&] { return !waiting.empty() || running == 0; });
                    if (waiting.empty())
                        break;
                    std::vector<IndexedOutcome> part = std::move(waiting.front());
                    waiting.pop_front();
                    lock.unlock();
                    deliver(std::move(part));
                    lock.lock();
                }
            } catch (const std::bad_alloc&) {
                delivering = false;
            }
            lower.join();
            upper.join();
            second->EndRead();
            read = delivering && shares[0].read && shares[1].read;
            for (const Share& share : shares)
                tested.insert(tested.end(), share.tested.begin(), share.tested.end());
        }
        if (!read) {
            DropIndex();
            return false;
        }
        std::vector<std::pair<std::int64_t, std::string>> incomplete;
        if (!m_index->IncompletePages(&incomplete)) {
            DropIndex();
            return false;
        }
        std::sort(tested.begin(), tested.end());
        std::vector<IndexedOutcome> unread;
        for (auto& [id, path] : incomplete) {
            if (!std::binary_search(tested.begin(), tested.end(), id) && CSavedPageReader::IsInFolder(path))
                unread.push_back({std::move(path), Result::Incomplete, ""});
        }
        if (!unread.empty())
            deliver(std::move(unread));
    } catch (const std::bad_alloc&) {
        DropIndex();
        return false;
    }
    return true;
}

CSavedPageContent::Result CSavedPageContent::TestSavedFile(const std::string& path, CRegExpMatch& context,
                                                           std::string* excerpt)
{
    if (m_folder.empty())
        return Result::Unread;
    const std::string fullPath = CSavedPageReader::PagePath(m_folder, path);
    if (fullPath.empty())
        return Result::Unread;
    return TestFile(fullPath, context, excerpt);
}

CSavedPageContent::~CSavedPageContent()
{
    if (m_index)
        m_index->EndRead();
}

std::optional<PageStamp> CSavedPageContent::StampOf(const std::string& fullPath,
                                                    std::optional<std::uint64_t>* unsure) const
{
    if (unsure)
        unsure->reset();
    // Looked up from the folder, a page's status costs only the steps of
    // its Path; a search asks it of every page it finds.
    if (!m_stamps || fullPath.size() <= m_folder.size() + 1)
        return CPageText::StampOf(fullPath);
    std::size_t start = m_folder.size() + 1;
    while (start < fullPath.size() && fullPath[start] == '/')
        ++start;
    const std::string path = fullPath.substr(start);
    return unsure ? m_stamps->QuickStampAt(path, unsure) : m_stamps->StampAt(path);
}

void CSavedPageContent::DropIndex()
{
    // Every page from here on is read from its file.
    m_index.reset();
    m_entries.clear();
    m_candidates.clear();
}

std::vector<std::string> CSavedPageContent::UsableLiterals(const std::string& literal)
{
    std::vector<std::string> pieces;
    std::string piece;
    std::size_t characters = 0;
    const auto flush = [&] {
        if (characters >= 3)
            pieces.push_back(piece);
        piece.clear();
        characters = 0;
    };
    std::size_t i = 0;
    while (i < literal.size()) {
        const std::size_t length = Utf8SequenceLength(literal, i);
        if (length == 0 || literal[i] == '\0') {
            flush();
            ++i;
            continue;
        }
        piece.append(literal, i, length);
        ++characters;
        i += length;
    }
    flush();
    return pieces;
}

std::string CSavedPageContent::Excerpt(std::string_view text, std::size_t start, std::size_t end)
{
    start = std::min(start, text.size());
    end = std::max(start, std::min(end, text.size()));
    std::size_t from = start > kExcerptBefore ? start - kExcerptBefore : 0;
    std::size_t to = std::min(text.size(), std::max(end, start + kExcerptAfter));
    while (from > 0 && IsContinuation(static_cast<unsigned char>(text[from])))
        --from;
    while (to < text.size() && IsContinuation(static_cast<unsigned char>(text[to])))
        ++to;
    std::string excerpt;
    excerpt.reserve(to - from + 6);
    if (from > 0)
        excerpt = "...";
    const std::size_t shown = excerpt.size();
    excerpt.append(text.substr(from, to - from));
    std::replace_if(
        excerpt.begin() + static_cast<std::ptrdiff_t>(shown), excerpt.end(),
        [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
    if (to < text.size())
        excerpt += "...";
    return excerpt;
}

CSavedPageContent::Result CSavedPageContent::MatchText(std::string_view text, bool complete,
                                                       CRegExpMatch& context, std::string* excerpt)
{
    context.SetInstructionLimit(BudgetFor(text.size()));
    if (m_expression.Match(text, context)) {
        if (excerpt) {
            const CRegExpMatch::Span whole = context.Whole();
            *excerpt = Excerpt(text, whole.start, whole.end);
        }
        return Result::Match;
    }
    switch (context.Outcome()) {
        case RegExpOutcome::Stopped:
            return Result::Stopped;
        case RegExpOutcome::LimitReached:
        case RegExpOutcome::OutOfMemory:
            return Result::Incomplete;
        default:
            return complete ? Result::NoMatch : Result::Incomplete;
    }
}

CSavedPageContent::Result CSavedPageContent::TestFile(const std::string& fullPath, CRegExpMatch& context,
                                                      std::string* excerpt)
{
    std::optional<PageText> page;
    PageTextLimits limits;
    limits.Stop = m_stop;
    try {
        page = CPageText::ReadFile(fullPath, nullptr, limits);
    } catch (const std::bad_alloc&) {
        return Result::Incomplete;
    }
    if (m_stop && m_stop->load(std::memory_order_relaxed))
        return Result::Stopped;
    if (!page)
        return Result::Unread;
    return MatchText(page->Text, page->Complete, context, excerpt);
}

CSavedPageContent::Result CSavedPageContent::Test(const std::string& path, CRegExpMatch& context,
                                                  std::string* excerpt)
{
    if (m_folder.empty())
        return Result::Unread;
    const auto entry = LoadEntries() ? m_entries.find(path) : m_entries.end();
    // Most pages are ruled out here, by the index alone.
    if (entry != m_entries.end() && !m_literals.empty() && !m_candidates.count(entry->second.Id) &&
        CSavedPageReader::IsInFolder(path))
        return entry->second.Complete ? Result::NoMatch : Result::Incomplete;
    const std::string fullPath = CSavedPageReader::PagePath(m_folder, path);
    if (fullPath.empty())
        return Result::Unread;
    if (entry != m_entries.end()) {
        const CContentIndexFile::Entry& page = entry->second;
        std::string_view text;
        if (m_index->Text(page.Id, &text)) {
            const Result result = MatchText(text, page.Complete, context, excerpt);
            // A match is only as good as the file it was read from: a page
            // changed or gone since is read anew.
            if (result != Result::Match || StampOf(fullPath) == page.Stamp)
                return result;
        } else if (m_index->IsDamaged() || m_index->LastFailure() != CContentIndexFile::Status::Ready) {
            DropIndex();
        }
    }
    return TestFile(fullPath, context, excerpt);
}
