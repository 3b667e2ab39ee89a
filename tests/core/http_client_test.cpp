// The HTTP client of CFicheroHttp against the loopback server: request bytes, lengths and
// statuses, long heads, chunked bodies, resuming, redirects, seeking, the download gate,
// cancelling, the proxy and the WinInet fallback.
#include "http_test_support.h"
#include "proxy_settings.h"

#include <wininet.h>

#include <atomic>
#include <memory>
#include <regex>
#include <thread>

#include "core/language.h"
#include "core/mailboxes.h"
#include "core/system_wrappers.h"
#include "core/winsock_init.h"

using namespace http_test;

namespace {

class HttpClient : public ServerTest {};

std::string DataPath(const std::string& tag, int size, const std::string& options = "") {
    return "/data/file.bin?size=" + std::to_string(size) + "&tag=" + tag + options;
}

TEST_F(HttpClient, SendsTheExactRequestBytes) {
    struct Case {
        int64_t start;
        const char* postBody;
    };
    const Case cases[] = {{0, nullptr}, {37, nullptr}, {0, "a=1&b=two"}};
    for (const Case& c : cases) {
        const std::string tag = NewTag("exact");
        const std::string path = DataPath(tag, 100);
        CFicheroHttp stream;
        stream.m_postBody = c.postBody;
        ASSERT_TRUE(stream.Open(Url(path).c_str(), OpenRead, nullptr, c.start));
        EXPECT_EQ(stream.GetLength(), 100);
        EXPECT_EQ(stream.GetPosition(), c.start);
        const std::string body = ReadAll(stream);
        EXPECT_EQ(body.size(), static_cast<size_t>(100 - c.start));
        EXPECT_TRUE(IsPattern(body, c.start));
        stream.Close();

        std::vector<std::string> requests = Requests(tag);
        ASSERT_EQ(requests.size(), 1u);
        std::string expected = std::string(c.postBody ? "POST " : "GET ") + path +
                               " HTTP/1.1\r\nHost: 127.0.0.1\r\nCache-Control: no-cache\r\n"
                               "Date: DATE\r\nAccept: application/x-lumarixx, */*;\r\n"
                               "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n";
        if (c.postBody) {
            expected += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                        std::to_string(std::strlen(c.postBody)) + "\r\n";
        }
        expected += "Range: bytes=" + std::to_string(c.start) + "-\r\nConnection: Keep-Alive\r\n\r\n";
        if (c.postBody)
            expected += c.postBody;
        const std::string actual = std::regex_replace(
            requests[0], std::regex("Date: [A-Z][a-z]{2}, \\d{2} [A-Z][a-z]{2} \\d{4} \\d{2}:\\d{2}:\\d{2} GMT"),
            "Date: DATE");
        EXPECT_EQ(actual, expected);
    }
}

TEST_F(HttpClient, LengthAndSeekabilityFollowTheAnswer) {
    struct Case {
        const char* options;
        int64_t lengthAtOpen;
        bool seekable;
    };
    const int size = 30000;
    const Case cases[] = {
        {"", size, true},
        {"&norange=1", size, false},                  // 200: the server ignored the range
        {"&norange=1&nolength=1", -1, false},         // closes after the body
        {"&crstar=1", -1, true},                      // "Content-Range: bytes 0-29999/*"
        {"&bighead=3000", size, true},                // a head far past 1024 bytes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        CFicheroHttp stream;
        ASSERT_TRUE(stream.Open(Url(DataPath(NewTag("length"), size, c.options)).c_str()));
        EXPECT_EQ(stream.GetLength(), c.lengthAtOpen);
        EXPECT_EQ(stream.IsSeekable(), c.seekable);
        const std::string body = ReadAll(stream);
        EXPECT_EQ(body.size(), static_cast<size_t>(size));
        EXPECT_TRUE(IsPattern(body));
        EXPECT_EQ(stream.GetLength(), size);
    }
}

TEST_F(HttpClient, MoreStreamsReadingAtOnceThanLargeReceivesReadTheirOwnBytes) {
    // Reads of 64 KB take a large receive while the process has one free; the streams beyond
    // those receive into the caller's buffer. Read in turn, each stream gets its own bytes, also
    // without a length from the server and across a short forward seek.
    constexpr int kStreams = 6;
    constexpr int kPiece = 65536;
    const int size = 700000;
    std::vector<std::unique_ptr<CFicheroHttp>> streams;
    for (int i = 0; i < kStreams; ++i) {
        streams.push_back(std::make_unique<CFicheroHttp>());
        const char* options = i % 2 ? "&norange=1&nolength=1" : "";
        ASSERT_TRUE(streams.back()->Open(Url(DataPath(NewTag("shared"), size, options)).c_str()));
    }
    const int64_t seekTo = kPiece + 1000;
    std::vector<std::string> bodies(kStreams);
    std::vector<uint8_t> piece(kPiece);
    for (bool reading = true; reading;) {
        reading = false;
        for (int i = 0; i < kStreams; ++i) {
            const int n = streams[i]->Read(piece.data(), kPiece);
            if (n <= 0)
                continue;
            bodies[i].append(reinterpret_cast<const char*>(piece.data()), static_cast<size_t>(n));
            if (i == 0 && bodies[i].size() == static_cast<size_t>(kPiece)) {
                ASSERT_EQ(streams[i]->Seek(seekTo), seekTo);
            }
            reading = true;
        }
    }
    for (int i = 0; i < kStreams; ++i) {
        SCOPED_TRACE(i);
        const int64_t skipped = i == 0 ? seekTo - kPiece : 0;
        EXPECT_EQ(static_cast<int64_t>(bodies[i].size()), size - skipped);
        EXPECT_TRUE(IsPattern(bodies[i].substr(0, kPiece)));
        EXPECT_TRUE(IsPattern(bodies[i].substr(kPiece), kPiece + skipped));
    }
}

TEST_F(HttpClient, DecodesChunkedBodies) {
    const struct {
        int size;
        const char* options;
    } cases[] = {
        {1000, "&norange=1&chunked=7"},
        {50000, "&norange=1&chunked=4000&split=1"},  // every size line straddles two packets
        {20000, "&norange=1&chunked=3000&ext=1"},    // ";name=value" after the size
        {20000, "&norange=1&chunked=5000&zeros=1"},  // 20-digit size lines
        {65536, "&norange=1&chunked=65536"},
        {5, "&norange=1&chunked=100"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        CFicheroHttp stream;
        ASSERT_TRUE(stream.Open(Url(DataPath(NewTag("chunked"), c.size, c.options)).c_str()));
        EXPECT_EQ(stream.GetLength(), -1);
        // The server keeps the connection open after the zero chunk: the read must end there.
        const std::string body = ReadAll(stream, 3000);
        EXPECT_EQ(body.size(), static_cast<size_t>(c.size));
        EXPECT_TRUE(IsPattern(body));
        EXPECT_EQ(stream.GetLength(), c.size);
    }
}

TEST_F(HttpClient, ResumesWithARangeAfterADrop) {
    const struct {
        const char* options;
        bool rangeHonoured;
    } cases[] = {
        {"&drop=12345", true},
        {"&drop=12345&range200=1", false},   // the resume is answered with the whole body
        {"&drop=4100&chunked=1000", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        const std::string tag = NewTag("resume");
        CFicheroHttp stream;
        ASSERT_TRUE(stream.Open(Url(DataPath(tag, 40000, c.options)).c_str()));
        const std::string body = ReadAll(stream, 5000);
        EXPECT_EQ(body.size(), 40000u);
        EXPECT_TRUE(IsPattern(body));
        std::vector<std::string> requests = Requests(tag);
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(RangeOf(requests[0]), 0);
        // Only whole chunks count as received: the resume starts at the last one delivered.
        EXPECT_GT(RangeOf(requests[1]), 0);
        EXPECT_LE(RangeOf(requests[1]), 12345);
    }
}

TEST_F(HttpClient, FollowsRedirects) {
    const std::string port = std::to_string(ServerPort());
    const std::string tag = NewTag("MiXeD");
    const std::string target = DataPath(tag, 500);
    const std::string encoded = "%2Fdata%2Ffile.bin%3Fsize%3D500%26tag%3D" + tag;
    const struct {
        std::string url;
        bool opens;
    } cases[] = {
        {"/redirect?to=" + encoded, true},                                    // '/'-rooted keeps the port
        {"/redirect?code=301&to=data%2Ffile.bin%3Fsize%3D500%26tag%3D" + tag, true},   // relative
        {"/redirect?code=307&to=http%3A%2F%2F127.0.0.1%3A" + port + encoded, true},
        {"/chain?n=9&final=" + encoded, true},                                 // 10 in a row
        {"/chain?n=10&final=" + encoded, false},                               // 11
        {"/redirect?to=https%3A%2F%2F127.0.0.1%3A" + port + encoded, false},
        {"/redirect?to=ftp%3A%2F%2F127.0.0.1%2Fx", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        CFicheroHttp stream;
        const bool opened = stream.Open(Url(c.url).c_str()) != 0;
        EXPECT_EQ(opened, c.opens);
        if (opened) {
            EXPECT_EQ(std::string(stream.GetFullUrl().GetText()), Url(target));
            EXPECT_TRUE(IsPattern(ReadAll(stream)));
        }
    }
    // The location is taken as sent: the mixed-case tag reached the server unchanged.
    EXPECT_EQ(Requests(tag).size(), 4u);

    CFicheroHttp stream;
    stream.m_followRedirects = 0;
    EXPECT_FALSE(stream.Open(Url(cases[0].url).c_str()));
}

TEST_F(HttpClient, ReportsUnexpectedStatusesOnlyWhenAsked) {
    TakePendingMessage(nullptr);
    TakePendingEvent(nullptr, nullptr);
    const std::string url = Url("/data/x?status=404&tag=" + NewTag("status"));
    CFicheroHttp stream;
    EXPECT_FALSE(stream.Open(url.c_str()));
    EXPECT_FALSE(HasPendingMessage());

    EXPECT_FALSE(stream.Open(url.c_str(), OpenReportErrors));
    CTexto message;
    ASSERT_TRUE(TakePendingMessage(&message));
    const std::string text = message.GetText();
    EXPECT_EQ(text.rfind(std::string(GetLanguageLine(kLineFileDoesNotExist)) + " " + url + "\r\n\r\nHTTP/1.1 404", 0), 0u)
        << text;

    SetErrorEventMode(1);
    EXPECT_FALSE(stream.Open(url.c_str(), OpenReportErrors));
    SetErrorEventMode(0);
    CTexto name;
    CTexto value;
    ASSERT_TRUE(TakePendingEvent(&name, &value));
    EXPECT_STREQ(name.GetText(), kEventFileNotFound);
    EXPECT_EQ(std::string(value.GetText()), url);
    EXPECT_FALSE(HasPendingMessage());

    // A status line without a blank is no answer at all.
    EXPECT_FALSE(stream.Open(Url("/data/x?nostatus=1&tag=" + NewTag("status")).c_str()));
}

TEST_F(HttpClient, NeedsAPathAfterTheHost) {
    CFicheroHttp stream;
    EXPECT_FALSE(stream.Open(Origin().c_str()));
    EXPECT_TRUE(stream.Open((Origin() + "/").c_str()));
    EXPECT_EQ(stream.GetLength(), 10);
    // Nothing listens on port 1.
    EXPECT_FALSE(stream.Open("http://127.0.0.1:1/data/x"));
    EXPECT_FALSE(stream.Open("http://127.0.0.1:99999/data/x"));
}

TEST_F(HttpClient, SeeksByRangeOrByReading) {
    const int size = 200000;
    const std::string tag = NewTag("seek");
    CFicheroHttp stream;
    ASSERT_TRUE(stream.Open(Url(DataPath(tag, size)).c_str()));
    char buffer[1000];
    ASSERT_EQ(stream.Read(buffer, 1000), 1000);
    EXPECT_EQ(stream.Seek(5000), 5000);            // short: read and discarded
    ASSERT_EQ(stream.Read(buffer, 1000), 1000);
    EXPECT_TRUE(IsPattern(std::string(buffer, 1000), 5000));
    EXPECT_EQ(Requests(tag).size(), 1u);
    EXPECT_EQ(stream.Seek(150000), 150000);        // far: a new range
    ASSERT_EQ(stream.Read(buffer, 1000), 1000);
    EXPECT_TRUE(IsPattern(std::string(buffer, 1000), 150000));
    EXPECT_EQ(stream.Seek(100), 100);              // back: a new range
    ASSERT_EQ(stream.Read(buffer, 1000), 1000);
    EXPECT_TRUE(IsPattern(std::string(buffer, 1000), 100));
    std::vector<std::string> requests = Requests(tag);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(RangeOf(requests[1]), 150000);
    EXPECT_EQ(RangeOf(requests[2]), 100);

    // Without ranges a backward seek starts over from 0 and reads up to the target.
    const std::string plain = NewTag("seek200");
    CFicheroHttp forward;
    ASSERT_TRUE(forward.Open(Url(DataPath(plain, size, "&norange=1")).c_str()));
    ASSERT_EQ(forward.Read(buffer, 1000), 1000);
    EXPECT_EQ(forward.Seek(30000), 30000);
    ASSERT_EQ(forward.Read(buffer, 1000), 1000);
    EXPECT_TRUE(IsPattern(std::string(buffer, 1000), 30000));
    EXPECT_EQ(forward.Seek(10), 10);
    ASSERT_EQ(forward.Read(buffer, 1000), 1000);
    EXPECT_TRUE(IsPattern(std::string(buffer, 1000), 10));
    EXPECT_EQ(Requests(plain).size(), 2u);
}

TEST_F(HttpClient, AWholeBodyAnswerThatBreaksOffBeforeThePositionIsRequestedAgain) {
    // After a far seek the server answers the range with the whole body (200) and drops it
    // before reaching the position: the read must re-request, and give up after its tries
    // rather than wait for bytes that no connection will bring.
    const int size = 100000;
    const std::string tag = NewTag("skipdrop");
    CFicheroHttp stream;
    ASSERT_TRUE(stream.Open(Url(DataPath(tag, size, "&range200=1&dropevery=30000")).c_str()));
    char buffer[1000];
    ASSERT_EQ(stream.Read(buffer, 1000), 1000);
    EXPECT_EQ(stream.Seek(60000), 60000);

    std::atomic<int> done{0};
    std::atomic<int> watchdogFired{0};
    std::thread watchdog([&] {
        for (int waited = 0; waited < 30000 && !done.load(); waited += 10)
            Sleep(10);
        if (!done.load()) {
            watchdogFired = 1;
            stream.m_cancel = 1;
        }
    });
    const int got = stream.Read(buffer, 1000);
    done = 1;
    watchdog.join();
    EXPECT_EQ(watchdogFired.load(), 0);
    EXPECT_EQ(got, 0);
    // The open, then one request per try.
    EXPECT_GT(Requests(tag).size(), 2u);
}

TEST_F(HttpClient, GateLetsThreeOpenAtOnce) {
    const std::string tag = NewTag("gate");
    const int before = g_openDownloads.load();
    std::atomic<int> opened{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 5; ++i) {
        threads.emplace_back([&] {
            CFicheroHttp stream;
            if (stream.Open(Url(DataPath(tag, 100, "&delay=600")).c_str())) {
                ++opened;
                char buffer[100];
                stream.Read(buffer, 100);
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(opened.load(), 5);
    EXPECT_EQ(MaxConcurrent(tag), 3);
    EXPECT_EQ(g_openDownloads.load(), before);
    EXPECT_EQ(GetDownloadQueueLength(), 0);
}

TEST_F(HttpClient, CancellingAWaitingOpenCountsNothing) {
    const std::string slow = NewTag("gate-slow");
    const int before = g_openDownloads.load();
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) {
        threads.emplace_back([&] {
            CFicheroHttp stream;
            stream.Open(Url(DataPath(slow, 10, "&delay=2500")).c_str());
        });
    }
    Sleep(400);   // the three are inside their opens
    const std::string waiting = NewTag("gate-waiting");
    std::atomic<int> cancel{0};
    std::thread canceller([&] {
        Sleep(300);
        cancel = 1;
    });
    CFicheroHttp fourth;
    const DWORD started = GetTickCount();
    EXPECT_FALSE(fourth.Open(Url(DataPath(waiting, 10)).c_str(), OpenRead, &cancel));
    EXPECT_LT(GetTickCount() - started, 2000u);
    canceller.join();
    EXPECT_EQ(g_openDownloads.load(), before + 3);
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(Requests(waiting).size(), 0u);
    EXPECT_EQ(g_openDownloads.load(), before);
}

TEST_F(HttpClient, CancelEndsTheWaitForASilentServer) {
    std::atomic<int> cancel{0};
    std::thread canceller([&] {
        Sleep(300);
        cancel = 1;
    });
    CFicheroHttp stream;
    const DWORD started = GetTickCount();
    EXPECT_FALSE(stream.Open(Url(DataPath(NewTag("silent"), 10, "&silent=1")).c_str(), OpenRead, &cancel));
    EXPECT_LT(GetTickCount() - started, 3000u);
    canceller.join();
}

TEST_F(HttpClient, OnlyAStreamThatCountedLowersTheCount) {
    const int before = g_openDownloads.load();
    CFicheroHttp failed;
    EXPECT_FALSE(failed.Open(Url("/data/x?status=500&tag=" + NewTag("count")).c_str()));
    EXPECT_EQ(g_openDownloads.load(), before);
    failed.Close();
    EXPECT_EQ(g_openDownloads.load(), before);

    CFicheroHttp open;
    ASSERT_TRUE(open.Open(Url(DataPath(NewTag("count"), 10)).c_str()));
    EXPECT_EQ(g_openDownloads.load(), before + 1);
    open.Close();
    open.Close();
    EXPECT_EQ(g_openDownloads.load(), before);

    // Opened without the gate: nothing to give back.
    CFicheroHttp direct;
    ASSERT_TRUE(direct.OpenUrl(Url(DataPath(NewTag("count"), 10)).c_str(), nullptr, 0, 0));
    direct.Close();
    EXPECT_EQ(g_openDownloads.load(), before);
}

TEST_F(HttpClient, TheSocketLibraryStaysUpUntilTheLastEngine) {
    CFicheroHttp::StartupNetwork();   // two engines
    CFicheroHttp::StartupNetwork();
    CFicheroHttp::ShutdownNetwork();
    EXPECT_EQ(g_networkShutdown.load(), 0);
    EXPECT_EQ(g_winsockState.load(), 0);
    CFicheroHttp stream;
    ASSERT_TRUE(stream.Open(Url(DataPath(NewTag("engines"), 100)).c_str()));
    EXPECT_TRUE(IsPattern(ReadAll(stream)));
    stream.Close();
    CFicheroHttp::ShutdownNetwork();   // the last one
    EXPECT_EQ(g_networkShutdown.load(), 1);
    EXPECT_EQ(g_winsockState.load(), -1);
    // Opens give up while the network is shut down, until an engine starts it again.
    EXPECT_FALSE(stream.Open(Url(DataPath(NewTag("engines"), 100)).c_str()));
    CFicheroHttp::StartupNetwork();
    EXPECT_EQ(g_networkShutdown.load(), 0);
    EXPECT_TRUE(stream.Open(Url(DataPath(NewTag("engines"), 100)).c_str()));
    stream.Close();
    CFicheroHttp::ShutdownNetwork();
    g_networkShutdown = 0;   // as before this test: nobody had started the network
}

TEST(HttpDate, IsEnglishWhateverTheLocale) {
    SYSTEMTIME time = {};
    time.wYear = 2026;
    time.wMonth = 12;
    time.wDayOfWeek = 4;
    time.wDay = 3;
    time.wHour = 7;
    time.wMinute = 5;
    time.wSecond = 9;
    CTexto text;
    FormatHttpDate(&text, time);
    EXPECT_STREQ(text.GetText(), " Thu, 03 Dec 2026 07:05:09 GMT");
}

// --- Process-wide modes, each group in a process of its own ---

class HttpProcessModes : public ServerTest {};

TEST_F(HttpProcessModes, ProxyInItsOwnProcess) {
    if (IsChild())
        GTEST_SKIP();
    EXPECT_EQ(RunChild("HttpChildProxy.*"), 0);
}

TEST_F(HttpProcessModes, AuthenticationInItsOwnProcess) {
    if (IsChild())
        GTEST_SKIP();
    EXPECT_EQ(RunChild("HttpChildAuth.*"), 0);
}

TEST_F(HttpProcessModes, RedirectSwitchInItsOwnProcess) {
    if (IsChild())
        GTEST_SKIP();
    EXPECT_EQ(RunChild("HttpChildRedirect.*"), 0);
}

class HttpChildProxy : public ServerTest {};

TEST_F(HttpChildProxy, ConnectsThroughTheUsersProxy) {
    if (!IsChild())
        GTEST_SKIP() << "runs in its own process";
    const std::string port = std::to_string(ServerPort());
    {
        // The name cannot resolve anywhere: only the proxy can answer it.
        ProxySettings proxy(1, "http=127.0.0.1:" + port + ";https=127.0.0.1:1");
        const std::string tag = NewTag("proxy");
        const std::string url = "http://tour.invalid/data/file.bin?size=3000&tag=" + tag;
        CFicheroHttp stream;
        ASSERT_TRUE(stream.Open(url.c_str()));
        EXPECT_FALSE(stream.IsViaWinInet());
        EXPECT_TRUE(IsPattern(ReadAll(stream)));
        std::vector<std::string> requests = Requests(tag);
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].rfind("GET " + url + " HTTP/1.0\r\nHost: tour.invalid\r\n", 0), 0u) << requests[0];
        EXPECT_NE(requests[0].find("Proxy-Connection: Keep-Alive\r\n"), std::string::npos);
        EXPECT_EQ(g_proxyInUse.load(), 1);
    }
    {
        // Proxy switched off, but a host that cannot be found still goes to it.
        ProxySettings proxy(0, "127.0.0.1:" + port);
        const std::string tag = NewTag("proxy-fallback");
        CFicheroHttp stream;
        ASSERT_TRUE(stream.Open(("http://tour.invalid/data/file.bin?size=100&tag=" + tag).c_str()));
        EXPECT_TRUE(IsPattern(ReadAll(stream)));
        EXPECT_EQ(Requests(tag).size(), 1u);
    }
}

std::atomic<int> g_dialogs{0};

DWORD AnswerPasswordDialog(HWND, void* request, DWORD, DWORD, void**) {
    ++g_dialogs;
    InternetSetOptionA(static_cast<HINTERNET>(request), INTERNET_OPTION_USERNAME, const_cast<char*>("user"), 4);
    InternetSetOptionA(static_cast<HINTERNET>(request), INTERNET_OPTION_PASSWORD, const_cast<char*>("pass"), 4);
    return ERROR_INTERNET_FORCE_RETRY;
}

class HttpChildAuth : public ServerTest {};

TEST_F(HttpChildAuth, AnUnauthorizedAnswerSwitchesToWinInetAndAsksTheUser) {
    if (!IsChild())
        GTEST_SKIP() << "runs in its own process";
    // A TCP user of the socket library from before the switch, holding its reference as
    // links do.
    ASSERT_TRUE(AcquireWinsock());
    SOCKET link = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(link, INVALID_SOCKET);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(ServerPort()));
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    ASSERT_EQ(connect(link, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    CFicheroHttp::SetWinInetDisabled(false);
    InternetErrorDialogFunction previous = SetInternetErrorDialogFunction(&AnswerPasswordDialog);
    const std::string tag = NewTag("auth");
    CFicheroHttp stream;
    ASSERT_TRUE(stream.Open(Url(DataPath(tag, 5000, "&auth=1")).c_str()));
    EXPECT_TRUE(stream.IsViaWinInet());
    EXPECT_EQ(g_useWinInet.load(), 1);
    EXPECT_EQ(g_dialogs.load(), 1);
    EXPECT_TRUE(IsPattern(ReadAll(stream)));
    stream.Close();
    std::vector<std::string> requests = Requests(tag);
    ASSERT_GE(requests.size(), 3u);   // sockets, WinInet, WinInet with the password
    EXPECT_NE(requests.back().find("Authorization: Basic dXNlcjpwYXNz"), std::string::npos);
    EXPECT_EQ(RangeOf(requests.back()), 0);

    // Later transfers go through WinInet, ranges and all.
    const std::string later = NewTag("wininet");
    ASSERT_TRUE(stream.Open(Url(DataPath(later, 100000)).c_str(), OpenRead, nullptr, 777));
    EXPECT_TRUE(stream.IsViaWinInet());
    EXPECT_TRUE(stream.IsSeekable());
    std::string body = ReadAll(stream);
    EXPECT_EQ(body.size(), 100000u - 777u);
    EXPECT_TRUE(IsPattern(body, 777));
    EXPECT_EQ(RangeOf(Requests(later).at(0)), 777);
    stream.Close();

    // The switch left the socket library alone: the client's own reference is still held
    // and the link still talks.
    EXPECT_EQ(g_winsockState.load(), 0);
    EXPECT_EQ(g_networkShutdown.load(), 0);
    const std::string request = "GET /data/x?size=3 HTTP/1.0\r\n\r\n";
    EXPECT_EQ(send(link, request.data(), static_cast<int>(request.size()), 0), static_cast<int>(request.size()));
    char answer[64];
    EXPECT_GT(recv(link, answer, sizeof answer, 0), 0);
    closesocket(link);
    ReleaseWinsock();
    SetInternetErrorDialogFunction(previous);
}

class HttpChildRedirect : public ServerTest {};

TEST_F(HttpChildRedirect, ASecondRedirectInARowStartsOverThroughWinInet) {
    if (!IsChild())
        GTEST_SKIP() << "runs in its own process";
    CFicheroHttp::SetWinInetDisabled(false);
    const std::string tag = NewTag("chain");
    const std::string start = Url("/chain?n=2&tag=" + tag + "&final=%2Fdata%2Ffile.bin%3Fsize%3D2000%26tag%3D" + tag);
    CFicheroHttp stream;
    ASSERT_TRUE(stream.Open(start.c_str()));
    EXPECT_TRUE(stream.IsViaWinInet());
    EXPECT_TRUE(IsPattern(ReadAll(stream)));
    // Sockets: the first URL and its first hop; then WinInet from the first URL: three
    // redirects and the file.
    std::vector<std::string> requests = Requests(tag);
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_NE(requests[2].find("GET /chain?n=2&"), std::string::npos) << requests[2];
}

}  // namespace
