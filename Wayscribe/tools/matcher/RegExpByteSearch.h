// Fast searches for where a match can begin: a literal, or one byte of a set.
// Private to the matcher. Every search is exact: it never misses a position
// the plain machine would match at, and it compares with the same case rule
// (when folding, only "A" to "Z" are taken as "a" to "z").
#pragma once

#include <array>
#include <cstddef>
#include <string>

inline constexpr std::size_t kRegExpNotFound = static_cast<std::size_t>(-1);

// "A" to "Z" onto "a" to "z"; every other byte as it is.
extern const std::array<unsigned char, 256> kRegExpFold;

// Finds a fixed byte string. Candidates come from two of its rarest bytes,
// compared 16 at a time, and are then checked in full.
class RegExpLiteralFinder {
public:
    RegExpLiteralFinder() = default;
    // `bytes` as they appear in the program; with `fold` they are lower case
    // and the text is compared folded.
    RegExpLiteralFinder(std::string bytes, bool fold);

    bool Empty() const { return m_bytes.empty(); }
    std::size_t Length() const { return m_bytes.size(); }
    const std::string& Bytes() const { return m_bytes; }
    // Does the literal occur at `at` (which leaves room for all of it)?
    bool IsAt(const unsigned char* text, std::size_t at) const;
    // First start at or after `from` where the literal occurs whole in the
    // `length` bytes of `text`; kRegExpNotFound when none.
    std::size_t Find(const unsigned char* text, std::size_t length, std::size_t from) const;

private:
    std::string m_bytes;
    bool m_fold = false;
    std::size_t m_rare1 = 0;  // offsets of the two bytes the search keys on
    std::size_t m_rare2 = 0;
};

// Finds a byte that belongs to a set (membership already widened for
// folding, so raw text bytes are looked up as they are).
class RegExpByteSetFinder {
public:
    RegExpByteSetFinder() = default;
    explicit RegExpByteSetFinder(const std::array<bool, 256>& members);

    bool Empty() const { return m_count == 0; }
    bool Full() const { return m_count == 256; }
    std::size_t Find(const unsigned char* text, std::size_t length, std::size_t from) const;

private:
    std::array<bool, 256> m_members{};
    unsigned m_count = 0;
    unsigned char m_few[3] = {};  // the members when there are at most three
};
