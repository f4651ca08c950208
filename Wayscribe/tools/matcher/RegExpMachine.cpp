#include "Wayscribe/tools/matcher/RegExpMachine.h"

#include <algorithm>
#include <cstring>

#include "Wayscribe/tools/matcher/RegExpByteSearch.h"
#include "Wayscribe/tools/matcher/RegExpScanPlan.h"

namespace {

// Instructions between two looks at the stop flag and the instruction limit:
// often enough to stop within microseconds, rarely enough to cost nothing.
constexpr std::uint64_t kPollMask = 4096 - 1;

constexpr std::uint32_t kUnset = 0xFFFFFFFFu;

// Every position in turn: attempts start at every byte but never at the end,
// and the empty text gets its one attempt at its beginning.
struct EveryStart {
    std::uint32_t length;
    std::uint32_t Next(std::uint32_t from) const { return from < length ? from : kRegExpNoStart; }
};

}  // namespace

RegExpOutcome RegExpMachine::RunPlain(const RegExpInstruction* program, const unsigned char* text,
                                      std::uint32_t length, CRegExpMatch& context)
{
    EveryStart starts{length};
    return Run<false>(program, text, length, 0, starts, context);
}

RegExpOutcome RegExpMachine::RunFast(const RegExpInstruction* program, const unsigned char* text,
                                     std::uint32_t length, std::uint32_t first, bool fold,
                                     RegExpStartFinder& starts, CRegExpMatch& context)
{
    if (fold)
        return Run<true>(program, text, length, first, starts, context);
    return Run<false>(program, text, length, first, starts, context);
}

