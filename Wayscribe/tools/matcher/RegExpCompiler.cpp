#include "Wayscribe/tools/matcher/RegExpCompiler.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr std::uint64_t kUnknownSize = ~0ull;

class Compiler {
public:
    Compiler(const RegExpSyntax& syntax, std::vector<RegExpInstruction>& program)
        : m_syntax(syntax), m_program(program), m_sizes(syntax.nodes.size(), kUnknownSize)
    {
    }

    // Instructions the node compiles to, saturating just above the limit so
    // that a repeated "+" cannot overflow the count before it is refused.
    std::uint64_t Size(std::uint32_t index)
    {
        std::uint64_t& memo = m_sizes[index];
        if (memo != kUnknownSize)
            return memo;
        const RegExpNode& node = m_syntax[index];
        std::uint64_t size = 0;
        switch (node.kind) {
            case RegExpNodeKind::Symbol:
            case RegExpNodeKind::Any:
            case RegExpNodeKind::BackReference:
                size = 1;
                break;
            case RegExpNodeKind::Set:
            case RegExpNodeKind::NotSet:
                size = 1 + kRegExpSetWords;
                break;
            case RegExpNodeKind::Sequence:
                for (std::uint32_t child = node.child; child != kNoNode; child = m_syntax[child].next)
                    size = Cap(size + Size(child));
                break;
            case RegExpNodeKind::Alternation:
                for (std::uint32_t child = node.child; child != kNoNode; child = m_syntax[child].next)
                    size = Cap(size + Size(child) + (m_syntax[child].next != kNoNode ? 5 : 0));
                break;
            case RegExpNodeKind::Group:
                size = 2 + std::max<std::uint64_t>(Size(node.child), 1);
                break;
            case RegExpNodeKind::Capture:
                size = 6 + std::max<std::uint64_t>(Size(node.child), 1);
                break;
            case RegExpNodeKind::Negation:
                size = 9 + Size(node.child);
                break;
            case RegExpNodeKind::Repeat: {
                std::uint64_t operand = Size(node.child);
                switch (node.repeat) {
                    case RegExpRepeat::Star:
                        size = 9 + operand;
                        break;
                    case RegExpRepeat::Optional:
                        size = 8 + operand;
                        break;
                    case RegExpRepeat::Plus:
                        size = 9 + 2 * operand;
                        break;
                    case RegExpRepeat::LazyStar:
                        size = 11 + operand;
                        break;
                    case RegExpRepeat::LazyPlus:
                        size = 11 + 2 * operand;
                        break;
                    case RegExpRepeat::LazyOptional:
                        size = 3 + operand;
                        break;
                }
                break;
            }
        }
        memo = Cap(size);
        return memo;
    }

    void EmitWhole()
    {
        Emit(RegExpKind::Call, 2);
        Emit(m_syntax.anchored ? RegExpKind::Fail : RegExpKind::Advance);
        EmitNode(m_syntax.root);
        Emit(RegExpKind::Match);
    }

    std::uint32_t MemoryCount() const { return m_memoryCount; }

private:
    static std::uint64_t Cap(std::uint64_t size)
    {
        return std::min<std::uint64_t>(size, std::uint64_t{CRegExp::kMaxInstructions} + 1);
    }

    std::uint32_t Here() const { return static_cast<std::uint32_t>(m_program.size()); }

    std::uint32_t Emit(RegExpKind kind, std::uint32_t operand = 0)
    {
        m_program.push_back(RegExpInstruction{kind, operand});
        return Here() - 1;
    }

    // Points the Call or Jmp at `at` to the next instruction to be emitted.
    void PatchToHere(std::uint32_t at) { m_program[at].operand = Here(); }

