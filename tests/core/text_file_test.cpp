#include "core/text_string.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/mailboxes.h"
#include "core/stream.h"   // g_cacheEnabled
#include "core/system_wrappers.h"
#include "test_support.h"

namespace {

const wchar_t kWideText[] = L"Gr\u00F6\u00DFe caf\u00E9\r\nzweite Zeile";

std::string ToCodePage(unsigned codePage, const std::wstring& wide) {
    int n = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n,
                        nullptr, nullptr);
    return out;
}

std::string Utf16File(const std::wstring& wide) {
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
    return bytes;
}

int g_questions = 0;
int g_answer = IDYES;
int AnswerQuestion(HWND, const char*, const char*, UINT) {
    g_questions++;
    return g_answer;
}

}  // namespace

// The three spellings tour files come in load to the same ANSI text.
TEST(TextFile, Utf16Utf8AndAnsiTwinsLoadAlike) {
    TempFolder folder;
    const std::wstring wide = kWideText;
    const std::string ansi = ToCodePage(CP_ACP, wide);
    const std::string utf8 = ToCodePage(CP_UTF8, wide);

    CTexto fromUtf16, fromUtf8, fromAnsi;
    std::string utf16Bytes = Utf16File(wide);
    EXPECT_EQ(fromUtf16.LoadFromFile(folder.Write("u16.txt", utf16Bytes).c_str()),
              static_cast<int>(utf16Bytes.size()));
    // For UTF-8 the answer is the UTF-16 units produced.
    EXPECT_EQ(fromUtf8.LoadFromFile(folder.Write("u8.txt", "\xEF\xBB\xBF" + utf8).c_str()),
              static_cast<int>(wide.size()));
    EXPECT_EQ(fromAnsi.LoadFromFile(folder.Write("ansi.txt", ansi).c_str()),
              static_cast<int>(ansi.size()));

    EXPECT_EQ(std::string(fromAnsi.GetText()), ansi);
    EXPECT_EQ(std::string(fromUtf16.GetText()), ansi);
    EXPECT_EQ(std::string(fromUtf8.GetText()), ansi);
    EXPECT_EQ(fromUtf16.GetLength(), static_cast<int>(ansi.size()));
}

