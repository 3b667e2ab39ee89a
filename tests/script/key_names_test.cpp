// Key names and flag words: the two fixed tables of the script and their field rules.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "script/flag_words.h"
#include "script/key_names.h"

TEST(KeyNames, FieldsGiveTheirCodes)
{
    struct Case {
        const char* statement;
        int position;
        int16_t code;
        int next;
    };
    const Case cases[] = {
        {"KEY=a,1", 3, 0x41, 5},
        {"KEY=A,1", 3, 0x41, 5},
        {"KEY='A',1", 3, 0x41, 7},
        {"KEY= x ,1", 3, 0x58, 7},
        {"KEY=xx,1", 3, 0, 6},
        {"KEY=1", 3, 0x31, 5},
        {"KEY=f5", 3, 0x74, 6},
        {"KEY=Space", 3, 0x20, 9},
        {"KEY=rbutton", 3, 151, 11},
        {"KEY=LBUTTON", 3, 149, 11},
        {"KEY=mbutton", 3, 150, 11},
        {"KEY=browser_backward", 3, 257, 20},
        {"KEY=BROWSER_FORWARD", 3, 258, 19},
        {"KEY=lalt", 3, 0xA4, 8},
        {"KEY=hangul", 3, 0x15, 10},
        {"KEY=kanji", 3, 0x19, 9},
        {"KEY=F24", 3, 0x87, 7},
        {"KEY=nokey", 3, 0, 9},
        {"KEY=", 3, 0, 4},
        {"KEY=\xE9", 3, -23, 5},
        {"KEY=;", 3, 0x3B, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        int16_t code = 99;
        EXPECT_EQ(ParseKeyName(c.statement, c.position, &code), c.next);
        EXPECT_EQ(code, c.code);
    }
}

TEST(KeyNames, TableHoldsEachNameOnce)
{
    std::set<std::string> names;
    for (int i = 0; i < kKeyNameCount; i++)
        names.insert(KeyNameTable()[i].name);
    EXPECT_EQ(static_cast<int>(names.size()), kKeyNameCount);
    EXPECT_STREQ(KeyNameTable()[0].name, "NUMPAD0");
    EXPECT_STREQ(KeyNameTable()[kKeyNameCount - 1].name, "BROWSER_FORWARD");
}

TEST(FlagWords, WordsJoinedByPlusOrTheirValues)
{
    struct Case {
        const char* statement;
        bool stopWhenSet;
        uint32_t mask;
        int next;
    };
    const Case cases[] = {
        {"X=TRANS+bilinear,1", false, 0x80002, 16},
        {"X=trans+TRANS", false, 0x2, 13},
        {"X=italic+unknown", false, 0x1, 16},
        {"X=no", false, 0, 4},
        {"X=", false, 0, 2},
        {"X=greek+russian", true, 0xA1, 15},
        {"X=ansi+greek", true, 0xA1, 12},
        {"X=greek+russian", false, 0xA1 | 0xCC, 15},
        {"X= ADD + mipmap ", false, 0x2000200, 16},
        {"X='aspect+oriented',2", false, 0x1800000, 19},
        {"X=lbuttondown+click+doubleclick", false, 0x4202, 31},
        {"X=background+aligncenter+1", false, 0x4001, 26},
        {"X=SUBB+ADDB+ANDN+NOT+SS", false, 0x18000 | 0x1000 | 0x8 | 0x1, 23},
        {"X=+++", false, 0, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        uint32_t mask = 99;
        EXPECT_EQ(ParseFlagWords(c.statement, 1, &mask, c.stopWhenSet), c.next);
        EXPECT_EQ(mask, c.mask);
    }
}

TEST(FlagWords, TableHoldsEveryWordOnce)
{
    std::set<std::string> words;
    for (int i = 0; i < kFlagWordCount; i++)
        words.insert(FlagWordTable()[i].word);
    EXPECT_EQ(static_cast<int>(words.size()), kFlagWordCount);
}
