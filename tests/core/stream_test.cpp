#include "core/stream.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/language.h"
#include "core/mailboxes.h"
#include "core/system_wrappers.h"
#include "test_support.h"
#include "core/worker_threads.h"
#include "core/stream_test_resource.h"

namespace {

// Answers the overwrite question as told and counts how often it was asked.
std::atomic<int> g_questions{0};
std::atomic<int> g_answer{IDNO};
std::string g_questionText;

int AnswerQuestion(HWND, const char* text, const char*, UINT type) {
    g_questions++;
    g_questionText = text;
    EXPECT_EQ(type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
    return g_answer.load();
}

std::string Line(int number) {
    return GetLanguageLine(number);
}

class Stream : public ::testing::Test {
protected:
    void SetUp() override {
        m_previousBox = SetMessageBoxFunction(&AnswerQuestion);
        g_questions = 0;
        g_answer = IDNO;
        TakePendingMessage(nullptr);
        TakePendingEvent(nullptr, nullptr);
    }
    void TearDown() override {
        SetMessageBoxFunction(m_previousBox);
        SetUserMessagesEnabled(true);
        SetErrorEventMode(0);
        g_downloadSpeed = 0.0f;
    }

    // The pending message, or "" when there is none (taking it).
    static std::string TakeMessage() {
        CTexto text;
        return TakePendingMessage(&text) ? text.GetText() : "";
    }

    static std::string ReadAllFrom(CFicheroHttp& stream) {
        std::string bytes;
        char chunk[4096];
        int got;
        while ((got = stream.Read(chunk, sizeof chunk)) > 0)
            bytes.append(chunk, static_cast<size_t>(got));
        return bytes;
    }

    TempFolder m_folder;
    MessageBoxFunction m_previousBox = nullptr;
};

}  // namespace

TEST_F(Stream, WritesThenReadsAFile) {
    const std::string path = m_folder.File("data.bin");
    CFicheroHttp stream;
    ASSERT_NE(stream.Open(path.c_str(), OpenWrite | OpenCreate), 0);
    EXPECT_EQ(stream.GetSource(), StreamSource::File);
    EXPECT_EQ(stream.Write("\x01\x02\x03\x04" "ABCDEFGH", 12), 12);
    EXPECT_EQ(stream.GetLength(), 12);
    EXPECT_EQ(stream.GetPosition(), 12);
    stream.Close();
    EXPECT_EQ(stream.IsOpen(), 0);

    ASSERT_NE(stream.Open(path.c_str()), 0);
    EXPECT_EQ(stream.GetLength(), 12);
    uint32_t word = 0;
    EXPECT_EQ(stream.ReadInt32(&word), 4);
    EXPECT_EQ(word, 0x04030201u);
    EXPECT_EQ(stream.Seek(0), 0);
    stream.m_bigEndian = 1;
    EXPECT_EQ(stream.ReadInt32(&word), 4);
    EXPECT_EQ(word, 0x01020304u);
    uint16_t half = 0;
    EXPECT_EQ(stream.ReadInt16(&half), 2);
    EXPECT_EQ(half, 0x4142);

    char rest[32];
    EXPECT_EQ(stream.Seek(8), 8);
    EXPECT_EQ(stream.Read(rest, sizeof rest), 4);
    EXPECT_EQ(std::string(rest, 4), "EFGH");
    EXPECT_EQ(stream.Read(rest, sizeof rest), 0) << "nothing past the end";
    EXPECT_EQ(stream.SeekToEnd(), 12);
    EXPECT_EQ(stream.Seek(-5), -1);
    EXPECT_EQ(stream.GetPosition(), 12) << "a refused seek leaves the position";

    // Reading from a start position.
    ASSERT_NE(stream.Open(path.c_str(), OpenRead, nullptr, 10), 0);
    EXPECT_EQ(stream.Read(rest, sizeof rest), 2);
    EXPECT_EQ(std::string(rest, 2), "GH");
}

TEST_F(Stream, WriteFlagsDecideTruncationQuestionAndPosition) {
    struct Case {
        unsigned flags;
        bool userMessages;
        int answer;        // to the overwrite question
        bool asks;
        int opened;
        const char* after; // file content after writing "xy" (when opened)
    };
    const Case cases[] = {
        {OpenWrite, true, IDNO, false, 1, "xyCDEFGH"},
        {OpenWrite | OpenCreate, true, IDNO, false, 1, "xy"},
        {OpenReadWrite, true, IDNO, false, 1, "xyCDEFGH"},
        {OpenReadWrite | OpenCreate, true, IDNO, false, 1, "xyCDEFGH"},
        {OpenAppend | OpenReadWrite, true, IDNO, false, 1, "ABCDEFGHxy"},
        {OpenAppend | OpenCreate | OpenReadWrite, true, IDNO, false, 1, "ABCDEFGHxy"},
        {OpenWrite | OpenReadWrite | OpenCreate | OpenNoOverwritePrompt, true, IDNO, false, 1, "xy"},
        {OpenWrite | OpenCreate | OpenReportErrors, true, IDYES, true, 1, "xy"},
        {OpenWrite | OpenCreate | OpenReportErrors, true, IDNO, true, 0, "ABCDEFGH"},
        {OpenWrite | OpenReportErrors, true, IDYES, true, 1, "xyCDEFGH"},
        {OpenWrite | OpenNoOverwritePrompt | OpenReportErrors, true, IDNO, false, 1, "xyCDEFGH"},
        {OpenReadWrite | OpenReportErrors, true, IDNO, false, 1, "xyCDEFGH"},
        {OpenWrite | OpenCreate | OpenReportErrors, false, IDNO, false, 1, "xy"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << c.flags);
        const std::string path = m_folder.Write("existing.txt", "ABCDEFGH");
        SetUserMessagesEnabled(c.userMessages);
        g_questions = 0;
        g_answer = c.answer;
        CFicheroHttp stream;
        EXPECT_EQ(stream.Open(path.c_str(), c.flags) != 0, c.opened != 0);
        EXPECT_EQ(g_questions.load(), c.asks ? 1 : 0);
        if (c.opened) {
            EXPECT_EQ(stream.Write("xy", 2), 2);
        }
        stream.Close();
        EXPECT_EQ(TempFolder::ReadAll(path), c.after);
        EXPECT_EQ(TakeMessage(), "") << "a refused question is not an error";
    }
    EXPECT_EQ(g_questionText, Line(kLineReplaceQuestion) + " \n" + m_folder.File("existing.txt"));
}

TEST_F(Stream, WritingCreatesFilesAndClearsReadOnly) {
    const std::string fresh = m_folder.File("fresh.txt");
    CFicheroHttp stream;
    ASSERT_NE(stream.Open(fresh.c_str(), OpenWrite | OpenReportErrors), 0);
    EXPECT_EQ(g_questions.load(), 0) << "a new file needs no question";
    stream.Write("new", 3);
    stream.Close();
    EXPECT_EQ(TempFolder::ReadAll(fresh), "new");

    SetFileAttributesA(fresh.c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_NE(stream.Open(fresh.c_str(), OpenWrite | OpenCreate), 0);
    stream.Write("z", 1);
    stream.Close();
    EXPECT_EQ(TempFolder::ReadAll(fresh), "z");

    // Writing at a start position puts the first bytes there.
    ASSERT_NE(stream.Open(fresh.c_str(), OpenReadWrite, nullptr, 3), 0);
    stream.Write("!", 1);
    stream.Close();
    EXPECT_EQ(TempFolder::ReadAll(fresh), std::string("z\0\0!", 4));
}

TEST_F(Stream, ReportsEachOpenFailure) {
    const std::string missing = m_folder.File("missing.jpg");
    CFicheroHttp stream;

    EXPECT_EQ(stream.Open(missing.c_str()), 0);
    EXPECT_EQ(TakeMessage(), "") << "without OpenReportErrors a miss is silent";

    EXPECT_EQ(stream.Open(missing.c_str(), OpenReportErrors), 0);
    EXPECT_EQ(TakeMessage(), Line(kLineFileDoesNotExist) + " " + missing);

    SetErrorEventMode(1);
    EXPECT_EQ(stream.Open(missing.c_str(), OpenReportErrors), 0);
    EXPECT_EQ(TakeMessage(), "") << "error events replace the message";
    CTexto name, value;
    ASSERT_TRUE(TakePendingEvent(&name, &value));
    EXPECT_STREQ(name.GetText(), "filenotfound");
    EXPECT_EQ(missing, value.GetText());
    SetErrorEventMode(0);

    SetUserMessagesEnabled(false);
    EXPECT_EQ(stream.Open(missing.c_str(), OpenReportErrors), 0);
    EXPECT_EQ(TakeMessage(), "");
    EXPECT_FALSE(TakePendingEvent(nullptr, nullptr));
    SetUserMessagesEnabled(true);

    // Exists, but another stream holds it exclusively.
    const std::string locked = m_folder.Write("locked.bin", "data");
    CFicheroHttp holder;
    ASSERT_NE(holder.Open(locked.c_str(), OpenExclusive), 0);
    EXPECT_EQ(stream.Open(locked.c_str()), 0);
    EXPECT_EQ(TakeMessage(), "");
    EXPECT_EQ(stream.Open(locked.c_str(), OpenReportErrors), 0);
    EXPECT_EQ(TakeMessage(), Line(kLineCannotOpenToRead) + " " + locked);
    holder.Close();
    EXPECT_NE(stream.Open(locked.c_str(), OpenReportErrors), 0);

    // A folder that does not exist cannot take a new file.
    const std::string unwritable = m_folder.File("no\\such\\folder\\out.txt");
    EXPECT_EQ(stream.Open(unwritable.c_str(), OpenWrite | OpenCreate), 0);
    EXPECT_EQ(TakeMessage(), "");
    EXPECT_EQ(stream.Open(unwritable.c_str(), OpenWrite | OpenCreate | OpenReportErrors), 0);
    EXPECT_EQ(TakeMessage(), Line(kLineCannotOpenToWrite) + ": " + unwritable);
    EXPECT_EQ(stream.IsOpen(), 0);
}

TEST_F(Stream, CutsAShortFragmentAfterTheLastHash) {
    m_folder.Write("tour.kzr", "tour");
    m_folder.Write("a#b.kzr", "hash in name");
    struct Case {
        const char* name;
        const char* opened;   // the name the stream keeps; null when the open fails
    };
    const Case cases[] = {
        {"tour.kzr#1", "tour.kzr"},
        {"tour.kzr#", "tour.kzr"},
        {"tour.kzr#1234", "tour.kzr"},
        {"tour.kzr#12345", nullptr},
        {"a#b.kzr", "a#b.kzr"},
        {"a#b.kzr#12", "a#b.kzr"},
    };
    for (const Case& c : cases) {
        const std::string name = m_folder.File(c.name);
        CFicheroHttp stream;
        int opened = stream.Open(name.c_str());
        if (c.opened) {
            EXPECT_NE(opened, 0) << c.name;
            EXPECT_EQ(m_folder.File(c.opened), stream.GetName().GetText());
        } else {
            EXPECT_EQ(opened, 0) << c.name;
            EXPECT_EQ(name, stream.GetName().GetText());
        }
    }
}

TEST_F(Stream, CancelWordStopsOpensAndReads) {
    const std::string path = m_folder.Write("data.txt", "0123456789");
    std::atomic<int> cancel{1};
    CFicheroHttp stream;
    EXPECT_EQ(stream.Open(path.c_str(), OpenRead, &cancel), 0);

    cancel = 0;
    ASSERT_NE(stream.Open(path.c_str(), OpenRead, &cancel), 0);
    char buffer[4];
    EXPECT_EQ(stream.Read(buffer, 2), 2);
    cancel = 1;
    EXPECT_EQ(stream.Read(buffer, 2), 0);
    EXPECT_TRUE(stream.IsCancelled());

    // Close hands the stream back its own cancel word.
    stream.Close();
    EXPECT_FALSE(stream.IsCancelled());
    ASSERT_NE(stream.Open(path.c_str()), 0);
    stream.m_cancel = 1;
    EXPECT_EQ(stream.Read(buffer, 2), 0);
}

TEST_F(Stream, UrlsAreRecognisedAndAClosedPortFails) {
    EXPECT_TRUE(CFicheroHttp::IsHttpUrl("http://127.0.0.1/tour.kzr"));
    EXPECT_TRUE(CFicheroHttp::IsHttpUrl("HTTP://host"));
    EXPECT_FALSE(CFicheroHttp::IsHttpUrl("https://host"));
    EXPECT_FALSE(CFicheroHttp::IsHttpUrl("http:/host"));
    EXPECT_FALSE(CFicheroHttp::IsHttpUrl(nullptr));
    // A refused connection would otherwise switch the whole test process to WinInet.
    CFicheroHttp::SetWinInetDisabled(true);
    CFicheroHttp stream;
    EXPECT_EQ(stream.Open("http://127.0.0.1:9/tour.kzr"), 0);
    EXPECT_EQ(stream.IsOpen(), 0);
    CFicheroHttp::SetWinInetDisabled(false);
}

TEST_F(Stream, ReadsAnRcdataResource) {
    CFicheroHttp stream;
    ASSERT_EQ(stream.OpenResource(STREAM_TEST_RESOURCE_ID, MAKEINTRESOURCEA(10) /* RT_RCDATA */), 1);
    const std::string expected = STREAM_TEST_RESOURCE_TEXT;
    EXPECT_EQ(stream.GetLength(), static_cast<int64_t>(expected.size()));
    EXPECT_EQ(ReadAllFrom(stream), expected);
    EXPECT_EQ(stream.Seek(8), 8);
    char word[6];
    ASSERT_EQ(stream.Read(word, 6), 6);
    EXPECT_EQ(std::string(word, 6), "stream");
    EXPECT_EQ(stream.Write("x", 1), 0) << "resources are read-only";

    EXPECT_EQ(stream.OpenResource(STREAM_TEST_RESOURCE_ID + 1, MAKEINTRESOURCEA(10)), 0);
    EXPECT_EQ(stream.IsOpen(), 0);
}

TEST_F(Stream, MemoryBufferCopiedOrInPlace) {
    char block[] = "memory block";
    CFicheroHttp stream;
    ASSERT_TRUE(stream.SetBuffer(block, 12, BufferUse::Copy));
    block[0] = 'M';
    EXPECT_EQ(ReadAllFrom(stream), "memory block") << "a copy does not see later changes";

    ASSERT_TRUE(stream.SetBuffer(block, 12, BufferUse::InPlace));
    block[1] = 'E';
    EXPECT_EQ(stream.GetLength(), 12);
    EXPECT_EQ(ReadAllFrom(stream), "MEmory block");
    EXPECT_EQ(stream.Seek(100), 12) << "positions stop at the end of the block";
    EXPECT_EQ(stream.Seek(7), 7);
    char tail[8];
    EXPECT_EQ(stream.Read(tail, 8), 5);

    stream.Close();
    EXPECT_EQ(stream.Read(tail, 1), 0) << "a closed stream reads nothing";
}

TEST_F(Stream, MemoryModeGrowsAndKeepsItsContent) {
    CFicheroHttp stream;
    stream.m_memoryMode = 1;
    ASSERT_NE(stream.Open(""), 0);
    EXPECT_EQ(stream.GetLength(), 0);
    std::string expected;
    for (int i = 0; i < 300; i++) {
        std::string piece(701, static_cast<char>('a' + i % 26));
        ASSERT_EQ(stream.Write(piece.data(), static_cast<int>(piece.size())), 701);
        expected += piece;
    }
    EXPECT_EQ(stream.GetLength(), static_cast<int64_t>(expected.size()));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.GetMemoryData()), expected.size()), expected);

    // Overwrite in the middle, then read everything back through the stream.
    EXPECT_EQ(stream.Seek(1000), 1000);
    stream.Write("XYZ", 3);
    expected.replace(1000, 3, "XYZ");
    EXPECT_EQ(stream.Seek(0), 0);
    EXPECT_EQ(ReadAllFrom(stream), expected);
    EXPECT_EQ(stream.GetLength(), static_cast<int64_t>(expected.size()));

    // Opening again starts a fresh buffer.
    ASSERT_NE(stream.Open(nullptr), 0);
    EXPECT_EQ(stream.GetLength(), 0);
}

