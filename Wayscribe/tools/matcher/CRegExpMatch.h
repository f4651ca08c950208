// CRegExpMatch: the state of matching one text against a CRegExp.
//
// One context serves a whole search and is reused for every text: its stack,
// memory slots and group arrays keep their room between matches. After each
// CRegExp::Match it holds where the match (or, on false, the last attempt)
// started and ended and where each capture group started and ended.
//
// Threads: a context belongs to one matching thread at a time. The stop flag
// it is given may be raised from any thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

enum class RegExpOutcome {
    Match,         // the expression matched
    NoMatch,       // it does not match anywhere (or no expression was ready)
    Stopped,       // the stop flag was raised
    OutOfMemory,   // the stack could not grow (memory or the stack limit)
    LimitReached,  // the instruction limit was reached before an answer
};

// How Match looks for a match. Both give the same answer and the same
// positions; Plain is the straightforward machine and serves as its check.
enum class RegExpStrategy {
    Fast,   // skips start positions where no match can begin
    Plain,  // tries every start position, on a lower-cased copy when case is ignored
};

class CRegExpMatch {
public:
    static constexpr std::size_t kNoPosition = static_cast<std::size_t>(-1);
    static constexpr std::uint32_t kDefaultStackEntries = 256;
    // 1 GiB of 32-bit entries: a text that needs a deeper stack answers false
    // rather than driving the process out of memory.
    static constexpr std::uint32_t kDefaultStackLimit = 1u << 28;

    // Offsets into the text of the last match; kNoPosition where none was recorded.
    struct Span {
        std::size_t start = kNoPosition;
        std::size_t end = kNoPosition;
        bool operator==(const Span&) const = default;
    };

    explicit CRegExpMatch(std::uint32_t initialStackEntries = kDefaultStackEntries);
    ~CRegExpMatch();
    CRegExpMatch(const CRegExpMatch&) = delete;
    CRegExpMatch& operator=(const CRegExpMatch&) = delete;

    RegExpOutcome Outcome() const { return m_outcome; }
    // The whole match. On false: start of the last attempt, no end.
    Span Whole() const;
    // Group `group` (0-based) as it stood when the match ended; start or end
    // is kNoPosition where it was not recorded, both when the group does not
    // exist.
    Span Group(std::uint32_t group) const;
    std::uint32_t GroupCount() const { return static_cast<std::uint32_t>(m_groupStart.size()); }

    // The same positions as pointers into the caller's text of the last
    // Match; null where nothing was recorded.
    void GetMatch(const char** start, const char** end) const;
    void GetGroup(std::uint32_t group, const char** start, const char** end) const;

    // A match polls `flag` every few thousand instructions, and before each
    // growth of its stack, and answers false (Outcome Stopped) once it reads
    // true. The flag must outlive every match made while it is set; null
    // removes it.
    void SetStopFlag(const std::atomic<bool>* flag) { m_stopFlag = flag; }
    // Instructions one match may run before it gives up (Outcome
    // LimitReached); 0 is no limit. Checked at the same polls as the stop
    // flag, so a match may run up to a few thousand instructions past it.
    // Every instruction pushes at most two entries, so a limit also bounds
    // the stack.
    void SetInstructionLimit(std::uint64_t instructions) { m_instructionLimit = instructions; }
    // Largest stack in entries; a match that needs more answers false
    // (Outcome OutOfMemory).
    void SetStackLimit(std::uint32_t entries) { m_stackLimit = entries; }
    void SetStrategy(RegExpStrategy strategy) { m_strategy = strategy; }
    RegExpStrategy Strategy() const { return m_strategy; }
    std::uint32_t StackCapacity() const { return m_stackCapacity; }

private:
    friend class CRegExp;
    friend class RegExpMachine;

    static constexpr std::uint32_t kUnset = 0xFFFFFFFFu;

    // Sizes the slots and groups and clears them, the stack emptied.
    bool Prepare(std::uint32_t memoryCount, std::uint32_t groupCount);
    // Grows the stack so that index `top` fits; false when it cannot.
    bool GrowStack(std::uint32_t top);
    // A lower-case copy of `text`, reused between matches; null when it cannot be had.
    unsigned char* LowerCaseCopy(const unsigned char* text, std::size_t length);
    static Span ToSpan(std::uint32_t start, std::uint32_t end);

    std::unique_ptr<std::uint32_t[]> m_stack;
    std::uint32_t m_stackCapacity = 0;
    std::uint32_t m_stackLimit = kDefaultStackLimit;
    std::vector<std::uint32_t> m_memory;
    std::vector<std::uint32_t> m_groupStart;
    std::vector<std::uint32_t> m_groupEnd;
    std::uint32_t m_wholeStart = kUnset;
    std::uint32_t m_wholeEnd = kUnset;
    RegExpOutcome m_outcome = RegExpOutcome::NoMatch;
    const char* m_text = nullptr;  // the caller's text of the last match; not owned

    const std::atomic<bool>* m_stopFlag = nullptr;  // not owned
    std::uint64_t m_instructionLimit = 0;
    RegExpStrategy m_strategy = RegExpStrategy::Fast;

    std::unique_ptr<unsigned char[]> m_lowerCase;
    std::size_t m_lowerCaseCapacity = 0;
};
