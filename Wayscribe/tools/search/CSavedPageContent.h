// The content test of one search: does the text a person reads on a visit's
// saved page (CPageText) match the expression?
//
// It asks the content index of the history folder first. Made once per
// search, it opens the index read-only, reads which pages it holds, and
// asks it for the pages that contain every literal the expression requires
// (CRegExp::RequiredLiterals). A page the index holds and rules out is not
// read at all; any other page it holds is matched over its indexed text; an
// expression without a usable literal is matched over the indexed texts of
// all pages. A match found in an indexed text counts only while the saved
// file is still the one that was indexed (its size and time) and can be
// read; otherwise the file is read again. A page the index does not hold is
// read from its saved file, as is every page when there is no usable index
// (missing, being rebuilt, damaged, locked). Saved pages do not change once
// their visit is recorded, so the index only ever saves work: the answers
// are those of reading every file.
//
// Threads: one search thread; the expression must outlive the object.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Wayscribe/tools/matcher/CRegExp.h"
#include "common/contentindex/CContentIndexFile.h"
#include "platform/base/CFileDescriptor.h"

class CSavedPageContent {
public:
    // Instructions a page's test may take: this many, and kBudgetPerByte
    // more for every byte of its text. A test that takes more ends there and
    // the page counts as not searched to the end.
    static constexpr std::uint64_t kBaseBudget = std::uint64_t{1} << 24;
    static constexpr std::uint64_t kBudgetPerByte = 64;
    // Bytes of text shown around a match, before and after its start.
    static constexpr std::size_t kExcerptBefore = 60;
    static constexpr std::size_t kExcerptAfter = 100;
    // Indexes of at least this many pages have their candidates tested on
    // two threads, where there are two cores.
    static constexpr std::int64_t kPagesForTwoThreads = 2000;
    // Outcomes handed on at a time while the index is searched.
    static constexpr std::size_t kOutcomesPerPart = 1024;

    enum class Result {
        Match,
        NoMatch,
        Unread,      // no saved page could be read
        Incomplete,  // no match in what was searched, but not all of it was
        Stopped,     // the stop flag was raised meanwhile
    };

    // `historyFolder` may be empty (then no page can be read).
    CSavedPageContent(std::string historyFolder, const CRegExp& expression);
    ~CSavedPageContent();
    CSavedPageContent(const CSavedPageContent&) = delete;
    CSavedPageContent& operator=(const CSavedPageContent&) = delete;

    // The instruction budget of a page's test (kBaseBudget and
    // kBudgetPerByte unless set).
    void SetBudget(std::uint64_t base, std::uint64_t perByte)
    {
        m_baseBudget = base;
        m_budgetPerByte = perByte;
    }
    std::uint64_t BudgetFor(std::size_t bytes) const { return m_baseBudget + m_budgetPerByte * bytes; }
    // The search's stop flag, honoured while a saved page is read too.
    void SetStopFlag(const std::atomic<bool>* stop) { m_stop = stop; }

    // Tests the saved page of the record Path `path` with `context` (whose
    // stop flag is honoured; its instruction limit is set here). On Match
    // *excerpt, when given, receives the text around the first match.
    Result Test(const std::string& path, CRegExpMatch& context, std::string* excerpt = nullptr);

    // What the index says of the pages that may matter to a search, without
    // a list of visits: every page it holds that may match, tested as Test
    // would (Match, with its excerpt, or Incomplete), and every page it
    // holds whose text was not read to its end (Incomplete); any other page
    // it holds does not match. Pages it holds for which the answer is
    // NoMatch are left out. False when the index cannot answer on its own
    // (no usable literal, no index, a failed query); then every visit goes
    // through Test.
    struct IndexedOutcome {
        std::string Path;
        Result Outcome = Result::NoMatch;
        std::string Excerpt;
    };
    // The outcomes come in parts, kept in *parts, where a part stays in
    // place until *parts is cleared. Each is handed to `onPart` (when
    // given) on the calling thread as soon as it is in, while later pages
    // may still be tested on other threads. When TestIndexed returns false
    // the parts handed on so far are no answer.
    using IndexedParts = std::deque<std::vector<IndexedOutcome>>;
    using PartReader = std::function<void(const std::vector<IndexedOutcome>&)>;
    bool TestIndexed(CRegExpMatch& context, IndexedParts* parts, const PartReader& onPart = {});
    // Tests the saved file of the record Path `path` itself, whatever the
    // index holds (a page the index could not read).
    Result TestSavedFile(const std::string& path, CRegExpMatch& context, std::string* excerpt = nullptr);

    // Whether the index took part (it was found usable when the search began
    // and has not failed since).
    bool UsesIndex() const { return m_index != nullptr; }
    // The literals handed to the index; empty when none was usable.
    const std::vector<std::string>& IndexLiterals() const { return m_literals; }

    // The pieces of `literal` that are valid UTF-8 and at least three
    // characters long, which is what a trigram index can look for.
    static std::vector<std::string> UsableLiterals(const std::string& literal);
    // The text around [start, end) of `text`, on character boundaries, with
    // line breaks as spaces and "..." where it was cut.
    static std::string Excerpt(std::string_view text, std::size_t start, std::size_t end);

private:
    using PartHandler = std::function<void(std::vector<IndexedOutcome>&&)>;

    Result MatchText(std::string_view text, bool complete, CRegExpMatch& context, std::string* excerpt);
    Result TestFile(const std::string& fullPath, CRegExpMatch& context, std::string* excerpt);
    void DropIndex();
    bool LoadEntries();
    // Hands the outcomes on in parts of at most kOutcomesPerPart.
    bool TestCandidates(CContentIndexFile& index, std::int64_t firstId, std::int64_t lastId,
                        CRegExpMatch& context, const PartHandler& handOver,
                        std::vector<std::int64_t>* incompleteTested);
    // The stamp of the page at `fullPath`. With `unsure`, as
    // CPageStamps::QuickStampAt: where *unsure is set, the stamp holds only
    // while m_stamps->MayBeLocked(**unsure) is false.
    std::optional<PageStamp> StampOf(const std::string& fullPath,
                                     std::optional<std::uint64_t>* unsure = nullptr) const;

    std::string m_folder;
    const CRegExp& m_expression;
    std::unique_ptr<CContentIndexFile> m_index;
    std::unordered_map<std::string, CContentIndexFile::Entry> m_entries;
    std::vector<std::string> m_literals;
    std::unordered_set<std::int64_t> m_candidates;
    bool m_entriesLoaded = false;
    wys::base::CFileDescriptor m_folderFd;  // the history folder, for looking at its files by relative path
    std::optional<CPageStamps> m_stamps;    // of the pages in m_folderFd
    std::uint64_t m_baseBudget = kBaseBudget;
    std::uint64_t m_budgetPerByte = kBudgetPerByte;
    const std::atomic<bool>* m_stop = nullptr;  // not owned
};
