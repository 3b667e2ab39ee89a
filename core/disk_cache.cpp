// The disk cache of HTTP transfers: the decision at open, reads and writes of the data file,
// the range map, the sweep and the crash markers.
#include "core/disk_cache.h"

#include <windows.h>

#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "core/http_client_internal.h"
#include "core/system_wrappers.h"
#include "core/text_convert.h"

namespace {

// The writer's lock: one byte far past any data, so readers of the data are never blocked.
constexpr DWORD kWriterLockHigh = 0x40000000;
constexpr DWORD kWriterLockLow = 0;
constexpr int kCacheNameLimit = 120;            // longest file part kept in a cache name
constexpr uint64_t kFileTimeUnitsPerSecond = 10000000;
constexpr uint32_t kMaxCachedTotal = 0xFFFFFFFFu;   // the header holds the total as u32

FreeSpaceFunction g_freeSpace = nullptr;

std::mutex g_markerLock;
HANDLE g_marker = INVALID_HANDLE_VALUE;
CTexto g_markerPath;

bool LockWriter(HANDLE file) {
    OVERLAPPED at = {};
    at.Offset = kWriterLockLow;
    at.OffsetHigh = kWriterLockHigh;
    return LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}

void UnlockWriter(HANDLE file) {
    OVERLAPPED at = {};
    at.Offset = kWriterLockLow;
    at.OffsetHigh = kWriterLockHigh;
    UnlockFileEx(file, 0, 1, 0, &at);
}

// Another stream (of this or another process) holds the writer's lock of the data file.
bool IsLockedByWriter(HANDLE file) {
    if (!LockWriter(file))
        return true;
    UnlockWriter(file);
    return false;
}

bool IsBeingWritten(const char* dataPath) {
    HANDLE file = CreateFileA(dataPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool locked = IsLockedByWriter(file);
    CloseHandle(file);
    return locked;
}

bool EndsWith(const char* name, const char* ending) {
    const size_t n = std::strlen(name);
    const size_t e = std::strlen(ending);
    return n >= e && std::strcmp(name + n - e, ending) == 0;
}

uint64_t SystemFreeSpace(const char* folder) {
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(folder, &available, nullptr, nullptr))
        return 0;
    return available.QuadPart;
}

void PutU32(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
    out[2] = static_cast<uint8_t>(value >> 16);
    out[3] = static_cast<uint8_t>(value >> 24);
}

uint32_t GetU32(const uint8_t* in) {
    return in[0] | (in[1] << 8) | (in[2] << 16) | (static_cast<uint32_t>(in[3]) << 24);
}

CTexto SessionNameOf(const CTexto& dataName) {
    CTexto name(dataName);
    const int extension = static_cast<int>(std::strlen(kCacheDataExtension));
    if (name.GetLength() >= extension)
        name.Delete(name.GetLength() - extension, extension);
    name += kCacheSessionExtension;
    return name;
}

}  // namespace

FreeSpaceFunction SetCacheFreeSpaceFunction(FreeSpaceFunction function) {
    FreeSpaceFunction previous = g_freeSpace ? g_freeSpace : &SystemFreeSpace;
    g_freeSpace = function;
    return previous;
}

uint64_t GetCacheFreeSpace() {
    // The drive the cache lies on, not necessarily C:.
    return (g_freeSpace ? g_freeSpace : &SystemFreeSpace)(g_cacheFolder.GetText());
}

void MakeCacheKey(const char* url, char key[9]) {
    uint8_t k[4] = {0, 0, 0, 0};
    for (size_t i = 0; url && url[i]; ++i) {
        const uint8_t c = static_cast<uint8_t>(url[i]);
        k[i % 4] = static_cast<uint8_t>(k[i % 4] ^ c ^ k[(i + 3) % 4]);
    }
    const uint32_t v = GetU32(k);
    for (int n = 0; n < 8; ++n)
        key[n] = static_cast<char>('a' + ((v >> (4 * n)) & 15));
    key[8] = 0;
}

