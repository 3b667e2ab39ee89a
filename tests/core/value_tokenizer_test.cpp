#include "core/value_tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/text_string.h"

namespace {

// Every field of a text read the way the script readers do: from position -1, passing each
// result back, until the result reaches the text's length.
std::vector<std::string> Fields(const char* text, char separator = kFieldSeparatorComma,
                                bool keepSpaces = false, bool escapes = false)
{
    std::vector<std::string> fields;
    int length = static_cast<int>(std::string(text).size());
    int position = -1;
    CTexto field;
    do {
        position = ReadNextField(text, position, field, keepSpaces, separator, escapes);
        fields.emplace_back(field.GetText());
    } while (position < length && fields.size() < 100);
    return fields;
}

using FieldList = std::vector<std::string>;

struct FieldCase {
    const char* text;
    char separator;
    bool keepSpaces;
    bool escapes;
    FieldList expected;
};

TEST(ValueTokenizer, ReadNextFieldTable)
{
    const FieldCase cases[] = {
        {"10,20", 0, false, false, {"10", "20"}},
        {"\"a,b\",c", 0, false, false, {"a,b", "c"}},
        {"'a,b'", 0, false, false, {"a", "b'"}},  // single quotes do not protect separators
        {"Show(a,b),c", 0, false, false, {"Show(a,b)", "c"}},
        {"Don't,x", 0, false, false, {"Don't", "x"}},
        {"it's 'quoted text'", 0, false, false, {"it's'quoted text'"}},  // a quote after text is kept
        {"'single, quoted'", 1, false, false, {"single, quoted"}},
        {"   \"abc\"  ", 0, true, false, {"abc  "}},  // blanks before the opening quote go
        {"\"ab\" cd \"ef\"", 0, false, false, {"ab\"cd\"ef"}},  // only the last closing quote goes
        {" a b ,\tc\r", 0, false, false, {"ab", "c"}},
        {" a b ,\tc\r", 0, true, false, {" a b ", "c"}},
        {"\"x\ty\"", 0, false, false, {"xy"}},  // tabs go even inside quotes
        {"a;b,c;d", ';', false, false, {"a", "b", "c", "d"}},
        {"a;b,c;d", 1, false, false, {"a;b,c;d"}},
        {"a b;c", ' ', true, false, {"a", "b;c"}},
        {"x\\\"y,z", 0, false, false, {"x\"y", "z"}},  // an escaped quote toggles nothing
        {"\\\"a,b\\\"", 0, false, false, {"\"a", "b\""}},
        {"a\\nb\\tc\\\\d\\q", 0, false, true, {"a\nb\tc\\d\\q"}},
        {"a\\nb", 0, false, false, {"a\\nb"}},
        {"(a,(b,c)),d", 0, false, false, {"(a,(b,c))", "d"}},
        {"a),b", 0, false, false, {"a)", "b"}},  // a stray closing parenthesis changes nothing
        {"f(\"x)\",y)", 0, false, false, {"f(\"x)\",y)"}},  // quotes inside parentheses are plain bytes
        {"\"open, never closed", 0, false, false, {"open, never closed"}},
        {"g(open, never closed", 0, false, false, {"g(open,neverclosed"}},
        {",,", 0, false, false, {"", "", ""}},
    };
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Fields(c.text, c.separator, c.keepSpaces, c.escapes), c.expected);
    }
}

TEST(ValueTokenizer, PositionsFollowTheCallingConvention)
{
    CTexto field;
    EXPECT_EQ(ReadNextField("10,20", -1, field), 2);
    EXPECT_STREQ(field.GetText(), "10");
    EXPECT_EQ(ReadNextField("10,20", 2, field), 5);
    EXPECT_STREQ(field.GetText(), "20");
    field = "stale";
    EXPECT_EQ(ReadNextField("10,20", 5, field), 5);
    EXPECT_STREQ(field.GetText(), "");
    EXPECT_EQ(ReadNextField("10,20", 4, field), 5);
    EXPECT_EQ(ReadNextField("10,20", 9, field), 9);
    EXPECT_EQ(ReadNextField("", -1, field), 0);
    EXPECT_EQ(ReadNextField(nullptr, -1, field), 0);
    EXPECT_EQ(ReadNextField("ab", -7, field), 2);  // below -1 reads from the start
    EXPECT_STREQ(field.GetText(), "ab");
}

