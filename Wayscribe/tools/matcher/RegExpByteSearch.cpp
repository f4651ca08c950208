#include "Wayscribe/tools/matcher/RegExpByteSearch.h"

#include <algorithm>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::array<unsigned char, 256> MakeFold()
{
    std::array<unsigned char, 256> fold{};
    for (unsigned byte = 0; byte < 256; ++byte)
        fold[byte] = static_cast<unsigned char>(byte >= 'A' && byte <= 'Z' ? byte + 32 : byte);
    return fold;
}

// How often a byte turns up in saved pages (markup and mostly English text),
// on a rough 0-255 scale. Only the order matters: the literal search keys on
// the bytes least likely to occur, so that few candidates need checking.
constexpr std::array<unsigned char, 256> MakeCommonness()
{
    std::array<unsigned char, 256> rank{};
    for (unsigned byte = 0; byte < 256; ++byte)
        rank[byte] = byte >= 128 ? 50 : (byte < 32 ? 5 : 70);
    rank['\n'] = 170;
    rank['\t'] = 120;
    rank['\r'] = 90;
    const char* letters = "etaoinsrhldcumfpgwybvkxjqz";  // most frequent first
    for (unsigned i = 0; letters[i]; ++i) {
        unsigned char lower = static_cast<unsigned char>(letters[i]);
        rank[lower] = static_cast<unsigned char>(245 - 6 * i);
        rank[lower - 32] = static_cast<unsigned char>(130 - 3 * i);
    }
    rank[' '] = 255;
    for (unsigned char c : {'<', '>', '/', '"', '='})
        rank[c] = 225;
    for (unsigned char c : {'.', ',', '-', ':', ';', '_', '#', '&', '\''})
        rank[c] = 160;
    for (unsigned char c = '0'; c <= '9'; ++c)
        rank[c] = 150;
    return rank;
}

constexpr std::array<unsigned char, 256> kCommonness = MakeCommonness();

bool IsLower(unsigned char byte)
{
    return byte >= 'a' && byte <= 'z';
}

// Commonness of the text bytes that compare equal to `byte`.
unsigned Commonness(unsigned char byte, bool fold)
{
    unsigned rank = kCommonness[byte];
    if (fold && IsLower(byte))
        rank = std::max<unsigned>(rank, kCommonness[byte - 32]) + 1;
    return rank;
}

// The OR mask that makes a text byte compare equal to `byte`: under folding a
// lower-case letter also accepts its upper case (one bit apart); any other
// byte only itself.
unsigned char FoldMask(unsigned char byte, bool fold)
{
    return fold && IsLower(byte) ? 0x20 : 0x00;
}

}  // namespace

const std::array<unsigned char, 256> kRegExpFold = MakeFold();

RegExpLiteralFinder::RegExpLiteralFinder(std::string bytes, bool fold)
    : m_bytes(std::move(bytes)), m_fold(fold)
{
    if (m_bytes.empty())
        return;
    auto rank = [this](std::size_t at) {
        return Commonness(static_cast<unsigned char>(m_bytes[at]), m_fold);
    };
    for (std::size_t at = 1; at < m_bytes.size(); ++at) {
        if (rank(at) < rank(m_rare1))
            m_rare1 = at;
    }
    m_rare2 = m_rare1;
    for (std::size_t at = 0; at < m_bytes.size(); ++at) {
        if (at == m_rare1 || m_bytes[at] == m_bytes[m_rare1])
            continue;
        if (m_rare2 == m_rare1 || rank(at) < rank(m_rare2))
            m_rare2 = at;
    }
}

bool RegExpLiteralFinder::IsAt(const unsigned char* text, std::size_t at) const
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(m_bytes.data());
    if (!m_fold)
        return std::memcmp(text + at, bytes, m_bytes.size()) == 0;
    for (std::size_t i = 0; i < m_bytes.size(); ++i) {
        if (kRegExpFold[text[at + i]] != bytes[i])
            return false;
    }
    return true;
}

