// The WinInet fallback of the HTTP client: used for the whole process once its own connection
// failed, a server asked for a password or a redirect chain needs it.
#include "core/http_client_internal.h"

#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/text_convert.h"

namespace {

InternetErrorDialogFunction g_errorDialog = nullptr;

DWORD SystemErrorDialog(HWND owner, void* request, DWORD error, DWORD flags, void** data) {
    return InternetErrorDlg(owner, static_cast<HINTERNET>(request), error, flags, data);
}

// Prompts allowed for one request, and resends after them.
constexpr int kAuthDialogs = 2;
constexpr int kAuthResends = 1;

}  // namespace

InternetErrorDialogFunction SetInternetErrorDialogFunction(InternetErrorDialogFunction function) {
    InternetErrorDialogFunction previous = g_errorDialog ? g_errorDialog : &SystemErrorDialog;
    g_errorDialog = function;
    return previous;
}

void* CreateInternetSession() {
    HINTERNET session = InternetOpenA(kWinInetAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (session) {
        DWORD timeout = kWinInetConnectTimeoutMs;
        InternetSetOptionA(session, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
    }
    return session;
}

void CloseInternetSession(void* session) {
    if (session)
        InternetCloseHandle(static_cast<HINTERNET>(session));
}

void StreamCore::CloseWinInetRequest() {
    if (m_winInetRequest)
        InternetCloseHandle(static_cast<HINTERNET>(m_winInetRequest));
    if (m_winInetConnection)
        InternetCloseHandle(static_cast<HINTERNET>(m_winInetConnection));
    m_winInetRequest = nullptr;
    m_winInetConnection = nullptr;
}

int StreamCore::OpenWinInetRequest() {
    CloseWinInetRequest();
    void* session = GetInternetSession();
    if (!session || IsCancelled() || !EnsureNetworkBuffers())
        return 0;
    const int port = std::atoi(m_port.GetText());
    HINTERNET connection =
        InternetConnectA(static_cast<HINTERNET>(session), m_host.GetText(),
                         static_cast<INTERNET_PORT>(port > 0 && port < 65536 ? port : kDefaultHttpPort),
                         nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (!connection)
        return 0;
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_EXISTING_CONNECT |
                        INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION |
                        INTERNET_FLAG_NO_AUTO_REDIRECT;
    HINTERNET request = HttpOpenRequestA(connection, m_postBody ? "POST" : "GET", m_path.GetText(),
                                         "HTTP/1.1", nullptr, nullptr, flags, 0);
    if (!request) {
        InternetCloseHandle(connection);
        return 0;
    }
    // A silent server ends a read instead of holding it for ever.
    DWORD timeout = kReceiveStallMs;
    InternetSetOptionA(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    m_winInetConnection = connection;
    m_winInetRequest = request;
    return 1;
}

int StreamCore::SendWinInetRequest() {
    HINTERNET request = static_cast<HINTERNET>(m_winInetRequest);
    m_headLength = 0;
    m_net->headComplete = false;
    m_net->headExtra = 0;
    m_net->lowerHead[0] = 0;
    if (!request || IsCancelled())
        return 0;
    CTexto headers;
    headers.Format("%sRange: bytes=%lld-\r\n", m_extraHeaders.GetText(),
                   static_cast<long long>(m_position));
    HttpAddRequestHeadersA(request, headers.GetText(), static_cast<DWORD>(-1),
                           HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
    DWORD bodyLength = 0;
    if (m_postBody) {
        HttpAddRequestHeadersA(request, "Content-Type: application/x-www-form-urlencoded\r\n",
                               static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD_IF_NEW);
        bodyLength = static_cast<DWORD>(std::strlen(m_postBody));
    }
    if (!HttpSendRequestA(request, nullptr, 0, const_cast<char*>(m_postBody), bodyLength))
        return 0;
    DWORD size = kResponseHeadLimit - 4;
    if (!HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, m_net->head, &size, nullptr))
        return 0;
    if (size > static_cast<DWORD>(kResponseHeadLimit - 4))
        size = kResponseHeadLimit - 4;
    int length = static_cast<int>(size);
    // The head ends with an empty line, as it did on the wire.
    const bool lineEnded = length >= 2 && std::memcmp(m_net->head + length - 2, "\r\n", 2) == 0;
    const bool blankEnded = length >= 4 && std::memcmp(m_net->head + length - 4, "\r\n\r\n", 4) == 0;
    if (!blankEnded) {
        const char* tail = lineEnded ? "\r\n" : "\r\n\r\n";
        std::memcpy(m_net->head + length, tail, std::strlen(tail));
        length += static_cast<int>(std::strlen(tail));
    }
    m_headLength = length;
    m_net->headComplete = true;
    std::memcpy(m_net->lowerHead, m_net->head, length);
    m_net->lowerHead[length] = 0;
    ToLowerN(m_net->lowerHead, length);
    return IsCancelled() ? 0 : length;
}

int StreamCore::AuthenticateWinInet(int length) {
    InternetErrorDialogFunction dialog = g_errorDialog ? g_errorDialog : &SystemErrorDialog;
    int resends = 0;
    for (int shown = 0; shown < kAuthDialogs && !IsCancelled(); ++shown) {
        const int status = ParseHttpStatus(m_net->lowerHead, m_headLength);
        if (status != HttpUnauthorized && status != HttpProxyAuthRequired)
            break;
        // Whatever the previous answer carried must be read before the request goes again.
        uint8_t drain[1024];
        DWORD got = 0;
        while (InternetReadFile(static_cast<HINTERNET>(m_winInetRequest), drain, sizeof drain, &got) &&
               got > 0) {
        }
        const DWORD answer =
            dialog(GetDesktopWindow(), m_winInetRequest, ERROR_INTERNET_INCORRECT_PASSWORD,
                   FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA |
                       FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS,
                   nullptr);
        if (answer != ERROR_INTERNET_FORCE_RETRY || resends >= kAuthResends || IsCancelled())
            break;
        ++resends;
        length = SendWinInetRequest();
        if (length <= 0)
            break;
    }
    return length;
}

int StreamCore::ReadWinInet(uint8_t* buffer, int count) {
    DWORD got = 0;
    if (!InternetReadFile(static_cast<HINTERNET>(m_winInetRequest), buffer, static_cast<DWORD>(count),
                          &got))
        return -1;
    return static_cast<int>(got);
}
