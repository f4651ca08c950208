#include "platform/registry/HiveText.h"

#include <cstdint>
#include <cstdio>
#include <optional>

#include "platform/base/AsciiText.h"
#include "platform/com/Utf.h"
#include "platform/registry/Registry.h"

namespace wys::registry {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

constexpr std::string_view kBlanks = " \t\r";

bool IsBlank(char c)
{
    return kBlanks.find(c) != std::string_view::npos;
}

void AppendEscapedByte(std::string& out, unsigned char byte)
{
    out += "\\x";
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0xF];
}

// The quoted form of `text`; bytes outside UTF-8 are escaped so that the file
// stays UTF-8 and the bytes still come back exactly.
std::string Quote(std::string_view text)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = Utf8SequenceLength(text, i);
        if (length == 0 || byte < 0x20 || byte == 0x7F) {
            AppendEscapedByte(out, byte);
            ++i;
            continue;
        }
        if (byte == '\\' || byte == '"')
            out += '\\';
        out.append(text.substr(i, length));
        i += length;
    }
    out += '"';
    return out;
}

std::string HexBytes(std::string_view data)
{
    std::string out;
    out.reserve(data.size() * 3);
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i)
            out += ',';
        auto byte = static_cast<unsigned char>(data[i]);
        out += kHexDigits[byte >> 4];
        out += kHexDigits[byte & 0xF];
    }
    return out;
}

std::uint64_t LittleEndian(std::string_view data)
{
    std::uint64_t value = 0;
    for (std::size_t i = data.size(); i-- > 0;)
        value = (value << 8) | static_cast<unsigned char>(data[i]);
    return value;
}

// A string value with exactly one NUL, at its end, and UTF-8 text before it.
bool IsPlainString(std::string_view data)
{
    if (data.empty() || data.back() != '\0')
        return false;
    data.remove_suffix(1);
    return data.find('\0') == std::string_view::npos && IsUtf8(data);
}

// Non-empty UTF-8 strings, each with its NUL, then a final NUL.
bool IsPlainMultiString(std::string_view data)
{
    if (data.empty() || data.back() != '\0')
        return false;
    data.remove_suffix(1);
    while (!data.empty()) {
        std::size_t end = data.find('\0');
        if (end == 0 || end == std::string_view::npos || !IsUtf8(data.substr(0, end)))
            return false;
        data.remove_prefix(end + 1);
    }
    return true;
}

std::string FormatMultiString(std::string_view data)
{
    std::string out = "multi_sz:";
    data.remove_suffix(1);
    bool first = true;
    while (!data.empty()) {
        std::size_t end = data.find('\0');
        if (!first)
            out += ',';
        out += Quote(data.substr(0, end));
        data.remove_prefix(end + 1);
        first = false;
    }
    return out;
}

// Reads the parts of one line from left to right.
class CLineReader {
public:
    explicit CLineReader(std::string_view line) : m_rest(line) {}

    bool AtEnd() const { return m_rest.empty(); }
    void SkipBlanks()
    {
        while (!m_rest.empty() && IsBlank(m_rest.front()))
            m_rest.remove_prefix(1);
    }
    bool Take(char c)
    {
        if (m_rest.empty() || m_rest.front() != c)
            return false;
        m_rest.remove_prefix(1);
        return true;
    }
    // Up to (not including) `stop`, which is consumed; nullopt without it.
    std::optional<std::string_view> TakeUntil(char stop)
    {
        std::size_t end = m_rest.find(stop);
        if (end == std::string_view::npos)
            return std::nullopt;
        std::string_view part = m_rest.substr(0, end);
        m_rest.remove_prefix(end + 1);
        return part;
    }