TEST_F(Stream, MemorySourcesRefuseImpossiblePositionsAndKeepTheirOwnBytes) {
    CFicheroHttp stream;
    stream.m_memoryMode = 1;
    ASSERT_NE(stream.Open(""), 0);
    ASSERT_EQ(stream.Write("abcdefgh", 8), 8);

    // A position so far out that position + count cannot be formed: the write is refused.
    const int64_t farOut = INT64_MAX - 4;
    ASSERT_EQ(stream.Seek(farOut), farOut);
    EXPECT_EQ(stream.Write("12345678", 8), 0);
    EXPECT_EQ(stream.GetPosition(), farOut);
    EXPECT_EQ(stream.GetLength(), 8);

    // The bytes the stream wrote itself, read in place: the stream must not free them first.
    std::string written(reinterpret_cast<const char*>(stream.GetMemoryData()), 8);
    ASSERT_EQ(written, "abcdefgh");
    ASSERT_TRUE(stream.SetBuffer(stream.GetMemoryData(), 8, BufferUse::InPlace));
    std::vector<char> churn[64];
    for (auto& block : churn)
        block.assign(65546, 'z');   // heap traffic that would reuse a freed buffer
    EXPECT_EQ(ReadAllFrom(stream), "abcdefgh");

    // A copy of part of its own buffer overlaps it.
    ASSERT_TRUE(stream.SetBuffer(stream.GetMemoryData() + 2, 6, BufferUse::Copy));
    EXPECT_EQ(ReadAllFrom(stream), "cdefgh");
}