TEST(TextFile, SmallAndOddFiles) {
    TempFolder folder;
    struct Case {
        const char* what;
        std::string bytes;
        int result;
        std::string text;
    };
    const Case cases[] = {
        {"one byte", "A", 1, "A"},
        {"empty", "", 0, ""},
        {"byte-order mark alone", "\xFF\xFE", 2, ""},
        {"UTF-8 mark alone", "\xEF\xBB\xBF", 0, ""},
        {"FF without FE is ANSI", "\xFF" "A", 2, "\xFF" "A"},
        {"two UTF-8 mark bytes are ANSI", "\xEF\xBB", 2, "\xEF\xBB"},
        // An odd last byte is no character: nothing is read past the file.
        {"odd UTF-16", std::string("\xFF\xFE" "A\0B", 5), 5, "A"},
        {"UTF-16 stops at a zero unit", std::string("\xFF\xFE" "A\0\0\0B\0", 8), 8, "A"},
        {"ANSI stops at a zero byte", std::string("ab\0cd", 5), 5, "ab"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CTexto text("previous");
        std::string path = folder.Write("f" + std::to_string(n++) + ".txt", c.bytes);
        EXPECT_EQ(text.LoadFromFile(path.c_str()), c.result);
        EXPECT_EQ(std::string(text.GetText()), c.text);
    }
}

TEST(TextFile, FailuresLeaveTheTextAlone) {
    TempFolder folder;
    CTexto text("kept");
    EXPECT_EQ(text.LoadFromFile(folder.File("missing.txt").c_str()), -1);
    EXPECT_STREQ(text.GetText(), "kept");
    EXPECT_EQ(text.LoadFromFile(""), -1);
    EXPECT_EQ(text.LoadFromFile(nullptr), -1);
    EXPECT_STREQ(text.GetText(), "kept");
}

// A text the string cannot hold is a failure, not an empty success.
TEST(TextFile, TextsTooLongForAStringFail) {
    TempFolder folder;
    const int limit = CTexto::kSizeLimit;

    CTexto text("kept");
    std::string tooLong(static_cast<size_t>(limit), 'x');
    EXPECT_EQ(text.LoadFromFile(folder.Write("big.txt", tooLong).c_str()), -1);
    EXPECT_STREQ(text.GetText(), "kept");

    std::string largest(static_cast<size_t>(limit - 1), 'y');
    EXPECT_EQ(text.LoadFromFile(folder.Write("largest.txt", largest).c_str()), limit - 1);
    EXPECT_EQ(text.GetLength(), limit - 1);

    // A UTF-16 file above the limit in bytes whose text fits is fine.
    std::wstring wide(static_cast<size_t>(limit / 2 + 1000), L'z');
    std::string bytes = Utf16File(wide);
    ASSERT_GE(bytes.size(), static_cast<size_t>(limit));
    EXPECT_EQ(text.LoadFromFile(folder.Write("wide.txt", bytes).c_str()), static_cast<int>(bytes.size()));
    EXPECT_EQ(text.GetLength(), static_cast<int>(wide.size()));

    // ... and one whose text does not fit fails.
    text = "kept";
    std::wstring tooWide(static_cast<size_t>(limit), L'z');
    EXPECT_EQ(text.LoadFromFile(folder.Write("toowide.txt", Utf16File(tooWide)).c_str()), -1);
    EXPECT_STREQ(text.GetText(), "kept");
}

TEST(TextFile, SaveWritesTheBytesExactly) {
    TempFolder folder;
    std::string path = folder.File("saved.txt");
    CTexto text("Gr\xF6\xDF" "e\r\nline two");
    EXPECT_TRUE(text.SaveToFile(path.c_str()));
    EXPECT_EQ(TempFolder::ReadAll(path), "Gr\xF6\xDF" "e\r\nline two");   // no byte-order mark

    CTexto back;
    EXPECT_EQ(back.LoadFromFile(path.c_str()), text.GetLength());
    EXPECT_EQ(back, text);

    EXPECT_TRUE(CTexto().SaveToFile(folder.File("empty.txt").c_str()));
    EXPECT_EQ(TempFolder::ReadAll(folder.File("empty.txt")), "");

    EXPECT_FALSE(text.SaveToFile(folder.File("no such folder\\x.txt").c_str()));
}

// Saving over a file asks first (when messages are on); a shorter text leaves no old tail.
TEST(TextFile, SaveOverAnExistingFileAsksAndTruncates) {
    TempFolder folder;
    std::string path = folder.Write("old.txt", "a much longer old content");
    MessageBoxFunction previous = SetMessageBoxFunction(&AnswerQuestion);
    const bool messages = AreUserMessagesEnabled();
    SetUserMessagesEnabled(true);

    g_questions = 0;
    g_answer = IDNO;
    EXPECT_FALSE(CTexto("new").SaveToFile(path.c_str()));
    EXPECT_EQ(g_questions, 1);
    EXPECT_EQ(TempFolder::ReadAll(path), "a much longer old content");

    g_answer = IDYES;
    EXPECT_TRUE(CTexto("new").SaveToFile(path.c_str()));
    EXPECT_EQ(g_questions, 2);
    EXPECT_EQ(TempFolder::ReadAll(path), "new");

    // With messages off nothing is asked.
    SetUserMessagesEnabled(false);
    EXPECT_TRUE(CTexto("newer").SaveToFile(path.c_str()));
    EXPECT_EQ(g_questions, 2);
    EXPECT_EQ(TempFolder::ReadAll(path), "newer");

    SetUserMessagesEnabled(messages);
    SetMessageBoxFunction(previous);
}

namespace {

// Port of the loopback HTTP server the test run starts for the core tests; 0 without it.
int LoopbackServerPort() {
    std::string path = std::string(LUMARIX_BINARY_DIR) + "/test-fixtures/http-server/port";
    FILE* f = std::fopen(path.c_str(), "r");
    int port = 0;
    if (f) {
        if (std::fscanf(f, "%d", &port) != 1)
            port = 0;
        std::fclose(f);
    }
    return port;
}

// The server's test pattern: byte i of a body is block[i % 65521].
uint8_t PatternByte(int64_t i) {
    const uint32_t j = static_cast<uint32_t>(i % 65521);
    return static_cast<uint8_t>((j * 2654435761u >> 13) & 0xFF);
}

}  // namespace

// A body of unknown length (no Content-Length, or chunked) is read until it ends, however
// long, and the answer is the bytes actually read.
TEST(TextFile, BodiesOfUnknownLengthAreReadToTheirEnd) {
    const int port = LoopbackServerPort();
    if (!port)
        GTEST_SKIP() << "no loopback HTTP server in this run";
    const int size = 300000;   // several times the first buffer
    std::string expected;
    for (int64_t i = 0; i < size && PatternByte(i) != 0; i++)
        expected += static_cast<char>(PatternByte(i));

    // Straight from the network: a cached copy would know its length.
    const int cacheEnabled = g_cacheEnabled.exchange(0);
    for (const char* options : {"nolength=1", "chunked=7000", "chunked=1"}) {
        SCOPED_TRACE(options);
        std::string url = "http://127.0.0.1:" + std::to_string(port) + "/data/text.bin?size=" +
                          std::to_string(size) + "&" + options + "&tag=textfile-" +
                          std::to_string(GetCurrentProcessId()) + "-" + options;
        CTexto text("kept");
        EXPECT_EQ(text.LoadFromFile(url.c_str()), size);
        EXPECT_EQ(std::string(text.GetText()), expected);
    }
    g_cacheEnabled = cacheEnabled;
}