uint32_t CacheStampFromHead(const char* head, int headLength, int64_t total) {
    CTexto value;
    if (head && FindHttpHeader(head, head, headLength, "last-modified:", &value)) {
        // "wed, 21 oct 2015 07:28:00 gmt": the time of day, read as hex digits.
        const int gmt = value.Find(" gmt");
        if (gmt >= 8) {
            CTexto time = value.Mid(gmt - 8, 8);
            time.Replace(':', '0');
            return static_cast<uint32_t>(HexToInt(time.GetText()));
        }
    }
    return static_cast<uint32_t>(total);
}

void MakeCacheBaseName(CTexto* base, const char* url, const char* fileName) {
    char key[9];
    MakeCacheKey(url, key);
    CTexto name(fileName);
    int query = name.Find('?');
    if (query >= 0)
        name.Delete(query, name.GetLength());
    if (name.GetLength() > kCacheNameLimit)
        name.Delete(kCacheNameLimit, name.GetLength());
    // Whatever a URL carries, the name must be one file in the cache folder.
    for (int i = 0; i < name.GetLength(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name.GetAt(i));
        if (c < 32 || std::strchr("\\/:*\"<>|", c))
            name.GetText()[i] = '_';
    }
    *base = g_cacheFolder;
    *base += "\\cache";
    *base += key;
    *base += name;
}

