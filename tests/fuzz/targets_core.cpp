// Fuzz targets for the core library's readers: the value tokenizer, URLs and paths, text files,
// language tables, the disk cache's range maps, the HTTP client's response side and cabinets.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/cabinet.h"
#include "core/http_client.h"
#include "core/language.h"
#include "core/path_resolution.h"
#include "core/stream.h"
#include "core/text_convert.h"
#include "core/text_string.h"
#include "core/value_tokenizer.h"
#include "fuzz_target.h"
#include "tests/test_support.h"

namespace {

std::string AsText(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
    return text;
}

const char* const kTokenizerWords[] = {",", "\"", "(", ")", ";", "%", "+", "-", "\\n", "\\t",
                                       "50%+10", "1e38", "-0.5", "  ", "\n", nullptr};
const char* const kUrlWords[] = {"http://", "file:///", "rtsp://", "..", ".", "/", "\\", "\\\\",
                                 "%20", "%00", "%zz", ":", "C:", "#", "?", "webcam", nullptr};
const char* const kTextWords[] = {"\xFF\xFE", "\xEF\xBB\xBF", "\xD8\x3D", "\xDC\x00", "\r\n",
                                  nullptr};
const char* const kHttpWords[] = {"HTTP/1.1 200 OK\r\n", "HTTP/1.1 206 Partial\r\n",
                                  "HTTP/1.1 302 Found\r\n", "HTTP/1.1 401 No\r\n",
                                  "Content-Length: ", "Content-Range: bytes 0-9/10\r\n",
                                  "Content-Range: bytes 5-9/*\r\n", "Transfer-Encoding: chunked\r\n",
                                  "Location: ", "\r\n\r\n", "0\r\n\r\n", "ffffffff\r\n", ";ext=1",
                                  "\x01\x02RESPONSE\x02\x01", nullptr};
const char* const kCabinetWords[] = {"MSCF", "..\\", "C:", "\x01\x00", "\xff\xff\xff\xff",
                                     nullptr};

}  // namespace

LUMARIX_FUZZ_TARGET(tokenizer, kTokenizerWords) {
    const std::string text = AsText(data, size);
    CTexto field;
    for (char separator : {kFieldSeparatorComma, kFieldSeparatorNoComma, ';'}) {
        int position = 0;
        for (int fields = 0; fields < 64 && position < static_cast<int>(text.size()); ++fields)
            position = ReadNextField(text.c_str(), position, field, fields & 1, separator,
                                     (fields & 2) != 0) + 1;
        CountFields(text.c_str(), separator);
    }
    float floats[16];
    int32_t integers[16];
    uint32_t flags = 0;
    float suffix = 0.0f;
    ParseValueList(text.c_str(), 0, floats, nullptr, 16, ',', &flags, 0x40, &suffix);
    ParseValueList(text.c_str(), 0, nullptr, integers, 16, kFieldSeparatorNoComma);
    return 0;
}

LUMARIX_FUZZ_TARGET(urls, kUrlWords) {
    // The first byte picks the base; the rest is the name.
    const std::string all = AsText(data, size);
    const std::string name = all.size() > 1 ? all.substr(1) : all;
    static const char* const kBases[] = {"http://example.com/tour/", "C:\\tours\\demo\\",
                                         "file:///C:/tours/", "\\\\server\\share\\", ""};
    const char* base = kBases[(size ? data[0] : 0) % 5];

    std::vector<char> normalized(name.size() * 3 + 16);
    for (int limit : {static_cast<int>(normalized.size()), 8, 1, 0})
        NormalizeUrl(normalized.data(), name.c_str(), limit, (limit & 1) != 0);
    std::vector<char> path(name.begin(), name.end());
    path.push_back('\0');
    UrlToPath(path.data(), false);
    std::vector<char> folder(name.begin(), name.end());
    folder.push_back('\0');
    UrlToPath(folder.data(), true);

    if (name.size() < kPathBufferSize) {
        char absolute[kPathBufferSize];
        std::memcpy(absolute, name.c_str(), name.size() + 1);
        MakeAbsolutePath(absolute, base);
    }
    CTexto resolved(name.c_str());
    CTexto baseText(base);
    CTexto fallback("C:\\fallback\\");
    ResolvePath(resolved, &baseText, &fallback);
    return 0;
}

LUMARIX_FUZZ_TARGET(textfile, kTextWords) {
    CFicheroHttp stream;
    if (!stream.SetBuffer(data, static_cast<int64_t>(size), BufferUse::InPlace))
        return 0;
    CTexto text;
    text.LoadFromStream(stream);
    return 0;
}

