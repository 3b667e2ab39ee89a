// The HTTP client's own sockets: network start-up and shutdown, connecting (directly or through
// the user's proxy), sending, and receiving in short slices that watch the cancel word.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "core/http_client_internal.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/system_wrappers.h"
#include "core/tcp_socket.h"
#include "core/winsock_init.h"

std::atomic<int> g_useWinInet{0};
std::atomic<int> g_winInetDisabled{0};
std::atomic<int> g_winsockState{-1};
std::atomic<int> g_networkShutdown{0};
std::atomic<int> g_openDownloads{0};
std::atomic<int> g_proxyInUse{0};

namespace {

// Start-up, shutdown and the mode switch meet under this lock; the counters themselves are atomic.
std::mutex g_networkLock;
int g_networkUsers = 0;           // engines that called StartupNetwork
std::atomic<void*> g_internetSession{nullptr};

std::mutex g_proxyLock;
bool g_proxyRead = false;
CTexto g_proxyHost;
int g_proxyPort = kDefaultHttpPort;
uint32_t g_proxyServerWord = 0;

// The HTTP client's own reference on the socket library (TCP links hold theirs), taken by the
// first start-up and given back by the last engine's shutdown. Caller holds g_networkLock.
bool g_winsockHeld = false;

bool StartWinsockLocked() {
    if (!g_winsockHeld)
        g_winsockHeld = AcquireWinsock();
    g_winsockState = g_winsockHeld ? 0 : -1;
    return g_winsockHeld;
}

// Caller holds g_networkLock.
bool StartSessionLocked() {
    if (!g_internetSession.load())
        g_internetSession = CreateInternetSession();
    return g_internetSession.load() != nullptr;
}

}  // namespace

// What a transfer needs before it connects; starts what is missing without counting a user.
bool EnsureNetworkStarted() {
    if (g_winsockState.load() == 0 && (!g_useWinInet.load() || g_internetSession.load()))
        return true;
    std::lock_guard<std::mutex> hold(g_networkLock);
    // Sockets are started in WinInet mode too: TCP links use them whatever HTTP does.
    bool ok = StartWinsockLocked();
    if (g_useWinInet.load())
        ok = StartSessionLocked();
    g_networkShutdown = 0;
    return ok;
}

namespace {

bool ProxyEnabledInSettings() {
    DWORD enabled = 0;
    return ReadRegistryValue(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyEnable", &enabled,
                             nullptr, nullptr) > 0 &&
           enabled != 0;
}

// Numeric address first, then by name; notFound tells a name that does not resolve.
bool Resolve(const char* host, int port, sockaddr_in* address, bool* notFound) {
    *notFound = false;
    std::memset(address, 0, sizeof *address);
    address->sin_family = AF_INET;
    address->sin_port = htons(static_cast<u_short>(port));
    if (!host || !*host) {
        *notFound = true;
        return false;
    }
    unsigned long numeric = inet_addr(host);
    if (numeric != INADDR_NONE) {
        address->sin_addr.s_addr = numeric;
        return true;
    }
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int error = getaddrinfo(host, nullptr, &hints, &found);
    if (error != 0 || !found) {
        // Unknown, or nobody to ask (no name server): either way not found from here.
        *notFound = true;
        return false;
    }
    address->sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

// Waits until the socket is ready for reading (or writing), in slices that check the cancel
// word. 1 ready, 0 timed out, -1 error or cancelled.
int WaitSocket(SOCKET s, bool forWrite, int limitMs, const std::atomic<int>* cancel,
               const std::atomic<int>* own) {
    const SocketWait what = forWrite ? SocketWait::Writable : SocketWait::Readable;
    int waited = 0;
    for (;;) {
        if ((cancel && cancel->load()) || (own && own->load()))
            return -1;
        int slice = limitMs - waited < kNetworkSliceMs ? limitMs - waited : kNetworkSliceMs;
        if (slice < 0)
            slice = 0;
        bool failed = false;
        const int ready = WaitForSocket(s, what, slice, &failed);
        if (ready != 0)
            return ready < 0 || failed ? -1 : 1;
        waited += slice;
        if (waited >= limitMs)
            return 0;
    }
}

// One connect attempt on a fresh socket, non-blocking underneath so that the cancel word and
// the bound are watched; the socket is left blocking. kClosedSocket when it failed.
SOCKET ConnectTo(const sockaddr_in& address, int limitMs, bool reuseAddress,
                 const std::atomic<int>* cancel, const std::atomic<int>* own) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == kClosedSocket)
        return kClosedSocket;
    if (reuseAddress) {
        BOOL on = TRUE;
        setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
    }
    SetSocketBlocking(s, false);
    bool connected = false;
    if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        connected = true;
    } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
        if (WaitSocket(s, true, limitMs, cancel, own) == 1) {
            int error = 0;
            int size = sizeof error;
            connected = getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                                   &size) == 0 &&
                        error == 0;
        }
    }
    if (!connected) {
        closesocket(s);
        return kClosedSocket;
    }
    SetSocketBlocking(s, true);
    return s;
}

}  // namespace

