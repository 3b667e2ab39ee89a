// TCP links of CFicheroHttp: a server and a client in this process on 127.0.0.1.
#include <winsock2.h>

#include "core/stream.h"

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/clock.h"
#include "core/winsock_init.h"
#include "core/worker_threads.h"
#include "proxy_settings.h"

namespace {

constexpr uint32_t kLoopback = 0x7F000001;   // 127.0.0.1
constexpr int kTestTimeoutMs = 10000;         // no step of these tests legitimately waits this long

// A server stream listening on a free loopback port, accepting on its own thread.
class Server {
public:
    explicit Server(int timeoutMs = kTestTimeoutMs) {
        m_listening = m_stream.Listen(0, nullptr, timeoutMs) == 1;
        m_port = m_stream.GetListenPort();
    }
    bool IsListening() const { return m_listening && m_port > 0; }
    int Port() const { return m_port; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_port); }
    CFicheroHttp& Stream() { return m_stream; }

    // Starts one Accept on another thread.
    void StartAccept() {
        m_accept = std::async(std::launch::async, [this] { return m_stream.Accept(); });
    }
    // The started Accept's result; -1 when it did not end in time.
    int AcceptResult(int waitMs = kTestTimeoutMs + 2000) {
        if (m_accept.wait_for(std::chrono::milliseconds(waitMs)) != std::future_status::ready)
            return -1;
        return m_accept.get();
    }

private:
    CFicheroHttp m_stream;
    bool m_listening = false;
    int m_port = 0;
    std::future<int> m_accept;
};

// A plain socket client that sends exactly the bytes it is told (a peer that is not one of our
// streams, for greetings that come short).
class RawClient {
public:
    explicit RawClient(int port) {
        m_winsock.Acquire();
        m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(kLoopback);
        address.sin_port = htons(static_cast<u_short>(port));
        m_connected = m_socket != INVALID_SOCKET &&
                      connect(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { Close(); }
    bool IsConnected() const { return m_connected; }
    bool SendBytes(const std::string& bytes) {
        return send(m_socket, bytes.data(), static_cast<int>(bytes.size()), 0) ==
               static_cast<int>(bytes.size());
    }
    void Close() {
        if (m_socket != INVALID_SOCKET) {
            shutdown(m_socket, SD_BOTH);
            closesocket(m_socket);
        }
        m_socket = INVALID_SOCKET;
    }

private:
    WinsockReference m_winsock;
    SOCKET m_socket = INVALID_SOCKET;
    bool m_connected = false;
};

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>((i * 131 + i / 251) & 0xFF);
    return bytes;
}

// Seconds taken by f.
template <typename F>
float Timed(F f) {
    const float start = GetTimeSeconds();
    f();
    return GetTimeSeconds() - start;
}

}  // namespace

TEST(TcpLink, ServerSeesTheClientsProcessIdAndBytesFlowBothWays) {
    Server server;
    ASSERT_TRUE(server.IsListening());
    EXPECT_EQ(server.Stream().GetPeerProcessId(), 0u);
    server.StartAccept();

    CFicheroHttp client;
    ASSERT_EQ(client.Connect("127.0.0.1", server.Port(), nullptr, kTestTimeoutMs), 1);
    ASSERT_EQ(server.AcceptResult(), 1);
    EXPECT_EQ(server.Stream().GetPeerProcessId(), GetCurrentProcessId());
    EXPECT_EQ(server.Stream().GetPeerAddress(), kLoopback);
    EXPECT_EQ(client.GetPeerAddress(), kLoopback);
    EXPECT_EQ(client.GetPeerPort(), server.Port());
    EXPECT_EQ(client.GetSource(), StreamSource::Tcp);
    EXPECT_TRUE(client.IsOpen());

    // Large enough that neither side's socket buffer holds it: the loops must carry on.
    const std::vector<uint8_t> sent = Pattern(3 * 1024 * 1024 + 17);
    std::vector<uint8_t> received(sent.size());
    auto receiving = std::async(std::launch::async, [&] {
        return server.Stream().Recv(received.data(), static_cast<int>(received.size()));
    });
    EXPECT_EQ(client.Send(sent.data(), static_cast<int>(sent.size())), static_cast<int>(sent.size()));
    ASSERT_EQ(receiving.wait_for(std::chrono::milliseconds(kTestTimeoutMs)), std::future_status::ready);
    EXPECT_EQ(receiving.get(), static_cast<int>(sent.size()));
    EXPECT_TRUE(received == sent);

    const char reply[] = "reply";
    EXPECT_EQ(server.Stream().Send(reply, 5), 5);
    char got[6] = {};
    EXPECT_EQ(client.Recv(got, 5), 5);
    EXPECT_STREQ(got, "reply");

    EXPECT_EQ(client.Send(reply, 0), 0);
    client.Close();
    EXPECT_FALSE(client.IsOpen());
    EXPECT_EQ(client.Send(reply, 5), 0);
}