namespace {

struct Producer {
    CFicheroHttp* stream;
    std::string bytes;
    bool succeed = true;
};

unsigned Produce(void* parameter) {
    Producer* producer = static_cast<Producer*>(parameter);
    const int chunk = 333;
    for (size_t at = 0; at < producer->bytes.size(); at += chunk) {
        int n = static_cast<int>(std::min<size_t>(chunk, producer->bytes.size() - at));
        producer->stream->AppendFill(producer->bytes.data() + at, n);
        SleepMilliseconds(2);
    }
    producer->stream->EndFill(producer->succeed);
    return 0;
}

std::string PatternBytes(size_t n) {
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; i++)
        bytes[i] = static_cast<char>(i * 7 + i / 251);
    return bytes;
}

}  // namespace

TEST_F(Stream, ReaderWaitsForAProducerOnAnotherThread) {
    for (int64_t declared : {int64_t{-1}, int64_t{20000}}) {
        SCOPED_TRACE(testing::Message() << "declared length " << declared);
        CFicheroHttp stream;
        Producer producer{&stream, PatternBytes(20000)};
        ASSERT_TRUE(stream.BeginFill(20000, declared));
        EXPECT_EQ(stream.GetLength(), declared);
        ASSERT_NE(StartWorkerThread(&Produce, &producer, &stream.m_workerThread), nullptr);
        ResumeWorkerThread(stream.m_workerThread.load());

        // Reads larger than a chunk; an unknown length never looks like an early end.
        std::string got;
        char buffer[1000];
        int n;
        while ((n = stream.Read(buffer, sizeof buffer)) > 0)
            got.append(buffer, static_cast<size_t>(n));
        EXPECT_EQ(got.size(), producer.bytes.size());
        EXPECT_TRUE(got == producer.bytes);
        EXPECT_EQ(stream.GetLength(), 20000);
        EXPECT_TRUE(WaitForWorkerThreadEnd(stream.m_workerThread, 5000));
    }
}