    void EmitNode(std::uint32_t index)
    {
        const RegExpNode& node = m_syntax[index];
        switch (node.kind) {
            case RegExpNodeKind::Symbol:
                Emit(RegExpKind::Symbol, node.byte);
                return;
            case RegExpNodeKind::Any:
                Emit(RegExpKind::Any);
                return;
            case RegExpNodeKind::Set:
            case RegExpNodeKind::NotSet:
                EmitSet(node);
                return;
            case RegExpNodeKind::Sequence:
                for (std::uint32_t child = node.child; child != kNoNode; child = m_syntax[child].next)
                    EmitNode(child);
                return;
            case RegExpNodeKind::Alternation:
                EmitAlternation(node);
                return;
            case RegExpNodeKind::Group: {
                std::uint32_t call = Emit(RegExpKind::Call);
                Emit(RegExpKind::Return);
                PatchToHere(call);
                EmitContent(node.child);
                return;
            }
            case RegExpNodeKind::Capture: {
                Emit(RegExpKind::PushGroup, node.value);
                Emit(RegExpKind::GroupStart, node.value);
                std::uint32_t call = Emit(RegExpKind::Call);
                Emit(RegExpKind::PopGroup, node.value);
                Emit(RegExpKind::Return);
                PatchToHere(call);
                EmitContent(node.child);
                Emit(RegExpKind::GroupEnd, node.value);
                return;
            }
            case RegExpNodeKind::Negation:
                EmitNegation(node);
                return;
            case RegExpNodeKind::BackReference:
                Emit(RegExpKind::Previous, node.value);
                return;
            case RegExpNodeKind::Repeat:
                EmitRepeat(node);
                return;
        }
    }

    void EmitContent(std::uint32_t sequence)
    {
        if (m_syntax[sequence].child == kNoNode)
            Emit(RegExpKind::Nop);
        else
            EmitNode(sequence);
    }

    void EmitSet(const RegExpNode& node)
    {
        Emit(node.kind == RegExpNodeKind::Set ? RegExpKind::Range : RegExpKind::NotRange);
        RegExpInstruction words[kRegExpSetWords];
        static_assert(sizeof(words) == sizeof(RegExpSet));
        std::memcpy(words, m_syntax.sets[node.value].data(), sizeof(words));
        m_program.insert(m_program.end(), std::begin(words), std::end(words));
    }

    // x|y|z compiles as x|(y|z); every operand but the last gets its own
    // choice point, and all of them jump to the same end.
    void EmitAlternation(const RegExpNode& node)
    {
        std::vector<std::uint32_t> jumpsToEnd;
        std::uint32_t operand = node.child;
        for (; m_syntax[operand].next != kNoNode; operand = m_syntax[operand].next) {
            Emit(RegExpKind::PushCharPos);
            std::uint32_t call = Emit(RegExpKind::Call);
            Emit(RegExpKind::PopCharPos);
            std::uint32_t jumpToRight = Emit(RegExpKind::Jmp);
            PatchToHere(call);
            EmitNode(operand);
            jumpsToEnd.push_back(Emit(RegExpKind::Jmp));
            PatchToHere(jumpToRight);
        }
        EmitNode(operand);
        for (std::uint32_t jump : jumpsToEnd)
            PatchToHere(jump);
    }

    void EmitNegation(const RegExpNode& node)
    {
        std::uint32_t position = m_memoryCount++;
        std::uint32_t height = m_memoryCount++;
        Emit(RegExpKind::StoreCharPos, position);
        Emit(RegExpKind::StoreStackPos, height);
        std::uint32_t call = Emit(RegExpKind::Call);
        Emit(RegExpKind::GetCharPos, position);
        Emit(RegExpKind::GetStackPos, height);
        std::uint32_t jumpToEnd = Emit(RegExpKind::Jmp);
        PatchToHere(call);
        EmitNode(node.child);
        Emit(RegExpKind::GetCharPos, position);
        Emit(RegExpKind::GetStackPos, height);
        Emit(RegExpKind::Return);
        PatchToHere(jumpToEnd);
    }

