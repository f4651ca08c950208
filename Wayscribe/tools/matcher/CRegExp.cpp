#include "Wayscribe/tools/matcher/CRegExp.h"

#include <cstring>
#include <new>
#include <string>

#include "Wayscribe/tools/matcher/RegExpByteSearch.h"
#include "Wayscribe/tools/matcher/RegExpCompiler.h"
#include "Wayscribe/tools/matcher/RegExpLiterals.h"
#include "Wayscribe/tools/matcher/RegExpMachine.h"
#include "Wayscribe/tools/matcher/RegExpParser.h"
#include "Wayscribe/tools/matcher/RegExpScanPlan.h"

const char* RegExpParseErrorName(RegExpParseError error)
{
    switch (error) {
        case RegExpParseError::ParseOk:
            return "ParseOk";
        case RegExpParseError::OutOfMemory:
            return "OutOfMemory";
        case RegExpParseError::BraceExpected:
            return "BraceExpected";
        case RegExpParseError::ParenExpected:
            return "ParenExpected";
        case RegExpParseError::BracketExpected:
            return "BracketExpected";
        case RegExpParseError::Unexpected:
            return "Unexpected";
        case RegExpParseError::EmptyRange:
            return "EmptyRange";
        case RegExpParseError::InvalidGroup:
            return "InvalidGroup";
        case RegExpParseError::InvalidRange:
            return "InvalidRange";
        case RegExpParseError::EmptyRepeat:
            return "EmptyRepeat";
        case RegExpParseError::InvalidInput:
            return "InvalidInput";
        case RegExpParseError::TooDeep:
            return "TooDeep";
    }
    return "?";
}

const char* RegExpParseErrorText(RegExpParseError error)
{
    switch (error) {
        case RegExpParseError::ParseOk:
            return "";
        case RegExpParseError::OutOfMemory:
            return "the expression is too long to compile";
        case RegExpParseError::BraceExpected:
            return "a \"{\" is not closed by \"}\"";
        case RegExpParseError::ParenExpected:
            return "a \"(\" is not closed by \")\"";
        case RegExpParseError::BracketExpected:
            return "a \"[\" is not closed by \"]\", or a range in it lacks its upper end";
        case RegExpParseError::Unexpected:
            return "an abbreviation cannot be compiled";
        case RegExpParseError::EmptyRange:
            return "a set in \"[]\" holds nothing";
        case RegExpParseError::InvalidGroup:
            return "a back-reference names a group that is not opened before it (groups count from \\0)";
        case RegExpParseError::InvalidRange:
            return "a range in \"[]\" ends below where it starts";
        case RegExpParseError::EmptyRepeat:
            return "\"*\" or \"+\" repeats something that can match nothing";
        case RegExpParseError::InvalidInput:
            return "there is no expression";
        case RegExpParseError::TooDeep:
            return "groups are nested too deeply";
    }
    return "the expression cannot be read";
}

const char* RegExpKindName(RegExpKind kind)
{
    static const char* const kNames[] = {
        "Nop",        "Symbol",    "Any",          "Range",      "NotRange",      "GroupStart",  "GroupEnd",
        "PushGroup",  "PopGroup",  "PushCharPos",  "PopCharPos", "Call",          "Jmp",         "Return",
        "PushMemory", "PopMemory", "StoreCharPos", "GetCharPos", "StoreStackPos", "GetStackPos", "RetNoMatch",
        "Previous",   "Fail",      "Advance",      "Match",
    };
    auto index = static_cast<std::uint32_t>(kind);
    return index < std::size(kNames) ? kNames[index] : "?";
}

CRegExp::CRegExp() = default;
CRegExp::~CRegExp() = default;
CRegExp::CRegExp(CRegExp&&) noexcept = default;
CRegExp& CRegExp::operator=(CRegExp&&) noexcept = default;

void CRegExp::Reset()
{
    m_program.clear();
    m_program.shrink_to_fit();
    m_groupCount = 0;
    m_memoryCount = 0;
    m_scan.reset();
    m_literals.clear();
}

