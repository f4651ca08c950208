#include "tests/tools/matcher/RegExpReference.h"

#include <algorithm>
#include <bitset>
#include <cstring>
#include <functional>

namespace wys::test {

struct ReferenceRegExp::Node {
    enum Kind { Byte, AnyByte, ByteSet, Seq, Alt, Plain, Capture, Not, Ref, Star, Opt, LazyStar, LazyOpt };
    Kind kind = Seq;
    unsigned char byte = 0;
    std::bitset<256> set;
    bool negated = false;
    int number = 0;  // group of Capture and Ref, slot of Star and Opt
    std::vector<std::shared_ptr<Node>> kids;
    bool emptyRule = false;  // may count as empty, for the repeat check
};

namespace {

using NodePtr = std::shared_ptr<ReferenceRegExp::Node>;
using Node = ReferenceRegExp::Node;

struct Failed {
    int code;
};

NodePtr Make(Node::Kind kind)
{
    auto node = std::make_shared<Node>();
    node->kind = kind;
    return node;
}

// Recursive descent over the expression text, in the grammar's own words:
// sequence := element*, element := quantified ("|" quantified)*.
class Reader {
public:
    Reader(std::string text, int& groups, int& slots, bool expansion)
        : m_s(std::move(text)), m_groups(groups), m_slots(slots), m_expansion(expansion)
    {
    }

    std::string m_s;
    std::size_t m_i = 0;

    bool AtEnd() const { return m_i >= m_s.size(); }
    bool AtCloser() const { return !AtEnd() && (m_s[m_i] == ')' || m_s[m_i] == ']' || m_s[m_i] == '}'); }

    NodePtr Sequence()
    {
        NodePtr seq = Make(Node::Seq);
        seq->emptyRule = true;
        while (!AtEnd() && !AtCloser()) {
            NodePtr first = Quantified();
            if (AtEnd() || m_s[m_i] != '|') {
                seq->kids.push_back(first);
                seq->emptyRule = seq->emptyRule && first->emptyRule;
                continue;
            }
            NodePtr alt = Make(Node::Alt);
            alt->kids.push_back(first);
            bool dropped = false;
            while (!AtEnd() && m_s[m_i] == '|') {
                ++m_i;
                if (AtEnd() || AtCloser()) {
                    dropped = true;
                    break;
                }
                alt->kids.push_back(Quantified());
            }
            if (dropped)
                return seq;
            for (auto& kid : alt->kids)
                alt->emptyRule = alt->emptyRule || kid->emptyRule;
            seq->kids.push_back(alt);
            seq->emptyRule = seq->emptyRule && alt->emptyRule;
        }
        return seq;
    }

    // A fresh copy for the repeated part of "+": the same groups, its own slots.
    NodePtr Clone(const NodePtr& node)
    {
        auto copy = std::make_shared<Node>(*node);
        if (copy->kind == Node::Star || copy->kind == Node::Opt)
            copy->number = m_slots++;
        for (auto& kid : copy->kids)
            kid = Clone(kid);
        return copy;
    }

    NodePtr Quantified()
    {
        NodePtr atom = Atom();
        if (AtEnd())
            return atom;
        char q = m_s[m_i];
        if (q != '*' && q != '+' && q != '?')
            return atom;
        ++m_i;
        bool lazy = !AtEnd() && m_s[m_i] == '?';
        if (lazy)
            ++m_i;
        if (q != '?' && atom->emptyRule)
            throw Failed{9};
        NodePtr node;
        if (q == '?') {
            node = Make(lazy ? Node::LazyOpt : Node::Opt);
            if (!lazy)
                node->number = m_slots++;
            node->kids.push_back(atom);
            node->emptyRule = true;
            return node;
        }
        NodePtr loop = Make(lazy ? Node::LazyStar : Node::Star);
        if (!lazy)
            loop->number = m_slots++;
        if (q == '*') {
            loop->kids.push_back(atom);
            loop->emptyRule = true;
            return loop;
        }
        loop->kids.push_back(Clone(atom));
        node = Make(Node::Seq);
        node->kids = {atom, loop};
        node->emptyRule = lazy ? true : atom->emptyRule;
        return node;
    }

    NodePtr Byte(unsigned char byte)
    {
        NodePtr node = Make(Node::Byte);
        node->byte = byte;
        return node;
    }

    NodePtr Atom()
    {
        unsigned char c = static_cast<unsigned char>(m_s[m_i]);
        if (c == '.') {
            ++m_i;
            return Make(Node::AnyByte);
        }
        if (c == '[')
            return Set();
        if (c == '(' || c == '{') {
            ++m_i;
            NodePtr node = Make(c == '{' ? Node::Capture : Node::Plain);
            if (c == '{')
                node->number = m_groups++;
            NodePtr inner = Sequence();
            if (AtEnd() || m_s[m_i] != (c == '{' ? '}' : ')'))
                throw Failed{c == '{' ? 2 : 3};
            ++m_i;
            node->kids.push_back(inner);
            node->emptyRule = !inner->kids.empty() && inner->emptyRule;
            return node;
        }
        if (c == '!' && m_i + 1 < m_s.size() && !std::strchr(")]}", m_s[m_i + 1])) {
            ++m_i;
            NodePtr node = Make(Node::Not);
            node->kids.push_back(Atom());
            node->emptyRule = node->kids[0]->emptyRule;
            return node;
        }
        if (c == '$' && !m_expansion && m_i + 1 == m_s.size()) {
            ++m_i;
            return Byte(0);
        }
        if (c == '\\')
            return Escape();
        ++m_i;
        return Byte(c);
    }

