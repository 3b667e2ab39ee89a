// The disk cache of HTTP transfers: names and stamps, the range list, cache hits and resumes
// against the loopback server, writes at true offsets, damaged maps and files, the sweep, the
// free-space rule, session files and the markers of concurrent players.
#include "http_test_support.h"

#include <algorithm>
#include <cstring>

#include "core/disk_cache.h"
#include "core/system_wrappers.h"
#include "test_support.h"

using namespace http_test;

namespace {

uint64_t g_freeBytes = 0;
uint64_t FakeFreeSpace(const char*) {
    return g_freeBytes;
}

// Each test gets its own cache folder and plenty of (pretended) free space.
class DiskCache : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        m_folderWas = g_cacheFolder;
        std::string path = m_folder.Path();
        path.pop_back();   // no trailing backslash
        g_cacheFolder = path.c_str();
        g_freeBytes = 100ull << 30;
        m_freeWas = SetCacheFreeSpaceFunction(&FakeFreeSpace);
        g_cacheEnabled = 1;
    }
    void TearDown() override {
        SetCacheFreeSpaceFunction(m_freeWas == &FakeFreeSpace ? nullptr : m_freeWas);
        g_cacheFolder = m_folderWas;
        ServerTest::TearDown();
    }

    // Opens, reads everything and closes; answers the bytes.
    static std::string Fetch(const std::string& url, CFicheroHttp* keep = nullptr) {
        CFicheroHttp own;
        CFicheroHttp& stream = keep ? *keep : own;
        if (!stream.Open(url.c_str()))
            return "open failed";
        std::string body = ReadAll(stream);
        stream.Close();
        return body;
    }

    std::vector<std::string> CacheFiles() const {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((m_folder.Path() + "*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    names.push_back(found.cFileName);
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempFolder m_folder;
    CTexto m_folderWas;
    FreeSpaceFunction m_freeWas = nullptr;
};

std::string DataUrl(const std::string& tag, int size, const std::string& options = "") {
    return Url("/data/tour.bin?size=" + std::to_string(size) + "&tag=" + tag + options);
}

std::vector<std::pair<int64_t, int64_t>> RangesOf(const CFicheroHttp& stream) {
    std::vector<std::pair<int64_t, int64_t>> out;
    for (const CFicheroHttp::ByteRange& range : stream.GetRanges())
        out.emplace_back(range.start, range.end);
    return out;
}

TEST(CacheNames, KeyStampAndBaseName) {
    char key[9];
    MakeCacheKey("http://a/b", key);
    EXPECT_STREQ(key, "ccjdodhe");
    MakeCacheKey("http://127.0.0.1/x.jpg", key);
    EXPECT_STREQ(key, "ncchpelf");

    const char* head = "http/1.1 200 ok\r\nlast-modified: wed, 21 oct 2015 07:28:00 gmt\r\n\r\n";
    EXPECT_EQ(CacheStampFromHead(head, static_cast<int>(std::strlen(head)), 5000), 0x07028000u);
    const char* noDate = "http/1.1 200 ok\r\ncontent-length: 5000\r\n\r\n";
    EXPECT_EQ(CacheStampFromHead(noDate, static_cast<int>(std::strlen(noDate)), 5000), 5000u);

    // The name part stops at '?'; the key covers the whole URL.
    CTexto saved = g_cacheFolder;
    g_cacheFolder = "C:\\cache";
    CTexto one;
    CTexto two;
    MakeCacheBaseName(&one, "http://h/pano_jpg?a=1", "pano_jpg?a=1");
    MakeCacheBaseName(&two, "http://h/pano_jpg?a=2", "pano_jpg?a=2");
    EXPECT_NE(std::string(one.GetText()), std::string(two.GetText()));
    EXPECT_EQ(std::string(one.GetText()).substr(0, 14), "C:\\cache\\cache");
    EXPECT_EQ(std::string(one.GetText()).substr(22), "pano_jpg");
    CTexto odd;
    MakeCacheBaseName(&odd, "http://h/a", "x:y*z");
    EXPECT_EQ(std::string(odd.GetText()).substr(22), "x_y_z");
    g_cacheFolder = saved;
}

TEST(CacheRanges, AddRangeKeepsASortedListThatNeverShrinks) {
    using Ranges = std::vector<std::pair<int64_t, int64_t>>;
    const struct {
        std::vector<std::pair<int64_t, int64_t>> adds;   // (position, count)
        Ranges expected;
    } cases[] = {
        {{{0, 100}, {100, 50}}, {{0, 150}}},
        {{{0, 1000}, {5000, 1000}}, {{0, 1000}, {5000, 6000}}},
        {{{5000, 1000}}, {{0, 0}, {5000, 6000}}},
        {{{0, 1000}, {5000, 1000}, {1000, 4000}}, {{0, 6000}}},
        {{{0, 1000}, {5000, 1000}, {3000, 500}}, {{0, 1000}, {3000, 3500}, {5000, 6000}}},
        {{{0, 1000}, {200, 10}}, {{0, 1000}}},                    // rewriting never shrinks
        {{{0, 1000}, {5000, 100}, {8000, 100}, {900, 7500}}, {{0, 8400}}},
        {{{0, 10}, {0, 0}}, {{0, 10}}},
    };
    for (const auto& c : cases) {
        CFicheroHttp stream;
        stream.ClearRanges();
        for (const auto& add : c.adds)
            stream.AddRange(add.first, add.second);
        EXPECT_EQ(RangesOf(stream), c.expected);
    }
    CFicheroHttp stream;
    stream.AddRange(0, 1000);
    stream.AddRange(5000, 1000);
    EXPECT_EQ(stream.CachedBytesAt(0, 10), 10);
    EXPECT_EQ(stream.CachedBytesAt(990, 100), 10);
    EXPECT_EQ(stream.CachedBytesAt(1000, 100), 0);
    EXPECT_EQ(stream.CachedBytesAt(5999, 100), 1);
}

TEST_F(DiskCache, SecondOpenIsACacheHit) {
    const std::string tag = NewTag("hit");
    const std::string url = DataUrl(tag, 60000, "&lm=Wed,%2021%20Oct%202015%2007:28:00%20GMT");
    EXPECT_TRUE(IsPattern(Fetch(url)));

    CFicheroHttp stream;
    ASSERT_TRUE(stream.Open(url.c_str()));
    EXPECT_TRUE(stream.IsCacheInUse());
    EXPECT_FALSE(stream.IsCacheWriting());
    const std::string data = TempFolder::ReadAll(stream.GetCacheDataName().GetText());
    ASSERT_EQ(data.size(), 60008u);
    EXPECT_EQ(std::memcmp(data.data(), "\x60\xea\x00\x00\x00\x80\x02\x07", 8), 0);
    EXPECT_TRUE(IsPattern(ReadAll(stream)));
    stream.Close();
    // The second open asked for the head only: no re-request for the body.
    EXPECT_EQ(Requests(tag).size(), 2u);
}

TEST_F(DiskCache, ChangedLengthOrTimeDiscardsTheFile) {
    // The server answers alike every time, so the stored header is edited instead: it then
    // stands for a file the server has since changed.
    const std::string tag = NewTag("stale");
    const std::string url = DataUrl(tag, 5000, "&lm=Wed,%2021%20Oct%202015%2007:28:00%20GMT");
    CFicheroHttp first;
    EXPECT_TRUE(IsPattern(Fetch(url, &first)));
    const std::string dataName = first.GetCacheDataName().GetText();
    std::string data = TempFolder::ReadAll(dataName);
    ASSERT_EQ(data.size(), 5008u);

    struct Case {
        uint32_t total;
        uint32_t stamp;
        bool hit;
    };
    const Case cases[] = {
        {5000, 0x07028000, true},
        {5001, 0x07028000, false},   // the length changed
        {5000, 0x07028001, false},   // the time of day changed
    };
    for (const Case& c : cases) {
        std::string edited = data;
        std::memcpy(&edited[0], &c.total, 4);
        std::memcpy(&edited[4], &c.stamp, 4);
        FILE* f = std::fopen(dataName.c_str(), "wb");
        ASSERT_TRUE(f);
        std::fwrite(edited.data(), 1, edited.size(), f);
        std::fclose(f);
        CFicheroHttp stream;
        ASSERT_TRUE(stream.Open(url.c_str()));
        EXPECT_EQ(stream.IsCacheWriting(), !c.hit);
        EXPECT_TRUE(IsPattern(ReadAll(stream)));
        stream.Close();
        EXPECT_EQ(TempFolder::ReadAll(dataName), data);
    }
}

TEST_F(DiskCache, ResumesFromTheRangeMap) {
    const std::string tag = NewTag("map");
    // Far larger than one receive, so that the stretches lie apart on the connection too.
    const int size = 6 << 20;
    const int distant = 3000000;
    const std::string url = DataUrl(tag, size);
    CFicheroHttp stream;
    ASSERT_TRUE(stream.Open(url.c_str()));
    std::vector<char> buffer(30000);
    ASSERT_EQ(stream.Read(buffer.data(), 30000), 30000);
    ASSERT_EQ(stream.Seek(distant), distant);
    ASSERT_EQ(stream.Read(buffer.data(), 30000), 30000);
    const std::string mapName = std::string(stream.GetCacheDataName().GetText(), stream.GetCacheDataName().GetLength() - 4) + ".fgm";
    stream.Close();
    const std::string map = TempFolder::ReadAll(mapName);
    const uint32_t expected[] = {0, 30000, static_cast<uint32_t>(distant), static_cast<uint32_t>(distant + 30000)};
    ASSERT_EQ(map.size(), sizeof expected);
    EXPECT_EQ(std::memcmp(map.data(), expected, sizeof expected), 0);

    const size_t before = Requests(tag).size();
    ASSERT_TRUE(stream.Open(url.c_str()));
    EXPECT_TRUE(stream.IsCacheInUse());
    EXPECT_TRUE(stream.IsCacheWriting());
    const std::string body = ReadAll(stream, 64000);
    EXPECT_EQ(body.size(), static_cast<size_t>(size));
    EXPECT_TRUE(IsPattern(body));
    stream.Close();
    // The open, then the gaps only: from 30000, and (unless the connection already stood
    // there) from the end of the second stretch.
    std::vector<std::string> requests = Requests(tag);
    ASSERT_GE(requests.size(), before + 2);
    ASSERT_LE(requests.size(), before + 3);
    EXPECT_EQ(RangeOf(requests[before]), 0);
    EXPECT_EQ(RangeOf(requests[before + 1]), 30000);
    if (requests.size() == before + 3) {
        EXPECT_EQ(RangeOf(requests[before + 2]), distant + 30000);
    }
    // Complete now: one range, no map.
    EXPECT_FALSE(FileExists(mapName.c_str()));
    EXPECT_EQ(TempFolder::ReadAll(stream.GetCacheDataName().GetText()).size(), static_cast<size_t>(size + 8));
}

TEST_F(DiskCache, WritesTrueOffsetsWhenAResumeIsAnsweredWithTheWholeBody) {
    const std::string tag = NewTag("offsets");
    const std::string url = DataUrl(tag, 50000, "&drop=17000&range200=1");
    CFicheroHttp stream;
    EXPECT_TRUE(IsPattern(Fetch(url, &stream)));
    const std::string data = TempFolder::ReadAll(stream.GetCacheDataName().GetText());
    ASSERT_EQ(data.size(), 50008u);
    EXPECT_TRUE(IsPattern(data.substr(8)));
    EXPECT_EQ(Requests(tag).size(), 2u);
}

TEST_F(DiskCache, DamagedMapsAndShortFilesAreNotTrusted) {
    const std::string tag = NewTag("damaged");
    const int size = 40000;
    const std::string url = DataUrl(tag, size);
    CFicheroHttp stream;
    EXPECT_TRUE(IsPattern(Fetch(url, &stream)));
    const std::string dataName = stream.GetCacheDataName().GetText();
    const std::string mapName = dataName.substr(0, dataName.size() - 4) + ".fgm";
    const std::string complete = TempFolder::ReadAll(dataName);

    const std::vector<std::vector<uint32_t>> badMaps = {
        {100, 50},                    // end before start
        {0, 1000, 500, 2000},         // overlapping, out of order
        {0, 90000},                   // past the total
        {0, 1000, 7},                 // not whole pairs
    };
    for (const auto& pairs : badMaps) {
        FILE* f = std::fopen(mapName.c_str(), "wb");
        ASSERT_TRUE(f);
        std::fwrite(pairs.data(), 4, pairs.size(), f);
        std::fclose(f);
        ASSERT_TRUE(stream.Open(url.c_str()));
        EXPECT_TRUE(stream.IsCacheWriting());    // started afresh
        EXPECT_TRUE(IsPattern(ReadAll(stream)));
        stream.Close();
        EXPECT_EQ(TempFolder::ReadAll(dataName), complete);
    }

    // A map that promises more than the file holds: the cache read gets fewer bytes, the
    // stream advances by those only and takes the rest from the network.
    FILE* f = std::fopen(dataName.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(complete.data(), 1, 8 + 10000, f);
    std::fclose(f);
    const uint32_t promise[] = {0, 25000, 30000, 40000};
    f = std::fopen(mapName.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(promise, 4, 4, f);
    std::fclose(f);
    ASSERT_TRUE(stream.Open(url.c_str()));
    const std::string body = ReadAll(stream, 20000);
    EXPECT_EQ(body.size(), static_cast<size_t>(size));
    EXPECT_TRUE(IsPattern(body));
    stream.Close();
    // Only what the file really held was trusted, so the rest was fetched into it: the
    // cache is whole again and the next open reads it from disk.
    EXPECT_FALSE(FileExists(mapName.c_str()));
    EXPECT_TRUE(TempFolder::ReadAll(dataName) == complete);
    ASSERT_TRUE(stream.Open(url.c_str()));
    EXPECT_TRUE(stream.IsCacheInUse());
    EXPECT_FALSE(stream.IsCacheWriting());
    EXPECT_TRUE(IsPattern(ReadAll(stream)));
}

TEST_F(DiskCache, FreeSpaceRuleTurnsCachingOff) {
    const int size = 3 << 20;
    const struct {
        uint64_t freeMb;
        bool cached;
    } cases[] = {{40, false}, {200, true}};
    for (const auto& c : cases) {
        g_freeBytes = c.freeMb << 20;
        CFicheroHttp stream;
        ASSERT_TRUE(stream.Open(DataUrl(NewTag("space"), size).c_str()));
        // (3 + 1) + (0 + 1) MB against 5 % of (1 + free) MB.
        EXPECT_EQ(stream.IsCacheWriting(), c.cached) << c.freeMb;
        EXPECT_TRUE(stream.m_useCache);   // only this transfer goes without
    }
    // Unknown lengths are never cached.
    CFicheroHttp unknown;
    ASSERT_TRUE(unknown.Open(DataUrl(NewTag("space"), 100, "&nolength=1&norange=1").c_str()));
    EXPECT_FALSE(unknown.IsCacheWriting());
}

TEST_F(DiskCache, SessionFilesComeBackAndGoWithTheSession) {
    const std::string tag = NewTag("session");
    const std::string url = DataUrl(tag, 3000);
    CFicheroHttp stream;
    stream.m_sessionOnly = 1;
    EXPECT_TRUE(IsPattern(Fetch(url, &stream)));
    const std::string dataName = stream.GetCacheDataName().GetText();
    const std::string sessionName = dataName.substr(0, dataName.size() - 1);
    EXPECT_FALSE(FileExists(dataName.c_str()));
    EXPECT_TRUE(FileExists(sessionName.c_str()));

    stream.m_sessionOnly = 0;
    ASSERT_TRUE(stream.Open(url.c_str()));
    EXPECT_TRUE(stream.IsCacheInUse());
    EXPECT_FALSE(stream.IsCacheWriting());
    stream.Close();
    EXPECT_TRUE(FileExists(dataName.c_str()));
    EXPECT_EQ(Requests(tag).size(), 2u);

    stream.CloseAndDeleteCache();
    EXPECT_FALSE(FileExists(dataName.c_str()));
}

TEST_F(DiskCache, SweepsByModeAndAge) {
    const struct {
        const char* name;
        bool old;
    } files[] = {
        {"cacheaaaaaaaaold.tm", true},  {"cacheaaaaaaaaold.fgm", true}, {"cachebbbbbbbbnew.tm", false},
        {"cacheccccccccold.tmp", true}, {"cacheddddddddnew.tmp", false}, {"cacheeeeeeeeeold.fgm", true},
        {"cacheWriting.4242", true},    {"other.txt", true},
    };
    const struct {
        CacheSweepMode mode;
        bool all;
        std::vector<std::string> left;
    } cases[] = {
        {CacheSweepMeasure, true,
         {"cacheWriting.4242", "cacheaaaaaaaaold.fgm", "cacheaaaaaaaaold.tm", "cachebbbbbbbbnew.tm",
          "cacheccccccccold.tmp", "cacheddddddddnew.tmp", "cacheeeeeeeeeold.fgm", "other.txt"}},
        {CacheSweepSession, false,
         {"cacheWriting.4242", "cachebbbbbbbbnew.tm", "cacheccccccccold.tmp", "cacheddddddddnew.tmp",
          "cacheeeeeeeeeold.fgm", "other.txt"}},
        {CacheSweepAll, false, {"cacheWriting.4242", "cachebbbbbbbbnew.tm", "cacheddddddddnew.tmp", "other.txt"}},
        {CacheSweepAll, true, {"cacheWriting.4242", "other.txt"}},
    };
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER fourDaysAgo;
    fourDaysAgo.LowPart = now.dwLowDateTime;
    fourDaysAgo.HighPart = now.dwHighDateTime;
    fourDaysAgo.QuadPart -= 4ull * 86400 * 10000000;
    FILETIME old = {fourDaysAgo.LowPart, fourDaysAgo.HighPart};
    for (const auto& c : cases) {
        for (const auto& file : files) {
            std::string path = m_folder.Write(file.name, "0123456789");
            if (file.old) {
                HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
                SetFileTime(h, nullptr, nullptr, &old);
                CloseHandle(h);
            }
        }
        EXPECT_EQ(SweepCache(c.mode, c.all), 80);
        EXPECT_EQ(CacheFiles(), c.left) << c.mode << " " << c.all;
        for (const std::string& name : CacheFiles())
            DeleteFileA(m_folder.File(name).c_str());
    }
}

TEST_F(DiskCache, AFileBeingWrittenIsNeitherUsedNorSwept) {
    const std::string tag = NewTag("shared");
    const std::string url = DataUrl(tag, 100000);
    CFicheroHttp writer;
    ASSERT_TRUE(writer.Open(url.c_str()));
    ASSERT_TRUE(writer.IsCacheWriting());
    char buffer[5000];
    ASSERT_EQ(writer.Read(buffer, 5000), 5000);

    // A second player (or stream) meanwhile: no cache for it, the writer's file untouched.
    CFicheroHttp other;
    ASSERT_TRUE(other.Open(url.c_str()));
    EXPECT_FALSE(other.IsCacheInUse());
    EXPECT_FALSE(other.IsCacheWriting());
    EXPECT_TRUE(IsPattern(ReadAll(other)));
    other.Close();
    SweepCache(CacheSweepAll, true);
    EXPECT_TRUE(FileExists(writer.GetCacheDataName().GetText()));

    EXPECT_TRUE(IsPattern(ReadAll(writer), 5000));
    writer.Close();
    SweepCache(CacheSweepAll, true);
    EXPECT_FALSE(FileExists(writer.GetCacheDataName().GetText()));
}

TEST_F(DiskCache, EachPlayerHasItsOwnMarker) {
    EXPECT_FALSE(PreviousRunCrashed());
    ASSERT_TRUE(CreateCacheMarker());
    const std::string own = "cacheWriting." + std::to_string(GetCurrentProcessId());
    EXPECT_EQ(CacheFiles(), std::vector<std::string>{own});
    EXPECT_FALSE(PreviousRunCrashed());

    // Another running player holds its marker open; a crashed one left its marker behind.
    const std::string running = m_folder.Write("cacheWriting.7001", "");
    HANDLE held = CreateFileA(running.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(PreviousRunCrashed());
    m_folder.Write("cacheWriting.7002", "");
    EXPECT_TRUE(PreviousRunCrashed());
    std::vector<std::string> expected = {own, "cacheWriting.7001"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(CacheFiles(), expected);
    CloseHandle(held);

    DeleteCacheMarker();
    EXPECT_EQ(CacheFiles(), std::vector<std::string>{"cacheWriting.7001"});
    // The first engine's start after a crash sweeps everything.
    m_folder.Write("cacheffffffffnew.tmp", "x");
    EXPECT_TRUE(StartCacheSession());
    EXPECT_EQ(CacheFiles(), std::vector<std::string>{own});
    DeleteCacheMarker();
}

}  // namespace
