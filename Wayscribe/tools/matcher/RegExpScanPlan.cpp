#include "Wayscribe/tools/matcher/RegExpScanPlan.h"

#include <string>
#include <vector>

namespace {

// What the first consuming instruction of an attempt can accept, assuming
// nothing has been consumed yet (so every such instruction reads the same byte).
struct FirstBytes {
    RegExpSet set{};
    bool nullable = false;  // the node can succeed without consuming
    bool unknown = false;   // a negation could run first: no plan
};

void Unite(RegExpSet& into, const RegExpSet& from)
{
    for (std::size_t i = 0; i < into.size(); ++i)
        into[i] |= from[i];
}

RegExpSet AllBytes()
{
    RegExpSet set;
    set.fill(0xFF);
    return set;
}

class Planner {
public:
    explicit Planner(const RegExpSyntax& syntax) : m_syntax(syntax) {}

    FirstBytes First(std::uint32_t index) const
    {
        const RegExpNode& node = m_syntax[index];
        FirstBytes result;
        switch (node.kind) {
            case RegExpNodeKind::Symbol:
                result.set[node.byte >> 3] |= static_cast<std::uint8_t>(1u << (node.byte & 7));
                return result;
            case RegExpNodeKind::Any:
                result.set = AllBytes();
                return result;
            case RegExpNodeKind::Set:
                result.set = m_syntax.sets[node.value];
                return result;
            case RegExpNodeKind::NotSet:
                for (std::size_t i = 0; i < result.set.size(); ++i)
                    result.set[i] = static_cast<std::uint8_t>(~m_syntax.sets[node.value][i]);
                return result;
            case RegExpNodeKind::Sequence:
                result.nullable = true;
                for (std::uint32_t child = node.child; child != kNoNode; child = m_syntax[child].next) {
                    FirstBytes element = First(child);
                    if (element.unknown)
                        return element;
                    Unite(result.set, element.set);
                    if (!element.nullable) {
                        result.nullable = false;
                        break;
                    }
                }
                return result;
            case RegExpNodeKind::Alternation:
                for (std::uint32_t child = node.child; child != kNoNode; child = m_syntax[child].next) {
                    FirstBytes operand = First(child);
                    if (operand.unknown)
                        return operand;
                    Unite(result.set, operand.set);
                    result.nullable = result.nullable || operand.nullable;
                }
                return result;
            case RegExpNodeKind::Group:
            case RegExpNodeKind::Capture:
                return First(node.child);
            case RegExpNodeKind::Negation:
                // Zero-width: what follows reads the same byte. One that holds a
                // capture may leave it behind when it fails, so no attempt
                // reaching it may be skipped.
                if (node.value != 0)
                    result.unknown = true;
                result.nullable = true;
                return result;
            case RegExpNodeKind::BackReference:
                // Matches the empty text while its group holds nothing.
                result.set = AllBytes();
                result.nullable = true;
                return result;
            case RegExpNodeKind::Repeat: {
                result = First(node.child);
                bool atLeastOnce = node.repeat == RegExpRepeat::Plus || node.repeat == RegExpRepeat::LazyPlus;
                if (!atLeastOnce)
                    result.nullable = true;
                return result;
            }
        }
        return result;
    }

    // Appends the literal bytes the sequence starts with; true when the whole
    // sequence was literal, so that what follows it continues the prefix.
    bool Prefix(std::uint32_t sequence, std::string& out) const
    {
        for (std::uint32_t child = m_syntax[sequence].child; child != kNoNode; child = m_syntax[child].next) {
            const RegExpNode& node = m_syntax[child];
            bool group = node.kind == RegExpNodeKind::Group || node.kind == RegExpNodeKind::Capture;
            if (node.kind == RegExpNodeKind::Symbol && node.byte != 0)
                out.push_back(static_cast<char>(node.byte));
            else if (!group || !Prefix(node.child, out))
                return false;
        }
        return true;
    }

    // Runs of literal bytes that every match passes through in order: the
    // top-level sequence with its plain groups opened up.
    void Runs(std::uint32_t sequence, std::vector<std::string>& runs, std::string& current) const
    {
        for (std::uint32_t child = m_syntax[sequence].child; child != kNoNode; child = m_syntax[child].next) {
            const RegExpNode& node = m_syntax[child];
            if (node.kind == RegExpNodeKind::Symbol && node.byte != 0) {
                current.push_back(static_cast<char>(node.byte));
            } else if (node.kind == RegExpNodeKind::Group || node.kind == RegExpNodeKind::Capture) {
                Runs(node.child, runs, current);
            } else if (!current.empty()) {
                runs.push_back(current);
                current.clear();
            }
        }
    }

private:
    const RegExpSyntax& m_syntax;
};

}  // namespace

std::unique_ptr<RegExpScanPlan> RegExpScanPlan::Build(const RegExpSyntax& syntax, bool fold)
{
    auto plan = std::make_unique<RegExpScanPlan>();
    plan->fold = fold;
    plan->anchored = syntax.anchored;
    Planner planner(syntax);

    std::string prefix;
    planner.Prefix(syntax.root, prefix);
    if (!syntax.anchored && !prefix.empty()) {
        plan->prefix = RegExpLiteralFinder(prefix, fold);
    } else if (!syntax.anchored) {
        FirstBytes first = planner.First(syntax.root);
        if (!first.unknown && !first.nullable) {
            std::array<bool, 256> members{};
            for (unsigned byte = 0; byte < 256; ++byte)
                members[byte] = RegExpSetContains(first.set, fold ? kRegExpFold[byte] : byte);
            plan->firstBytes = RegExpByteSetFinder(members);
            plan->useFirstBytes = !plan->firstBytes.Full();
        }
    }

    if (!syntax.negationCaptures) {
        std::vector<std::string> runs;
        std::string current;
        planner.Runs(syntax.root, runs, current);
        if (!current.empty())
            runs.push_back(current);
        // The prefix run is already checked at every start; look past it.
        std::size_t skip = plan->prefix.Empty() ? 0 : 1;
        std::string best;
        for (std::size_t i = skip; i < runs.size(); ++i) {
            if (runs[i].size() > best.size())
                best = runs[i];
        }
        if (!best.empty())
            plan->required = RegExpLiteralFinder(best, fold);
    }
    return plan;
}

bool RegExpStartFinder::RequiredFrom(std::uint32_t from)
{
    if (m_plan.required.Empty())
        return true;
    if (m_required != kRegExpNoStart && m_required >= from)
        return true;
    std::size_t found = m_plan.required.Find(m_text, m_length, from);
    if (found == kRegExpNotFound)
        return false;
    m_required = static_cast<std::uint32_t>(found);
    return true;
}

std::uint32_t RegExpStartFinder::First()
{
    // The empty text and anchored expressions get their one attempt at the
    // beginning; only the required literal can rule it out.
    if (m_length == 0 || m_plan.anchored)
        return RequiredFrom(0) ? 0 : kRegExpNoStart;
    return Next(0);
}

std::uint32_t RegExpStartFinder::Next(std::uint32_t from)
{
    if (m_plan.anchored || from >= m_length)
        return kRegExpNoStart;
    std::size_t start = from;
    if (!m_plan.prefix.Empty())
        start = m_plan.prefix.Find(m_text, m_length, from);
    else if (m_plan.useFirstBytes)
        start = m_plan.firstBytes.Find(m_text, m_length, from);
    if (start == kRegExpNotFound)
        return kRegExpNoStart;
    std::uint32_t candidate = static_cast<std::uint32_t>(start);
    return RequiredFrom(candidate) ? candidate : kRegExpNoStart;
}