    void EmitRepeat(const RegExpNode& node)
    {
        switch (node.repeat) {
            case RegExpRepeat::Star:
                EmitGreedy(node.child, true);
                return;
            case RegExpRepeat::Optional:
                EmitGreedy(node.child, false);
                return;
            case RegExpRepeat::Plus:
                // The repeated copy reuses the group numbers of the first.
                EmitNode(node.child);
                EmitGreedy(node.child, true);
                return;
            case RegExpRepeat::LazyStar:
                EmitLazyStar(node.child);
                return;
            case RegExpRepeat::LazyPlus:
                EmitNode(node.child);
                EmitLazyStar(node.child);
                return;
            case RegExpRepeat::LazyOptional: {
                // Goes on first; when that fails, the one iteration starts where
                // the repetition began, not where the failed rest left off.
                Emit(RegExpKind::PushCharPos);
                std::uint32_t call = Emit(RegExpKind::Call);
                Emit(RegExpKind::PopCharPos);
                EmitNode(node.child);
                PatchToHere(call);
                return;
            }
        }
    }

    // One more iteration is tried before going on; an iteration that consumes
    // nothing (RetNoMatch) ends the repetition as if it had failed.
    //
    // The slot holds where the current iteration began. Each iteration saves
    // the previous value on the stack and backing off restores it, so when a
    // later failure backtracks into an earlier iteration's operand, its
    // RetNoMatch compares with that iteration's own start. (Writing the slot
    // again after RetNoMatch, without saving it, left a later position there:
    // an earlier iteration could then pass as non-empty and start the same
    // iterations over, growing the stack without end.)
    void EmitGreedy(std::uint32_t operand, bool loop)
    {
        std::uint32_t slot = m_memoryCount++;
        std::uint32_t begin = Emit(RegExpKind::PushMemory, slot);
        Emit(RegExpKind::StoreCharPos, slot);
        Emit(RegExpKind::PushCharPos);
        std::uint32_t call = Emit(RegExpKind::Call);
        Emit(RegExpKind::PopCharPos);
        Emit(RegExpKind::PopMemory, slot);
        std::uint32_t jumpToEnd = Emit(RegExpKind::Jmp);
        PatchToHere(call);
        EmitNode(operand);
        Emit(RegExpKind::RetNoMatch, slot);
        if (loop)
            Emit(RegExpKind::Jmp, begin);
        PatchToHere(jumpToEnd);
    }

    // Goes on first; each backtrack into it adds one iteration, which starts
    // where the repetition stood (the position is saved with the choice), and
    // ends the repetition when it consumes nothing rather than loop for ever.
    // The slot holds the iteration's start as for the greedy form, saved and
    // restored around the iteration.
    void EmitLazyStar(std::uint32_t operand)
    {
        std::uint32_t slot = m_memoryCount++;
        std::uint32_t begin = Emit(RegExpKind::PushCharPos);
        std::uint32_t callRest = Emit(RegExpKind::Call);
        Emit(RegExpKind::PopCharPos);
        Emit(RegExpKind::PushMemory, slot);
        Emit(RegExpKind::StoreCharPos, slot);
        std::uint32_t callIteration = Emit(RegExpKind::Call);
        // Reached only by backtracking out of the iteration: the slot gets its
        // saved value back and the backtrack goes on.
        Emit(RegExpKind::PopMemory, slot);
        Emit(RegExpKind::Return);
        PatchToHere(callIteration);
        EmitNode(operand);
        Emit(RegExpKind::RetNoMatch, slot);
        Emit(RegExpKind::Jmp, begin);
        PatchToHere(callRest);
    }

    const RegExpSyntax& m_syntax;
    std::vector<RegExpInstruction>& m_program;
    std::vector<std::uint64_t> m_sizes;
    std::uint32_t m_memoryCount = 0;
};

}  // namespace

RegExpParseError RegExpCompiler::Compile(const RegExpSyntax& syntax, std::vector<RegExpInstruction>& program,
                                         std::uint32_t& memoryCount)
{
    program.clear();
    memoryCount = 0;
    try {
        Compiler compiler(syntax, program);
        std::uint64_t size = compiler.Size(syntax.root) + 3;
        if (size > CRegExp::kMaxInstructions)
            return RegExpParseError::OutOfMemory;
        program.reserve(static_cast<std::size_t>(size));
        compiler.EmitWhole();
        memoryCount = compiler.MemoryCount();
    } catch (const std::bad_alloc&) {
        program.clear();
        program.shrink_to_fit();
        return RegExpParseError::OutOfMemory;
    }
    return RegExpParseError::ParseOk;
}