bool StreamCore::StartupNetwork() {
    std::lock_guard<std::mutex> hold(g_networkLock);
    ++g_networkUsers;
    bool ok = StartWinsockLocked();
    if (g_useWinInet.load())
        StartSessionLocked();
    g_networkShutdown = 0;
    return ok;
}

void StreamCore::ShutdownNetwork() {
    std::lock_guard<std::mutex> hold(g_networkLock);
    if (g_networkUsers > 0)
        --g_networkUsers;
    if (g_networkUsers > 0)
        return;
    g_networkShutdown = 1;
    if (g_winsockHeld) {
        ReleaseWinsock();
        g_winsockHeld = false;
    }
    g_winsockState = -1;
    CloseInternetSession(g_internetSession.exchange(nullptr));
}

void StreamCore::SetWinInetDisabled(bool disabled) {
    g_winInetDisabled = disabled ? 1 : 0;
}

bool SwitchToWinInet() {
    if (g_winInetDisabled.load())
        return false;
    std::lock_guard<std::mutex> hold(g_networkLock);
    if (g_winInetDisabled.load())
        return false;
    g_useWinInet = 1;
    return StartSessionLocked();
}

void* GetInternetSession() {
    std::lock_guard<std::mutex> hold(g_networkLock);
    if (g_useWinInet.load())
        StartSessionLocked();
    return g_internetSession.load();
}

bool GetProxyAddress(CTexto* host, int* port, uint32_t* serverWord) {
    std::lock_guard<std::mutex> hold(g_proxyLock);
    if (!g_proxyRead || g_proxyHost.GetLength() == 0) {
        DWORD word = 0;
        ReadRegistryValue(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer", &word, nullptr,
                          nullptr);
        g_proxyServerWord = word;
        char text[kRegistryTextSize] = {};
        ReadRegistryValue(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer", nullptr, text,
                          nullptr, sizeof text);
        // "http=host:port;https=..." or plain "host:port".
        CTexto value(text);
        int http = value.Find("http=");
        if (http >= 0)
            value = value.Mid(http + 5);
        int semicolon = value.Find(';');
        if (semicolon >= 0)
            value = value.Mid(0, semicolon);
        if (value.GetLength() >= 7 && _strnicmp(value.GetText(), "http://", 7) == 0)
            value = value.Mid(7);
        int colon = value.ReverseFind(':');
        g_proxyPort = kDefaultHttpPort;
        if (colon >= 0) {
            int parsed = std::atoi(value.GetTextAt(colon + 1));
            if (parsed > 0 && parsed < 65536)
                g_proxyPort = parsed;
            value = value.Mid(0, colon);
        }
        int slash = value.Find('/');
        if (slash >= 0)
            value = value.Mid(0, slash);
        g_proxyHost = value;
        g_proxyRead = true;
    }
    if (host)
        *host = g_proxyHost;
    if (port)
        *port = g_proxyPort;
    if (serverWord)
        *serverWord = g_proxyServerWord;
    return g_proxyHost.GetLength() > 0;
}

void ForgetProxy() {
    std::lock_guard<std::mutex> hold(g_proxyLock);
    g_proxyRead = false;
    g_proxyHost.Empty();
    g_proxyPort = kDefaultHttpPort;
    g_proxyServerWord = 0;
    g_proxyInUse = 0;
}

