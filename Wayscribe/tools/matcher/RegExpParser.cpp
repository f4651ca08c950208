#include "Wayscribe/tools/matcher/RegExpParser.h"

#include <cstring>
#include <new>

namespace {

// Parse errors unwind the recursive descent in one step.
struct ParseFailure {
    RegExpParseError error;
};

// Each abbreviation is written in the language itself and compiles to one
// group. They are used as written, whatever the case mode.
const char* Expansion(unsigned char letter)
{
    switch (letter) {
        case 'a':
            return "([a-zA-Z0-9])";
        case 'b':
            return "([ \\t])";
        case 'c':
            return "([a-zA-Z])";
        case 'd':
            return "([0-9])";
        case 'h':
            return "([0-9a-fA-F])";
        case 'n':
            return "(\r|(\r?\n))";
        case 'q':
            return "((\"[^\"]*\")|('[^']*'))";
        case 'w':
            return "([a-zA-Z]+)";
        case 'z':
            return "([0-9]+)";
        default:
            return nullptr;
    }
}

bool IsCloser(int byte)
{
    return byte == ')' || byte == ']' || byte == '}';
}

class Parser {
public:
    // `checkDepth` is off for abbreviation expansions: their own nesting is
    // fixed and small, and the abbreviation itself was already counted.
    Parser(const char* text, std::size_t length, RegExpSyntax& syntax, bool isExpansion)
        : m_text(reinterpret_cast<const unsigned char*>(text)),
          m_length(length),
          m_syntax(syntax),
          m_isExpansion(isExpansion)
    {
    }

    std::uint32_t ParseWhole()
    {
        if (!m_isExpansion && Peek() == '^') {
            m_syntax.anchored = true;
            ++m_pos;
        }
        // A closer that closes nothing ends the expression; the rest is ignored.
        return ParseSequence(0);
    }

    // An expansion is one atom (its group) that must use up the whole text.
    std::uint32_t ParseExpansionAtom()
    {
        std::uint32_t atom = ParseAtom(0);
        if (m_pos != m_length)
            throw ParseFailure{RegExpParseError::Unexpected};
        return atom;
    }

private:
    int Peek(std::size_t ahead = 0) const { return m_pos + ahead < m_length ? m_text[m_pos + ahead] : -1; }

    std::uint32_t NewNode(RegExpNodeKind kind)
    {
        m_syntax.nodes.push_back(RegExpNode{kind});
        return static_cast<std::uint32_t>(m_syntax.nodes.size() - 1);
    }

    RegExpNode& Node(std::uint32_t index) { return m_syntax.nodes[index]; }

    void EnterNesting(std::uint32_t depth) const
    {
        if (!m_isExpansion && depth >= CRegExp::kMaxNesting)
            throw ParseFailure{RegExpParseError::TooDeep};
    }

    // Elements up to the end, a closer, or an alternation left without its
    // right operand (which is dropped with its left one).
    std::uint32_t ParseSequence(std::uint32_t depth)
    {
        std::uint32_t sequence = NewNode(RegExpNodeKind::Sequence);
        bool canBeEmpty = true;
        std::uint32_t last = kNoNode;
        while (Peek() >= 0 && !IsCloser(Peek())) {
            std::uint32_t element = ParseElement(depth);
            if (element == kNoNode)
                break;
            canBeEmpty = canBeEmpty && Node(element).canBeEmpty;
            if (last == kNoNode)
                Node(sequence).child = element;
            else
                Node(last).next = element;
            last = element;
        }
        Node(sequence).canBeEmpty = canBeEmpty;
        return sequence;
    }

    // One quantified atom, or an alternation x|y|... of them ("|" binds
    // tighter than the sequence). kNoNode when an alternation ends in "|".
    std::uint32_t ParseElement(std::uint32_t depth)
    {
        std::uint32_t first = ParseQuantifiedAtom(depth);
        if (Peek() != '|')
            return first;
        std::uint32_t alternation = NewNode(RegExpNodeKind::Alternation);
        Node(alternation).child = first;
        bool canBeEmpty = Node(first).canBeEmpty;
        std::uint32_t last = first;
        while (Peek() == '|') {
            ++m_pos;
            if (Peek() < 0 || IsCloser(Peek()))
                return kNoNode;
            std::uint32_t operand = ParseQuantifiedAtom(depth);
            canBeEmpty = canBeEmpty || Node(operand).canBeEmpty;
            Node(last).next = operand;
            last = operand;
        }
        Node(alternation).canBeEmpty = canBeEmpty;
        return alternation;
    }

