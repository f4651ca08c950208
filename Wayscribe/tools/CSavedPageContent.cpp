#include "Wayscribe/tools/CSavedPageContent.h"

#include <new>

#include "Wayscribe/tools/CSavedPageReader.h"

namespace {

// The length of the UTF-8 sequence that starts with `byte`; 0 when it
// starts none.
std::size_t SequenceLength(unsigned char byte)
{
    if (byte < 0x80)
        return 1;
    if (byte >= 0xC2 && byte <= 0xDF)
        return 2;
    if (byte >= 0xE0 && byte <= 0xEF)
        return 3;
    if (byte >= 0xF0 && byte <= 0xF4)
        return 4;
    return 0;
}

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
    for (const std::string& literal : expression.RequiredLiterals()) {
        for (std::string& piece : UsableLiterals(literal))
            m_literals.push_back(std::move(piece));
    }
    CContentIndexFile::Status status = CContentIndexFile::Status::Ready;
    m_index = CContentIndexFile::OpenForReading(m_folder, &status);
    if (!m_index)
        return;
    try {
        if (!m_index->BeginRead() || !m_index->Entries(&m_entries) ||
            (!m_literals.empty() && !m_index->Candidates(m_literals, &m_candidates)))
            DropIndex();
    } catch (const std::bad_alloc&) {
        DropIndex();
    }
}

CSavedPageContent::~CSavedPageContent()
{
    if (m_index)
        m_index->EndRead();
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
        const auto byte = static_cast<unsigned char>(literal[i]);
        std::size_t length = SequenceLength(byte);
        bool valid = length > 0 && i + length <= literal.size();
        for (std::size_t k = 1; valid && k < length; ++k)
            valid = IsContinuation(static_cast<unsigned char>(literal[i + k]));
        if (!valid || byte == 0) {
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
    std::string excerpt = from > 0 ? "..." : "";
    for (std::size_t i = from; i < to; ++i)
        excerpt += text[i] == '\n' || text[i] == '\r' || text[i] == '\t' ? ' ' : text[i];
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
    const auto entry = m_index ? m_entries.find(path) : m_entries.end();
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
            if (result != Result::Match || CPageText::StampOf(fullPath) == page.Stamp)
                return result;
        } else if (m_index->IsDamaged() || m_index->LastFailure() != CContentIndexFile::Status::Ready) {
            DropIndex();
        }
    }
    return TestFile(fullPath, context, excerpt);
}