std::size_t RegExpLiteralFinder::Find(const unsigned char* text, std::size_t length, std::size_t from) const
{
    const std::size_t size = m_bytes.size();
    if (size == 0)
        return from <= length ? from : kRegExpNotFound;
    if (length < size || from > length - size)
        return kRegExpNotFound;
    const std::size_t last = length - size;  // last start that leaves room
    const unsigned char key1 = static_cast<unsigned char>(m_bytes[m_rare1]);
    const unsigned char key2 = static_cast<unsigned char>(m_bytes[m_rare2]);
    const unsigned char mask1 = FoldMask(key1, m_fold);
    const unsigned char mask2 = FoldMask(key2, m_fold);
    std::size_t at = from;
    if (mask1 == 0 && (size == 1 || !m_fold)) {
        // The rarest byte can only be itself: let memchr run ahead to it.
        while (at <= last) {
            const void* hit = std::memchr(text + at + m_rare1, key1, last - at + 1);
            if (!hit)
                return kRegExpNotFound;
            at = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - text) - m_rare1;
            if (IsAt(text, at))
                return at;
            ++at;
        }
        return kRegExpNotFound;
    }
#if defined(__SSE2__)
    const __m128i want1 = _mm_set1_epi8(static_cast<char>(key1));
    const __m128i want2 = _mm_set1_epi8(static_cast<char>(key2));
    const __m128i or1 = _mm_set1_epi8(static_cast<char>(mask1));
    const __m128i or2 = _mm_set1_epi8(static_cast<char>(mask2));
    // Sixteen candidate starts at a time; both keyed bytes of every candidate
    // lie inside the text because each start leaves room for the literal.
    while (at <= last && last - at >= 15) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at + m_rare1));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at + m_rare2));
        __m128i hits = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, or1), want1),
                                     _mm_cmpeq_epi8(_mm_or_si128(b, or2), want2));
        unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(hits));
        while (bits) {
            std::size_t candidate = at + static_cast<std::size_t>(__builtin_ctz(bits));
            if (IsAt(text, candidate))
                return candidate;
            bits &= bits - 1;
        }
        at += 16;
    }
#endif
    for (; at <= last; ++at) {
        if ((text[at + m_rare1] | mask1) == key1 && IsAt(text, at))
            return at;
    }
    return kRegExpNotFound;
}

RegExpByteSetFinder::RegExpByteSetFinder(const std::array<bool, 256>& members) : m_members(members)
{
    for (unsigned byte = 0; byte < 256; ++byte) {
        if (!members[byte])
            continue;
        if (m_count < 3)
            m_few[m_count] = static_cast<unsigned char>(byte);
        ++m_count;
    }
}

std::size_t RegExpByteSetFinder::Find(const unsigned char* text, std::size_t length, std::size_t from) const
{
    if (from >= length || m_count == 0)
        return kRegExpNotFound;
    if (m_count == 1) {
        const void* hit = std::memchr(text + from, m_few[0], length - from);
        return hit ? static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - text)
                   : kRegExpNotFound;
    }
    std::size_t at = from;
#if defined(__SSE2__)
    if (m_count <= 3) {
        const __m128i first = _mm_set1_epi8(static_cast<char>(m_few[0]));
        const __m128i second = _mm_set1_epi8(static_cast<char>(m_few[1]));
        const __m128i third = _mm_set1_epi8(static_cast<char>(m_few[m_count - 1]));
        for (; length - at >= 16; at += 16) {
            __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
            __m128i hits =
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, first), _mm_cmpeq_epi8(block, second)),
                             _mm_cmpeq_epi8(block, third));
            unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(hits));
            if (bits)
                return at + static_cast<std::size_t>(__builtin_ctz(bits));
        }
    }
#endif
    for (; at < length; ++at) {
        if (m_members[text[at]])
            return at;
    }
    return kRegExpNotFound;
}
