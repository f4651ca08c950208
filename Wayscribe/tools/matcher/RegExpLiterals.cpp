#include "Wayscribe/tools/matcher/RegExpLiterals.h"

#include <algorithm>

namespace {

// What a node tells about the texts it matches.
struct Literals {
    // It always matches exactly `text` (a zero-width node: the empty text).
    bool exact = false;
    std::string text;
    // Texts every match of it contains.
    std::vector<std::string> required;
};

void AddRequired(std::vector<std::string>& into, std::string text)
{
    if (!text.empty() && std::find(into.begin(), into.end(), text) == into.end())
        into.push_back(std::move(text));
}

class Analyzer {
public:
    explicit Analyzer(const RegExpSyntax& syntax) : m_syntax(syntax) {}

    // Recursion follows the nesting of the expression, which the parser
    // keeps within CRegExp::kMaxNesting (abbreviations add a fixed few).
    Literals Of(std::uint32_t index) const
    {
        const RegExpNode& node = m_syntax[index];
        Literals result;
        switch (node.kind) {
            case RegExpNodeKind::Symbol:
                result.exact = true;
                // The end anchor reads the terminating NUL, which no text holds.
                if (node.byte != 0)
                    result.text.push_back(static_cast<char>(node.byte));
                return result;
            case RegExpNodeKind::Negation:
                // Zero-width, whatever its operand.
                result.exact = true;
                return result;
            case RegExpNodeKind::Any:
            case RegExpNodeKind::Set:
            case RegExpNodeKind::NotSet:
            case RegExpNodeKind::BackReference:
                return result;
            case RegExpNodeKind::Group:
            case RegExpNodeKind::Capture:
                return Of(node.child);
            case RegExpNodeKind::Sequence: {
                result.exact = true;
                std::string run;
                for (std::uint32_t child = node.child; child != kNoNode; child = m_syntax[child].next) {
                    Literals element = Of(child);
                    for (std::string& text : element.required)
                        AddRequired(result.required, std::move(text));
                    if (element.exact) {
                        run += element.text;
                        continue;
                    }
                    result.exact = false;
                    AddRequired(result.required, std::move(run));
                    run.clear();
                }
                if (result.exact)
                    result.text = std::move(run);
                else
                    AddRequired(result.required, std::move(run));
                return result;
            }
            case RegExpNodeKind::Alternation: {
                // Only what every operand requires.
                bool first = true;
                for (std::uint32_t child = node.child; child != kNoNode; child = m_syntax[child].next) {
                    Literals operand = Of(child);
                    if (operand.exact)
                        AddRequired(operand.required, operand.text);
                    if (first) {
                        result.required = std::move(operand.required);
                        first = false;
                        continue;
                    }
                    std::erase_if(result.required, [&](const std::string& text) {
                        return std::find(operand.required.begin(), operand.required.end(), text) ==
                               operand.required.end();
                    });
                }
                return result;
            }
            case RegExpNodeKind::Repeat: {
                if (node.repeat != RegExpRepeat::Plus && node.repeat != RegExpRepeat::LazyPlus)
                    return result;  // may match no iteration at all
                Literals operand = Of(node.child);
                result.required = std::move(operand.required);
                if (operand.exact)
                    AddRequired(result.required, std::move(operand.text));
                return result;
            }
        }
        return result;
    }

private:
    const RegExpSyntax& m_syntax;
};

}  // namespace

std::vector<std::string> RegExpLiterals::Required(const RegExpSyntax& syntax)
{
    if (syntax.root == kNoNode)
        return {};
    Literals whole = Analyzer(syntax).Of(syntax.root);
    if (whole.exact)
        AddRequired(whole.required, std::move(whole.text));
    return whole.required;
}
