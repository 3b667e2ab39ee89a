// CFicheroHttp as a TCP link (the camera link): connecting with the greeting, listening and
// accepting, and exact sends and receives that give up when the link stalls.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "core/stream.h"

#include <cstring>

#include "core/clock.h"
#include "core/http_client.h"

namespace {

constexpr int kLinkTimeoutMs = 5000;   // send, receive and accept bound when none is given
constexpr int kListenBacklog = 100;
constexpr int kLinkSliceMs = 50;       // waits look at the cancel word this often
constexpr int kGreetingSize = 4;       // the client's process id, little-endian
constexpr int kMaxPort = 65535;

bool IsRaised(const std::atomic<int>* word) {
    return word && word->load() != 0;
}

int MillisecondsSince(float startSeconds) {
    return static_cast<int>((GetTimeSeconds() - startSeconds) * 1000.0f);
}

// A port text of decimal digits only, 1..65535; 0 for anything else.
int ParsePort(const char* text) {
    if (!text || !*text)
        return 0;
    int port = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return 0;
        port = port * 10 + (*p - '0');
        if (port > kMaxPort)
            return 0;
    }
    return port;
}

void PutUint32LE(uint8_t* out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetUint32LE(const uint8_t* in) {
    return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
           static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
}

}  // namespace

int StreamCore::WaitLink(const SharedSocket* shared, uintptr_t socket, SocketWait what,
                           int limitMs, const std::atomic<int>* cancel) const {
    const float start = GetTimeSeconds();
    for (;;) {
        if (IsRaised(cancel) || m_cancel.load() != 0)
            return 0;
        // The listening socket is read afresh: another thread may have closed it.
        const uintptr_t handle = shared ? shared->Get() : socket;
        const int left = limitMs - MillisecondsSince(start);
        if (left <= 0)
            return 0;
        const int ready = WaitForSocket(handle, what, left < kLinkSliceMs ? left : kLinkSliceMs);
        if (ready != 0)
            return ready;
    }
}

void StreamCore::SetLinkTimeouts(uintptr_t socket, int timeoutMs) {
    const DWORD value = static_cast<DWORD>(timeoutMs);
    const char* bytes = reinterpret_cast<const char*>(&value);
    setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_SNDTIMEO, bytes, sizeof value);
    setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_RCVTIMEO, bytes, sizeof value);
    m_linkTimeoutMs = timeoutMs;
}

void StreamCore::BecomeLink(uintptr_t socket, const void* address, int addressLength) {
    m_socket = socket;
    std::memset(m_socketAddress, 0, sizeof m_socketAddress);
    if (address && addressLength > 0) {
        const size_t size = static_cast<size_t>(addressLength) < sizeof m_socketAddress
                                ? static_cast<size_t>(addressLength)
                                : sizeof m_socketAddress;
        std::memcpy(m_socketAddress, address, size);
    }
    m_connectResult = 0;
    m_source = StreamSource::Tcp;
    m_isOpen = 1;
    m_position = 0;
    m_length = -1;
    m_seekable = 0;
}

