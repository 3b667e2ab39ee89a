// The HTTP client's receiving side: the response head, re-requests from the current position,
// chunked decoding and the copy loop behind StreamCore::Read.
#include "core/http_client_internal.h"

#include <cstring>
#include <mutex>
#include <new>

#include "core/text_convert.h"

namespace {

// States of the chunked decoder.
enum ChunkState : int {
    ChunkSize = 0,      // hex digits of a size line
    ChunkExtension,     // rest of the size line: blanks, ";name=value", CR
    ChunkData,
    ChunkDataCr,        // the CR LF behind a chunk's data
    ChunkDataLf,
};

// A size line longer than this is refused (extensions included).
constexpr int kChunkLineLimit = 4096;

// Large receives shared by the process. A receive costs far more than copying (under Wine each
// one is a round trip to the server), so a plain read smaller than what the socket holds takes
// up to kSharedReceiveSize at once and the next reads are served from memory. There are only
// kSharedReceiveBuffers of them, so that fifty streams never hold fifty: a stream keeps one
// only while bytes of it are unread, and a stream that finds none free receives straight into
// the caller's buffer.
constexpr int kSharedReceiveSize = 512 * 1024;
constexpr int kSharedReceiveBuffers = 4;

std::mutex g_sharedReceiveLock;
uint8_t* g_sharedReceive[kSharedReceiveBuffers] = {};   // made on first use, kept for the process
bool g_sharedReceiveBusy[kSharedReceiveBuffers] = {};

uint8_t* BorrowSharedReceive() {
    std::lock_guard<std::mutex> hold(g_sharedReceiveLock);
    for (int i = 0; i < kSharedReceiveBuffers; ++i) {
        if (g_sharedReceiveBusy[i])
            continue;
        if (!g_sharedReceive[i])
            g_sharedReceive[i] = new (std::nothrow) uint8_t[kSharedReceiveSize];
        if (!g_sharedReceive[i])
            return nullptr;
        g_sharedReceiveBusy[i] = true;
        return g_sharedReceive[i];
    }
    return nullptr;
}

void ReturnSharedReceive(uint8_t* buffer) {
    if (!buffer)
        return;
    std::lock_guard<std::mutex> hold(g_sharedReceiveLock);
    for (int i = 0; i < kSharedReceiveBuffers; ++i) {
        if (g_sharedReceive[i] == buffer)
            g_sharedReceiveBusy[i] = false;
    }
}

int HexDigit(uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int FindHeadEnd(const char* bytes, int from, int to) {
    for (int i = from < 0 ? 0 : from; i + 3 < to; ++i) {
        if (bytes[i] == '\r' && bytes[i + 1] == '\n' && bytes[i + 2] == '\r' && bytes[i + 3] == '\n')
            return i + 4;
    }
    return -1;
}

}  // namespace

int ParseHttpStatus(const char* head, int length) {
    if (!head)
        return 0;
    for (int i = 0; i < length - 4; ++i) {
        if (head[i] == ' ') {
            int status = 0;
            for (int k = 1; k <= 3; ++k) {
                char c = head[i + k];
                if (c < '0' || c > '9')
                    return 0;
                status = status * 10 + (c - '0');
            }
            return status;
        }
        if (head[i] == '\r' || head[i] == '\n')
            return 0;
    }
    return 0;
}

bool FindHttpHeader(const char* lowerHead, const char* head, int length, const char* name,
                    CTexto* value) {
    const int nameLength = static_cast<int>(std::strlen(name));
    int line = 0;
    while (line < length) {
        int end = line;
        while (end < length && lowerHead[end] != '\n')
            ++end;
        if (end - line >= nameLength && std::memcmp(lowerHead + line, name, nameLength) == 0) {
            int from = line + nameLength;
            int to = end;
            while (from < to && (head[from] == ' ' || head[from] == '\t'))
                ++from;
            while (to > from && (head[to - 1] == '\r' || head[to - 1] == ' ' || head[to - 1] == '\t'))
                --to;
            if (value) {
                CTexto found;
                found.Append(to - from + 1, nullptr);
                for (int i = from; i < to; ++i)
                    found += head[i];
                *value = found;
            }
            return true;
        }
        line = end + 1;
    }
    return false;
}

void StreamCore::NetworkBuffersFree::operator()(NetworkBuffers* buffers) const {
    if (buffers)
        ReturnSharedReceive(buffers->shared);
    delete buffers;
}

bool StreamCore::EnsureNetworkBuffers() {
    if (!m_net)
        m_net.reset(new (std::nothrow) NetworkBuffers());
    if (m_net && !m_net->decoded)
        m_net->decoded.reset(new (std::nothrow) uint8_t[kReceiveSize]);
    if (m_net && !m_net->decoded)
        m_net.reset();
    return m_net != nullptr;
}

void StreamCore::ResetReceiveState() {
    m_recvIndex = 0;
    m_recvFill = 0;
    m_skipUntil = -1;
    m_chunked = false;
    m_chunkedDone = false;
    m_chunkState = ChunkSize;
    m_chunkRemaining = 0;
    m_chunkLineLength = 0;
    m_chunkDigits = false;
    if (m_net) {
        ReturnSharedReceive(m_net->shared);
        m_net->shared = nullptr;
        m_net->headComplete = false;
        m_net->headExtra = 0;
    }
}

void StreamCore::DropConnection() {
    CloseSocket();
    CloseWinInetRequest();
}

bool StreamCore::IsConnected() const {
    return m_connectResult == 0 || m_winInetRequest != nullptr;
}

int StreamCore::ReceiveHead() {
    char* head = m_net->head;
    m_headLength = 0;
    m_net->headComplete = false;
    m_net->headExtra = 0;
    m_net->lowerHead[0] = 0;
    int got = 0;
    while (got < kResponseHeadLimit && !IsCancelled()) {
        int n = ReceiveSome(reinterpret_cast<uint8_t*>(head) + got, kResponseHeadLimit - got);
        if (n <= 0)
            break;
        int end = FindHeadEnd(head, got - 3, got + n);
        got += n;
        if (end > 0) {
            m_headLength = end;
            m_net->headComplete = true;
            m_net->headExtra = got - end;
            break;
        }
    }
    if (IsCancelled())
        return 0;
    if (!m_net->headComplete)
        m_headLength = got;
    std::memcpy(m_net->lowerHead, head, m_headLength);
    m_net->lowerHead[m_headLength] = 0;
    ToLowerN(m_net->lowerHead, m_headLength);
    return m_headLength;
}

bool StreamCore::RequestFromPosition() {
    if (!(m_networkPosition == -2 && IsConnected())) {
        DropConnection();
        if (!OpenConnection())
            return false;
    }
    m_networkPosition = -2;
    int length = SendRequest();
    m_status = length > 0 ? ParseHttpStatus(m_net->lowerHead, m_headLength) : 0;
    return length > 0 && m_net->headComplete && IsConnected() && !IsCancelled();
}

int64_t StreamCore::ContentRangeStart() const {
    CTexto range;
    if (!FindHttpHeader(m_net->lowerHead, m_net->head, m_headLength, "content-range:", &range))
        return -1;
    // "bytes 1000-1999/5000"
    const char* p = range.GetText();
    while (*p && (*p < '0' || *p > '9'))
        ++p;
    if (!*p)
        return -1;
    int64_t start = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (start > (INT64_MAX - 9) / 10)
            return -1;
        start = start * 10 + (*p - '0');
    }
    return *p == '-' ? start : -1;
}

