#include "Wayscribe/tools/CSavedPageContent.h"

#include <fcntl.h>

#include <algorithm>
#include <iterator>
#include <new>
#include <thread>

#include "Wayscribe/tools/CSavedPageReader.h"
#include "platform/com/Utf.h"

namespace {

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
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
                                       CRegExpMatch& context, std::vector<IndexedOutcome>* outcomes,
                                       std::vector<std::int64_t>* incompleteTested)
{
    return index.VisitCandidates(
        m_literals, firstId, lastId,
        [&](const CContentIndexFile::Entry& entry, std::string_view path, std::string_view text) {
            if (m_stop && m_stop->load(std::memory_order_relaxed))
                return false;
            if (!entry.Complete)
                incompleteTested->push_back(entry.Id);
            const std::string pagePath(path);
            const std::string fullPath = CSavedPageReader::PagePath(m_folder, pagePath);
            if (fullPath.empty())
                return true;  // a Path that leaves the folder has no page
            std::string excerpt;
            Result result = MatchText(text, entry.Complete, context, &excerpt);
            // As in Test: a match counts only for the file it was read from.
            if (result == Result::Match && StampOf(fullPath) != entry.Stamp)
                result = TestFile(fullPath, context, &excerpt);
            if (result == Result::Match || result == Result::Incomplete)
                outcomes->push_back({pagePath, result, result == Result::Match ? std::move(excerpt) : ""});
            return true;
        });
}

bool CSavedPageContent::TestIndexed(CRegExpMatch& context, std::vector<IndexedOutcome>* outcomes)
{
    outcomes->clear();
    if (!m_index || m_literals.empty() || m_folder.empty())
        return false;
    std::vector<std::int64_t> tested;  // the candidates not indexed whole, which were tested
    try {
        std::int64_t lastId = 0;
        if (!m_index->LastId(&lastId)) {
            DropIndex();
            return false;
        }
        // With a second core, the upper half of the pages is tested on a
        // thread of its own, over a connection of its own that began reading
        // after this one: it sees every page this one does.
        std::int64_t split = lastId;
        std::unique_ptr<CContentIndexFile> second;
        if (lastId >= kPagesForTwoThreads && std::thread::hardware_concurrency() > 1) {
            CContentIndexFile::Status status = CContentIndexFile::Status::Ready;
            second = CContentIndexFile::OpenForReading(m_folder, &status);
            if (second && second->BeginRead())
                split = lastId / 2;
            else
                second.reset();
        }
        std::vector<IndexedOutcome> upperOutcomes;
        std::vector<std::int64_t> upperTested;
        bool upperRead = true;
        std::thread upper;
        if (second) {
            upper = std::thread([&] {
                try {
                    CRegExpMatch upperContext;
                    upperContext.SetStopFlag(m_stop);
                    upperRead = TestCandidates(*second, split + 1, lastId, upperContext, &upperOutcomes,
                                               &upperTested);
                } catch (const std::bad_alloc&) {
                    upperRead = false;
                }
                second->EndRead();
            });
        }
        bool read = false;
        try {
            read = TestCandidates(*m_index, 0, split, context, outcomes, &tested);
        } catch (const std::bad_alloc&) {
        }
        if (upper.joinable())
            upper.join();
        if (!read || !upperRead) {
            DropIndex();
            return false;
        }
        outcomes->insert(outcomes->end(), std::make_move_iterator(upperOutcomes.begin()),
                         std::make_move_iterator(upperOutcomes.end()));
        tested.insert(tested.end(), upperTested.begin(), upperTested.end());
        std::vector<std::pair<std::int64_t, std::string>> incomplete;
        if (!m_index->IncompletePages(&incomplete)) {
            DropIndex();
            return false;
        }
        std::sort(tested.begin(), tested.end());
        for (auto& [id, path] : incomplete) {
            if (!std::binary_search(tested.begin(), tested.end(), id) && CSavedPageReader::IsInFolder(path))
                outcomes->push_back({std::move(path), Result::Incomplete, ""});
        }
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

std::optional<PageStamp> CSavedPageContent::StampOf(const std::string& fullPath) const
{
    // Looked up from the folder, a page's status costs only the steps of
    // its Path; a search asks it of every page it finds.
    if (!m_stamps || fullPath.size() <= m_folder.size() + 1)
        return CPageText::StampOf(fullPath);
    std::size_t start = m_folder.size() + 1;
    while (start < fullPath.size() && fullPath[start] == '/')
        ++start;
    return m_stamps->StampAt(fullPath.substr(start));
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
