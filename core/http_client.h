// Process-wide state of the HTTP client behind CFicheroHttp: the network mode (own sockets or
// WinInet), the download gate, the proxy read from the user's settings, and the few hooks tests
// use to stand in for the user.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

class CTexto;

// Transfers opened freely before the download gate admits one at a time.
constexpr int kFreeDownloads = 3;
// Redirect answers followed in a row before an open gives up.
constexpr int kMaxRedirects = 10;
// Request tries within one read before it returns what it has.
constexpr int kRequestTries = 10;
// A response head larger than this is refused.
constexpr int kResponseHeadLimit = 16384;
// Bytes asked of one receive into the stream's own buffer; plain reads of at least
// kDirectReceiveMin bytes take one of the process's few large receives, or receive straight
// into the caller's buffer. A tour opens dozens of downloads at once, so a stream's own buffers
// (two head copies, the decoded and the raw chunked receive) stay within 64 KB together.
constexpr int kReceiveSize = 16384;
constexpr int kDirectReceiveMin = 16384;
// Socket receive buffer asked for HTTP connections.
constexpr int kSocketReceiveBuffer = 4 << 20;
// Receives and sends wait in slices this long, checking the cancel word in between.
constexpr int kNetworkSliceMs = 50;
// A silent server ends a receive after this long.
constexpr int kReceiveStallMs = 20000;
// Connect bound when the caller gives no time-out (the system's own is about 21 s).
constexpr int kDefaultConnectMs = 21000;
constexpr int kWinInetConnectTimeoutMs = 5000;
// Forward seeks shorter than this read and discard instead of requesting a new range.
constexpr int kSeekDiscardLimit = 20000;
constexpr int kSeekDiscardPiece = 256;
constexpr int kDefaultHttpPort = 80;

constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr const char* kWinInetAgent = "Lumarix session";
constexpr const char* kInternetSettingsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Status codes the client acts on.
enum HttpStatus : int {
    HttpOk = 200,
    HttpPartialContent = 206,
    HttpMovedPermanently = 301,
    HttpFound = 302,
    HttpSeeOther = 303,
    HttpTemporaryRedirect = 307,
    HttpUnauthorized = 401,
    HttpProxyAuthRequired = 407,
};

// The process fetches through WinInet; once set it stays set.
extern std::atomic<int> g_useWinInet;
// The switch to WinInet is forbidden.
extern std::atomic<int> g_winInetDisabled;
// 0 once the socket library is started, -1 when not.
extern std::atomic<int> g_winsockState;
// Raised by the last ShutdownNetwork: waiting opens give up.
extern std::atomic<int> g_networkShutdown;
// HTTP opens in progress or open.
extern std::atomic<int> g_openDownloads;
// Connections go to the proxy (set for good after the first proxy connection).
extern std::atomic<int> g_proxyInUse;

// Streams waiting at the download gate or opening through it.
int GetDownloadQueueLength();

// Switches every later transfer of the process to WinInet. Sockets stay up for other users
// (TCP links, transfers still running). False when the switch is forbidden or WinInet cannot
// start.
bool SwitchToWinInet();
// The WinInet session (HINTERNET), null when there is none.
void* GetInternetSession();

// The user's proxy ("ProxyServer" under the Internet settings key), read once and kept.
// False when none is configured. Thread-safe.
bool GetProxyAddress(CTexto* host, int* port, uint32_t* serverWord);
// Forgets the proxy read so far (the next connection reads the settings again).
void ForgetProxy();

// The authentication prompt of the WinInet fallback: InternetErrorDlg's signature and result.
typedef DWORD (*InternetErrorDialogFunction)(HWND owner, void* request, DWORD error, DWORD flags,
                                             void** data);
// Replaces the prompt (null restores InternetErrorDlg); answers the previous one.
InternetErrorDialogFunction SetInternetErrorDialogFunction(InternetErrorDialogFunction function);

// The "Date:" value of a request: " Thu, 10 Dec 2026 13:33:24 GMT" (leading blank included),
// English names whatever the locale.
void FormatHttpDate(CTexto* out, const SYSTEMTIME& utc);

// Where an HTTP stream's bytes come from instead of a socket: a stream whose m_transport is set
// makes its connections, sends its requests and receives its answers through it (the fuzz
// targets feed answers from memory this way). One connection at a time.
class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    // A connection for one request to host:port; false when none can be had.
    virtual bool Connect(const char* host, const char* port) = 0;
    // The request's bytes; false when they cannot be sent.
    virtual bool Send(const char* data, int count) = 0;
    // Bytes received, 0 when the peer ended the connection, -1 on failure.
    virtual int Receive(uint8_t* buffer, int count) = 0;
    virtual void Disconnect() = 0;
};