    std::uint32_t ParseQuantifiedAtom(std::uint32_t depth)
    {
        std::uint32_t atom = ParseAtom(depth);
        int quantifier = Peek();
        if (quantifier != '*' && quantifier != '+' && quantifier != '?')
            return atom;
        ++m_pos;
        bool lazy = Peek() == '?';
        if (lazy)
            ++m_pos;
        RegExpRepeat repeat;
        if (quantifier == '*')
            repeat = lazy ? RegExpRepeat::LazyStar : RegExpRepeat::Star;
        else if (quantifier == '+')
            repeat = lazy ? RegExpRepeat::LazyPlus : RegExpRepeat::Plus;
        else
            repeat = lazy ? RegExpRepeat::LazyOptional : RegExpRepeat::Optional;
        bool operandCanBeEmpty = Node(atom).canBeEmpty;
        if (operandCanBeEmpty && quantifier != '?')
            throw ParseFailure{RegExpParseError::EmptyRepeat};
        std::uint32_t node = NewNode(RegExpNodeKind::Repeat);
        Node(node).repeat = repeat;
        Node(node).child = atom;
        Node(node).canBeEmpty = repeat == RegExpRepeat::Plus ? operandCanBeEmpty : true;
        return node;
    }

    std::uint32_t Symbol(unsigned char byte)
    {
        std::uint32_t node = NewNode(RegExpNodeKind::Symbol);
        Node(node).byte = byte;
        return node;
    }

    std::uint32_t ParseAtom(std::uint32_t depth)
    {
        int byte = Peek();
        switch (byte) {
            case '.':
                ++m_pos;
                return NewNode(RegExpNodeKind::Any);
            case '[':
                return ParseSet();
            case '(':
            case '{':
                return ParseGroup(depth, byte == '{');
            case '\\':
                return ParseEscape(depth);
            case '!':
                if (Peek(1) < 0 || IsCloser(Peek(1)))
                    break;  // nothing to negate: an ordinary "!"
                return ParseNegation(depth);
            case '$':
                // Only the very last byte of the whole expression anchors at the end,
                // by matching the text's terminating NUL.
                if (!m_isExpansion && m_pos + 1 == m_length) {
                    ++m_pos;
                    return Symbol(0);
                }
                break;
            default:
                break;
        }
        ++m_pos;
        return Symbol(static_cast<unsigned char>(byte));
    }

    std::uint32_t ParseGroup(std::uint32_t depth, bool capturing)
    {
        EnterNesting(depth);
        ++m_pos;
        std::uint32_t number = capturing ? m_syntax.groupCount++ : 0;
        std::uint32_t content = ParseSequence(depth + 1);
        if (Peek() != (capturing ? '}' : ')')) {
            throw ParseFailure{capturing ? RegExpParseError::BraceExpected : RegExpParseError::ParenExpected};
        }
        ++m_pos;
        std::uint32_t node = NewNode(capturing ? RegExpNodeKind::Capture : RegExpNodeKind::Group);
        Node(node).value = number;
        Node(node).child = content;
        // A group with nothing inside counts as not empty.
        bool emptyInside = Node(content).child == kNoNode;
        Node(node).canBeEmpty = !emptyInside && Node(content).canBeEmpty;
        return node;
    }

    std::uint32_t ParseNegation(std::uint32_t depth)
    {
        EnterNesting(depth);
        ++m_pos;
        std::uint32_t groupsBefore = m_syntax.groupCount;
        std::uint32_t operand = ParseAtom(depth + 1);
        std::uint32_t node = NewNode(RegExpNodeKind::Negation);
        Node(node).child = operand;
        Node(node).canBeEmpty = Node(operand).canBeEmpty;
        Node(node).value = m_syntax.groupCount - groupsBefore;
        if (Node(node).value != 0)
            m_syntax.negationCaptures = true;
        return node;
    }