TEST(ValueTokenizer, CountFieldsTable)
{
    struct Case {
        const char* text;
        char separator;
        int expected;
    } cases[] = {
        {"", ',', 1},
        {"a, (b,c), \"d,e\"", ',', 3},
        {"a,b;c", ';', 2},  // commas count only when they are the separator
        {"a,b", 0, 1},
        {"(x,y),z", ',', 2},
        {"x),y,z", ',', 1},  // the depth goes negative and stays there
        {"\"(\",a,b", ',', 1},  // a parenthesis counts even inside quotes
        {"a b  c", ' ', 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(CountFields(c.text, c.separator), c.expected);
    }
}

TEST(ValueTokenizer, ParseValueListFloats)
{
    struct Case {
        const char* text;
        float value;
        bool percent;
        float suffix;  // 99 = none stored
    } cases[] = {
        {"50%+10", 50, true, 10},
        {"-30", -30, false, 99},
        {"+7", 7, false, 99},
        {"#FF0000", 16711680.0f, false, 99},
        {"1e-5", 1, false, -5},  // the minus after the first byte is an offset
        {"25%-3.5", 25, true, -3.5f},
        {"12.5", 12.5f, false, 99},
        {"", 0, false, 99},
        {"%", 0, true, 99},
        {"abc", 0, false, 99},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        float value = -1;
        uint32_t flags = c.percent ? 0 : 0x40;  // the bit is set or cleared, never left as it was
        float suffix = 99;
        EXPECT_EQ(ParseValueList(c.text, -1, &value, nullptr, 1, ',', &flags, 0x40, &suffix),
                  static_cast<int>(std::string(c.text).size()));
        EXPECT_FLOAT_EQ(value, c.value);
        EXPECT_EQ(flags, c.percent ? 0x40u : 0u);
        EXPECT_FLOAT_EQ(suffix, c.suffix);
    }
}

TEST(ValueTokenizer, ParseValueListRuns)
{
    int32_t integers[4] = {-1, -1, -1, -1};
    const char* text = "12,#ff,navy,,0x10";
    int position = ParseValueList(text, -1, nullptr, integers, 3, ',');
    EXPECT_EQ(position, 11);
    EXPECT_EQ(integers[0], 12);
    EXPECT_EQ(integers[1], 255);
    EXPECT_EQ(integers[2], 0x000080);
    position = ParseValueList(text, position, nullptr, integers, 2, ',');
    EXPECT_EQ(position, 17);
    EXPECT_EQ(integers[0], 0);
    EXPECT_EQ(integers[1], 16);

    // Floats take precedence when both outputs are given; count 0 reads nothing.
    float floats[2] = {-1, -1};
    EXPECT_EQ(ParseValueList("1.5;2.25", -1, floats, integers, 2, ';'), 8);
    EXPECT_FLOAT_EQ(floats[0], 1.5f);
    EXPECT_FLOAT_EQ(floats[1], 2.25f);
    EXPECT_EQ(integers[0], 0);
    EXPECT_EQ(ParseValueList("1,2", 1, floats, nullptr, 0, ','), 1);

    // Fields past the end come out as 0.
    EXPECT_EQ(ParseValueList("4", -1, floats, nullptr, 2, ','), 1);
    EXPECT_FLOAT_EQ(floats[0], 4.0f);
    EXPECT_FLOAT_EQ(floats[1], 0.0f);
}

}  // namespace

namespace {

TEST(ValueTokenizer, LengthTakingReaderMatchesTheTextReader)
{
    // Fields longer than the reader's chunk, quoted fields whose closing quote lies past it, and
    // a text whose length stops before its terminator.
    const std::string longField(700, 'x');
    const std::string texts[] = {
        longField + "," + longField + "y",
        "\"" + longField + ", b\" , c",
        "  '" + std::string(300, 'q') + "' ,(" + std::string(260, 'p') + ",1),z",
        "a\\,b,\\\"c\\n\",d",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text.substr(0, 40));
        for (bool keep : {false, true}) {
            int a = -1;
            int b = -1;
            CTexto fieldA;
            CTexto fieldB;
            do {
                a = ReadNextField(text.c_str(), a, fieldA, keep, ',', true);
                b = ReadNextField(text.c_str(), static_cast<int>(text.size()), b, fieldB, keep, ',', true);
                EXPECT_EQ(a, b);
                EXPECT_STREQ(fieldA.GetText(), fieldB.GetText());
            } while (a < static_cast<int>(text.size()));
        }
    }
    // Only the first length bytes count.
    CTexto field;
    EXPECT_EQ(ReadNextField("abc,def", 2, -1, field, false, ',', false), 2);
    EXPECT_STREQ(field.GetText(), "ab");
}

}  // namespace