LUMARIX_FUZZ_TARGET(language, kTextWords) {
    // The bytes as UTF-16 units (an odd last byte dropped), as a translation would be given.
    std::vector<wchar_t> units(size / 2 + 1, 0);
    std::memcpy(units.data(), data, size / 2 * 2);
    const int index = size ? data[0] % 30 : 1;
    // The table a translation would become; LoadLanguageText keeps each one for the life of the
    // process, so the target makes its own and lets it go.
    std::unique_ptr<LanguageTable> table = MakeLanguageTable(index, units.data(), size / 2);
    size_t total = 0;
    if (table) {
        for (const char* line : table->lines)
            total += std::strlen(line);
    }
    return static_cast<int>(total & 1);
}

LUMARIX_FUZZ_TARGET(rangemap, nullptr) {
    // The first eight bytes give the download's total, the rest is the map file.
    if (size < 8)
        return 0;
    int64_t total = 0;
    std::memcpy(&total, data, 8);
    CFicheroHttp map;
    if (!map.SetBuffer(data + 8, static_cast<int64_t>(size - 8), BufferUse::InPlace))
        return 0;
    std::vector<StreamCore::ByteRange> ranges;
    StreamCore::ReadRangeMap(map.Core(), total & 0xFFFFFFFFFFLL, &ranges);
    return 0;
}

namespace {

// Answers each connection with the next response of the input (responses are separated by
// kResponseBreak), in pieces whose sizes the input also decides.
class MemoryTransport : public HttpTransport {
public:
    MemoryTransport(const uint8_t* data, size_t size) {
        static const char kBreak[] = "\x01\x02RESPONSE\x02\x01";
        const std::string all(reinterpret_cast<const char*>(data), size);
        size_t at = 0;
        for (;;) {
            size_t next = all.find(kBreak, at);
            m_responses.push_back(all.substr(at, next == std::string::npos ? std::string::npos : next - at));
            if (next == std::string::npos)
                break;
            at = next + sizeof kBreak - 1;
        }
    }
    bool Connect(const char*, const char*) override {
        if (m_next >= m_responses.size() || m_connections++ > 16)
            return false;
        m_current = m_responses[m_next++];
        m_at = 0;
        return true;
    }
    bool Send(const char*, int) override { return true; }
    int Receive(uint8_t* buffer, int count) override {
        if (m_at >= m_current.size())
            return 0;
        // Uneven pieces: the head and chunk sizes split anywhere.
        size_t piece = 1 + (m_current.size() * 7 + m_at * 13) % 97;
        if (piece > static_cast<size_t>(count))
            piece = static_cast<size_t>(count);
        if (piece > m_current.size() - m_at)
            piece = m_current.size() - m_at;
        std::memcpy(buffer, m_current.data() + m_at, piece);
        m_at += piece;
        return static_cast<int>(piece);
    }
    void Disconnect() override {}

private:
    std::vector<std::string> m_responses;
    size_t m_next = 0;
    int m_connections = 0;
    std::string m_current;
    size_t m_at = 0;
};

}  // namespace

LUMARIX_FUZZ_TARGET(http, kHttpWords) {
    static bool once = [] {
        CFicheroHttp::SetWinInetDisabled(true);
        return true;
    }();
    (void)once;
    MemoryTransport transport(data, size);
    CFicheroHttp stream;
    stream.Core().m_transport = &transport;
    stream.m_useCache = 0;
    if (!stream.Open("http://127.0.0.1/tour/pano.jpg"))
        return 0;
    // Small reads come from the stream's own receive, larger ones from a large shared one or
    // straight into the buffer.
    static uint8_t buffer[20000];
    static const int kReadSizes[] = {4096, 1000, static_cast<int>(sizeof buffer)};
    int64_t total = 0;
    for (int reads = 0; reads < 64; ++reads) {
        const int n = stream.Read(buffer, kReadSizes[reads % 3]);
        if (n <= 0)
            break;
        total += n;
    }
    // A far seek asks again from a position.
    if (stream.Seek(total / 2 + 1) >= 0)
        stream.Read(buffer, 4096);
    stream.Close();
    return 0;
}

LUMARIX_FUZZ_TARGET(cabinet, kCabinetWords) {
    // cabinet.dll opens archives by name through our stream class: the bytes go to a scratch
    // file, the entries to a scratch folder that is emptied after each input.
    static const std::string folder = [] {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        std::string f = std::string(temp) + "lumarix-fuzz-cab-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(f.c_str(), nullptr);
        CreateDirectoryA((f + "\\out").c_str(), nullptr);
        // Held for the whole run, so that each extraction's own load of the library only
        // counts a reference instead of mapping it again.
        LoadLibraryA("cabinet.dll");
        return f;
    }();
    const std::string archive = folder + "\\input.cab";
    HANDLE file = CreateFileA(archive.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
    const std::string out = folder + "\\out\\";
    ExtractCabinet(archive.c_str(), out.c_str());
    // Entries may name folders of their own: the whole tree goes, or the folder would keep
    // growing through a long run and slow every later lookup in it.
    test_support::RemoveTree(out);
    CreateDirectoryA(out.c_str(), nullptr);
    return 0;
}