void StreamCore::StartBody(int64_t bodyStart) {
    CTexto coding;
    m_chunked = !m_winInetRequest &&
                FindHttpHeader(m_net->lowerHead, m_net->head, m_headLength, "transfer-encoding:",
                               &coding) &&
                coding.FindNoCase("chunked") >= 0;
    m_chunkState = ChunkSize;
    m_networkPosition = bodyStart;
    m_skipUntil = bodyStart < m_position ? m_position : -1;
    m_recvIndex = 0;
    m_recvFill = 0;
    if (m_net->headExtra > 0)
        DecodeReceived(reinterpret_cast<const uint8_t*>(m_net->head) + m_headLength,
                       m_net->headExtra);
}

bool StreamCore::AcceptRequestHead() {
    // A re-request: the body must continue where the stream stands.
    if (m_status == HttpPartialContent) {
        int64_t start = ContentRangeStart();
        if (start < 0)
            start = m_position;
        if (start > m_position)
            return false;
        StartBody(start);
        return true;
    }
    if (m_status == HttpOk) {
        // The server ignored the range: its body starts at 0 and is dropped up to the position.
        m_seekable = 0;
        StartBody(0);
        return true;
    }
    return false;
}

void StreamCore::DecodeReceived(const uint8_t* bytes, int count) {
    // Only reached once the bytes of a shared receive are all taken.
    ReturnSharedReceive(m_net->shared);
    m_net->shared = nullptr;
    uint8_t* out = m_net->decoded.get();
    m_recvIndex = 0;
    m_recvFill = 0;
    if (count <= 0) {
        // The server closed the connection.
        if (m_chunked && !m_chunkedDone) {
            m_networkPosition = -1;
            return;
        }
        if (m_chunkedDone || m_networkPosition < 0)
            return;
        const int64_t delivered = m_networkPosition - m_entryBase;
        if (m_length.load() < 0)
            m_length = delivered;
        else if (m_length.load() != delivered)
            m_networkPosition = -1;
        return;
    }
    if (!m_chunked) {
        if (bytes != out)
            std::memcpy(out, bytes, count);
        m_recvFill = count;
        return;
    }
    int fill = 0;
    for (int i = 0; i < count && !m_chunkedDone; ++i) {
        const uint8_t c = bytes[i];
        switch (m_chunkState) {
        case ChunkSize: {
            int digit = HexDigit(c);
            if (digit >= 0) {
                if (m_chunkRemaining > (INT64_MAX >> 4)) {
                    m_networkPosition = -1;
                    return;
                }
                m_chunkRemaining = m_chunkRemaining * 16 + digit;
                m_chunkDigits = true;
                if (++m_chunkLineLength > kChunkLineLimit) {
                    m_networkPosition = -1;
                    return;
                }
                break;
            }
            if (c == ';' || c == ' ' || c == '\t' || c == '\r') {
                m_chunkState = ChunkExtension;
                break;
            }
            if (c != '\n') {
                m_networkPosition = -1;
                return;
            }
        }
            // A bare LF ends the line too.
            [[fallthrough]];
        case ChunkExtension:
            if (c != '\n') {
                if (++m_chunkLineLength > kChunkLineLimit) {
                    m_networkPosition = -1;
                    return;
                }
                break;
            }
            if (!m_chunkDigits) {
                m_networkPosition = -1;
                return;
            }
            if (m_chunkRemaining == 0) {
                // The last chunk: trailers and whatever follows are not ours.
                m_chunkedDone = true;
                break;
            }
            m_chunkState = ChunkData;
            break;
        case ChunkData: {
            int64_t take = count - i;
            if (take > m_chunkRemaining)
                take = m_chunkRemaining;
            std::memcpy(out + fill, bytes + i, static_cast<size_t>(take));
            fill += static_cast<int>(take);
            i += static_cast<int>(take) - 1;
            m_chunkRemaining -= take;
            if (m_chunkRemaining == 0)
                m_chunkState = ChunkDataCr;
            break;
        }
        case ChunkDataCr:
            if (c == '\r') {
                m_chunkState = ChunkDataLf;
                break;
            }
            [[fallthrough]];
        case ChunkDataLf:
            if (c != '\n') {
                m_networkPosition = -1;
                return;
            }
            m_chunkState = ChunkSize;
            m_chunkRemaining = 0;
            m_chunkLineLength = 0;
            m_chunkDigits = false;
            break;
        }
    }
    m_recvFill = fill;
}