int StreamCore::Connect(const char* hostText, int defaultPort, std::atomic<int>* cancel,
                          int timeoutMs) {
    if (!hostText || !*hostText)
        return 0;
    // Copied first: the text may be this stream's own m_host.
    const CTexto text(hostText);
    Close();
    CloseListenSocket();
    m_cancelFlag = cancel ? cancel : &m_cancel;

    m_host = text;
    const int colon = m_host.Find(':');
    if (colon >= 0) {
        m_port = m_host.Mid(colon + 1);
        m_host.Delete(colon, m_host.GetLength() - colon);
    } else {
        m_port.Format("%d", defaultPort);
    }
    const int port = ParsePort(m_port.GetText());
    if (port == 0 || m_host.GetLength() == 0 || IsCancelled() || !m_winsock.Acquire())
        return 0;

    // Links always go straight to the camera: an HTTP proxy would not carry them.
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    if (getaddrinfo(m_host.GetText(), nullptr, &hints, &found) != 0 || !found)
        return 0;

    const int limitMs = timeoutMs > 0 ? timeoutMs : kDefaultConnectMs;
    const float start = GetTimeSeconds();
    SOCKET connected = INVALID_SOCKET;
    sockaddr_in address = {};
    for (const addrinfo* candidate = found; candidate && connected == INVALID_SOCKET;
         candidate = candidate->ai_next) {
        if (candidate->ai_family != AF_INET || candidate->ai_addrlen < sizeof address)
            continue;
        const int left = limitMs - MillisecondsSince(start);
        if (left <= 0 || IsCancelled())
            break;
        std::memcpy(&address, candidate->ai_addr, sizeof address);
        address.sin_port = htons(static_cast<u_short>(port));

        SOCKET attempt = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (attempt == INVALID_SOCKET)
            break;
        // Non-blocking, so that the wait is bounded and the cancel word is heard.
        bool ok = SetSocketBlocking(attempt, false);
        if (ok && connect(attempt, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ok = WSAGetLastError() == WSAEWOULDBLOCK &&
                 WaitLink(nullptr, attempt, SocketWait::Writable, left, m_cancelFlag.load()) == 1;
            int error = 0;
            int errorSize = sizeof error;
            ok = ok && getsockopt(attempt, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                                  &errorSize) == 0 && error == 0;
        }
        if (ok && SetSocketBlocking(attempt, true)) {
            connected = attempt;
        } else {
            closesocket(attempt);
        }
    }
    freeaddrinfo(found);
    if (connected == INVALID_SOCKET)
        return 0;

    BecomeLink(connected, &address, sizeof address);
    SetLinkTimeouts(connected, timeoutMs > 0 ? timeoutMs : kLinkTimeoutMs);
    // The greeting; a peer that misses it still gets the link.
    uint8_t greeting[kGreetingSize];
    PutUint32LE(greeting, GetCurrentProcessId());
    Send(greeting, kGreetingSize);
    return 1;
}

int StreamCore::Listen(int port, std::atomic<int>* cancel, int timeoutMs) {
    Close();
    CloseListenSocket();
    m_cancelFlag = cancel ? cancel : &m_cancel;
    m_listenCancel = cancel;
    if (port < 0 || port > kMaxPort || IsCancelled() || !m_winsock.Acquire())
        return 0;
    const SOCKET listening = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listening == INVALID_SOCKET)
        return 0;
    m_listenSocket.Reset(listening);

    const int limitMs = timeoutMs > 0 ? timeoutMs : kLinkTimeoutMs;
    const DWORD value = static_cast<DWORD>(limitMs);
    const char* bytes = reinterpret_cast<const char*>(&value);
    setsockopt(listening, SOL_SOCKET, SO_SNDTIMEO, bytes, sizeof value);
    setsockopt(listening, SOL_SOCKET, SO_RCVTIMEO, bytes, sizeof value);

    sockaddr_in any = {};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = htons(static_cast<u_short>(port));
    if (bind(listening, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0 ||
        listen(listening, kListenBacklog) != 0) {
        CloseListenSocket();
        return 0;
    }
    m_listenTimeoutMs = limitMs;
    return 1;
}

int StreamCore::Accept() {
    std::atomic<int>* cancel = m_listenCancel ? m_listenCancel : &m_cancel;
    if (WaitLink(&m_listenSocket, kClosedSocket, SocketWait::Readable, m_listenTimeoutMs, cancel) != 1)
        return 0;
    sockaddr_storage peer = {};
    int peerLength = sizeof peer;
    const SOCKET accepted = accept(static_cast<SOCKET>(m_listenSocket.Get()),
                                   reinterpret_cast<sockaddr*>(&peer), &peerLength);
    if (accepted == INVALID_SOCKET)
        return 0;

    Close();   // the previous connection, if the caller left it open
    m_cancelFlag = cancel;
    BecomeLink(accepted, &peer, peerLength);
    SetLinkTimeouts(accepted, kLinkTimeoutMs);
    // Only a whole greeting replaces the peer id: a short one would leave garbage in it.
    uint8_t greeting[kGreetingSize];
    if (Recv(greeting, kGreetingSize) == kGreetingSize)
        m_peerProcessId = GetUint32LE(greeting);
    return 1;
}

int StreamCore::Send(const void* data, int count, uintptr_t socket) {
    const uintptr_t target = socket == kClosedSocket ? m_socket.load() : socket;
    if (!data || count <= 0 || target == kClosedSocket)
        return 0;
    const char* bytes = static_cast<const char*>(data);
    int sent = 0;
    float lastProgress = GetTimeSeconds();
    while (sent < count && !IsCancelled()) {
        const int left = m_linkTimeoutMs - MillisecondsSince(lastProgress);
        if (WaitLink(nullptr, target, SocketWait::Writable, left, m_cancelFlag.load()) != 1)
            break;
        const int n = send(static_cast<SOCKET>(target), bytes + sent, count - sent, 0);
        if (n > 0) {
            sent += n;
            lastProgress = GetTimeSeconds();
        } else if (n == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK) {
            break;
        }
    }
    return sent;
}

int StreamCore::Recv(void* buffer, int count) {
    if (!buffer || count <= 0 || m_socket == kClosedSocket)
        return 0;
    char* bytes = static_cast<char*>(buffer);
    int got = 0;
    float lastProgress = GetTimeSeconds();
    while (got < count && !IsCancelled()) {
        const int left = m_linkTimeoutMs - MillisecondsSince(lastProgress);
        if (WaitLink(nullptr, m_socket, SocketWait::Readable, left, m_cancelFlag.load()) != 1)
            break;
        const int n = recv(static_cast<SOCKET>(m_socket), bytes + got, count - got, 0);
        if (n > 0) {
            got += n;
            lastProgress = GetTimeSeconds();
        } else if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK) {
            // 0: the peer closed; nothing more can come, so waiting on would only stall.
            break;
        }
    }
    return got;
}

void StreamCore::CloseListenSocket() {
    m_listenSocket.Close();
}

uint32_t StreamCore::GetPeerAddress() const {
    sockaddr_in address;
    std::memcpy(&address, m_socketAddress, sizeof address);
    return address.sin_family == AF_INET ? ntohl(address.sin_addr.s_addr) : 0;
}

int StreamCore::GetPeerPort() const {
    sockaddr_in address;
    std::memcpy(&address, m_socketAddress, sizeof address);
    return address.sin_family == AF_INET ? ntohs(address.sin_port) : 0;
}

int StreamCore::GetListenPort() const {
    const uintptr_t listening = m_listenSocket.Get();
    if (listening == kClosedSocket)
        return 0;
    sockaddr_in bound = {};
    int length = sizeof bound;
    if (getsockname(static_cast<SOCKET>(listening), reinterpret_cast<sockaddr*>(&bound), &length) != 0)
        return 0;
    return ntohs(bound.sin_port);
}
