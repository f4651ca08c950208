#include "platform/mime/MimeCodec.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "platform/base/AsciiText.h"

namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kHex[] = "0123456789ABCDEF";
constexpr std::size_t kLineLimit = 76;

int Base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// Writes quoted-printable lines, moving the start of a new line back to the
// last good break point when one lies on the current line.
class QuotedPrintableWriter {
public:
    // Text grows by its soft breaks and escapes, among them the "=0A=" and
    // line break of every line that ends in a lone LF.
    explicit QuotedPrintableWriter(std::size_t expected) { m_out.reserve(expected + expected / 4); }

    // An escape ("=XX"), never a break point.
    void Escape(std::string_view token)
    {
        MakeRoom(token.size());
        m_out.append(token);
        m_column += token.size();
    }
    // Literal characters (none escaped); spaces and '>' are break points.
    void Literal(std::string_view text)
    {
        while (!text.empty()) {
            MakeRoom(1);
            // What fits on the line goes in one piece; of its break points
            // only the last counts.
            std::string_view piece = text.substr(0, std::min(kLineLimit - 1 - m_column, text.size()));
            const std::size_t start = m_out.size();
            m_out.append(piece);
            m_column += piece.size();
            for (std::size_t k = piece.size(); k-- > 0;) {
                if (piece[k] == ' ' || piece[k] == '>') {
                    m_breakAt = start + k + 1;
                    m_breakColumn = m_column - (piece.size() - k - 1);
                    break;
                }
            }
            text.remove_prefix(piece.size());
        }
    }
    void HardBreak()
    {
        m_out += "\r\n";
        Reset();
    }
    // Ends the line at once, where a lone LF was written.
    void ForcedSoftBreak()
    {
        m_out += "=\r\n";
        Reset();
    }
    std::string Take() { return std::move(m_out); }

private:
    // A line holds `size` more bytes and still leaves room for a soft
    // break's '='.
    void MakeRoom(std::size_t size)
    {
        if (m_column + size > kLineLimit - 1) {
            SoftBreak();
            // What followed the break point may itself leave no room.
            if (m_column + size > kLineLimit - 1) {
                m_out += "=\r\n";
                m_column = 0;
            }
        }
    }
    void SoftBreak()
    {
        if (m_breakAt != std::string::npos && m_breakColumn > 0) {
            m_out.insert(m_breakAt, "=\r\n");
            m_column -= m_breakColumn;
        } else {
            m_out += "=\r\n";
            m_column = 0;
        }
        m_breakAt = std::string::npos;
    }
    void Reset()
    {
        m_column = 0;
        m_breakAt = std::string::npos;
    }

    std::string m_out;
    std::size_t m_column = 0;
    std::size_t m_breakAt = std::string::npos;  // offset in m_out just after a break point
    std::size_t m_breakColumn = 0;
};

}  // namespace

std::string Base64Encode(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 4 / 3 + bytes.size() / 57 * 2 + 8);
    std::size_t column = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = static_cast<std::uint8_t>(bytes[i]) << 16;
        std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        if (n > 1)
            group |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
        if (n > 2)
            group |= static_cast<std::uint8_t>(bytes[i + 2]);
        out += kBase64[(group >> 18) & 63];
        out += kBase64[(group >> 12) & 63];
        out += n > 1 ? kBase64[(group >> 6) & 63] : '=';
        out += n > 2 ? kBase64[group & 63] : '=';
        column += 4;
        if (column == kLineLimit) {
            out += "\r\n";
            column = 0;
        }
    }
    if (column > 0)
        out += "\r\n";
    return out;
}

std::string Base64Decode(std::string_view text)
{
    std::string out;
    out.reserve(text.size() * 3 / 4);
    std::uint32_t group = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=')
            break;
        int value = Base64Value(c);
        if (value < 0)
            continue;
        group = (group << 6) | static_cast<std::uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((group >> bits) & 0xFF);
        }
    }
    return out;
}

std::string QuotedPrintableEncode(std::string_view bytes)
{
    // 1: written as it is; 2: so unless it ends a line, where a space or
    // tab would be taken for padding; 0: escaped.
    static constexpr auto kClass = [] {
        std::array<std::uint8_t, 256> classes{};
        for (int c = 33; c <= 126; ++c)
            classes[c] = c == '=' ? 0 : 1;
        classes[' '] = classes['\t'] = 2;
        return classes;
    }();
    const auto literal = [bytes](std::size_t i) {
        std::uint8_t type = kClass[static_cast<unsigned char>(bytes[i])];
        if (type != 2)
            return type == 1;
        return !(i + 1 == bytes.size() || bytes[i + 1] == '\n' ||
                 (bytes[i + 1] == '\r' && i + 2 < bytes.size() && bytes[i + 2] == '\n'));
    };
    QuotedPrintableWriter writer(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (literal(i)) {
            std::size_t end = i + 1;
            while (end < bytes.size() && literal(end))
                ++end;
            writer.Literal(bytes.substr(i, end - i));
            i = end - 1;
            continue;
        }
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            writer.HardBreak();
            ++i;
            continue;
        }
        const char token[3] = {'=', kHex[c >> 4], kHex[c & 15]};
        writer.Escape(std::string_view(token, 3));
        if (c == '\n')
            writer.ForcedSoftBreak();
    }
    return writer.Take();
}

std::string QuotedPrintableDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t end = text.find('\n', i);
        bool lastLine = end == std::string_view::npos;
        std::string_view line = text.substr(i, lastLine ? std::string_view::npos : end - i);
        i = lastLine ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        bool soft = !line.empty() && line.back() == '=';
        if (soft)
            line.remove_suffix(1);
        for (std::size_t k = 0; k < line.size(); ++k) {
            if (line[k] == '=') {
                int high = k + 1 < line.size() ? wys::base::HexDigitValue(line[k + 1]) : -1;
                int low = k + 2 < line.size() ? wys::base::HexDigitValue(line[k + 2]) : -1;
                if (high >= 0 && low >= 0) {
                    out += static_cast<char>(high * 16 + low);
                    k += 2;
                    continue;
                }
            }
            out += line[k];
        }
        if (!soft && !lastLine)
            out += "\r\n";
    }
    return out;
}
