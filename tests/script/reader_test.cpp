// The script reader's scanner, passes and macros, seen through recording handlers.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/language.h"
#include "core/mailboxes.h"
#include "core/text_string.h"
#include "reader_test_support.h"
#include "script/reader.h"

using namespace reader_test;
using Lines = std::vector<std::string>;

TEST(ReaderSyntax, StatementsAreCutAsTheFormatSays)
{
    struct Case {
        const char* name;
        std::string script;
        Lines expected;
    };
    const Case cases[] = {
        {"blanks before the first '=' go, blanks after it stay",
         "(a){TYPE=FRAME; IMAGE = x; ROT = 1, 2;}",
         {"a|TYPE|TYPE=FRAME", "a|IMAGE|IMAGE= x", "a|ROT=|ROT= 1, 2"}},
        {"a statement without its ';' before '}' is not executed",
         "(a){TYPE=FRAME;ROT=1;ROT=2}", {"a|TYPE|TYPE=FRAME", "a|ROT=|ROT=1"}},
        {"';' inside double quotes or parentheses does not end a statement",
         "(a){TYPE=FRAME;TEXT=\"x;y\";KEY=A,0,GoToFrame(a;b);}",
         {"a|TYPE|TYPE=FRAME", "a|TEXT|TEXT=\"x;y\"", "a|KEY=|KEY=A,0,GoToFrame(a;b)"}},
        {"single quotes protect ';', an apostrophe inside a word does not open a quote",
         "(a){TYPE=FRAME;TEXT='a;b';DESCRIPTION=don't;ROT=1;}",
         {"a|TYPE|TYPE=FRAME", "a|TEXT|TEXT='a;b'", "a|DESCRIPTION=|DESCRIPTION=don't",
          "a|ROT=|ROT=1"}},
        {"a quote after a letter only closes",
         "(a){TYPE=FRAME;TEXT=it';ROT=1;}",
         {"a|TYPE|TYPE=FRAME", "a|TEXT|TEXT=it'", "a|ROT=|ROT=1"}},
        {"line breaks and tabs are never stored, text between sections is a comment",
         "comment; ROT=9;\r\n(a)\r\n\t {\r\nTYPE=FRAME;\r\nTEXT=\"x\r\ny\";\t}\r\nmore words",
         {"a|TYPE|TYPE=FRAME", "a|TEXT|TEXT=\"xy\""}},
        {"a head followed directly by '}' opens a body",
         "(a)}TYPE=FRAME;ROT=1;}", {"a|TYPE|TYPE=FRAME", "a|ROT=|ROT=1"}},
        {"sections without TYPE= are ignored; TYPE= is still handled",
         "(a){ROT=1;TYPE=NONE;ROT=2;}(b){TYPE=FRAME;ROT=3;}",
         {"a|TYPE|TYPE=NONE", "b|TYPE|TYPE=FRAME", "b|ROT=|ROT=3"}},
        {"unknown keys of a frame section go to the flag keys, of other sections nowhere",
         "(a){TYPE=FRAME;CACHE=1;}(b){TYPE=IMAGE;CACHE=1;}",
         {"a|TYPE|TYPE=FRAME", "a|FLAG|CACHE=1", "b|TYPE|TYPE=IMAGE"}},
        {"FILE= raises the section's items after its statement",
         "(a){TYPE=FRAME;FILE=x.jpg;ROT=1;}",
         {"a|TYPE|TYPE=FRAME", "a|FILE=|FILE=x.jpg", "a|ITEMS|FILE=x.jpg", "a|ROT=|ROT=1"}},
        {"section names keep blanks and line breaks",
         "( my\r\nroom ){TYPE=FRAME;}", {" my\r\nroom |TYPE|TYPE=FRAME"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReadResult result = ReadText(c.script);
        EXPECT_EQ(result.outcome, ReadOutcome::Completed);
        EXPECT_EQ(result.log, c.expected);
        EXPECT_EQ(LinkCount(), 1);
        EXPECT_EQ(ReleaseCount(), 1);
    }
}

TEST(ReaderSyntax, KeywordsAreTestedInTheirFixedOrder)
{
    struct Case {
        const char* statement;
        ReaderKeyword keyword;
        int spelling;
    };
    const Case cases[] = {
        {"type=PANORAMIC", ReaderKeyword::Type, 1},
        {"TIPO=CUBIC", ReaderKeyword::Type, 0},
        {"TEXTURAS24=1", ReaderKeyword::Count, 0},
        {"TEXT3D=a", ReaderKeyword::Text, 0},
        {"text2d=a", ReaderKeyword::Text, 0},
        {"IMAGENODO=x", ReaderKeyword::NodeStyle, 0},
        {"FONTNAME=Arial", ReaderKeyword::NodeStyle, 4},
        {"IMAGE3DUTM=a", ReaderKeyword::Image, 0},
        {"COMPASS=a", ReaderKeyword::Image, 1},
        {"NODO1UTM=a", ReaderKeyword::Node, 1},
        {"nodo=a", ReaderKeyword::Node, 2},
        {"ROTBUTTON3D=a", ReaderKeyword::Button, 4},
        {"ROT=1", ReaderKeyword::Rot, 0},
        {"AUTOPLAYSPEED=1", ReaderKeyword::AutoplaySpeed, 0},
        {"AUTOPLAY=1", ReaderKeyword::Autoplay, 0},
        {"FLAGSIMAGENODO=TRANS", ReaderKeyword::NodeStyle, 1},
        {"FLAGSIMAGE=TRANS", ReaderKeyword::FlagsImage, 0},
        {"MENUOPTION=a", ReaderKeyword::MenuOption, 1},
        {"MENU=a", ReaderKeyword::Menu, 0},
        {"BGCOLOR=#FF0000", ReaderKeyword::BackColor, 1},
        {"COORDENADAS=1", ReaderKeyword::Count, 0},
        {"ROT", ReaderKeyword::Count, 0},
        {"VIEWERWINDOW=w", ReaderKeyword::ViewerWindow, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        int spelling = -1;
        EXPECT_EQ(MatchReaderKeyword(c.statement, &spelling), c.keyword);
        if (c.keyword != ReaderKeyword::Count) {
            EXPECT_EQ(spelling, c.spelling);
        }
    }
    // The table lists every entry once, in enum order.
    for (int i = 0; i < kReaderKeywordCount; i++)
        EXPECT_EQ(static_cast<int>(ReaderKeywordSpellings()[i].keyword), i);
}

// A script whose statements carry every scanner rule; shifting it by blanks puts each of its
// characters, quotes included, on both sides of a piece boundary.
std::string TrickyScript()
{
    return "(hall){TYPE=FRAME;TEXT='a;b';DESCRIPTION=don't;TEXT=it';KEY=A,0,'Go(a;b);';"
           "TEXT=\"q;r\";ROT = 1, 2;}(x)\r\n{TYPE=INCLUDE;ROT=7;}(b){TYPE=FRAME;INCLUDE=X;ROT=8;}";
}

TEST(ReaderInput, SameStatementsWhateverThePieceBoundaries)
{
    const Lines reference = ReadText(TrickyScript()).log;
    ASSERT_EQ(reference.size(), 11u);
    const int length = static_cast<int>(TrickyScript().size());
    for (int shift = kReaderChunkSize - length - 2; shift <= kReaderChunkSize + 2; shift++) {
        SCOPED_TRACE(shift);
        const std::string script = std::string(static_cast<size_t>(shift), ' ') + TrickyScript();
        EXPECT_EQ(ReadText(script).log, reference);
        EXPECT_EQ(ReadBytes(script).log, reference);
    }
}

std::string Utf16(const std::wstring& text, bool mark)
{
    std::string bytes;
    if (mark)
        bytes += "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

std::string Ansi(const std::wstring& text)
{
    std::vector<char> narrow(text.size() * 4 + 1);
    int written = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      narrow.data(), static_cast<int>(narrow.size()), nullptr,
                                      nullptr);
    return std::string(narrow.data(), static_cast<size_t>(written));
}

TEST(ReaderInput, Utf16ReadsAsItsAnsiTwinWhereverUnitsAndPairsAreSplit)
{
    // é maps into the ANSI code page; the surrogate pair (U+1F600) does not, and must become
    // what converting the whole text gives, never two halves converted apart.
    const std::wstring statements =
        L"(caf\u00e9){TYPE=FRAME;DESCRIPTION=Caf\u00e9 \U0001F600 don't;TEXT='a;b';ROT=1;}";
    for (int shift = 0; shift < 12; shift++) {
        // Put every unit of the script on both sides of the 1024-byte read boundary: the mark
        // takes one unit, so a shift of n blanks makes the boundary fall n units earlier.
        const int pad = (kReaderChunkSize / 2) - 1 - 8 + shift;
        const std::wstring text = std::wstring(static_cast<size_t>(pad), L' ') + statements;
        SCOPED_TRACE(shift);
        const Lines ansi = ReadText(Ansi(text)).log;
        ASSERT_EQ(ansi.size(), 4u);
        EXPECT_EQ(ReadBytes(Utf16(text, true)).log, ansi);
    }
    // A UTF-8 file is taken as its bytes.
    EXPECT_EQ(ReadBytes("\xEF\xBB\xBF(a){TYPE=FRAME;}").log, Lines({"a|TYPE|TYPE=FRAME"}));
}

TEST(ReaderMacros, IncludeRunsTheCollectedStatementsInPlace)
{
    struct Case {
        const char* name;
        std::string script;
        Lines expected;
    };
    const Case cases[] = {
        {"only statements after TYPE=INCLUDE are collected; INCLUDE= in any case expands",
         "(m){ROT=0;TYPE=INCLUDE;ROT=1;POS=2;}(a){TYPE=FRAME;include=M;ROT=3;}",
         {"m|TYPE|TYPE=INCLUDE", "a|TYPE|TYPE=FRAME", "a|ROT=|ROT=1", "a|POS=|POS=2",
          "a|ROT=|ROT=3"}},
        {"a macro declared after its use still expands (collected in the first pass)",
         "(a){TYPE=FRAME;INCLUDE=m;}(m){TYPE=INCLUDE;ROT=1;}",
         {"a|TYPE|TYPE=FRAME", "a|ROT=|ROT=1", "m|TYPE|TYPE=INCLUDE"}},
        {"of two macros of one name the first wins",
         "(m){TYPE=INCLUDE;ROT=1;}(m){TYPE=INCLUDE;ROT=2;}(a){TYPE=FRAME;INCLUDE=m;}",
         {"m|TYPE|TYPE=INCLUDE", "m|TYPE|TYPE=INCLUDE", "a|TYPE|TYPE=FRAME", "a|ROT=|ROT=1"}},
        {"macros expand macros; INCLUDE= also works in ignored sections",
         "(m){TYPE=INCLUDE;ROT=1;INCLUDE=n;ROT=3;}(n){TYPE=INCLUDE;ROT=2;}"
         "(t){TYPE=INCLUDE;TYPE=FRAME;ROT=5;}(a){TYPE=FRAME;INCLUDE=m;}(z){INCLUDE=t;}",
         {"m|TYPE|TYPE=INCLUDE", "n|TYPE|TYPE=INCLUDE", "t|TYPE|TYPE=INCLUDE",
          "t|TYPE|TYPE=FRAME", "t|ROT=|ROT=5", "a|TYPE|TYPE=FRAME", "a|ROT=|ROT=1", "a|ROT=|ROT=2", "a|ROT=|ROT=3",
          "z|TYPE|TYPE=FRAME", "z|ROT=|ROT=5"}},
        {"an unknown macro does nothing",
         "(a){TYPE=FRAME;INCLUDE=nothing;ROT=1;}", {"a|TYPE|TYPE=FRAME", "a|ROT=|ROT=1"}},
        {"a macro including itself ends",
         "(m){TYPE=INCLUDE;ROT=1;INCLUDE=m;ROT=2;}(a){TYPE=FRAME;INCLUDE=m;}",
         {"m|TYPE|TYPE=INCLUDE", "a|TYPE|TYPE=FRAME", "a|ROT=|ROT=1", "a|ROT=|ROT=2"}},
        {"a macro including itself as its last statement ends",
         "(m){TYPE=INCLUDE;ROT=1;INCLUDE=m;}(a){TYPE=FRAME;INCLUDE=m;ROT=2;}",
         {"m|TYPE|TYPE=INCLUDE", "a|TYPE|TYPE=FRAME", "a|ROT=|ROT=1", "a|ROT=|ROT=2"}},
        {"macros including each other end",
         "(m){TYPE=INCLUDE;ROT=1;INCLUDE=n;}(n){TYPE=INCLUDE;POS=2;INCLUDE=m;}"
         "(a){TYPE=FRAME;INCLUDE=m;INCLUDE=n;}",
         {"m|TYPE|TYPE=INCLUDE", "n|TYPE|TYPE=INCLUDE", "a|TYPE|TYPE=FRAME", "a|ROT=|ROT=1",
          "a|POS=|POS=2", "a|POS=|POS=2", "a|ROT=|ROT=1"}},
        {"a macro may be used again after it ended",
         "(m){TYPE=INCLUDE;ROT=1;}(a){TYPE=FRAME;INCLUDE=m;INCLUDE=m;}",
         {"m|TYPE|TYPE=INCLUDE", "a|TYPE|TYPE=FRAME", "a|ROT=|ROT=1", "a|ROT=|ROT=1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReadResult result = ReadText(c.script);
        EXPECT_EQ(result.outcome, ReadOutcome::Completed);
        EXPECT_EQ(result.log, c.expected);
    }
}

TEST(ReaderMacros, DoublingMacrosAreBounded)
{
    // Each macro includes the previous one twice: 2^30 statements if nothing bounded it.
    std::string script = "(m0){TYPE=INCLUDE;ROT=1;}";
    for (int i = 1; i <= 30; i++) {
        script += "(m" + std::to_string(i) + "){TYPE=INCLUDE;INCLUDE=m" + std::to_string(i - 1) +
                  ";INCLUDE=m" + std::to_string(i - 1) + ";}";
    }
    script += "(a){TYPE=FRAME;INCLUDE=m30;POS=1;}";
    ReadResult result = ReadText(script);
    EXPECT_EQ(result.outcome, ReadOutcome::Completed);
    EXPECT_EQ(result.log.back(), "a|POS=|POS=1");
    EXPECT_LT(result.log.size(), static_cast<size_t>(2 * kMaxExpansions));
}

TEST(ReaderErrors, VisibleTextBeforeTheBodyIsAFormatError)
{
    LoadLanguage(LanguageEnglish);
    CTexto drained;
    TakePendingMessage(&drained);
    // The macro pass meets the error first: nothing is interpreted.
    ReadResult result = ReadText("(a){TYPE=FRAME;ROT=1;}(b) x {TYPE=FRAME;ROT=2;}");
    EXPECT_EQ(result.outcome, ReadOutcome::FormatError);
    EXPECT_TRUE(result.log.empty());
    EXPECT_EQ(LinkCount(), 1);
    EXPECT_EQ(ReleaseCount(), 1);
    CTexto message;
    ASSERT_TRUE(TakePendingMessage(&message));
    EXPECT_STREQ(message.GetText(), "ERROR: File does not exist\nERROR: File format not supported");

    // Bytes above 0x7F and control characters count as blanks there.
    result = ReadText("(a)\x01\xA0\xFF {TYPE=FRAME;}");
    EXPECT_EQ(result.outcome, ReadOutcome::Completed);
    EXPECT_FALSE(TakePendingMessage(&message));
}

TEST(ReaderErrors, CancelStopsReadingButLinksAndReleasesOnce)
{
    ResetRecording();
    CancelAt() = "ROT=2";
    const std::string script = "(a){TYPE=FRAME;ROT=1;ROT=2;ROT=3;}";
    ScriptInput input;
    input.text = script.c_str();
    input.textLength = static_cast<int64_t>(script.size());
    EXPECT_EQ(ReadInput(input), ReadOutcome::Cancelled);
    EXPECT_EQ(Log(), Lines({"a|TYPE|TYPE=FRAME", "a|ROT=|ROT=1", "a|ROT=|ROT=2"}));
    EXPECT_EQ(LinkCount(), 1);
    EXPECT_EQ(ReleaseCount(), 1);
}

TEST(ReaderErrors, OverlongStatementsAreDroppedAndNamesCut)
{
    const std::string longValue(3000, 'v');
    ReadResult result =
        ReadText("(a){TYPE=FRAME;TEXT=" + longValue + ";ROT=1;TEXT='" + longValue + ";x';POS=2;}");
    EXPECT_EQ(result.log, Lines({"a|TYPE|TYPE=FRAME", "a|ROT=|ROT=1", "a|POS=|POS=2"}));

    // Exactly the limit is kept.
    const std::string fits = "TEXT=" + std::string(kStatementLimit - 5, 'w');
    result = ReadText("(a){TYPE=FRAME;" + fits + ";}");
    ASSERT_EQ(result.log.size(), 2u);
    EXPECT_EQ(result.log[1], "a|TEXT|" + fits);

    const std::string longName(3000, 'n');
    result = ReadText("(" + longName + "){TYPE=FRAME;}");
    ASSERT_EQ(result.log.size(), 1u);
    EXPECT_EQ(result.log[0], std::string(kStatementLimit, 'n') + "|TYPE|TYPE=FRAME");
}

TEST(ReaderErrors, DamagedScriptsNeverCrash)
{
    // Every prefix of a script with all constructs ends cleanly.
    const std::string script = TrickyScript() + "(c) {TYPE=FRAME;TEXT=\"open;(deep;";
    for (size_t n = 0; n <= script.size(); n++) {
        ReadResult result = ReadText(script.substr(0, n));
        EXPECT_NE(result.outcome, ReadOutcome::NoMemory);
    }
}