TEST(TcpLink, AHostPortOverridesTheDefaultPort) {
    Server server;
    ASSERT_TRUE(server.IsListening());
    // Nobody listens on the default port given beside the host text, so only the port in the
    // text can connect.
    Server unused;
    ASSERT_TRUE(unused.IsListening());
    const int otherPort = unused.Port();
    unused.Stream().CloseListenSocket();

    struct Case {
        std::string host;
        int defaultPort;
        int connected;
    };
    const Case cases[] = {
        {server.Address(), otherPort, 1},               // ':' and a number win
        {"127.0.0.1", server.Port(), 1},                // no ':': the default port
        {"127.0.0.1", otherPort, 0},
        {"127.0.0.1:" + std::to_string(otherPort), server.Port(), 0},
        {"127.0.0.1:", server.Port(), 0},               // an empty port is no port
        {"127.0.0.1:80x", server.Port(), 0},
        {"", server.Port(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host + " default " + std::to_string(c.defaultPort));
        if (c.connected)
            server.StartAccept();
        CFicheroHttp client;
        EXPECT_EQ(client.Connect(c.host.c_str(), c.defaultPort, nullptr, 3000), c.connected);
        if (c.connected) {
            EXPECT_EQ(server.AcceptResult(), 1);
            EXPECT_EQ(server.Stream().GetPeerProcessId(), GetCurrentProcessId());
        }
    }
    CFicheroHttp client;
    EXPECT_EQ(client.Connect(nullptr, server.Port()), 0);
}

TEST(TcpLink, RecvReturnsTheShortCountWhenThePeerClosesEarly) {
    Server server;
    ASSERT_TRUE(server.IsListening());
    server.StartAccept();
    CFicheroHttp client;
    ASSERT_EQ(client.Connect(server.Address().c_str(), 0, nullptr, kTestTimeoutMs), 1);
    ASSERT_EQ(server.AcceptResult(), 1);

    EXPECT_EQ(server.Stream().Send("0123456789", 10), 10);
    server.Stream().Close();

    char buffer[100] = {};
    int got = 0;
    const float seconds = Timed([&] { got = client.Recv(buffer, sizeof buffer); });
    EXPECT_EQ(got, 10);
    EXPECT_EQ(std::string(buffer, 10), "0123456789");
    // A closed peer sends nothing more: the receive ends without waiting out its stall limit.
    EXPECT_LT(seconds, 3.0f);
    EXPECT_EQ(client.Recv(buffer, sizeof buffer), 0);
}

TEST(TcpLink, ASilentPeerEndsTheReceiveAfterTheTimeOutOrOnCancel) {
    Server server;
    ASSERT_TRUE(server.IsListening());
    server.StartAccept();
    std::atomic<int> cancel{0};
    CFicheroHttp client;
    ASSERT_EQ(client.Connect(server.Address().c_str(), 0, &cancel, 300), 1);
    ASSERT_EQ(server.AcceptResult(), 1);

    char buffer[16];
    int got = -1;
    float seconds = Timed([&] { got = client.Recv(buffer, sizeof buffer); });
    EXPECT_EQ(got, 0);
    EXPECT_GE(seconds, 0.25f);
    EXPECT_LT(seconds, 5.0f);

    // The server's link has the default 5000 ms time-out; the cancel word ends it sooner.
    std::atomic<int>& serverCancel = server.Stream().m_cancel;
    std::thread canceller([&] {
        Sleep(200);
        serverCancel = 1;
    });
    seconds = Timed([&] { got = server.Stream().Recv(buffer, sizeof buffer); });
    canceller.join();
    EXPECT_EQ(got, 0);
    EXPECT_LT(seconds, 4.0f);
}

TEST(TcpLink, AShortOrMissingGreetingKeepsThePeerIdAndStillAccepts) {
    Server server;
    ASSERT_TRUE(server.IsListening());

    // A real greeting first, so that there is an id to keep.
    server.StartAccept();
    {
        CFicheroHttp client;
        ASSERT_EQ(client.Connect(server.Address().c_str(), 0, nullptr, kTestTimeoutMs), 1);
        ASSERT_EQ(server.AcceptResult(), 1);
    }
    ASSERT_EQ(server.Stream().GetPeerProcessId(), GetCurrentProcessId());

    // Two bytes and a close, then nothing and a close: the listening socket keeps accepting,
    // the connection is replaced, the id stays.
    for (const std::string& greeting : {std::string("\x12\x34", 2), std::string()}) {
        SCOPED_TRACE(greeting.size());
        server.StartAccept();
        RawClient peer(server.Port());
        ASSERT_TRUE(peer.IsConnected());
        if (!greeting.empty()) {
            ASSERT_TRUE(peer.SendBytes(greeting));
        }
        peer.Close();
        EXPECT_EQ(server.AcceptResult(), 1);
        EXPECT_EQ(server.Stream().GetPeerProcessId(), GetCurrentProcessId());
        EXPECT_TRUE(server.Stream().IsListening());
    }
}

TEST(TcpLink, ClosingTheListeningSocketFromAnotherThreadEndsAccept) {
    Server server(60000);
    ASSERT_TRUE(server.IsListening());
    server.StartAccept();
    Sleep(200);
    server.Stream().CloseListenSocket();
    // Well before the 60 s the wait was allowed.
    EXPECT_EQ(server.AcceptResult(5000), 0);
    EXPECT_FALSE(server.Stream().IsListening());
    EXPECT_EQ(server.Stream().GetListenPort(), 0);
    EXPECT_EQ(server.Stream().Accept(), 0);
}

TEST(TcpLink, AcceptWaitsNoLongerThanTheListenTimeOutOrACancel) {
    std::atomic<int> cancel{0};
    CFicheroHttp server;
    ASSERT_EQ(server.Listen(0, &cancel, 300), 1);
    int accepted = -1;
    const float seconds = Timed([&] { accepted = server.Accept(); });
    EXPECT_EQ(accepted, 0);
    EXPECT_GE(seconds, 0.25f);
    EXPECT_TRUE(server.IsListening());

    cancel = 1;
    EXPECT_EQ(server.Accept(), 0);
    CFicheroHttp other;
    EXPECT_EQ(other.Listen(0, &cancel, 300), 0);   // a raised word refuses at once
}

TEST(TcpLink, ConnectFailsWhenNobodyListens) {
    Server server;
    ASSERT_TRUE(server.IsListening());
    const int port = server.Port();
    server.Stream().CloseListenSocket();
    CFicheroHttp client;
    EXPECT_EQ(client.Connect("127.0.0.1", port, nullptr, 3000), 0);
    EXPECT_FALSE(client.IsOpen());
    EXPECT_NE(client.GetSource(), StreamSource::Tcp);
}

TEST(TcpLink, ALinkNeverGoesThroughTheHttpProxy) {
    Server proxy(300);
    Server server;
    ASSERT_TRUE(proxy.IsListening());
    ASSERT_TRUE(server.IsListening());
    ProxySettings settings;
    ASSERT_TRUE(settings.Set(1, "http=127.0.0.1:" + std::to_string(proxy.Port())));

    server.StartAccept();
    CFicheroHttp client;
    ASSERT_EQ(client.Connect(server.Address().c_str(), 0, nullptr, kTestTimeoutMs), 1);
    EXPECT_EQ(server.AcceptResult(), 1);
    EXPECT_EQ(server.Stream().GetPeerProcessId(), GetCurrentProcessId());

    // Nothing knocked at the proxy.
    EXPECT_EQ(proxy.Stream().Accept(), 0);
}

namespace {

// A worker thread that receives on a stream through its own share of the stream's state.
struct LateReceiver {
    StreamHandle share;
    std::atomic<int> received{-1};
    std::atomic<double> endedAt{0.0};
};

unsigned ReceiveUntilInterrupted(void* parameter) {
    LateReceiver* job = static_cast<LateReceiver*>(parameter);
    uint8_t buffer[64];
    job->received = job->share->Recv(buffer, sizeof buffer);
    job->endedAt = GetTimeSeconds();
    job->share.reset();   // the last share frees the stream's state here, on this thread
    return 0;
}

}  // namespace

TEST(TcpLink, AWorkerBlockedInAReceiveOutlivesTheStreamsOwner) {
    Server server;
    ASSERT_TRUE(server.IsListening());
    server.StartAccept();
    CFicheroHttp* client = new CFicheroHttp;
    // The peer never sends: the worker's receive would wait for the whole link time-out.
    ASSERT_EQ(client->Connect("127.0.0.1", server.Port(), nullptr, kTestTimeoutMs), 1);
    ASSERT_EQ(server.AcceptResult(), 1);

    static LateReceiver job;
    job.share = client->ShareWithWorker();
    std::weak_ptr<StreamCore> state = job.share;
    CWorkerThread* thread = StartWorkerThread(&ReceiveUntilInterrupted, &job, &client->m_workerThread);
    ASSERT_NE(thread, nullptr);
    ResumeWorkerThread(thread);
    SleepMilliseconds(100);   // the worker is inside its receive
    ASSERT_EQ(job.received.load(), -1);

    const double start = GetTimeSeconds();
    delete client;
    const double ownerWait = GetTimeSeconds() - start;
    EXPECT_LT(ownerWait, 2.0) << "the owner never waits out the worker's receive";

    // The owner's going shut the socket down, so the receive returns with nothing; the state
    // stays alive until the worker lets it go.
    for (int i = 0; i < 500 && job.endedAt.load() == 0.0; ++i)
        SleepMilliseconds(10);
    EXPECT_EQ(job.received.load(), 0);
    EXPECT_LT(job.endedAt.load() - start, 2.0);
    for (int i = 0; i < 200 && !state.expired(); ++i)
        SleepMilliseconds(10);
    EXPECT_TRUE(state.expired()) << "the worker's share was the last one";
}

TEST(TcpLink, AnOwnerWithNoWorkerClosesAtOnce) {
    CFicheroHttp* stream = new CFicheroHttp;
    std::weak_ptr<StreamCore> state = stream->ShareWithWorker();
    delete stream;
    EXPECT_TRUE(state.expired());
}