    std::uint32_t ParseEscape(std::uint32_t depth)
    {
        ++m_pos;
        int byte = Peek();
        // A backslash that ends the expression stands for itself; nothing past
        // the end is read.
        if (byte < 0)
            return Symbol('\\');
        if (byte >= '0' && byte <= '9')
            return ParseBackReference();
        if (const char* expansion = Expansion(static_cast<unsigned char>(byte))) {
            EnterNesting(depth);
            ++m_pos;
            Parser inner(expansion, std::strlen(expansion), m_syntax, true);
            try {
                return inner.ParseExpansionAtom();
            } catch (const ParseFailure&) {
                throw ParseFailure{RegExpParseError::Unexpected};
            }
        }
        ++m_pos;
        return Symbol(static_cast<unsigned char>(byte));
    }

    // All consecutive digits are read, so "\12" is group 12.
    std::uint32_t ParseBackReference()
    {
        std::uint64_t number = 0;
        while (Peek() >= '0' && Peek() <= '9') {
            if (number <= 0xFFFFFFFFu)
                number = number * 10 + static_cast<std::uint64_t>(Peek() - '0');
            ++m_pos;
        }
        if (number >= m_syntax.groupCount)
            throw ParseFailure{RegExpParseError::InvalidGroup};
        std::uint32_t node = NewNode(RegExpNodeKind::BackReference);
        Node(node).value = static_cast<std::uint32_t>(number);
        return node;
    }

    // One byte of a set item: "\t" is a tab, "\" and any other byte is that
    // byte, anything else stands for itself.
    unsigned char ReadSetByte()
    {
        int byte = Peek();
        if (byte < 0)
            throw ParseFailure{RegExpParseError::BracketExpected};
        ++m_pos;
        if (byte != '\\')
            return static_cast<unsigned char>(byte);
        int escaped = Peek();
        if (escaped < 0)
            throw ParseFailure{RegExpParseError::BracketExpected};
        ++m_pos;
        return escaped == 't' ? '\t' : static_cast<unsigned char>(escaped);
    }

    std::uint32_t ParseSet()
    {
        ++m_pos;
        bool negated = Peek() == '^';
        if (negated)
            ++m_pos;
        if (Peek() == ']')
            throw ParseFailure{RegExpParseError::EmptyRange};
        RegExpSet set{};
        auto add = [&set](unsigned lower, unsigned upper) {
            for (unsigned byte = lower; byte <= upper; ++byte)
                set[byte >> 3] |= static_cast<std::uint8_t>(1u << (byte & 7));
        };
        for (;;) {
            int byte = Peek();
            if (byte < 0)
                throw ParseFailure{RegExpParseError::BracketExpected};
            if (byte == ']') {
                ++m_pos;
                break;
            }
            // A "-" opening an item is a member unless another "-" follows it.
            if (byte == '-' && Peek(1) != '-') {
                ++m_pos;
                add('-', '-');
                continue;
            }
            unsigned char lower = ReadSetByte();
            if (Peek() != '-') {
                add(lower, lower);
                continue;
            }
            ++m_pos;
            int upper = Peek();  // taken as it stands: no escapes
            if (upper < 0 || upper == ']')
                throw ParseFailure{RegExpParseError::BracketExpected};
            ++m_pos;
            if (static_cast<unsigned>(upper) < lower)
                throw ParseFailure{RegExpParseError::InvalidRange};
            add(lower, static_cast<unsigned>(upper));
        }
        std::uint32_t node = NewNode(negated ? RegExpNodeKind::NotSet : RegExpNodeKind::Set);
        Node(node).value = static_cast<std::uint32_t>(m_syntax.sets.size());
        m_syntax.sets.push_back(set);
        return node;
    }

    const unsigned char* m_text;
    std::size_t m_length;
    std::size_t m_pos = 0;
    RegExpSyntax& m_syntax;
    bool m_isExpansion;
};

}  // namespace

RegExpParseError RegExpParser::Parse(const char* expression, RegExpSyntax& syntax)
{
    if (!expression)
        return RegExpParseError::InvalidInput;
    try {
        Parser parser(expression, std::strlen(expression), syntax, false);
        syntax.root = parser.ParseWhole();
    } catch (const ParseFailure& failure) {
        return failure.error;
    } catch (const std::bad_alloc&) {
        return RegExpParseError::OutOfMemory;
    }
    return RegExpParseError::ParseOk;
}
