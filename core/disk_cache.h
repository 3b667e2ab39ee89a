// The disk cache of downloaded files in g_cacheFolder. Per URL, with base = folder + "\cache" +
// key + name:
//   base.tmp  data file: u32 total length, u32 stamp, then byte p of the resource at offset p + 8
//   base.tm   a data file kept for one session only (renamed back to .tmp by the next open)
//   base.fgm  range map: (u32 start, u32 end) pairs of the bytes present, ascending
// A stream that writes a data file holds a lock on it, so another process neither uses nor
// sweeps it meanwhile. Each running player keeps its own "cacheWriting.<process id>" marker;
// a marker whose process is gone means that run crashed.
#pragma once

#include <cstdint>

class CTexto;

enum CacheSweepMode : int {
    CacheSweepSession = 0,   // ".tm" files and their ".fgm"
    CacheSweepAll = 1,       // ".tm", ".tmp" and ".fgm"
    CacheSweepMeasure = 2,   // deletes nothing
};

// Files older than this are swept even when not all are asked for.
constexpr int64_t kCacheMaxAgeSeconds = 259200;   // 3 days
// A transfer is cached only while the cache stays within this share of the free space.
constexpr int kCacheFreeSpacePercent = 5;
constexpr int kCacheHeaderSize = 8;
constexpr const char* kCacheMarkerName = "cacheWriting";
constexpr const char* kCacheDataExtension = ".tmp";
constexpr const char* kCacheSessionExtension = ".tm";
constexpr const char* kCacheMapExtension = ".fgm";

// Deletes per mode (all: regardless of age) and answers the bytes of every file seen before
// deleting. Markers and data files another stream is writing are never deleted.
int64_t SweepCache(CacheSweepMode mode, bool all);

// The 8-letter key of a URL ('a' + each nibble, least significant first).
void MakeCacheKey(const char* url, char key[9]);
// The stamp of a response: the time of day of "last-modified:" read as hex digits
// ("07:28:00" -> 0x07028000); the total length when the head has none. head is lower-cased.
uint32_t CacheStampFromHead(const char* head, int headLength, int64_t total);
// base (without extension) for a URL and the file part of its path.
void MakeCacheBaseName(CTexto* base, const char* url, const char* fileName);

// Free bytes where the cache lives. Tests may replace the measurement (null restores it).
typedef uint64_t (*FreeSpaceFunction)(const char* folder);
FreeSpaceFunction SetCacheFreeSpaceFunction(FreeSpaceFunction function);
uint64_t GetCacheFreeSpace();

// Crash markers. PreviousRunCrashed: a marker of a process that is no longer running exists
// (such markers are removed). CreateCacheMarker: this process's marker, held open until
// DeleteCacheMarker.
bool PreviousRunCrashed();
bool CreateCacheMarker();
void DeleteCacheMarker();
// The first engine's start: sweep everything after a crash, otherwise files older than 3 days;
// then this process's marker. Answers whether the previous run crashed.
bool StartCacheSession();
