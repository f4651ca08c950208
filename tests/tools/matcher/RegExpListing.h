// A readable listing of a compiled program, for tests: "Call 2; Advance;
// Symbol a; Match". Symbols and set members print as themselves when
// printable, else as \xHH; a set prints its members as ranges ("Range a-c").
#pragma once

#include <cstdio>
#include <string>

#include "Wayscribe/tools/matcher/CRegExp.h"

namespace wys::test {

inline std::string ListingByte(unsigned byte)
{
    if (byte > 32 && byte < 127)
        return std::string(1, static_cast<char>(byte));
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", byte);
    return hex;
}

inline std::string ListingSet(const RegExpInstruction* setInstruction)
{
    std::string members;
    for (unsigned byte = 0; byte < 256;) {
        if (!RegExpSetHas(setInstruction, static_cast<unsigned char>(byte))) {
            ++byte;
            continue;
        }
        unsigned last = byte;
        while (last + 1 < 256 && RegExpSetHas(setInstruction, static_cast<unsigned char>(last + 1)))
            ++last;
        members += ListingByte(byte);
        if (last > byte)
            members += "-" + ListingByte(last);
        byte = last + 1;
    }
    return members;
}

inline std::string Listing(const CRegExp& expression)
{
    auto program = expression.Instructions();
    std::string text;
    for (std::size_t ip = 0; ip < program.size(); ++ip) {
        const RegExpInstruction& instruction = program[ip];
        if (!text.empty())
            text += "; ";
        text += RegExpKindName(instruction.kind);
        switch (instruction.kind) {
            case RegExpKind::Symbol:
                text += " " + ListingByte(instruction.operand);
                break;
            case RegExpKind::Range:
            case RegExpKind::NotRange:
                text += " " + ListingSet(&instruction);
                ip += kRegExpSetWords;
                break;
            case RegExpKind::Nop:
            case RegExpKind::Any:
            case RegExpKind::PushCharPos:
            case RegExpKind::PopCharPos:
            case RegExpKind::Return:
            case RegExpKind::Fail:
            case RegExpKind::Advance:
            case RegExpKind::Match:
                break;
            default:
                text += " " + std::to_string(instruction.operand);
                break;
        }
    }
    return text;
}

}  // namespace wys::test