int StreamCore::ConnectSocket(int timeoutMs, bool allowProxy) {
    CloseSocket();
    if (IsCancelled() || !EnsureNetworkStarted())
        return 0;
    const int limit = timeoutMs > 0 ? timeoutMs : kDefaultConnectMs;
    const bool reuse = timeoutMs > 0;
    bool useProxy = allowProxy && (g_proxyInUse.load() || ProxyEnabledInSettings());
    SOCKET s = kClosedSocket;
    sockaddr_in address;
    bool directTried = false;
    if (!useProxy) {
        bool notFound = false;
        int port = std::atoi(m_port.GetText());
        if (Resolve(m_host.GetText(), port, &address, &notFound)) {
            directTried = true;
            s = ConnectTo(address, limit, reuse, m_cancelFlag.load(), &m_cancel);
        } else if (notFound) {
            useProxy = allowProxy;
        }
        // A direct connect that failed without a caller's time-out tries the proxy once.
        if (s == kClosedSocket && directTried && timeoutMs == 0 && allowProxy && !IsCancelled())
            useProxy = true;
    }
    bool viaProxy = false;
    uint32_t serverWord = 0;
    if (s == kClosedSocket && useProxy && !IsCancelled()) {
        CTexto proxyHost;
        int proxyPort = kDefaultHttpPort;
        bool notFound = false;
        if (GetProxyAddress(&proxyHost, &proxyPort, &serverWord) &&
            Resolve(proxyHost.GetText(), proxyPort, &address, &notFound)) {
            s = ConnectTo(address, limit, reuse, m_cancelFlag.load(), &m_cancel);
            viaProxy = s != kClosedSocket;
        }
    }
    if (s == kClosedSocket)
        return 0;
    if (viaProxy)
        g_proxyInUse = 1;
    m_socket = static_cast<uintptr_t>(s);
    m_connectResult = 0;
    std::memcpy(m_socketAddress, &address, sizeof address);
    BuildRequestHead(viaProxy && serverWord == 0);
    return 1;
}

void StreamCore::CloseSocket() {
    if (m_transport && m_connectResult == 0)
        m_transport->Disconnect();
    m_connectResult = -1;
    if (m_socket != kClosedSocket) {
        shutdown(static_cast<SOCKET>(m_socket), SD_BOTH);
        closesocket(static_cast<SOCKET>(m_socket));
        m_socket = kClosedSocket;
    }
}

int StreamCore::OpenConnection() {
    if (m_transport) {
        if (IsCancelled() || !m_transport->Connect(m_host.GetText(), m_port.GetText()))
            return 0;
        m_connectResult = 0;
        return 1;
    }
    if (!g_useWinInet.load()) {
        if (ConnectSocket(0)) {
            // Receives below wait in slices themselves.
            SOCKET s = static_cast<SOCKET>(m_socket);
            SetSocketBlocking(s, false);
            int size = kSocketReceiveBuffer;
            setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size);
            return 1;
        }
    }
    if (g_winInetDisabled.load() || IsCancelled())
        return 0;
    if (!g_useWinInet.load() && !SwitchToWinInet())
        return 0;
    return OpenWinInetRequest();
}

namespace {

// Sends everything, waiting in slices while the socket is full. False on error, stall or cancel.
bool SendAll(SOCKET s, const char* data, int count, const std::atomic<int>* cancel,
             const std::atomic<int>* own) {
    int sent = 0;
    while (sent < count) {
        int n = send(s, data + sent, count - sent, 0);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK)
            return false;
        if (WaitSocket(s, true, kReceiveStallMs, cancel, own) != 1)
            return false;
    }
    return true;
}

}  // namespace

int StreamCore::SendSocketRequest() {
    if (m_connectResult != 0 || (m_socket == kClosedSocket && !m_transport) || IsCancelled())
        return 0;
    CTexto request(m_requestHead);
    CTexto line;
    line.Format("Range: bytes=%lld-\r\n", static_cast<long long>(m_position));
    request += line;
    request += g_proxyInUse.load() ? "Proxy-Connection: Keep-Alive\r\n" : "Connection: Keep-Alive\r\n";
    request += "\r\n";
    if (m_transport) {
        if (!m_transport->Send(request.GetText(), request.GetLength()) ||
            (m_postBody && !m_transport->Send(m_postBody, static_cast<int>(std::strlen(m_postBody)))))
            return 0;
        return ReceiveHead();
    }
    SOCKET s = static_cast<SOCKET>(m_socket);
    if (!SendAll(s, request.GetText(), request.GetLength(), m_cancelFlag.load(), &m_cancel))
        return 0;
    if (m_postBody && !SendAll(s, m_postBody, static_cast<int>(std::strlen(m_postBody)),
                               m_cancelFlag.load(), &m_cancel))
        return 0;
    return ReceiveHead();
}

int StreamCore::ReceiveSome(uint8_t* buffer, int count) {
    if (m_winInetRequest)
        return ReadWinInet(buffer, count);
    if (m_transport)
        return m_connectResult == 0 ? m_transport->Receive(buffer, count) : -1;
    SOCKET s = static_cast<SOCKET>(m_socket);
    if (s == kClosedSocket)
        return -1;
    for (;;) {
        int n = recv(s, reinterpret_cast<char*>(buffer), count, 0);
        if (n >= 0)
            return n;
        if (WSAGetLastError() != WSAEWOULDBLOCK)
            return -1;
        if (WaitSocket(s, false, kReceiveStallMs, m_cancelFlag.load(), &m_cancel) != 1)
            return -1;
    }
}
