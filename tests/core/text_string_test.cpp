#include "core/text_string.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

// Failed allocations on demand: CTexto takes its buffers with nothrow new[], so replacing
// that one operator lets a test make the next allocations fail.
namespace {
int g_failNothrowArrayAllocs = 0;
// What strings promise, written out: a text never reaches a million bytes, a formatted one stays
// within ten thousand.
constexpr int kSizeLimit = 1000000;
constexpr int kFormatLimit = 10000;
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    if (g_failNothrowArrayAllocs > 0) {
        --g_failNothrowArrayAllocs;
        return nullptr;
    }
    return std::malloc(size ? size : 1);
}

namespace {

struct FailAllocations {
    explicit FailAllocations(int count) { g_failNothrowArrayAllocs = count; }
    ~FailAllocations() { g_failNothrowArrayAllocs = 0; }
};

std::string Repeat(char c, int n) { return std::string(static_cast<size_t>(n), c); }

TEST(TextString, EmptyStringHoldsNoBuffer)
{
    CTexto empty;
    CTexto fromNull(nullptr);
    CTexto copy(empty);
    for (const CTexto* s : {&empty, &fromNull, &copy}) {
        ASSERT_NE(s->GetText(), nullptr);
        EXPECT_STREQ(s->GetText(), "");
        EXPECT_EQ(s->GetLength(), 0);
        EXPECT_EQ(s->GetCapacity(), 0);
    }
}

TEST(TextString, CopiesNeverShareBuffers)
{
    CTexto a("alpha");
    CTexto b(a);
    CTexto c;
    c = a;
    EXPECT_NE(a.GetText(), b.GetText());
    EXPECT_NE(a.GetText(), c.GetText());
    b += "!";
    c.GetText()[0] = 'A';
    EXPECT_STREQ(a.GetText(), "alpha");
    EXPECT_STREQ(b.GetText(), "alpha!");
    EXPECT_STREQ(c.GetText(), "Alpha");
}

TEST(TextString, GrowthReservesTwentyBytes)
{
    CTexto s("abc");
    EXPECT_EQ(s.GetCapacity(), 3 + CTexto::kGrowthReserve);

    // One character at a time reallocates once every 21 characters.
    CTexto t;
    int moves = 0;
    const char* last = t.GetText();
    for (int i = 0; i < 210; ++i) {
        t += 'x';
        if (t.GetText() != last)
            ++moves;
        last = t.GetText();
    }
    EXPECT_EQ(t.GetLength(), 210);
    EXPECT_EQ(moves, 10);
}

TEST(TextString, ShorterAssignmentKeepsBuffer)
{
    CTexto s("a fairly long text to start with");
    const int capacity = s.GetCapacity();
    const char* buffer = s.GetText();
    s = "short";
    EXPECT_EQ(s.GetText(), buffer);
    EXPECT_EQ(s.GetCapacity(), capacity);
    s = static_cast<const char*>(nullptr);
    EXPECT_STREQ(s.GetText(), "");
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_EQ(s.GetCapacity(), capacity);
    EXPECT_EQ(s.GetText(), buffer);
    s.Empty();
    EXPECT_EQ(s.GetCapacity(), 0);
    EXPECT_STREQ(s.GetText(), "");
}

TEST(TextString, AppendWithNullOnlyReserves)
{
    CTexto s("ab");
    s.Append(100, nullptr);
    EXPECT_EQ(s.GetCapacity(), 120);
    EXPECT_STREQ(s.GetText(), "ab");
    EXPECT_EQ(s.GetLength(), 2);
    // The reserved room is writable through the text pointer.
    char* room = s.GetTextAt(0);
    for (int i = 0; i < 120; ++i)
        room[i] = 'z';
    room[120] = 0;
    s = "done";
    EXPECT_STREQ(s.GetText(), "done");
}

TEST(TextString, SizeLimitEmptiesTheString)
{
    const std::string almost = Repeat('a', 999990);
    struct Case {
        int appendBytes;
        int expectedLength;
    };
    const Case cases[] = {{9, 999999}, {10, 0}, {5000, 0}};
    for (const Case& c : cases) {
        CTexto s(almost.c_str());
        ASSERT_EQ(s.GetLength(), 999990);
        s += Repeat('b', c.appendBytes).c_str();
        EXPECT_EQ(s.GetLength(), c.expectedLength) << c.appendBytes;
        EXPECT_EQ(static_cast<int>(std::string(s.GetText()).size()), c.expectedLength);
        if (c.expectedLength == 0) {
            EXPECT_EQ(s.GetCapacity(), 0);
        }
    }

    CTexto whole(Repeat('c', kSizeLimit).c_str());
    EXPECT_EQ(whole.GetLength(), 0);

    CTexto reserved("keep");
    reserved.Append(kSizeLimit - 1, nullptr);
    EXPECT_STREQ(reserved.GetText(), "keep");
    reserved.Append(kSizeLimit, nullptr);
    EXPECT_STREQ(reserved.GetText(), "");
    EXPECT_EQ(reserved.GetCapacity(), 0);

    // A large reserve cannot be used to carry the length past the limit.
    CTexto big;
    big.Append(kSizeLimit - 1, nullptr);
    big.Append(kSizeLimit - 1, Repeat('d', kSizeLimit + 5).c_str());
    EXPECT_LT(big.GetLength(), kSizeLimit);
}

TEST(TextString, AssignAndAppendFromOwnBuffer)
{
    // Self assignment through the own text pointer or the object is a no-op.
    CTexto s("abcdef");
    s = s.GetText();
    EXPECT_STREQ(s.GetText(), "abcdef");
    const CTexto& same = s;
    s = same;
    EXPECT_STREQ(s.GetText(), "abcdef");

    // A suffix of the own text becomes the text.
    s = s.GetTextAt(3);
    EXPECT_STREQ(s.GetText(), "def");
    EXPECT_EQ(s.GetLength(), 3);

    // Suffixes of the own text appended while the buffer has room: source and destination
    // overlap at the terminator.
    struct Case {
        const char* start;
        int from;
        const char* expected;
    };
    const Case cases[] = {{"abc", 0, "abcabc"}, {"abc", 1, "abcbc"}, {"abc", 3, "abc"}, {"", 0, ""}};
    for (const Case& c : cases) {
        CTexto t(c.start);
        t += t.GetTextAt(c.from);
        EXPECT_STREQ(t.GetText(), c.expected) << c.start << " from " << c.from;
        EXPECT_EQ(t.GetLength(), static_cast<int>(std::string(c.expected).size()));
    }

    // The whole object appended to itself, repeatedly across several moves of the buffer.
    CTexto grow("0123456789");
    std::string expected = "0123456789";
    for (int i = 0; i < 6; ++i) {
        grow += grow;
        expected += expected;
        ASSERT_STREQ(grow.GetText(), expected.c_str());
    }

    // Formatting the own text into itself.
    CTexto f("base");
    EXPECT_EQ(f.Format("%s/%s", f.GetText(), f.GetTextAt(2)), 7);
    EXPECT_STREQ(f.GetText(), "base/se");
}

TEST(TextString, BufferFilledToCapacityThenSelfAppended)
{
    // Length equals capacity: appending any own suffix needs a new buffer and the source
    // lives in the buffer that is given back.
    CTexto s;
    s.Append(10, nullptr);   // capacity 30
    const std::string thirty = Repeat('q', 29) + "Z";
    s = thirty.c_str();
    ASSERT_EQ(s.GetLength(), s.GetCapacity());
    const char* old = s.GetText();
    s += s.GetTextAt(25);
    EXPECT_NE(s.GetText(), old);
    EXPECT_EQ(std::string(s.GetText()), thirty + "qqqqZ");
}

TEST(TextString, GetAtAndPositionsAreClamped)
{
    CTexto s("abc");
    struct Case {
        int pos;
        char expected;
    };
    for (const Case& c : {Case{0, 'a'}, Case{2, 'c'}, Case{3, 0}, Case{4, 0}, Case{-1, 0}})
        EXPECT_EQ(s.GetAt(c.pos), c.expected) << c.pos;
    EXPECT_STREQ(s.GetTextAt(-5), "abc");
    EXPECT_STREQ(s.GetTextAt(1), "bc");
    EXPECT_STREQ(s.GetTextAt(9), "");
    EXPECT_STREQ(s.GetTextFromEnd(2), "bc");
    EXPECT_STREQ(s.GetTextFromEnd(9), "abc");
    EXPECT_STREQ(s.GetTextFromEnd(-1), "");
}

TEST(TextString, Search)
{
    const CTexto abc("abc");
    const CTexto empty;
    EXPECT_EQ(abc.Find("", 0), 0);
    EXPECT_EQ(abc.Find("a", 3), -1);
    EXPECT_EQ(abc.Find("c", -7), 2);
    EXPECT_EQ(abc.Find("bc", 1), 1);
    EXPECT_EQ(abc.Find("bc", 2), -1);
    EXPECT_EQ(abc.Find('b'), 1);
    EXPECT_EQ(abc.Find("B"), -1);
    EXPECT_EQ(empty.Find(""), -1);
    EXPECT_EQ(empty.Find("a"), -1);

    const CTexto mixed("aBc\xC9x\xE9");
    EXPECT_EQ(mixed.FindNoCase("B", 0), 1);
    EXPECT_EQ(mixed.FindNoCase("bC", 0), 1);
    EXPECT_EQ(mixed.FindNoCase("\xE9", 0), 5);   // above 127: compared unchanged
    EXPECT_EQ(mixed.FindNoCase("a", 1), -1);
    EXPECT_EQ(mixed.FindNoCase("x", 6), -1);

    EXPECT_EQ(CTexto("a/b/c").ReverseFind('/'), 3);
    EXPECT_EQ(CTexto("abc").ReverseFind('/'), -1);
    EXPECT_EQ(empty.ReverseFind('/'), -1);
}

TEST(TextString, DeleteAndMid)
{
    struct DeleteCase {
        int pos, count;
        const char* text;
        int result;
    };
    const DeleteCase deletes[] = {
        {1, 100, "a", 1}, {3, 1, "abc", 3}, {0, 1, "bc", 2}, {1, 1, "ac", 2}, {-1, 1, "abc", 3}, {1, 0, "abc", 3},
    };
    for (const DeleteCase& c : deletes) {
        CTexto s("abc");
        EXPECT_EQ(s.Delete(c.pos, c.count), c.result) << c.pos << "," << c.count;
        EXPECT_STREQ(s.GetText(), c.text);
    }

    struct MidCase {
        int start, count;
        const char* text;
    };
    const MidCase mids[] = {{1, 1, "b"}, {1, -1, "bc"}, {-4, 2, "ab"}, {5, 2, ""}, {0, 0, ""}, {2, 9, "c"}};
    const CTexto abc("abc");
    for (const MidCase& c : mids) {
        const CTexto part = abc.Mid(c.start, c.count);
        EXPECT_STREQ(part.GetText(), c.text) << c.start << "," << c.count;
        EXPECT_EQ(part.GetLength(), static_cast<int>(std::string(c.text).size()));
    }
}

TEST(TextString, ReplaceText)
{
    struct Case {
        const char* text;
        const char* search;
        const char* replacement;
        int count;
        const char* result;
    };
    const Case cases[] = {
        {"aaa", "aa", "b", 1, "ba"},
        {"abc", "", "x", 0, "abc"},
        {"", "a", "x", 0, ""},
        {"abc", "z", "x", 0, "abc"},
        {"a.b.c", ".", "::", 2, "a::b::c"},
        {"one two two", "two", "", 2, "one  "},
        {"xx", "x", "xyx", 2, "xyxxyx"},
    };
    for (const Case& c : cases) {
        CTexto s(c.text);
        EXPECT_EQ(s.Replace(c.search, c.replacement), c.count) << c.text << " " << c.search;
        EXPECT_STREQ(s.GetText(), c.result);
        EXPECT_EQ(s.GetLength(), static_cast<int>(std::string(c.result).size()));
        if (c.count > 0) {
            EXPECT_EQ(s.GetCapacity(), s.GetLength());   // exact allocation
        }
    }

    CTexto chars("a/b/c");
    EXPECT_EQ(chars.Replace('/', '\\'), 2);
    EXPECT_STREQ(chars.GetText(), "a\\b\\c");
    EXPECT_EQ(chars.Replace('/', 0), 0);
    EXPECT_EQ(chars.GetLength(), 5);

    // Search and replacement taken from the own text.
    CTexto own("ab-ab");
    EXPECT_EQ(own.Replace(own.GetTextAt(3), own.GetText()), 2);
    EXPECT_STREQ(own.GetText(), "ab-ab-ab-ab");
}

TEST(TextString, ReplaceHonoursSizeLimit)
{
    // Result just below the limit works; at the limit the text is left unchanged.
    const std::string half = Repeat('a', 499999);
    CTexto fits(half.c_str());
    EXPECT_EQ(fits.Replace("a", "bb"), 499999);
    EXPECT_EQ(fits.GetLength(), 999998);

    const std::string text = Repeat('a', 500000);
    CTexto atLimit(text.c_str());
    EXPECT_EQ(atLimit.Replace("a", "bb"), 0);
    EXPECT_EQ(atLimit.GetLength(), 500000);
    EXPECT_EQ(std::string(atLimit.GetText()), text);

    // Count x growth would overflow 32 bits: still refused cleanly.
    const std::string huge = Repeat('z', kSizeLimit - 1);
    CTexto many(Repeat('a', 300000).c_str());
    EXPECT_EQ(many.Replace("a", huge.c_str()), 0);
    EXPECT_EQ(many.GetLength(), 300000);

    const std::string tooLong = Repeat('z', kSizeLimit + 10);
    CTexto one("a");
    EXPECT_EQ(one.Replace("a", tooLong.c_str()), 0);
    EXPECT_STREQ(one.GetText(), "a");
}

TEST(TextString, MakeLowerTouchesOnlyAsciiLetters)
{
    CTexto s("AbC-\xC9\xC0Z9");
    s.MakeLower();
    EXPECT_STREQ(s.GetText(), "abc-\xC9\xC0z9");
}

TEST(TextString, FormatLimit)
{
    CTexto s("before");
    EXPECT_EQ(s.Format("%d-%s-%.2f", 42, "x", 1.5), 9);
    EXPECT_STREQ(s.GetText(), "42-x-1.50");

    const std::string exact = Repeat('e', kFormatLimit);
    EXPECT_EQ(s.Format("%s", exact.c_str()), kFormatLimit);
    EXPECT_EQ(s.GetLength(), kFormatLimit);
    EXPECT_EQ(std::string(s.GetText()), exact);

    s = "unchanged";
    EXPECT_EQ(s.Format("%s!", exact.c_str()), -1);
    EXPECT_STREQ(s.GetText(), "unchanged");

    EXPECT_EQ(s.Format("%s", ""), 0);
    EXPECT_STREQ(s.GetText(), "");
}

TEST(TextString, CompareIsBytewiseUnsigned)
{
    struct Case {
        const char* a;
        const char* b;
        int order;
    };
    const Case cases[] = {
        {"abc", "abc", 0}, {"ab", "abc", -1}, {"abc", "ab", 1}, {"a", "B", 1},
        {"\xE9", "z", 1},   {"", "", 0},      {"", "a", -1},
    };
    for (const Case& c : cases) {
        const CTexto a(c.a);
        const CTexto b(c.b);
        EXPECT_EQ(a.Compare(b), c.order) << c.a << " vs " << c.b;
        EXPECT_EQ(a.Compare(c.b), c.order);
        EXPECT_EQ(a == b, c.order == 0);
        EXPECT_EQ(a == c.b, c.order == 0);
        EXPECT_EQ(a != b, c.order != 0);
        EXPECT_EQ(a != c.b, c.order != 0);
    }
    EXPECT_TRUE(CTexto() == static_cast<const char*>(nullptr));
}

TEST(TextString, ConcatenationAndCharacters)
{
    const CTexto left("left");
    EXPECT_STREQ((left + CTexto("/right")).GetText(), "left/right");
    EXPECT_STREQ((left + "+").GetText(), "left+");
    EXPECT_STREQ((left + static_cast<const char*>(nullptr)).GetText(), "left");

    CTexto s("x");
    s += 'y';
    s += '\0';
    s += static_cast<const char*>(nullptr);
    EXPECT_STREQ(s.GetText(), "xy");
    EXPECT_EQ(s.GetLength(), 2);
}

TEST(TextString, WideConversionUsesAnsiCodePage)
{
    // Tests run with code page 1252: E9 is e-acute, 80 the euro sign.
    CTexto s("caf\xE9 \x80");
    const wchar_t* wide = s.GetWide();
    ASSERT_NE(wide, nullptr);
    EXPECT_STREQ(wide, L"caf\u00e9 \u20ac");

    // A snapshot: rebuilt on the next call, longer text included.
    s += " and a much longer tail than before";
    EXPECT_STREQ(s.GetWide(), L"caf\u00e9 \u20ac and a much longer tail than before");
    EXPECT_STREQ(CTexto().GetWide(), L"");

    CTexto back;
    back.AssignWide(L"na\u00efve \u4e2d");
    EXPECT_STREQ(back.GetText(), "na\xEFve ?");
    const int capacity = back.GetCapacity();
    back.AssignWide(nullptr);
    EXPECT_STREQ(back.GetText(), "");
    EXPECT_EQ(back.GetCapacity(), capacity);
}

TEST(TextString, OutOfMemory)
{
    // GetWide answers an empty wide string, then recovers once memory is back.
    CTexto s("text");
    {
        FailAllocations fail(1);
        const wchar_t* wide = s.GetWide();
        ASSERT_NE(wide, nullptr);
        EXPECT_STREQ(wide, L"");
    }
    EXPECT_STREQ(s.GetWide(), L"text");

    // Growing: the string is emptied.
    CTexto grow("abc");
    {
        FailAllocations fail(1);
        grow += "defghijklmnopqrstuvwxyz0123456789";
    }
    EXPECT_STREQ(grow.GetText(), "");
    EXPECT_EQ(grow.GetCapacity(), 0);

    // Replace, Format and AssignWide leave the text as it was.
    CTexto keep("a-b-c");
    {
        FailAllocations fail(1);
        EXPECT_EQ(keep.Replace("-", "+"), 0);
    }
    {
        FailAllocations fail(1);
        EXPECT_EQ(keep.Format("%d", 5), 0);
    }
    {
        FailAllocations fail(1);
        keep.AssignWide(L"other");
    }
    EXPECT_STREQ(keep.GetText(), "a-b-c");
}

} // namespace
