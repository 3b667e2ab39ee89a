// http:// sources of CFicheroHttp: the download gate in front of every open, reading (the disk
// cache first, then the network), seeking and closing.
#include "core/http_client_internal.h"

#include <windows.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

// Streams at the download gate in arrival order, the first one being the head. Every thread
// that opens a URL touches it, so it lives under a lock.
std::mutex g_downloadQueueLock;
std::vector<const StreamCore*> g_downloadQueue;

// Longest wait at the gate; opens ahead of us are bounded themselves, this only guards against
// a stream that never leaves.
constexpr int kGateWaitLimitMs = 300000;
constexpr int kGateSliceMs = 10;
constexpr int kGateStepMs = 100;

void LeaveQueue(const StreamCore* stream) {
    std::lock_guard<std::mutex> hold(g_downloadQueueLock);
    auto found = std::find(g_downloadQueue.begin(), g_downloadQueue.end(), stream);
    if (found != g_downloadQueue.end())
        g_downloadQueue.erase(found);
}

}  // namespace

int GetDownloadQueueLength() {
    std::lock_guard<std::mutex> hold(g_downloadQueueLock);
    return static_cast<int>(g_downloadQueue.size());
}

int StreamCore::OpenHttp(const char* url, unsigned flags, int64_t start) {
    m_source = StreamSource::Http;
    {
        std::lock_guard<std::mutex> hold(g_downloadQueueLock);
        g_downloadQueue.push_back(this);
    }
    // Three transfers open freely; beyond that the head of the queue goes first.
    bool admitted = false;
    int waited = 0;
    while (!IsCancelled() && !g_networkShutdown.load() && waited < kGateWaitLimitMs) {
        int index = 0;
        {
            std::lock_guard<std::mutex> hold(g_downloadQueueLock);
            auto at = std::find(g_downloadQueue.begin(), g_downloadQueue.end(), this);
            index = static_cast<int>(at - g_downloadQueue.begin());
            if (g_openDownloads.load() < kFreeDownloads || index == 0) {
                ++g_openDownloads;
                admitted = true;
            }
        }
        if (admitted)
            break;
        const int pause = index * kGateStepMs + kGateSliceMs;
        for (int slept = 0; slept < pause && !IsCancelled(); slept += kGateSliceMs)
            Sleep(kGateSliceMs);
        waited += pause;
    }
    int result = 0;
    if (admitted) {
        m_downloadCounted = true;
        CTexto name(url);
        result = OpenUrl(name.GetText(), m_cancelFlag.load(), start, flags);
        if (!result) {
            --g_openDownloads;
            m_downloadCounted = false;
        }
    }
    LeaveQueue(this);
    return result;
}

int StreamCore::ReadHttp(void* buffer, int count) {
    uint8_t* out = static_cast<uint8_t*>(buffer);
    const int64_t length = m_length.load();
    if (length >= 0 && length - GetPosition() < count)
        count = static_cast<int>(length - GetPosition());
    int got = 0;
    while (got < count && !IsCancelled()) {
        int want = count - got;
        if (m_cacheInUse) {
            const int cached = CachedBytesAt(m_position, want);
            if (cached > 0) {
                const int read = ReadFromCache(out + got, cached);
                got += read;
                if (read == cached)
                    continue;
                want = count - got;
            } else {
                // Up to the next stretch the cache holds; that one comes from disk again.
                const int64_t next = NextCachedStart(m_position) - m_position;
                if (next < want)
                    want = static_cast<int>(next);
            }
        }
        if (want <= 0)
            break;
        const int read = ReadNetwork(out + got, want);
        got += read;
        if (read < want)
            break;
    }
    return got;
}

int64_t StreamCore::SeekHttp(int64_t target) {
    if (target < m_position && !m_seekable) {
        // A server without ranges can only start over.
        m_position = m_entryBase;
    }
    const int64_t gap = target - m_position;
    if (gap > 0 && (gap < kSeekDiscardLimit || !m_seekable)) {
        uint8_t discard[kSeekDiscardPiece];
        int64_t left = gap;
        while (left > 0 && !IsCancelled()) {
            const int piece = left < kSeekDiscardPiece ? static_cast<int>(left) : kSeekDiscardPiece;
            const int read = ReadHttp(discard, piece);
            if (read <= 0)
                break;
            left -= read;
        }
        return GetPosition();
    }
    if (gap > 0 && m_networkPosition == m_position && m_recvFill - m_recvIndex >= gap) {
        // Still in the last receive.
        m_recvIndex += static_cast<int>(gap);
        m_networkPosition += gap;
    }
    m_position = target;
    if ((m_cacheInUse || m_cacheWriting) && m_ranges.size() > 1)
        WriteRangeMap();
    return GetPosition();
}

void StreamCore::CloseNetwork() {
    if (m_downloadCounted) {
        --g_openDownloads;
        m_downloadCounted = false;
    }
    DropConnection();
    SettleCache();
    ResetReceiveState();
    m_networkPosition = -1;
}
