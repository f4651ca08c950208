// Input: one flag byte (bit 0: ignore case), then the expression, a NUL, and
// the text (which may hold further NULs; it ends at the first). Without a
// NUL the expression is matched against itself.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Wayscribe/tools/matcher/CRegExp.h"
#include "tests/tools/matcher/RegExpReference.h"

namespace {

std::string Describe(bool matched, const CRegExpMatch& context)
{
    std::string text = matched ? "match" : "no";
    auto add = [&text](CRegExpMatch::Span span) {
        text += " " + std::to_string(span.start) + "-" + std::to_string(span.end);
    };
    add(context.Whole());
    for (std::uint32_t g = 0; g < context.GroupCount(); ++g)
        add(context.Group(g));
    return text;
}

std::string Describe(wys::test::ReferenceRegExp::Answer answer, const wys::test::ReferenceRegExp& reference)
{
    std::string text = answer == wys::test::ReferenceRegExp::Answer::Match ? "match" : "no";
    auto add = [&text](wys::test::ReferenceRegExp::Span span) {
        text += " " + std::to_string(span.start) + "-" + std::to_string(span.end);
    };
    add(reference.Whole());
    for (const auto& group : reference.Groups())
        add(group);
    return text;
}

[[noreturn]] void Disagree(const char* what, const std::string& a, const std::string& b)
{
    std::fprintf(stderr, "%s disagree: %s / %s\n", what, a.c_str(), b.c_str());
    std::abort();
}

bool Finished(const CRegExpMatch& context)
{
    return context.Outcome() == RegExpOutcome::Match || context.Outcome() == RegExpOutcome::NoMatch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const RegExpCase mode = (data[0] & 1) ? RegExpCase::Insensitive : RegExpCase::Sensitive;
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::size_t nul = rest.find('\0');
    std::string expression = rest.substr(0, nul);
    std::string text = nul == std::string::npos ? expression : rest.substr(nul + 1);

    CRegExp re;
    RegExpParseError error = re.Parse(expression.c_str(), mode);

    // Short expressions also go through the reference, parse codes included.
    const bool checkReference = expression.size() <= 64 && text.size() <= 64;
    wys::test::ReferenceRegExp reference;
    if (checkReference && error != RegExpParseError::TooDeep && error != RegExpParseError::OutOfMemory) {
        int expected = reference.Parse(expression, mode == RegExpCase::Insensitive);
        if (expected != static_cast<int>(error))
            Disagree("parse codes", std::to_string(expected), RegExpParseErrorName(error));
    }
    if (error != RegExpParseError::ParseOk)
        return 0;

    CRegExpMatch plain;
    plain.SetStrategy(RegExpStrategy::Plain);
    plain.SetInstructionLimit(1 << 18);
    plain.SetStackLimit(1 << 18);
    CRegExpMatch fast;
    fast.SetInstructionLimit(1 << 18);
    fast.SetStackLimit(1 << 18);
    bool plainMatched = re.Match(text, plain);
    bool fastMatched = re.Match(text, fast);
    if (!Finished(plain) || !Finished(fast))
        return 0;
    std::string got = Describe(plainMatched, plain);
    if (Describe(fastMatched, fast) != got)
        Disagree("fast and plain", Describe(fastMatched, fast), got);
    if (checkReference) {
        auto answer = reference.Match(text, 20000);
        if (answer != wys::test::ReferenceRegExp::Answer::GaveUp && Describe(answer, reference) != got)
            Disagree("reference and plain", Describe(answer, reference), got);
    }
    return 0;
}
