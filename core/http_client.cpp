// The HTTP client behind StreamCore::Open for "http://" names: the URL, the request, the
// response head and redirects.
#include "core/http_client_internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "core/language.h"
#include "core/mailboxes.h"
#include "core/text_convert.h"

namespace {

constexpr int kHttpSchemeLength = 7;    // "http://"
constexpr int kHttpsSchemeLength = 8;   // "https://"

const char* const kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool StartsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool StartsWithNoCase(const char* text, const char* prefix) {
    return _strnicmp(text, prefix, std::strlen(prefix)) == 0;
}

bool IsRedirect(int status) {
    return status == HttpMovedPermanently || status == HttpFound || status == HttpSeeOther ||
           status == HttpTemporaryRedirect;
}

// The location of a redirect made absolute against the URL that answered it. False for
// locations this client cannot follow (https, other schemes, empty).
bool ResolveLocation(const CTexto& location, const CTexto& current, const CTexto& host,
                     const CTexto& port, CTexto* next) {
    const char* text = location.GetText();
    if (!*text)
        return false;
    if (StartsWithNoCase(text, "http://")) {
        *next = location;
        return true;
    }
    if (StartsWithNoCase(text, "//")) {
        *next = CTexto("http:") + location;
        return true;
    }
    // Any other scheme ("https:", "ftp:") before the first '/', '?' or '#'.
    for (const char* p = text; *p && *p != '/' && *p != '?' && *p != '#'; ++p) {
        if (*p == ':')
            return false;
    }
    CTexto origin("http://");
    origin += host;
    if (std::atoi(port.GetText()) != kDefaultHttpPort) {
        origin += ":";
        origin += port;
    }
    if (text[0] == '/') {
        *next = origin + location;
        return true;
    }
    // Relative to the current path: its query is dropped for a new query, its last segment
    // for a new path.
    CTexto base(current.GetTextAt(current.Find('/', kHttpSchemeLength) >= 0
                                      ? current.Find('/', kHttpSchemeLength)
                                      : current.GetLength()));
    int query = base.Find('?');
    if (query >= 0)
        base.Delete(query, base.GetLength());
    if (text[0] != '?') {
        int slash = base.ReverseFind('/');
        base.Delete(slash + 1, base.GetLength());
    }
    if (base.GetLength() == 0)
        base = "/";
    *next = origin + base + location;
    return true;
}

}  // namespace

void FormatHttpDate(CTexto* out, const SYSTEMTIME& utc) {
    const char* day = kDayNames[utc.wDayOfWeek % 7];
    const char* month = kMonthNames[(utc.wMonth >= 1 && utc.wMonth <= 12) ? utc.wMonth - 1 : 0];
    out->Format(" %s, %02u %s %04u %02u:%02u:%02u GMT", day, static_cast<unsigned>(utc.wDay), month,
                static_cast<unsigned>(utc.wYear), static_cast<unsigned>(utc.wHour),
                static_cast<unsigned>(utc.wMinute), static_cast<unsigned>(utc.wSecond));
}

void StreamCore::BuildExtraHeaders() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    CTexto date;
    FormatHttpDate(&date, now);
    m_extraHeaders = "Cache-Control: no-cache\r\nDate:";
    m_extraHeaders += date;
    m_extraHeaders += "\r\nAccept: application/x-lumarixx, */*;\r\nUser-Agent: ";
    m_extraHeaders += kUserAgent;
    m_extraHeaders += "\r\n";
}

bool StreamCore::SplitUrl(const char* url) {
    const int need = NormalizeUrl(nullptr, url, 0, true);
    if (need <= 0 || need >= CTexto::kSizeLimit)
        return false;
    std::unique_ptr<char[]> normal(new (std::nothrow) char[need + 1]);
    if (!normal)
        return false;
    NormalizeUrl(normal.get(), url, need + 1, true);
    m_fullUrl = normal.get();
    const char* text = m_fullUrl.GetText();
    int scheme = StartsWith(text, "http://") ? kHttpSchemeLength
                 : StartsWith(text, "https://") ? kHttpsSchemeLength
                                                : 0;
    int slash = m_fullUrl.Find('/', scheme);
    if (slash < 0) {
        m_host = m_fullUrl.Mid(scheme);
        m_path.Empty();
    } else {
        m_host = m_fullUrl.Mid(scheme, slash - scheme);
        m_path = m_fullUrl.Mid(slash);
    }
    int colon = m_host.Find(':');
    if (colon >= 0) {
        m_port = m_host.Mid(colon + 1);
        m_host.Delete(colon, m_host.GetLength());
        const int port = std::atoi(m_port.GetText());
        if (port <= 0 || port > 65535)
            return false;
    } else {
        m_port = "80";
    }
    // Our own sockets speak plain HTTP only.
    return scheme == kHttpSchemeLength && m_host.GetLength() > 0;
}

void StreamCore::BuildRequestHead(bool viaProxyFullUrl) {
    m_requestHead = m_postBody ? "POST " : "GET ";
    if (viaProxyFullUrl) {
        m_requestHead += m_fullUrl;
        m_requestHead += " HTTP/1.0\r\nHost: ";
    } else {
        m_requestHead += m_path;
        m_requestHead += " HTTP/1.1\r\nHost: ";
    }
    m_requestHead += m_host;
    m_requestHead += "\r\n";
    m_requestHead += m_extraHeaders;
    if (m_postBody) {
        CTexto length;
        length.Format("Content-Length: %d\r\n", static_cast<int>(std::strlen(m_postBody)));
        m_requestHead += "Content-Type: application/x-www-form-urlencoded\r\n";
        m_requestHead += length;
    }
}