    NodePtr Escape()
    {
        ++m_i;
        if (AtEnd())
            return Byte('\\');
        unsigned char c = static_cast<unsigned char>(m_s[m_i]);
        if (c >= '0' && c <= '9') {
            std::string digits;
            while (!AtEnd() && m_s[m_i] >= '0' && m_s[m_i] <= '9')
                digits += m_s[m_i++];
            // Leading zeros do not make a number large: «\00000000001» is group 1.
            std::size_t first = digits.find_first_not_of('0');
            std::string significant = first == std::string::npos ? "0" : digits.substr(first);
            if (significant.size() > 9 || std::stol(significant) >= m_groups)
                throw Failed{7};
            NodePtr node = Make(Node::Ref);
            node->number = std::stoi(significant);
            return node;
        }
        static const char* const table[][2] = {
            {"a", "([a-zA-Z0-9])"},
            {"b", "([ \\t])"},
            {"c", "([a-zA-Z])"},
            {"d", "([0-9])"},
            {"h", "([0-9a-fA-F])"},
            {"n", "(\r|(\r?\n))"},
            {"q", "((\"[^\"]*\")|('[^']*'))"},
            {"w", "([a-zA-Z]+)"},
            {"z", "([0-9]+)"},
        };
        for (const auto& entry : table) {
            if (c == static_cast<unsigned char>(entry[0][0])) {
                ++m_i;
                Reader inner(entry[1], m_groups, m_slots, true);
                try {
                    return inner.Atom();
                } catch (const Failed&) {
                    throw Failed{5};
                }
            }
        }
        ++m_i;
        return Byte(c);
    }

    unsigned char SetByte()
    {
        if (AtEnd())
            throw Failed{4};
        unsigned char c = static_cast<unsigned char>(m_s[m_i++]);
        if (c != '\\')
            return c;
        if (AtEnd())
            throw Failed{4};
        unsigned char e = static_cast<unsigned char>(m_s[m_i++]);
        return e == 't' ? '\t' : e;
    }

    NodePtr Set()
    {
        ++m_i;
        NodePtr node = Make(Node::ByteSet);
        if (!AtEnd() && m_s[m_i] == '^') {
            node->negated = true;
            ++m_i;
        }
        if (!AtEnd() && m_s[m_i] == ']')
            throw Failed{6};
        while (true) {
            if (AtEnd())
                throw Failed{4};
            if (m_s[m_i] == ']') {
                ++m_i;
                return node;
            }
            if (m_s[m_i] == '-' && (m_i + 1 >= m_s.size() || m_s[m_i + 1] != '-')) {
                node->set.set('-');
                ++m_i;
                continue;
            }
            unsigned char low = SetByte();
            if (AtEnd() || m_s[m_i] != '-') {
                node->set.set(low);
                continue;
            }
            ++m_i;
            if (AtEnd() || m_s[m_i] == ']')
                throw Failed{4};
            unsigned char high = static_cast<unsigned char>(m_s[m_i++]);
            if (high < low)
                throw Failed{8};
            for (unsigned b = low; b <= high; ++b)
                node->set.set(b);
        }
    }

private:
    int& m_groups;
    int& m_slots;
    bool m_expansion;
};

}  // namespace

// Position and captures are global state that backtracking does not
// undo, except where the language says a construct restores them.
struct ReferenceRegExp::Interpreter {
    std::string text;
    std::size_t pos = 0;
    std::vector<std::size_t> start, end, slot;
    std::size_t steps = 0, maxSteps = 0, depth = 0;
    bool gaveUp = false;

    using K = std::function<bool()>;

    int At(std::size_t i) const
    {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : (i == text.size() ? 0 : -1);
    }

    // Once the budget is spent every path fails at once, so the search
    // unwinds quickly; the caller then reports GaveUp.
    bool Run(const Node& n, const K& k)
    {
        if (gaveUp)
            return false;
        if (++steps > maxSteps || depth > 1500) {
            gaveUp = true;
            return false;
        }
        ++depth;
        bool result = Step(n, k);
        --depth;
        return result;
    }

    bool Chain(const Node& seq, std::size_t i, const K& k)
    {
        if (i == seq.kids.size())
            return k();
        return Run(*seq.kids[i], [&] { return Chain(seq, i + 1, k); });
    }

