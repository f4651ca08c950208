#include "Wayscribe/tools/matcher/CRegExpMatch.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "Wayscribe/tools/matcher/RegExpByteSearch.h"

CRegExpMatch::CRegExpMatch(std::uint32_t initialStackEntries)
{
    // Entry 0 is never used, so the smallest useful stack has two entries.
    std::uint32_t entries = std::max<std::uint32_t>(initialStackEntries, 2);
    m_stack.reset(new (std::nothrow) std::uint32_t[entries]);
    m_stackCapacity = m_stack ? entries : 0;
}

CRegExpMatch::~CRegExpMatch() = default;

bool CRegExpMatch::Prepare(std::uint32_t memoryCount, std::uint32_t groupCount)
{
    try {
        m_memory.assign(memoryCount, 0);
        m_groupStart.assign(groupCount, kUnset);
        m_groupEnd.assign(groupCount, kUnset);
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_wholeStart = kUnset;
    m_wholeEnd = kUnset;
    return true;
}

bool CRegExpMatch::GrowStack(std::uint32_t top)
{
    std::uint64_t wanted = 2 * std::uint64_t{top} + 4;
    std::uint64_t entries = std::min<std::uint64_t>(wanted, m_stackLimit);
    if (entries <= top)
        return false;
    std::unique_ptr<std::uint32_t[]> larger(new (std::nothrow) std::uint32_t[entries]);
    if (!larger)
        return false;
    if (m_stack)
        std::memcpy(larger.get(), m_stack.get(), sizeof(std::uint32_t) * std::min(top, m_stackCapacity));
    m_stack = std::move(larger);
    m_stackCapacity = static_cast<std::uint32_t>(entries);
    return true;
}

unsigned char* CRegExpMatch::LowerCaseCopy(const unsigned char* text, std::size_t length)
{
    if (length + 1 > m_lowerCaseCapacity || !m_lowerCase) {
        m_lowerCase.reset(new (std::nothrow) unsigned char[length + 1]);
        m_lowerCaseCapacity = m_lowerCase ? length + 1 : 0;
        if (!m_lowerCase)
            return nullptr;
    }
    unsigned char* copy = m_lowerCase.get();
    for (std::size_t i = 0; i < length; ++i)
        copy[i] = kRegExpFold[text[i]];
    copy[length] = 0;
    return copy;
}

CRegExpMatch::Span CRegExpMatch::ToSpan(std::uint32_t start, std::uint32_t end)
{
    Span span;
    if (start != kUnset)
        span.start = start;
    if (end != kUnset)
        span.end = end;
    return span;
}

CRegExpMatch::Span CRegExpMatch::Whole() const
{
    return ToSpan(m_wholeStart, m_wholeEnd);
}

CRegExpMatch::Span CRegExpMatch::Group(std::uint32_t group) const
{
    if (group >= m_groupStart.size())
        return Span{};
    return ToSpan(m_groupStart[group], m_groupEnd[group]);
}

void CRegExpMatch::GetMatch(const char** start, const char** end) const
{
    Span span = Whole();
    if (start)
        *start = m_text && span.start != kNoPosition ? m_text + span.start : nullptr;
    if (end)
        *end = m_text && span.end != kNoPosition ? m_text + span.end : nullptr;
}

void CRegExpMatch::GetGroup(std::uint32_t group, const char** start, const char** end) const
{
    Span span = Group(group);
    if (start)
        *start = m_text && span.start != kNoPosition ? m_text + span.start : nullptr;
    if (end)
        *end = m_text && span.end != kNoPosition ? m_text + span.end : nullptr;
}