TEST_F(Stream, FailedOrCancelledFillReadsNothing) {
    CFicheroHttp stream;
    Producer producer{&stream, PatternBytes(3000)};
    producer.succeed = false;
    ASSERT_TRUE(stream.BeginFill(3000, 3000));
    ASSERT_NE(StartWorkerThread(&Produce, &producer, &stream.m_workerThread), nullptr);
    ResumeWorkerThread(stream.m_workerThread.load());
    EXPECT_TRUE(WaitForWorkerThreadEnd(stream.m_workerThread, 5000));
    char buffer[100];
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), 0);
    EXPECT_EQ(stream.GetMemoryState(), BufferFailed);

    // A reader waiting on a producer that never comes is released by the cancel word.
    CFicheroHttp waiting;
    ASSERT_TRUE(waiting.BeginFill(100, -1));
    std::thread canceller([&] {
        SleepMilliseconds(50);
        waiting.m_cancel = 1;
    });
    EXPECT_EQ(waiting.Read(buffer, sizeof buffer), 0);
    canceller.join();
}

TEST_F(Stream, CopyFromCopiesWholeFilesInChunks) {
    const std::string source = m_folder.Write("source.bin", PatternBytes(150001));
    const std::string target = m_folder.File("target.bin");
    CFicheroHttp stream;
    ASSERT_NE(stream.Open(target.c_str(), OpenWrite | OpenCreate), 0);
    EXPECT_EQ(stream.CopyFrom(source.c_str(), OpenRead), 150001);
    stream.Close();
    EXPECT_TRUE(TempFolder::ReadAll(target) == PatternBytes(150001));

    ASSERT_NE(stream.Open(target.c_str(), OpenWrite | OpenCreate), 0);
    EXPECT_EQ(stream.CopyFrom(m_folder.File("none.bin").c_str(), OpenRead), 0);
    EXPECT_EQ(TakeMessage(), Line(kLineFileDoesNotExist) + " " + m_folder.File("none.bin"))
        << "the source is opened with OpenReportErrors";
}

