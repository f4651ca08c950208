#include "platform/mime/MimeCodec.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Lines(const std::string& encoded)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < encoded.size()) {
        std::size_t end = encoded.find("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back(encoded.substr(pos));
            break;
        }
        lines.push_back(encoded.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

// Every encoded text: printable ASCII and tabs in lines of at most 76, CRLF line ends.
void ExpectWellFormed(const std::string& encoded)
{
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(encoded[i]);
        bool lineEnd = (c == '\r' && i + 1 < encoded.size() && encoded[i + 1] == '\n') ||
                       (c == '\n' && i > 0 && encoded[i - 1] == '\r');
        bool printable = c == '\t' || (c >= 0x20 && c < 0x7F);
        ASSERT_TRUE(lineEnd || printable) << "byte " << int(c) << " at " << i;
    }
    for (const std::string& line : Lines(encoded)) {
        EXPECT_LE(line.size(), 76u) << line;
        EXPECT_FALSE(line.ends_with(" ") || line.ends_with("\t")) << line;
    }
}

std::string RandomBytes(std::mt19937& random, std::size_t size, bool textual)
{
    const std::string alphabet = "ab =<>\"/.\r\n\t";
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = textual ? alphabet[random() % alphabet.size()] : static_cast<char>(random() & 0xFF);
    return bytes;
}

}  // namespace

TEST(MimeCodec, Base64MatchesTheStandardVectorsAndWrapsLines)
{
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},
        {"f", "Zg==\r\n"},
        {"fo", "Zm8=\r\n"},
        {"foo", "Zm9v\r\n"},
        {"foob", "Zm9vYg==\r\n"},
        {"fooba", "Zm9vYmE=\r\n"},
        {"foobar", "Zm9vYmFy\r\n"},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(Base64Encode(plain), encoded) << plain;
        EXPECT_EQ(Base64Decode(encoded), plain) << plain;
    }
    std::string long57(57, 'x'), long58(58, 'x');
    EXPECT_EQ(Lines(Base64Encode(long57)).size(), 1u);
    EXPECT_EQ(Lines(Base64Encode(long58)).size(), 2u);
    EXPECT_EQ(Base64Decode("Zm9v\r\nYmFy\r\n"), "foobar");
    EXPECT_EQ(Base64Decode("Zm9v Ym*Fy"), "foobar");
}

TEST(MimeCodec, BinaryRoundTripsThroughBase64)
{
    std::mt19937 random(7);
    std::string every;
    for (int i = 0; i < 256; ++i)
        every += static_cast<char>(i);
    for (std::size_t size : {0u, 1u, 2u, 3u, 56u, 57u, 58u, 1000u, 65537u}) {
        std::string bytes =
            size == 1000 ? every + RandomBytes(random, 744, false) : RandomBytes(random, size, false);
        std::string encoded = Base64Encode(bytes);
        ExpectWellFormed(encoded);
        EXPECT_EQ(Base64Decode(encoded), bytes) << "size " << size;
    }
}

TEST(MimeCodec, QuotedPrintableEscapesWhatItMust)
{
    struct Case {
        std::string plain;
        std::string encoded;
    } cases[] = {
        {"plain text", "plain text"},
        {"a=b", "a=3Db"},
        {"tail \r\nnext", "tail=20\r\nnext"},
        {"tab\t", "tab=09"},
        {"caf\xC3\xA9", "caf=C3=A9"},
        {"line\nbreak", "line=0A=\r\nbreak"},
        {"bare\rcr", "bare=0Dcr"},
        {std::string("nul\0byte", 8), "nul=00byte"},
        {"a\r\n\r\nb", "a\r\n\r\nb"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(QuotedPrintableEncode(c.plain), c.encoded) << c.plain;
        EXPECT_EQ(QuotedPrintableDecode(c.encoded), c.plain) << c.encoded;
    }
    // Readers' leniency: lower-case hex, stray '=', padding before line ends,
    // soft breaks ended by a bare LF.
    EXPECT_EQ(QuotedPrintableDecode("=c3=a9 =ZZ x= \r\ny=\nz  \r\n"), "\xC3\xA9 =ZZ xyz\r\n");
}

TEST(MimeCodec, QuotedPrintableRoundTripsLongLinesAndKeepsQuotedValuesWhole)
{
    std::string html = "<html><body>";
    for (int i = 0; i < 40; ++i)
        html += "<img src=\"images/picture-" + std::to_string(i) + ".png\" alt=\"x = y\" width=10>";
    html += "</body></html>\r\n";
    std::string encoded = QuotedPrintableEncode(html);
    ExpectWellFormed(encoded);
    EXPECT_EQ(QuotedPrintableDecode(encoded), html);
    // The capture finds the references it knows in the saved text as written.
    for (int i = 0; i < 40; ++i) {
        std::string spelling = "\"images/picture-" + std::to_string(i) + ".png\"";
        EXPECT_NE(encoded.find(spelling), std::string::npos) << spelling;
    }

    std::string unbroken(300, 'x');
    encoded = QuotedPrintableEncode(unbroken);
    ExpectWellFormed(encoded);
    EXPECT_EQ(QuotedPrintableDecode(encoded), unbroken);

    std::string equals(200, '=');
    encoded = QuotedPrintableEncode(equals);
    ExpectWellFormed(encoded);
    EXPECT_EQ(QuotedPrintableDecode(encoded), equals);
}

TEST(MimeCodec, QuotedPrintableRoundTripsAnyBytes)
{
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        bool textual = round % 2 == 0;
        std::string bytes = RandomBytes(random, random() % 600, textual);
        std::string encoded = QuotedPrintableEncode(bytes);
        ExpectWellFormed(encoded);
        ASSERT_EQ(QuotedPrintableDecode(encoded), bytes) << "round " << round;
    }
}