// Bytes that reached the stream from the network: into the caller's buffer (already there when
// received in place) and the cache; the position moves on.
void StreamCore::DeliverFromNetwork(uint8_t* buffer, const uint8_t* bytes, int count) {
    if (bytes != buffer)
        std::memcpy(buffer, bytes, count);
    if (m_cacheWriting)
        WriteToCache(buffer, count, m_position);
    m_position += count;
    m_networkPosition += count;
}

int StreamCore::ReadNetwork(uint8_t* buffer, int count) {
    // A shared receive whose bytes are all taken goes back at once.
    auto finish = [this](int copiedBytes) {
        if (m_net->shared && m_recvIndex >= m_recvFill) {
            ReturnSharedReceive(m_net->shared);
            m_net->shared = nullptr;
            m_recvIndex = 0;
            m_recvFill = 0;
        }
        return copiedBytes;
    };
    int copied = 0;
    int tries = 0;
    while (copied < count && !IsCancelled()) {
        const int64_t length = m_length.load();
        if (length >= 0 && m_position - m_entryBase >= length)
            break;
        // A connection that broke off while skipping towards the position is requested
        // again like any other: nothing more will arrive on it.
        if (m_networkPosition != m_position && (m_skipUntil < 0 || !IsConnected())) {
            if (tries >= kRequestTries)
                break;
            ++tries;
            ResetReceiveState();
            if (!RequestFromPosition() || !AcceptRequestHead()) {
                m_networkPosition = -1;
                DropConnection();
                continue;
            }
        }
        while (copied < count && !IsCancelled() && IsConnected()) {
            int available = m_recvFill - m_recvIndex;
            if (m_skipUntil >= 0) {
                // Bytes before the position, from a server that started over at 0.
                int64_t skip = m_skipUntil - m_networkPosition;
                if (skip <= 0) {
                    m_skipUntil = -1;
                    continue;
                }
                if (available > 0) {
                    int drop = skip < available ? static_cast<int>(skip) : available;
                    m_recvIndex += drop;
                    m_networkPosition += drop;
                    continue;
                }
            } else if (m_networkPosition != m_position) {
                break;
            } else if (available > 0) {
                int take = count - copied < available ? count - copied : available;
                const uint8_t* received = m_net->shared ? m_net->shared : m_net->decoded.get();
                DeliverFromNetwork(buffer + copied, received + m_recvIndex, take);
                m_recvIndex += take;
                copied += take;
                const int64_t known = m_length.load();
                if (known >= 0 && m_position - m_entryBase >= known)
                    return finish(copied);
                continue;
            } else if (m_chunkedDone) {
                if (m_length.load() < 0)
                    m_length = m_position - m_entryBase;
                return finish(copied);
            }
            int got;
            if (!m_chunked && m_skipUntil < 0 && count - copied >= kDirectReceiveMin) {
                int want = count - copied;
                const int64_t known = m_length.load();
                const int64_t left = known >= 0 ? known - (m_position - m_entryBase) : -1;
                if (left >= 0 && left < want)
                    want = static_cast<int>(left);
                // A read smaller than what may be waiting takes one large shared receive.
                bool viaShared = false;
                if (want < kSharedReceiveSize && (left < 0 || left > want)) {
                    if (!m_net->shared)
                        m_net->shared = BorrowSharedReceive();
                    if (m_net->shared) {
                        viaShared = true;
                        const int take = left >= 0 && left < kSharedReceiveSize
                                             ? static_cast<int>(left)
                                             : kSharedReceiveSize;
                        got = ReceiveSome(m_net->shared, take);
                        if (got > 0) {
                            m_recvIndex = 0;
                            m_recvFill = got;
                            continue;
                        }
                    }
                }
                if (!viaShared) {
                    // Its bytes are all taken by now.
                    ReturnSharedReceive(m_net->shared);
                    m_net->shared = nullptr;
                    m_recvIndex = 0;
                    m_recvFill = 0;
                    // Other large reads of plain bodies go straight into the caller's buffer.
                    got = ReceiveSome(buffer + copied, want);
                    if (got > 0) {
                        DeliverFromNetwork(buffer + copied, buffer + copied, got);
                        copied += got;
                        continue;
                    }
                }
            } else {
                // Smaller reads are served from one large receive (each receive costs more
                // than copying); plain bodies land where decoded bytes are kept.
                if (m_chunked && !m_net->raw)
                    m_net->raw.reset(new (std::nothrow) uint8_t[kReceiveSize]);
                uint8_t* landing = m_chunked ? m_net->raw.get() : m_net->decoded.get();
                got = landing ? ReceiveSome(landing, kReceiveSize) : -1;
                if (got > 0) {
                    DecodeReceived(landing, got);
                    continue;
                }
            }
            if (got == 0)
                DecodeReceived(nullptr, 0);
            else
                m_networkPosition = -1;
            // Nothing more arrives on this connection. An answer that ended before reaching the
            // position is requested again like a broken one (the tries are bounded).
            if (got == 0 && m_skipUntil >= 0)
                m_networkPosition = -1;
            DropConnection();
            break;
        }
        if (!IsConnected() && m_networkPosition == m_position) {
            // The connection ended where the stream stands: the end, or a request for the rest.
            const int64_t known = m_length.load();
            if (known < 0 || m_position - m_entryBase >= known)
                break;
            m_networkPosition = -1;
        }
    }
    // Bytes already taken have moved the position: they are answered even after a cancel.
    return finish(copied);
}