template <bool Fold, class Starts>
RegExpOutcome RegExpMachine::Run(const RegExpInstruction* program, const unsigned char* text,
                                 std::uint32_t length, std::uint32_t first, Starts& starts,
                                 CRegExpMatch& context)
{
    std::uint32_t* stack = context.m_stack.get();
    std::uint32_t capacity = context.m_stackCapacity;
    std::uint32_t top = 0;  // entries in use; entry 0 is never used
    std::uint32_t* memory = context.m_memory.data();
    std::uint32_t* groupStart = context.m_groupStart.data();
    std::uint32_t* groupEnd = context.m_groupEnd.data();
    const std::atomic<bool>* stopFlag = context.m_stopFlag;
    const std::uint64_t limit = context.m_instructionLimit;

    std::uint32_t attempt = first;
    std::uint32_t pos = first;
    std::uint32_t ip = 0;
    std::uint64_t executed = 0;
    context.m_wholeStart = pos;

    auto byteAt = [text](std::uint32_t at) -> unsigned { return Fold ? kRegExpFold[text[at]] : text[at]; };
    // Why the last push failed: the stack could not grow, or the stop flag
    // was found raised before it did. Growing copies the whole stack, which
    // for a deep one takes longer than the polls allow; a raised flag must
    // not wait for that.
    RegExpOutcome pushFailure = RegExpOutcome::OutOfMemory;
    auto push = [&](std::uint32_t value) -> bool {
        if (++top >= capacity) {
            if (stopFlag && stopFlag->load(std::memory_order_relaxed)) {
                pushFailure = RegExpOutcome::Stopped;
                return false;
            }
            if (!context.GrowStack(top))
                return false;
            stack = context.m_stack.get();
            capacity = context.m_stackCapacity;
        }
        stack[top] = value;
        return true;
    };
    // Popping an empty stack yields 0.
    auto pop = [&]() -> std::uint32_t { return top ? stack[top--] : 0; };

    for (;;) {
        if ((++executed & kPollMask) == 0) {
            if (stopFlag && stopFlag->load(std::memory_order_relaxed))
                return RegExpOutcome::Stopped;
            if (limit && executed >= limit)
                return RegExpOutcome::LimitReached;
        }
        const RegExpInstruction& instruction = program[ip];
        const std::uint32_t operand = instruction.operand;
        switch (instruction.kind) {
            case RegExpKind::Nop:
                ++ip;
                continue;
            case RegExpKind::Symbol:
                // The byte after the text is its terminating NUL, which only the
                // end anchor (Symbol 0) asks for.
                if (pos < length ? byteAt(pos) == operand : pos == length && operand == 0) {
                    ++pos;
                    ++ip;
                    continue;
                }
                break;
            case RegExpKind::Any:
                if (pos < length) {
                    ++pos;
                    ++ip;
                    continue;
                }
                break;
            case RegExpKind::Range:
            case RegExpKind::NotRange:
                if (pos < length && RegExpSetHas(&instruction, static_cast<unsigned char>(byteAt(pos))) ==
                                        (instruction.kind == RegExpKind::Range)) {
                    ++pos;
                    ip += 1 + kRegExpSetWords;
                    continue;
                }
                break;
            case RegExpKind::GroupStart:
                groupStart[operand] = pos;
                ++ip;
                continue;
            case RegExpKind::GroupEnd:
                groupEnd[operand] = pos;
                ++ip;
                continue;
            case RegExpKind::PushGroup:
                if (!push(groupStart[operand]) || !push(groupEnd[operand]))
                    return pushFailure;
                ++ip;
                continue;
            case RegExpKind::PopGroup:
                groupEnd[operand] = pop();
                groupStart[operand] = pop();
                ++ip;
                continue;
            case RegExpKind::PushCharPos:
                if (!push(pos))
                    return pushFailure;
                ++ip;
                continue;
            case RegExpKind::PopCharPos:
                pos = pop();
                ++ip;
                continue;
            case RegExpKind::Call:
                if (!push(ip + 1))
                    return pushFailure;
                ip = operand;
                continue;
            case RegExpKind::Jmp:
                ip = operand;
                continue;
            case RegExpKind::Return:
                break;  // continues at the popped index, as a backtrack does
            case RegExpKind::PushMemory:
                if (!push(memory[operand]))
                    return pushFailure;
                ++ip;
                continue;
            case RegExpKind::PopMemory:
                memory[operand] = pop();
                ++ip;
                continue;
            case RegExpKind::StoreCharPos:
                memory[operand] = pos;
                ++ip;
                continue;
            case RegExpKind::GetCharPos:
                pos = memory[operand];
                ++ip;
                continue;
            case RegExpKind::StoreStackPos:
                memory[operand] = top;
                ++ip;
                continue;
            case RegExpKind::GetStackPos:
                // A stored height is never above the current one; the clamp only
                // keeps the stack's unused entries out of reach.
                top = std::min(memory[operand], top);
                ++ip;
                continue;
            case RegExpKind::RetNoMatch:
                if (pos == memory[operand])
                    break;
                ++ip;
                continue;
            case RegExpKind::Previous: {
                // A group with no complete capture (nothing yet, or still open)
                // matches the empty text.
                std::uint32_t start = groupStart[operand];
                std::uint32_t end = groupEnd[operand];
                if (start != kUnset && end != kUnset && start <= end) {
                    std::uint32_t size = end - start;
                    if (end > length || pos > length || size > length - pos)
                        break;
                    bool same;
                    if constexpr (Fold) {
                        same = true;
                        for (std::uint32_t i = 0; i < size && same; ++i)
                            same = byteAt(start + i) == byteAt(pos + i);
                    } else {
                        same = std::memcmp(text + start, text + pos, size) == 0;
                    }
                    if (!same)
                        break;
                    pos += size;
                }
                ++ip;
                continue;
            }
            case RegExpKind::Fail:
                return RegExpOutcome::NoMatch;
            case RegExpKind::Advance:
                attempt = starts.Next(attempt + 1);
                if (attempt == kRegExpNoStart)
                    return RegExpOutcome::NoMatch;
                pos = attempt;
                top = 0;
                ip = 0;
                context.m_wholeStart = pos;
                continue;
            case RegExpKind::Match:
                // The end anchor reads the terminating NUL; the match ends before it.
                context.m_wholeEnd = std::min(pos, length);
                return RegExpOutcome::Match;
            default:
                return RegExpOutcome::NoMatch;
        }
        // Backtrack: continue at the popped index.
        ip = pop();
        if (ip == 0)
            context.m_wholeStart = pos;
    }
}
