#include "core/text_convert.h"
#include "core/text_string.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

TEST(TextConvert, ParseNumberOrColor)
{
    struct Case {
        const char* text;
        int value;
    };
    const Case cases[] = {
        {"#FF8000", 0xFF8000}, {"0x1f", 31},     {"0X1F", 0},          {"-12abc", -12},  {"+7", 7},
        {"42", 42},            {"navy", 0x80},   {"Fuchsia", 0xFF00FF}, {"SILVER", 0xC0C0C0},
        {"navyblue", 0},       {"orange", 0},    {"", 0},              {" 12", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseNumberOrColor(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(ParseNumberOrColor(nullptr), 0);
    EXPECT_EQ(ParseNumber(CTexto("Teal")), 0x008080);
    EXPECT_EQ(ParseNumber("#10"), 16);
}

TEST(TextConvert, HexToIntDoesNotValidate)
{
    struct Case {
        const char* text;
        int value;
    };
    const Case cases[] = {
        {"#g", 16}, {"ff", 255}, {"FF", 255}, {"0x10", 16}, {"#", 0}, {"", 0}, {"#7fffffff", 0x7fffffff},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HexToInt(c.text), c.value) << c.text;
    EXPECT_EQ(HexToInt(nullptr), 0);
    EXPECT_EQ(ParseHex("#0000FF"), 0xFF);
}

TEST(TextConvert, ParseFloat)
{
    struct Case {
        const char* text;
        float value;
    };
    const Case cases[] = {
        {"1.5", 1.5f},   {"-2.25", -2.25f}, {"  +3", 3.0f}, {"1e3", 1000.0f}, {".5", 0.5f},
        {"7.", 7.0f},    {"1,5", 1.0f},     {"abc", 0.0f},  {"--1", 0.0f},    {"", 0.0f},
        {"12px", 12.0f}, {"1e-400", 0.0f},  {"0.1", 0.1f},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseFloat(c.text), c.value) << c.text;
    EXPECT_EQ(ParseFloat(nullptr), 0.0f);
    EXPECT_TRUE(std::isinf(ParseFloat("1e400")) && ParseFloat("1e400") > 0);
    EXPECT_TRUE(std::isinf(ParseFloat("-1e400")) && ParseFloat("-1e400") < 0);
}

TEST(TextConvert, ParseFloatIgnoresUserLocale)
{
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "German_Germany.1252") && !std::setlocale(LC_NUMERIC, "de-DE"))
        GTEST_SKIP() << "no German locale";
    const double crt = std::atof("1.5");   // the run-time library now stops at the '.'
    const float ours = ParseFloat("1.5");
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(crt, 1.0);
    EXPECT_EQ(ours, 1.5f);
}

TEST(TextConvert, CodePages)
{
    // Tests run with the ANSI code page 1252.
    wchar_t wide[16];
    EXPECT_EQ(AnsiToWide(wide, "caf\xE9 \x80", 16), 7);
    EXPECT_STREQ(wide, L"caf\u00e9 \u20ac");

    // Too small: nothing written.
    wchar_t small[4] = {L'k', L'e', L'e', L'p'};
    EXPECT_EQ(AnsiToWide(small, "abcd", 4), 0);
    EXPECT_EQ(small[0], L'k');
    EXPECT_EQ(AnsiToWide(small, "abc", 0), 0);
    EXPECT_EQ(AnsiToWide(small, "abc", 4), 4);  // ASCII exactly fitting, terminator included
    EXPECT_STREQ(small, L"abc");
    EXPECT_EQ(AnsiToWide(nullptr, "abc", 4), 0);

    // UTF-8 through an explicit code page, source count without the terminator.
    wchar_t utf[8] = {};
    EXPECT_EQ(MultiByteToWideBuffer(CP_UTF8, utf, "\xC3\xA9t\xC3\xA9", 5, 8), 3);
    EXPECT_EQ(std::wstring(utf, 3), L"\u00e9t\u00e9");
    char bytes[8] = {};
    EXPECT_EQ(WideToMultiByte(CP_UTF8, bytes, L"\u20ac", 1, 8), 3);
    EXPECT_EQ(std::string(bytes, 3), "\xE2\x82\xAC");
    EXPECT_EQ(WideToMultiByte(CP_UTF8, bytes, L"\u20ac", 1, 2), 0);

    char ansi[16];
    EXPECT_EQ(WideToAnsi(ansi, L"na\u00efve \u4e2d", 16), 8);
    EXPECT_STREQ(ansi, "na\xEFve ?");   // unmappable: the default character

    // Cut to the destination and still terminated.
    char cut[4];
    std::memset(cut, 'x', sizeof cut);
    EXPECT_EQ(WideToAnsi(cut, L"abcdef", 4), 4);
    EXPECT_STREQ(cut, "abc");
    EXPECT_EQ(WideToAnsi(cut, L"abc", 0), 0);

    char narrow[8];
    EXPECT_STREQ(WideToNarrow(narrow, L"a\u0142\u00e9"), "aB\xE9");

    EXPECT_EQ(WideLength(L"abcdef"), 6);
    EXPECT_EQ(WideLength(L"abcdef", 4), 3);
    EXPECT_EQ(WideLength(L"ab", 10), 2);
    EXPECT_EQ(WideLength(nullptr), 0);
}

TEST(TextConvert, TextHelpers)
{
    char four[4];
    EXPECT_STREQ(CopyText(four, "abcdef", 4), "abc");
    EXPECT_STREQ(CopyText(four, nullptr, 4), "");
    char one[1] = {'x'};
    CopyText(one, "abc", 1);
    EXPECT_EQ(one[0], 0);

    char text[] = "a.b.c";
    EXPECT_EQ(ReplaceChar(text, '.', '/'), 2);
    EXPECT_STREQ(text, "a/b/c");
    EXPECT_EQ(ReplaceChar(text, '/', 0), 1);   // ends the text at the first replacement
    EXPECT_STREQ(text, "a");
    EXPECT_EQ(ReplaceChar(text, 0, 'x'), 0);

    char mixed[] = "ABC\xC9" "DEF";
    ToLowerN(mixed, 5);
    EXPECT_STREQ(mixed, "abc\xC9" "dEF");
}

TEST(TextConvert, NormalizeUrl)
{
    struct Case {
        const char* source;
        bool escape;
        const char* result;
    };
    const Case cases[] = {
        {"C:\\a\\b\\..\\c", false, "C:\\a\\c"},
        {"http://host/a/./b", false, "http://host/a/b"},
        {"a/./b/../c", false, "a/c"},
        {"a b?c d", true, "a%20b?c d"},
        {"a b#c d", true, "a%20b#c d"},
        {"a b", false, "a b"},
        {"a/../../x", false, "a/../../x"},          // nothing written before: kept
        {"a/b/c/../../d", false, "a/d"},
        {"a/b/..\\c", false, "a/b/..\\c"},          // mixed separators are no segment
        // ".." never climbs above a host or a drive or UNC root.
        {"http://example.com/tour/../../evil.com/x.jpg", false, "http://example.com/../evil.com/x.jpg"},
        {"http://example.com/../evil.com/x", false, "http://example.com/../evil.com/x"},
        {"http://example.com/a/b/../../c", false, "http://example.com/c"},
        {"http://user@example.com:8080/a/../b", false, "http://user@example.com:8080/b"},
        {"C:\\a\\..\\..\\Windows", false, "C:\\..\\Windows"},
        {"\\\\server\\share\\a\\..\\..\\x", false, "\\\\server\\share\\..\\x"},
        {"//server/share/../other/x", false, "//server/share/../other/x"},
        {"file:///C:/tour/../../x", false, "file:///C:/../x"},
    };
    for (const Case& c : cases) {
        char out[128];
        const int written = NormalizeUrl(out, c.source, sizeof out, c.escape);
        EXPECT_STREQ(out, c.result) << c.source;
        EXPECT_EQ(written, static_cast<int>(std::strlen(c.result))) << c.source;
        // A measurement is an upper bound of what is written, terminator included.
        EXPECT_GE(NormalizeUrl(nullptr, c.source, 0, c.escape), written + 1) << c.source;
    }

    EXPECT_EQ(NormalizeUrl(nullptr, "a b", 0, true), 6);
    EXPECT_EQ(NormalizeUrl(nullptr, "a/b/../c", 0, false), 9);

    // Cut to the destination.
    char five[5];
    EXPECT_EQ(NormalizeUrl(five, "abcdefgh", 5, false), 5);
    EXPECT_STREQ(five, "abcd");
    char none[1] = {'x'};
    EXPECT_EQ(NormalizeUrl(none, "abc", 0, false), 0);
    EXPECT_EQ(none[0], 'x');
}

TEST(TextConvert, UrlToPath)
{
    struct Case {
        const char* source;
        bool folderOnly;
        const char* result;
        int length;
    };
    const Case cases[] = {
        {"C|/tours/x.kzr", true, "C:\\tours\\", 14},
        {"http://host/a%20b/c.kzr?x=1", true, "http://host/a b/", 25},
        {"http://host/a/b.kzr?u=c/d", true, "http://host/a/", 25},
        {"http://host/a%5Cb", false, "http://host/a/b", 15},
        {"C:/a%5Cb", false, "C:/a\\b", 6},
        {"a%41b%4", false, "aAb%4", 5},
        {"a%zzb%00c", false, "a%zzb%00c", 9},
        {"mk:@MSITStore:C:\\help\\guide.chm::/page.htm", false, "C:\\help\\guide", 13},
        {"Ms-its:C:\\help\\guide.CHM::/a.htm", true, "C:\\help\\", 13},
        {"file.kzr", true, "", 8},
        {"", true, "", 0},
    };
    for (const Case& c : cases) {
        char buffer[128];
        std::strcpy(buffer, c.source);
        EXPECT_EQ(UrlToPath(buffer, c.folderOnly), c.length) << c.source;
        EXPECT_STREQ(buffer, c.result) << c.source;
    }
    EXPECT_EQ(UrlToPath(nullptr, true), 0);
}

} // namespace