    bool Quoted(std::string& out)
    {
        out.clear();
        if (!Take('"'))
            return false;
        while (!m_rest.empty()) {
            char c = m_rest.front();
            m_rest.remove_prefix(1);
            if (c == '"')
                return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_rest.empty())
                return false;
            char escape = m_rest.front();
            m_rest.remove_prefix(1);
            switch (escape) {
                case '\\':
                case '"':
                    out += escape;
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'x': {
                    int high = m_rest.size() >= 2 ? wys::base::HexDigitValue(m_rest[0]) : -1;
                    int low = m_rest.size() >= 2 ? wys::base::HexDigitValue(m_rest[1]) : -1;
                    if (high < 0 || low < 0)
                        return false;
                    out += static_cast<char>(high * 16 + low);
                    m_rest.remove_prefix(2);
                    break;
                }
                default:
                    return false;
            }
        }
        return false;  // no closing quote: the line was cut short
    }

    // Comma-separated pairs of hex digits, to the end of the line.
    bool HexByteList(std::string& out)
    {
        out.clear();
        SkipBlanks();
        if (AtEnd())
            return true;
        for (;;) {
            SkipBlanks();
            int high = m_rest.size() >= 2 ? wys::base::HexDigitValue(m_rest[0]) : -1;
            int low = m_rest.size() >= 2 ? wys::base::HexDigitValue(m_rest[1]) : -1;
            if (high < 0 || low < 0)
                return false;
            out += static_cast<char>(high * 16 + low);
            m_rest.remove_prefix(2);
            SkipBlanks();
            if (AtEnd())
                return true;
            if (!Take(','))
                return false;
        }
    }

    bool HexNumber(std::size_t maxDigits, std::uint64_t& value)
    {
        value = 0;
        std::size_t digits = 0;
        while (!m_rest.empty() && wys::base::HexDigitValue(m_rest.front()) >= 0) {
            if (++digits > maxDigits)
                return false;
            value = value * 16 + static_cast<std::uint64_t>(wys::base::HexDigitValue(m_rest.front()));
            m_rest.remove_prefix(1);
        }
        return digits > 0;
    }

private:
    std::string_view m_rest;
};

std::string LittleEndianBytes(std::uint64_t value, std::size_t size)
{
    std::string out(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

bool EqualsLower(std::string_view token, std::string_view lower)
{
    return NamesEqual(token, lower);
}

// The type and bytes after "name=", or false when they do not read.
bool ParseValueData(CLineReader& reader, HiveValue& value)
{
    std::optional<std::string_view> token = reader.TakeUntil(':');
    if (!token)
        return false;
    std::string_view type = wys::base::TrimAscii(*token, kBlanks);
    reader.SkipBlanks();
    std::string text;
    if (EqualsLower(type, "sz") || EqualsLower(type, "expand_sz")) {
        if (!reader.Quoted(text))
            return false;
        value.type = EqualsLower(type, "sz") ? REG_SZ : REG_EXPAND_SZ;
        value.data = text + '\0';
    } else if (EqualsLower(type, "multi_sz")) {
        value.type = REG_MULTI_SZ;
        value.data.clear();
        while (!reader.AtEnd()) {
            if (!reader.Quoted(text) || text.empty())
                return false;
            value.data += text + '\0';
            reader.SkipBlanks();
            if (!reader.AtEnd() && !reader.Take(','))
                return false;
            reader.SkipBlanks();
        }
        value.data += '\0';
    } else if (EqualsLower(type, "dword") || EqualsLower(type, "qword")) {
        bool isDword = EqualsLower(type, "dword");
        std::uint64_t number;
        if (!reader.HexNumber(isDword ? 8 : 16, number))
            return false;
        value.type = isDword ? REG_DWORD : REG_QWORD;
        value.data = LittleEndianBytes(number, isDword ? 4 : 8);
    } else if (EqualsLower(type, "binary")) {
        value.type = REG_BINARY;
        if (!reader.HexByteList(value.data))
            return false;
    } else if (type.size() > 5 && EqualsLower(type.substr(0, 4), "hex(") && type.back() == ')') {
        CLineReader number(type.substr(4, type.size() - 5));
        std::uint64_t typeNumber;
        if (!number.HexNumber(8, typeNumber) || !number.AtEnd())
            return false;
        value.type = static_cast<DWORD>(typeNumber);
        if (!reader.HexByteList(value.data))
            return false;
    } else {
        return false;
    }
    reader.SkipBlanks();
    return reader.AtEnd();
}

bool ParseValueLine(std::string_view line, HiveValue& value)
{
    CLineReader reader(line);
    if (reader.Take('@')) {
        value.name.clear();
    } else if (!reader.Quoted(value.name) || value.name.empty() || value.name.size() > kMaxValueNameLength ||
               value.name.find('\0') != std::string::npos) {
        // An empty quoted name would be a second spelling of '@'; a name with a
        // NUL could never be asked for.
        return false;
    }
    reader.SkipBlanks();
    if (!reader.Take('='))
        return false;
    reader.SkipBlanks();
    return ParseValueData(reader, value);
}

void AppendValues(std::string& out, const CHiveKey& key)
{
    for (const HiveValue& value : key.Values()) {
        out += value.name.empty() ? std::string("@") : Quote(value.name);
        out += '=';
        out += FormatValueData(value.type, value.data);
        out += '\n';
    }
}

void AppendKey(std::string& out, const CHiveKey& key, const std::string& path)
{
    out += "\n[" + path + "]\n";
    AppendValues(out, key);
    for (const CHiveKey& subkey : key.Subkeys())
        AppendKey(out, subkey, path + '\\' + subkey.Name());
}

}  // namespace

std::string FormatValueData(DWORD type, std::string_view data)
{
    char number[32];
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            if (IsPlainString(data))
                return (type == REG_SZ ? "sz:" : "expand_sz:") + Quote(data.substr(0, data.size() - 1));
            break;
        case REG_MULTI_SZ:
            if (IsPlainMultiString(data))
                return FormatMultiString(data);
            break;
        case REG_DWORD:
            if (data.size() == 4) {
                std::snprintf(number, sizeof number, "dword:%08llx",
                              static_cast<unsigned long long>(LittleEndian(data)));
                return number;
            }
            break;
        case REG_QWORD:
            if (data.size() == 8) {
                std::snprintf(number, sizeof number, "qword:%016llx",
                              static_cast<unsigned long long>(LittleEndian(data)));
                return number;
            }
            break;
        case REG_BINARY:
            return "binary:" + HexBytes(data);
        default:
            break;
    }
    std::snprintf(number, sizeof number, "hex(%x):", static_cast<unsigned>(type));
    return number + HexBytes(data);
}