TEST_F(Stream, FilesOfFourGigabytesHaveTheirTrueLength) {
    const std::string path = m_folder.File("large.cam");
    const int64_t size = (int64_t{1} << 32) + 4096;
    {
        // Sparse: the file takes no real space.
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        LARGE_INTEGER end;
        end.QuadPart = size;
        ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(file));
        CloseHandle(file);
    }
    CFicheroHttp stream;
    ASSERT_NE(stream.Open(path.c_str(), OpenReadWrite), 0);
    EXPECT_EQ(stream.GetLength(), size);
    EXPECT_EQ(stream.Seek(size - 4), size - 4);
    EXPECT_EQ(stream.Write("tail", 4), 4);
    EXPECT_EQ(stream.GetPosition(), size);
    EXPECT_EQ(stream.Seek(size - 4), size - 4);
    char tail[8];
    EXPECT_EQ(stream.Read(tail, 8), 4);
    EXPECT_EQ(std::string(tail, 4), "tail");

    ASSERT_NE(stream.Open(path.c_str(), OpenAppend | OpenReadWrite), 0);
    EXPECT_EQ(stream.GetPosition(), size);
}

TEST_F(Stream, SpeedLimitPacesReadsAndYieldsToCancel) {
    const std::string path = m_folder.Write("paced.bin", PatternBytes(4000));
    CFicheroHttp stream;
    ASSERT_NE(stream.Open(path.c_str()), 0);
    char buffer[4000];

    // 100 bytes at 10 kbit/s take about 98 ms.
    g_downloadSpeed = 10.0f;
    ULONGLONG before = GetTickCount64();
    EXPECT_EQ(stream.Read(buffer, 100), 100);
    EXPECT_GE(GetTickCount64() - before, 80u);

    // 4000 bytes at 1 kbit/s would take 39 s: the wait is clamped to 5 s and a cancel ends it.
    g_downloadSpeed = 1.0f;
    std::thread canceller([&] {
        SleepMilliseconds(100);
        stream.m_cancel = 1;
    });
    before = GetTickCount64();
    EXPECT_EQ(stream.Read(buffer, 3900), 3900);
    EXPECT_LT(GetTickCount64() - before, 4000u);
    canceller.join();
    g_downloadSpeed = 0.0f;
}