    // Each iteration knows where it began: one that consumes nothing ends
    // the repetition, and backing off an iteration restores its start.
    bool Loop(const Node& n, const K& k)
    {
        const std::size_t begin = pos;
        if (Run(*n.kids[0], [&] { return pos != begin && Loop(n, k); }))
            return true;
        pos = begin;
        return k();
    }

    // The rest first; when it fails, one more iteration from where the
    // repetition stood, unless that iteration consumes nothing.
    bool Lazy(const Node& n, const K& k)
    {
        const std::size_t begin = pos;
        if (k())
            return true;
        pos = begin;
        return Run(*n.kids[0], [&] { return pos != begin && Lazy(n, k); });
    }

    bool Step(const Node& n, const K& k)
    {
        switch (n.kind) {
            case Node::Byte:
                if (At(pos) != n.byte)
                    return false;
                ++pos;
                return k();
            case Node::AnyByte:
                if (pos >= text.size())
                    return false;
                ++pos;
                return k();
            case Node::ByteSet:
                if (pos >= text.size() || n.set.test(static_cast<unsigned char>(text[pos])) == n.negated)
                    return false;
                ++pos;
                return k();
            case Node::Seq:
                return Chain(n, 0, k);
            case Node::Alt: {
                std::size_t saved = pos;
                for (std::size_t i = 0; i < n.kids.size(); ++i) {
                    pos = i ? saved : pos;
                    if (Run(*n.kids[i], k))
                        return true;
                }
                return false;
            }
            case Node::Plain:
                return Run(*n.kids[0], k);
            case Node::Capture: {
                std::size_t s = start[n.number], e = end[n.number];
                start[n.number] = pos;
                if (Run(*n.kids[0], [&] {
                        end[n.number] = pos;
                        return k();
                    }))
                    return true;
                start[n.number] = s;
                end[n.number] = e;
                return false;
            }
            case Node::Not: {
                std::size_t saved = pos;
                bool found = Run(*n.kids[0], [this] { return !gaveUp; });
                pos = saved;
                return !found && k();
            }
            case Node::Ref: {
                std::size_t s = start[n.number], e = end[n.number];
                if (s != kNone && e != kNone && s <= e) {
                    std::size_t size = e - s;
                    if (pos > text.size() || size > text.size() - pos ||
                        text.compare(pos, size, text, s, size) != 0)
                        return false;
                    pos += size;
                }
                return k();
            }
            case Node::Star:
                return Loop(n, k);
            case Node::Opt: {
                const std::size_t begin = pos;
                if (Run(*n.kids[0], [&] { return pos != begin && k(); }))
                    return true;
                pos = begin;
                return k();
            }
            case Node::LazyStar:
                return Lazy(n, k);
            case Node::LazyOpt: {
                const std::size_t begin = pos;
                if (k())
                    return true;
                pos = begin;
                return Run(*n.kids[0], k);
            }
        }
        return false;
    }
};

ReferenceRegExp::ReferenceRegExp() = default;
ReferenceRegExp::~ReferenceRegExp() = default;

int ReferenceRegExp::Parse(const std::string& expression, bool ignoreCase)
{
    m_root.reset();
    m_groupCount = 0;
    m_slotCount = 0;
    m_ignoreCase = ignoreCase;
    std::string text = expression.substr(0, expression.find('\0'));
    if (ignoreCase) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
    }
    m_anchored = !text.empty() && text[0] == '^';
    Reader reader(text, m_groupCount, m_slotCount, false);
    reader.m_i = m_anchored ? 1 : 0;
    try {
        m_root = reader.Sequence();
    } catch (const Failed& failed) {
        m_root.reset();
        return failed.code;
    }
    return 0;
}

ReferenceRegExp::Answer ReferenceRegExp::Match(const std::string& input, std::size_t maxSteps)
{
    Interpreter run;
    run.text = input.substr(0, input.find('\0'));
    if (m_ignoreCase) {
        for (char& c : run.text)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
    }
    run.start.assign(m_groupCount, kNone);
    run.end.assign(m_groupCount, kNone);
    run.slot.assign(m_slotCount, 0);
    run.maxSteps = maxSteps;
    m_whole = Span{};
    m_groups.assign(m_groupCount, Span{});
    if (!m_root)
        return Answer::NoMatch;
    Answer answer = Answer::NoMatch;
    // Attempts at every byte of the text, never at its end (the empty text
    // gets one); captures are not cleared between attempts.
    for (std::size_t s = 0;; ++s) {
        m_whole.start = s;
        run.pos = s;
        if (run.Run(*m_root, [&run] { return !run.gaveUp; })) {
            m_whole.end = std::min(run.pos, run.text.size());
            m_steps = run.steps;
            answer = Answer::Match;
            break;
        }
        m_steps = run.steps;
        if (run.gaveUp)
            return Answer::GaveUp;
        if (m_anchored || s + 1 >= run.text.size())
            break;
    }
    for (int g = 0; g < m_groupCount; ++g)
        m_groups[g] = Span{run.start[g], run.end[g]};
    return answer;
}

}  // namespace wys::test