RegExpParseError CRegExp::Parse(const char* expression, RegExpCase mode)
{
    Reset();
    m_case = mode;
    m_lastError = [&]() -> RegExpParseError {
        if (!expression)
            return RegExpParseError::InvalidInput;
        try {
            std::string lowered;
            if (mode == RegExpCase::Insensitive) {
                lowered.assign(expression);
                for (char& byte : lowered)
                    byte = static_cast<char>(kRegExpFold[static_cast<unsigned char>(byte)]);
                expression = lowered.c_str();
            }
            RegExpSyntax syntax;
            RegExpParseError error = RegExpParser::Parse(expression, syntax);
            if (error == RegExpParseError::ParseOk)
                error = RegExpCompiler::Compile(syntax, m_program, m_memoryCount);
            if (error != RegExpParseError::ParseOk)
                return error;
            m_groupCount = syntax.groupCount;
            m_scan = RegExpScanPlan::Build(syntax, mode == RegExpCase::Insensitive);
            m_literals = RegExpLiterals::Required(syntax);
            return RegExpParseError::ParseOk;
        } catch (const std::bad_alloc&) {
            return RegExpParseError::OutOfMemory;
        }
    }();
    if (m_lastError != RegExpParseError::ParseOk)
        Reset();
    return m_lastError;
}

bool CRegExp::Match(const char* text, CRegExpMatch& context, const char** end) const
{
    if (end)
        *end = nullptr;
    context.m_text = text;
    if (!text) {
        context.Prepare(0, 0);
        context.m_outcome = RegExpOutcome::NoMatch;
        return false;
    }
    bool matched = Run(reinterpret_cast<const unsigned char*>(text), std::strlen(text), context);
    if (matched && end)
        *end = text + context.m_wholeEnd;
    return matched;
}

bool CRegExp::Match(std::string_view text, CRegExpMatch& context) const
{
    // The text ends at its first NUL, as a NUL-terminated one would.
    const void* nul = text.empty() ? nullptr : std::memchr(text.data(), 0, text.size());
    std::size_t length =
        nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text.data()) : text.size();
    context.m_text = text.data();
    return Run(reinterpret_cast<const unsigned char*>(text.data()), length, context);
}

bool CRegExp::Run(const unsigned char* text, std::size_t length, CRegExpMatch& context) const
{
    context.m_outcome = RegExpOutcome::NoMatch;
    if (!IsReady() || !context.Prepare(m_memoryCount, m_groupCount)) {
        context.Prepare(0, 0);
        if (IsReady())
            context.m_outcome = RegExpOutcome::OutOfMemory;
        return false;
    }
    if (length > kMaxTextLength) {
        context.m_outcome = RegExpOutcome::OutOfMemory;
        return false;
    }
    // A flag raised before the match starts stops it before any work.
    if (context.m_stopFlag && context.m_stopFlag->load(std::memory_order_relaxed)) {
        context.m_outcome = RegExpOutcome::Stopped;
        return false;
    }
    auto size = static_cast<std::uint32_t>(length);
    const bool fold = m_case == RegExpCase::Insensitive;

    if (context.m_strategy == RegExpStrategy::Plain) {
        if (fold) {
            text = context.LowerCaseCopy(text, length);
            if (!text) {
                context.m_outcome = RegExpOutcome::OutOfMemory;
                return false;
            }
        }
        context.m_outcome = RegExpMachine::RunPlain(m_program.data(), text, size, context);
        return context.m_outcome == RegExpOutcome::Match;
    }

    RegExpStartFinder starts(*m_scan, text, size);
    std::uint32_t first = starts.First();
    if (first != kRegExpNoStart)
        context.m_outcome =
            RegExpMachine::RunFast(m_program.data(), text, size, first, fold, starts, context);
    if (context.m_outcome == RegExpOutcome::NoMatch) {
        // Report the start of the last attempt the plain machine would have made.
        context.m_wholeStart = m_scan->anchored || size == 0 ? 0 : size - 1;
        context.m_wholeEnd = CRegExpMatch::kUnset;
    }
    return context.m_outcome == RegExpOutcome::Match;
}