TEST_F(Stream, PackageKeyMaskIsItsOwnInverseAndKeyedByPosition) {
    CFicheroHttp stream;
    stream.m_keyLength = 120;
    stream.m_keyOffset = 27;
    for (int i = 0; i < kPackageKeySize; i++)
        stream.m_key[i] = static_cast<uint8_t>(i * 37 + 11);
    const std::string plain = PatternBytes(1000);
    const uint8_t* in = reinterpret_cast<const uint8_t*>(plain.data());

    std::vector<uint8_t> unchanged(1000);
    stream.ScrambleBytes(unchanged.data(), in, 1000, 5);
    EXPECT_EQ(std::memcmp(unchanged.data(), in, 1000), 0) << "scrambling word -1 passes bytes through";

    stream.m_scrambleOff = 0;
    for (uint32_t start : {0u, 1u, 4096u, 0xFFFFFF00u}) {
        std::vector<uint8_t> whole(1000);
        stream.ScrambleBytes(whole.data(), in, 1000, start);
        EXPECT_NE(std::memcmp(whole.data(), in, 1000), 0);
        // In pieces starting at odd and even positions: the mask depends on position only.
        std::vector<uint8_t> pieces(1000);
        for (int at = 0; at < 1000; at += 77)
            stream.ScrambleBytes(pieces.data() + at, in + at, std::min(77, 1000 - at), start + at);
        EXPECT_TRUE(pieces == whole);
        stream.DescrambleBytes(whole.data(), 1000, start);
        EXPECT_EQ(std::memcmp(whole.data(), in, 1000), 0);
    }

    // Written scrambled, read back plain with the same key.
    const std::string path = m_folder.File("scrambled.bin");
    ASSERT_NE(stream.Open(path.c_str(), OpenWrite | OpenCreate), 0);
    stream.Write(plain.data(), 1000);
    stream.Close();
    EXPECT_TRUE(TempFolder::ReadAll(path) != plain);
    ASSERT_NE(stream.Open(path.c_str()), 0);
    EXPECT_EQ(stream.Seek(333), 333);
    std::string back(667, '\0');
    EXPECT_EQ(stream.Read(&back[0], 667), 667);
    EXPECT_TRUE(back == plain.substr(333));
}