int StreamCore::SendRequest() {
    int length = m_winInetRequest ? SendWinInetRequest() : SendSocketRequest();
    if (length <= 0 || IsCancelled())
        return length;
    const int status = ParseHttpStatus(m_net->lowerHead, m_headLength);
    if (status != HttpUnauthorized && status != HttpProxyAuthRequired)
        return length;
    if (m_winInetRequest)
        return AuthenticateWinInet(length);
    // Our sockets cannot answer a password question: WinInet asks the user.
    if (g_winInetDisabled.load())
        return length;
    CloseSocket();
    if (!SwitchToWinInet() || !OpenWinInetRequest())
        return 0;
    length = SendWinInetRequest();
    if (length <= 0 || IsCancelled())
        return length;
    const int again = ParseHttpStatus(m_net->lowerHead, m_headLength);
    if (again == HttpUnauthorized || again == HttpProxyAuthRequired)
        length = AuthenticateWinInet(length);
    return length;
}

void StreamCore::ReportBadStatus(unsigned flags) {
    if (!(flags & OpenReportErrors) || !AreUserMessagesEnabled())
        return;
    if (GetErrorEventMode()) {
        SetPendingEvent(kEventFileNotFound, m_fullUrl.GetText());
        return;
    }
    CTexto message(GetLanguageLine(kLineFileDoesNotExist));
    message += " ";
    message += m_fullUrl;
    message += "\r\n\r\n";
    CTexto head;
    head.Append(m_headLength + 1, nullptr);
    for (int i = 0; i < m_headLength; ++i)
        head += m_net->head[i];
    message += head;
    SetPendingMessage(message.GetText());
}

int StreamCore::OpenUrl(const char* url, std::atomic<int>* cancel, int64_t start, unsigned flags) {
    m_cancelFlag = cancel ? cancel : &m_cancel;
    if (!url || start < 0)
        return 0;
    CTexto asked(url);   // url may lie in one of our own texts
    m_url = asked;
    m_source = StreamSource::Http;
    return OpenUrlHop(asked.GetText(), start, flags, 0);
}

int StreamCore::OpenUrlHop(const char* url, int64_t start, unsigned flags, int hops) {
    CTexto requested(url);
    if (!EnsureNetworkBuffers() || !EnsureNetworkStarted())
        return 0;
    DropConnection();
    BuildExtraHeaders();
    const bool splitOk = SplitUrl(requested.GetText());
    int slash = m_path.ReverseFind('/');
    m_cacheBaseName = m_path.Mid(slash + 1);
    m_cacheBaseName.Replace('.', '_');

    ResetReceiveState();
    m_seekable = 0;
    m_cacheInUse = 0;
    m_cacheWriting = 0;
    m_position = start;
    m_networkPosition = -2;
    m_length = -1;
    ClearRanges();

    if (!splitOk || m_path.GetLength() == 0 || !OpenConnection() || IsCancelled()) {
        DropConnection();
        return 0;
    }
    m_networkPosition = -2;
    const int length = SendRequest();
    if (length <= 0 || !m_net->headComplete || IsCancelled()) {
        DropConnection();
        return 0;
    }
    m_status = ParseHttpStatus(m_net->lowerHead, m_headLength);
    int64_t bodyStart = m_position;
    if (m_status == HttpOk) {
        // The server ignored the range: the body starts at 0 and the stream only goes forward.
        m_position = m_entryBase;
        bodyStart = m_position;
        m_seekable = 0;
    } else if (m_status == HttpPartialContent) {
        m_seekable = 1;
        int64_t rangeStart = ContentRangeStart();
        if (rangeStart >= 0) {
            if (rangeStart > m_position) {
                DropConnection();
                return 0;
            }
            bodyStart = rangeStart;
        }
    } else if (IsRedirect(m_status) && m_followRedirects) {
        CTexto next;
        bool haveNext = false;
        if (hops + 1 > kMaxRedirects) {
            haveNext = false;
        } else if (m_url.GetLength() > 0 && m_url != requested && !g_useWinInet.load() &&
                   !g_winInetDisabled.load() && SwitchToWinInet()) {
            // A second redirect in a row: the chain starts over through WinInet.
            next = m_url;
            haveNext = true;
        } else {
            CTexto location;
            haveNext = FindHttpHeader(m_net->lowerHead, m_net->head, m_headLength, "location:",
                                      &location) &&
                       ResolveLocation(location, m_fullUrl, m_host, m_port, &next);
        }
        DropConnection();
        if (!haveNext)
            return 0;
        return OpenUrlHop(next.GetText(), start, flags, hops + 1);
    } else {
        ReportBadStatus(flags);
        DropConnection();
        return 0;
    }

    int64_t total = -1;
    CTexto value;
    CTexto coding;
    const bool chunked =
        FindHttpHeader(m_net->lowerHead, m_net->head, m_headLength, "transfer-encoding:", &coding) &&
        coding.FindNoCase("chunked") >= 0;
    if (!chunked && FindHttpHeader(m_net->lowerHead, m_net->head, m_headLength, "content-length:",
                                   &value)) {
        char* end = nullptr;
        long long contentLength = std::strtoll(value.GetText(), &end, 10);
        if (end != value.GetText() && contentLength >= 0)
            total = contentLength + (bodyStart - m_entryBase);
    } else if (FindHttpHeader(m_net->lowerHead, m_net->head, m_headLength, "content-range:",
                              &value)) {
        // "bytes 0-99/5000"; "/*" means the server does not know the length either.
        int slashAt = value.ReverseFind('/');
        const char* after = value.GetTextAt(slashAt + 1);
        if (slashAt >= 0 && *after >= '0' && *after <= '9')
            total = std::strtoll(after, nullptr, 10);
    }
    m_length = total;
    StartBody(bodyStart);
    DecideCache();
    if (m_cacheInUse && !m_cacheWriting)
        DropConnection();
    return 1;
}