int64_t SweepCache(CacheSweepMode mode, bool all) {
    if (g_cacheFolder.GetLength() == 0)
        return 0;
    CTexto pattern(g_cacheFolder);
    pattern += "\\*.*";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.GetText(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FILETIME nowTime;
    GetSystemTimeAsFileTime(&nowTime);
    const uint64_t now = (static_cast<uint64_t>(nowTime.dwHighDateTime) << 32) | nowTime.dwLowDateTime;
    const uint64_t cutoff = now - static_cast<uint64_t>(kCacheMaxAgeSeconds) * kFileTimeUnitsPerSecond;
    const size_t markerLength = std::strlen(kCacheMarkerName);
    int64_t total = 0;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        total += static_cast<int64_t>((static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
        if (mode == CacheSweepMeasure)
            continue;
        const char* name = found.cFileName;
        if (std::strncmp(name, kCacheMarkerName, markerLength) == 0)
            continue;
        const bool session = EndsWith(name, kCacheSessionExtension);
        const bool data = EndsWith(name, kCacheDataExtension);
        const bool map = EndsWith(name, kCacheMapExtension);
        if (!(session || (mode == CacheSweepAll && (data || map))))
            continue;
        const uint64_t written = (static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                                 found.ftLastWriteTime.dwLowDateTime;
        if (!all && written >= cutoff)
            continue;
        CTexto path(g_cacheFolder);
        path += "\\";
        path += name;
        CTexto stem(path);
        const char* ending = session ? kCacheSessionExtension : data ? kCacheDataExtension : kCacheMapExtension;
        stem.Delete(stem.GetLength() - static_cast<int>(std::strlen(ending)), static_cast<int>(std::strlen(ending)));
        // A data file being written, and its map, stay.
        if ((data || map) && IsBeingWritten((stem + kCacheDataExtension).GetText()))
            continue;
        RemoveFile(path.GetText());
        if (mode == CacheSweepSession)
            RemoveFile((stem + kCacheMapExtension).GetText());
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return total;
}

bool PreviousRunCrashed() {
    if (g_cacheFolder.GetLength() == 0)
        return false;
    CTexto pattern(g_cacheFolder);
    pattern += "\\";
    pattern += kCacheMarkerName;
    pattern += "*";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.GetText(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool crashed = false;
    std::lock_guard<std::mutex> hold(g_markerLock);
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        CTexto path(g_cacheFolder);
        path += "\\";
        path += found.cFileName;
        if (g_marker != INVALID_HANDLE_VALUE && path == g_markerPath)
            continue;
        // A running player holds its marker open without delete sharing: only markers of
        // ended (crashed) runs can be removed.
        if (DeleteFileA(path.GetText()))
            crashed = true;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return crashed;
}

bool CreateCacheMarker() {
    std::lock_guard<std::mutex> hold(g_markerLock);
    if (g_marker != INVALID_HANDLE_VALUE)
        return true;
    if (g_cacheFolder.GetLength() == 0)
        return false;
    CTexto path;
    path.Format("%s\\%s.%lu", g_cacheFolder.GetText(), kCacheMarkerName,
                static_cast<unsigned long>(GetCurrentProcessId()));
    HANDLE marker = CreateFileA(path.GetText(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker == INVALID_HANDLE_VALUE)
        return false;
    g_marker = marker;
    g_markerPath = path;
    return true;
}

void DeleteCacheMarker() {
    std::lock_guard<std::mutex> hold(g_markerLock);
    if (g_marker == INVALID_HANDLE_VALUE)
        return;
    CloseHandle(g_marker);
    g_marker = INVALID_HANDLE_VALUE;
    DeleteFileA(g_markerPath.GetText());
    g_markerPath.Empty();
}

bool StartCacheSession() {
    const bool crashed = PreviousRunCrashed();
    SweepCache(CacheSweepAll, crashed);
    CreateCacheMarker();
    return crashed;
}

// ---------------------------------------------------------------------------------------------
// The stream's side.

int StreamCore::CachedBytesAt(int64_t position, int count) const {
    for (const ByteRange& range : m_ranges) {
        if (range.start <= position && range.end > position) {
            const int64_t available = range.end - position;
            return available < count ? static_cast<int>(available) : count;
        }
    }
    return 0;
}

int64_t StreamCore::NextCachedStart(int64_t position) const {
    int64_t next = INT64_MAX;
    for (const ByteRange& range : m_ranges) {
        if (range.start > position && range.end > range.start && range.start < next)
            next = range.start;
    }
    return next;
}

void StreamCore::AddRange(int64_t position, int64_t count) {
    if (count <= 0)
        return;
    const int64_t end = position + count;
    size_t at = 0;
    bool extended = false;
    for (size_t i = 0; i < m_ranges.size() && m_ranges[i].start <= position; ++i) {
        if (m_ranges[i].end >= position) {
            // Rewritten bytes never shrink what is there.
            if (end > m_ranges[i].end)
                m_ranges[i].end = end;
            at = i;
            extended = true;
            break;
        }
    }
    if (!extended) {
        at = 0;
        while (at < m_ranges.size() && m_ranges[at].start < position)
            ++at;
        m_ranges.insert(m_ranges.begin() + static_cast<std::ptrdiff_t>(at), ByteRange{position, end});
    }
    // Absorb the ranges the grown one now reaches.
    while (at + 1 < m_ranges.size() && m_ranges[at + 1].start <= m_ranges[at].end) {
        if (m_ranges[at + 1].end > m_ranges[at].end)
            m_ranges[at].end = m_ranges[at + 1].end;
        m_ranges.erase(m_ranges.begin() + static_cast<std::ptrdiff_t>(at + 1));
    }
}

void StreamCore::ClearRanges() {
    m_ranges.assign(1, ByteRange{0, 0});
}

bool StreamCore::WriteRangeMap() {
    if (m_cacheMapName.GetLength() == 0)
        return false;
    StreamCore map;
    if (!map.Open(m_cacheMapName.GetText(), OpenWrite | OpenCreate | OpenNoOverwritePrompt | OpenNoPackage))
        return false;
    bool ok = true;
    for (const ByteRange& range : m_ranges) {
        if (range.end <= range.start && m_ranges.size() > 1)
            continue;
        uint8_t pair[8];
        PutU32(pair, static_cast<uint32_t>(range.start));
        PutU32(pair + 4, static_cast<uint32_t>(range.end));
        ok = map.Write(pair, sizeof pair) == static_cast<int>(sizeof pair) && ok;
    }
    map.Close();
    return ok;
}

bool StreamCore::LoadRangeMap(int64_t total) {
    StreamCore map;
    if (!map.Open(m_cacheMapName.GetText(), OpenRead | OpenNoPackage))
        return false;
    std::vector<ByteRange> ranges;
    if (!ReadRangeMap(map, total, &ranges))
        return false;
    m_ranges = ranges;
    return true;
}

bool StreamCore::ReadRangeMap(StreamCore& map, int64_t total, std::vector<ByteRange>* out) {
    const int64_t size = map.GetLength();
    // Pairs only, and no more of them than a file of this total can have.
    if (size <= 0 || size % 8 != 0 || size / 8 > total / 2 + 2)
        return false;
    std::vector<ByteRange> ranges;
    int64_t previousEnd = 0;
    for (int64_t i = 0; i < size / 8; ++i) {
        uint8_t pair[8];
        if (map.Read(pair, sizeof pair) != static_cast<int>(sizeof pair))
            return false;
        const int64_t start = GetU32(pair);
        const int64_t end = GetU32(pair + 4);
        if (end < start || end > total || start < previousEnd)
            return false;
        if (end == start)
            continue;
        if (!ranges.empty() && start == previousEnd)
            ranges.back().end = end;
        else
            ranges.push_back(ByteRange{start, end});
        previousEnd = end;
    }
    if (ranges.empty() || ranges.front().start > 0)
        ranges.insert(ranges.begin(), ByteRange{0, 0});
    *out = ranges;
    return true;
}

void StreamCore::DecideCache() {
    if (!m_useCache || m_url.GetLength() == 0 || !m_net)
        return;
    const int64_t total = m_length.load();
    // A file of unknown length cannot be checked against the server's answer later.
    if (total < 0 || total > static_cast<int64_t>(kMaxCachedTotal))
        return;
    // The cache stays within 5 % of the free space, counting what it already holds.
    const uint64_t freeMb = GetCacheFreeSpace() >> 20;
    const uint64_t cacheMb = (static_cast<uint64_t>(SweepCache(CacheSweepMeasure, true)) >> 20) + 1;
    const uint64_t lengthMb = (static_cast<uint64_t>(total) >> 20) + 1;
    if (lengthMb + cacheMb > (cacheMb + freeMb) * kCacheFreeSpacePercent / 100)
        return;

    const uint32_t stamp = CacheStampFromHead(m_net->lowerHead, m_headLength, total);
    CTexto base;
    MakeCacheBaseName(&base, m_url.GetText(), m_cacheBaseName.GetText());
    m_cacheDataName = base + kCacheDataExtension;
    m_cacheMapName = base + kCacheMapExtension;
    const CTexto sessionName = base + kCacheSessionExtension;
    if (FileExists(sessionName.GetText()))
        MoveFileReplace(sessionName.GetText(), m_cacheDataName.GetText());

    if (!m_cacheStream)
        m_cacheStream.reset(new (std::nothrow) StreamCore());
    if (!m_cacheStream)
        return;
    StreamCore& cache = *m_cacheStream;
    bool create = true;
    bool partial = true;
    ClearRanges();
    if (cache.Open(m_cacheDataName.GetText(), OpenRead | OpenNoPackage)) {
        if (IsLockedByWriter(static_cast<HANDLE>(cache.m_file))) {
            // Another stream is filling it: this transfer goes without the cache.
            cache.Close();
            return;
        }
        uint8_t header[kCacheHeaderSize];
        if (cache.ReadLocalFile(header, kCacheHeaderSize) == kCacheHeaderSize &&
            GetU32(header) == static_cast<uint32_t>(total) && GetU32(header + 4) == stamp) {
            if (FileExists(m_cacheMapName.GetText())) {
                create = !LoadRangeMap(total);
                if (!create) {
                    // The map may promise more than the data file holds (a file cut short):
                    // only bytes really there count, so the gaps are fetched and written.
                    const int64_t held = cache.GetFileLength() - kCacheHeaderSize;
                    std::vector<ByteRange> present;
                    for (const ByteRange& range : m_ranges) {
                        if (range.start < held)
                            present.push_back(ByteRange{range.start, range.end < held ? range.end : held});
                    }
                    if (present.empty() || present.front().start > 0)
                        present.insert(present.begin(), ByteRange{0, 0});
                    m_ranges = present;
                }
            } else {
                int64_t end = cache.GetFileLength() - kCacheHeaderSize;
                if (end > total)
                    end = total;
                m_ranges.assign(1, ByteRange{0, end < 0 ? 0 : end});
                create = false;
                partial = m_ranges[0].end < total;
            }
        }
        cache.Close();
    }
    if (create) {
        RemoveFile(m_cacheDataName.GetText());
        RemoveFile(m_cacheMapName.GetText());
        ClearRanges();
        partial = true;
    }
    const unsigned flags = partial ? (OpenReadWrite | OpenNoPackage | (create ? static_cast<unsigned>(OpenCreate) : 0u))
                                   : (OpenRead | OpenNoPackage);
    if (!cache.Open(m_cacheDataName.GetText(), flags)) {
        ClearRanges();
        return;
    }
    if (partial) {
        if (!LockWriter(static_cast<HANDLE>(cache.m_file))) {
            cache.Close();
            ClearRanges();
            return;
        }
        m_cacheLocked = true;
        uint8_t header[kCacheHeaderSize];
        PutU32(header, static_cast<uint32_t>(total));
        PutU32(header + 4, stamp);
        if (cache.SeekFile(0) != 0 || cache.WriteLocalFile(header, kCacheHeaderSize) != kCacheHeaderSize) {
            cache.Close();
            m_cacheLocked = false;
            ClearRanges();
            return;
        }
    }
    m_cacheInUse = (m_seekable || m_ranges[0].end >= total) ? 1 : 0;
    m_cacheWriting = partial ? 1 : 0;
}

int StreamCore::ReadFromCache(uint8_t* buffer, int count) {
    StreamCore& cache = *m_cacheStream;
    int got = 0;
    if (cache.SeekFile(m_position + kCacheHeaderSize) >= 0)
        got = cache.ReadLocalFile(buffer, count);
    if (got > 0) {
        const int64_t before = m_position;
        m_position += got;
        // The connection's bytes for the same stretch are no longer wanted.
        if (m_networkPosition == before && m_skipUntil < 0) {
            const int available = m_recvFill - m_recvIndex;
            const int skip = got < available ? got : available;
            m_recvIndex += skip;
            m_networkPosition += skip;
        }
    }
    if (got < count)
        StopUsingCache();
    return got > 0 ? got : 0;
}

void StreamCore::WriteToCache(const uint8_t* bytes, int count, int64_t position) {
    if (!m_cacheWriting || !m_cacheStream)
        return;
    StreamCore& cache = *m_cacheStream;
    // Always at the bytes' own offset, whatever the server answered to the range.
    if (cache.SeekFile(position + kCacheHeaderSize) < 0 || cache.WriteLocalFile(bytes, count) != count) {
        StopUsingCache();
        return;
    }
    AddRange(position, count);
}

void StreamCore::StopUsingCache() {
    SettleCache();
}

void StreamCore::SettleCache() {
    const bool active = m_cacheInUse || m_cacheWriting || m_cacheLocked;
    if (m_cacheStream)
        m_cacheStream->Close();   // gives up the writer's lock too
    m_cacheLocked = false;
    m_cacheInUse = 0;
    m_cacheWriting = 0;
    if (!active) {
        ClearRanges();
        return;
    }
    size_t present = 0;
    int64_t firstStart = 0;
    for (const ByteRange& range : m_ranges) {
        if (range.end > range.start) {
            if (present == 0)
                firstStart = range.start;
            ++present;
        }
    }
    if (present > 1 || (present == 1 && firstStart != 0))
        WriteRangeMap();
    else
        RemoveFile(m_cacheMapName.GetText());
    if (m_sessionOnly && FileExists(m_cacheDataName.GetText()))
        MoveFileReplace(m_cacheDataName.GetText(), SessionNameOf(m_cacheDataName).GetText());
    ClearRanges();
}

void StreamCore::CloseAndDeleteCache() {
    Close();
    if (m_cacheDataName.GetLength() == 0)
        return;
    RemoveFile(m_cacheDataName.GetText());
    RemoveFile(SessionNameOf(m_cacheDataName).GetText());
    RemoveFile(m_cacheMapName.GetText());
}