std::string FormatHiveText(const CHiveKey& root, std::string_view hiveName)
{
    std::string out = "; Wayscribe registry hive ";
    out.append(hiveName);
    out +=
        "\n; [key\\path] lines start keys, \"name\"=type:data lines set their values; types:"
        " sz, expand_sz, multi_sz, dword, qword, binary, hex(type).\n";
    if (!root.Values().empty()) {
        out += "\n[]\n";
        AppendValues(out, root);
    }
    for (const CHiveKey& subkey : root.Subkeys())
        AppendKey(out, subkey, subkey.Name());
    return out;
}

ParsedHive ParseHiveText(std::string_view text)
{
    ParsedHive parsed;
    CHiveKey* current = nullptr;  // null before the first key line and after a bad one
    std::vector<std::string> path;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        // Files written here end with LF; a last line without it may have been
        // cut short, so it is counted even when it reads.
        bool maybeCut = end == std::string_view::npos;
        std::string_view line = wys::base::TrimAscii(text.substr(0, end), kBlanks);
        text.remove_prefix(maybeCut ? text.size() : end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        bool sound;
        if (line.front() == '[') {
            sound = line.size() >= 2 && line.back() == ']' &&
                    SplitKeyPath(line.substr(1, line.size() - 2), path) &&
                    (line.size() == 2 || line[line.size() - 2] != '\\');
            current = nullptr;
            if (sound) {
                current = &parsed.root;
                for (const std::string& name : path)
                    current = &current->AddSubkey(name);
            }
        } else {
            HiveValue value;
            sound = current && ParseValueLine(line, value);
            if (sound) {
                if (current->FindValue(value.name))
                    ++parsed.unsoundLines;  // the earlier line is overridden
                current->SetValue(value.name, value.type, std::move(value.data));
            }
        }
        if (!sound || maybeCut)
            ++parsed.unsoundLines;
    }
    return parsed;
}

}  // namespace wys::registry
