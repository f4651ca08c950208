// An independent reference for the search expression language: its own
// parser and a plain recursive interpreter (continuation passing) that
// follows the language's matching rules directly, with no instruction
// program. Slow and only for short texts; tests compare CRegExp against it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace wys::test {

class ReferenceRegExp {
public:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    enum class Answer { Match, NoMatch, GaveUp };

    struct Span {
        std::size_t start = kNone;
        std::size_t end = kNone;
    };

    ReferenceRegExp();
    ~ReferenceRegExp();

    // The same codes as RegExpParseError, as numbers.
    int Parse(const std::string& expression, bool ignoreCase);

    // Matches `text` (up to its first NUL). GaveUp when the search took more
    // than `maxSteps` steps or nested too deeply to finish.
    Answer Match(const std::string& text, std::size_t maxSteps = 200000);

    Span Whole() const { return m_whole; }
    const std::vector<Span>& Groups() const { return m_groups; }
    int GroupCount() const { return m_groupCount; }
    // Steps the last Match took.
    std::size_t Steps() const { return m_steps; }

    struct Node;

private:
    struct Interpreter;

    std::shared_ptr<Node> m_root;
    bool m_anchored = false;
    bool m_ignoreCase = false;
    int m_groupCount = 0;
    int m_slotCount = 0;
    Span m_whole;
    std::size_t m_steps = 0;
    std::vector<Span> m_groups;
};

}  // namespace wys::test
