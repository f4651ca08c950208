// CRegExp: a search expression compiled into a small instruction program.
//
// The pattern language of the Search tab. An expression is compiled once by
// Parse and then run against any number of texts by Match, each with a match
// context (CRegExpMatch) that holds the backtracking state and the positions
// found. Expressions and texts are byte strings (UTF-8 here); every byte is
// one character, compared as an unsigned value.
//
// Threads: a parsed CRegExp is not changed by Match, so several threads may
// match against one CRegExp at once, each with its own CRegExpMatch. Parse
// must not run while any Match does.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Wayscribe/tools/matcher/CRegExpMatch.h"
#include "Wayscribe/tools/matcher/RegExpInstruction.h"

enum class RegExpParseError : std::uint32_t {
    ParseOk = 0,
    OutOfMemory = 1,      // the program cannot be allocated (or would pass kMaxInstructions)
    BraceExpected = 2,    // "{" without "}"
    ParenExpected = 3,    // "(" without ")"
    BracketExpected = 4,  // "[" without "]", or a range without its upper byte
    Unexpected = 5,       // an abbreviation's expansion failed to compile
    EmptyRange = 6,       // "[]" or "[^]"
    InvalidGroup = 7,     // back-reference to a group not opened before it
    InvalidRange = 8,     // range whose upper byte is below its lower byte
    EmptyRepeat = 9,      // "*", "+", "*?" or "+?" on an operand that can be empty
    InvalidInput = 10,    // no expression (null)
    TooDeep = 11,         // groups and negations nested deeper than kMaxNesting
};

// Name of a parse error as written above ("EmptyRange"); for messages and tests.
const char* RegExpParseErrorName(RegExpParseError error);
// What is wrong with the expression, in words for the person who wrote it
// ("a \"(\" is not closed by \")\""); empty for ParseOk.
const char* RegExpParseErrorText(RegExpParseError error);

enum class RegExpCase { Sensitive, Insensitive };

struct RegExpScanPlan;

class CRegExp {
public:
    // Groups, negations and abbreviations nested deeper than this are TooDeep,
    // so that no expression can exhaust the parser's or compiler's stack.
    static constexpr std::uint32_t kMaxNesting = 256;
    // Largest program; positions, targets and stack heights are 32-bit.
    static constexpr std::uint32_t kMaxInstructions = 1u << 24;

    CRegExp();
    ~CRegExp();
    CRegExp(CRegExp&&) noexcept;
    CRegExp& operator=(CRegExp&&) noexcept;
    CRegExp(const CRegExp&) = delete;
    CRegExp& operator=(const CRegExp&) = delete;

    // Compiles `expression` (NUL-terminated; null is InvalidInput), discarding
    // any previous program. In RegExpCase::Insensitive the bytes "A" to "Z" of
    // the expression and of every text are taken as "a" to "z"; no other byte
    // is changed. Returns ParseOk when the program is ready; after any other
    // result the object holds no program and Match answers false.
    RegExpParseError Parse(const char* expression, RegExpCase mode = RegExpCase::Sensitive);

    // Does the expression match somewhere in `text` (NUL-terminated)? On true,
    // `end` (when given) receives the end of the match in `text`; on false it
    // receives null. Positions of the match and of every group are left in
    // `context`, as pointers into `text` and as offsets.
    //
    // Answers false, with context.Outcome() telling why, when there is no match,
    // when the context's stop flag was raised or its instruction limit reached,
    // and when memory (or the context's stack limit) runs out.
    bool Match(const char* text, CRegExpMatch& context, const char** end = nullptr) const;
    // The same for a text that ends at its first NUL byte or at the end of the view.
    bool Match(std::string_view text, CRegExpMatch& context) const;

    RegExpParseError LastError() const { return m_lastError; }
    bool IsReady() const { return m_lastError == RegExpParseError::ParseOk && !m_program.empty(); }
    bool IsCaseSensitive() const { return m_case == RegExpCase::Sensitive; }
    std::uint32_t GroupCount() const { return m_groupCount; }
    std::uint32_t MemoryCount() const { return m_memoryCount; }
    // The compiled program; empty when no expression is ready.
    std::span<const RegExpInstruction> Instructions() const { return m_program; }
    // Byte strings that every text the expression matches in contains, each
    // once and none empty (lower case when case is ignored, as the program
    // compares); empty when no literal is required or no program is ready.
    // A search index can rule out every text that lacks one of them.
    const std::vector<std::string>& RequiredLiterals() const { return m_literals; }

    // Longest text Match accepts: every position and its successor must fit
    // in 32 bits below the "no position" mark. Longer texts answer false
    // with Outcome OutOfMemory.
    static constexpr std::size_t kMaxTextLength = 0xFFFFFFFDu;

private:
    void Reset();
    bool Run(const unsigned char* text, std::size_t length, CRegExpMatch& context) const;

    std::vector<RegExpInstruction> m_program;
    std::uint32_t m_groupCount = 0;
    std::uint32_t m_memoryCount = 0;
    RegExpCase m_case = RegExpCase::Sensitive;
    RegExpParseError m_lastError = RegExpParseError::InvalidInput;
    // Where attempts may start, worked out from the syntax at Parse.
    std::unique_ptr<const RegExpScanPlan> m_scan;
    std::vector<std::string> m_literals;
};
