// CTexto: whole text files (or URLs, or package entries) read into a string and written back.
#include "core/text_string.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

#include "core/stream.h"
#include "core/text_convert.h"

namespace {

constexpr unsigned kSaveFlags = OpenWrite | OpenCreate | OpenReportErrors;   // 0x10A
constexpr unsigned kUtf8CodePage = 65001;
constexpr int kReadChunk = 65536;
// No byte of text takes more than four bytes of any of the encodings read here, so a source
// longer than this can never make a string CTexto accepts.
constexpr int64_t kMaxSourceBytes = 4LL * CTexto::kSizeLimit + 4;

// The whole source: its announced length, or until it ends when the length is unknown (an
// HTTP body without Content-Length). Answers the bytes read, -1 when the source is too long
// or memory cannot be had. Two zero bytes follow the data.
int64_t ReadWholeSource(CFicheroHttp& stream, std::unique_ptr<uint8_t[]>& data) {
    const int64_t announced = stream.GetLength();
    if (announced > kMaxSourceBytes)
        return -1;
    int64_t capacity = announced >= 0 ? announced : kReadChunk;
    int64_t filled = 0;
    data.reset(new (std::nothrow) uint8_t[static_cast<size_t>(capacity) + 2]);
    if (!data)
        return -1;
    for (;;) {
        if (filled == capacity) {
            if (announced >= 0)
                break;
            if (capacity >= kMaxSourceBytes)
                return -1;
            int64_t grown = capacity * 2 < kMaxSourceBytes ? capacity * 2 : kMaxSourceBytes;
            std::unique_ptr<uint8_t[]> bigger(new (std::nothrow) uint8_t[static_cast<size_t>(grown) + 2]);
            if (!bigger)
                return -1;
            std::memcpy(bigger.get(), data.get(), static_cast<size_t>(filled));
            data = std::move(bigger);
            capacity = grown;
        }
        int64_t want = capacity - filled;
        if (want > kReadChunk)
            want = kReadChunk;
        int got = stream.Read(data.get() + filled, static_cast<int>(want));
        if (got <= 0)
            break;
        filled += got;
    }
    data[static_cast<size_t>(filled)] = 0;
    data[static_cast<size_t>(filled) + 1] = 0;
    return filled;
}

// Converts UTF-16 units into the string. False (string unchanged) when the text would be too
// long for a CTexto or memory cannot be had.
bool AssignUtf16(CTexto& text, const wchar_t* units, int64_t count) {
    if (count <= 0) {
        text = "";
        return true;
    }
    int needed = WideCharToMultiByte(CP_ACP, 0, units, static_cast<int>(count), nullptr, 0,
                                     nullptr, nullptr);
    if (needed >= CTexto::kSizeLimit)
        return false;
    text.AssignWide(units);
    return true;
}

}  // namespace

int CTexto::LoadFromFile(const char* name) {
    CFicheroHttp stream;
    if (!stream.Open(name, OpenRead, nullptr, 0))
        return -1;
    return LoadFromStream(stream);
}

int CTexto::LoadFromStream(CFicheroHttp& stream) {
    std::unique_ptr<uint8_t[]> data;
    const int64_t length = ReadWholeSource(stream, data);
    stream.Close();
    if (length < 0)
        return -1;
    const uint8_t* bytes = data.get();

    if (length > 1 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        // UTF-16LE; an odd last byte is no character. Copied to get an aligned, terminated run.
        const int64_t units = (length - 2) / 2;
        std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[static_cast<size_t>(units) + 1]);
        if (!wide)
            return -1;
        std::memcpy(wide.get(), bytes + 2, static_cast<size_t>(units) * sizeof(wchar_t));
        wide[static_cast<size_t>(units)] = 0;
        if (!AssignUtf16(*this, wide.get(), WideLength(wide.get())))
            return -1;
        return static_cast<int>(length);
    }

    if (length > 2 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        // UTF-8: never more UTF-16 units than bytes.
        const int64_t utf8 = length - 3;
        std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[static_cast<size_t>(utf8) + 1]);
        if (!wide)
            return -1;
        int units = utf8 > 0 ? MultiByteToWideBuffer(kUtf8CodePage, wide.get(),
                                                      reinterpret_cast<const char*>(bytes + 3),
                                                      static_cast<int>(utf8), static_cast<int>(utf8))
                             : 0;
        wide[static_cast<size_t>(units)] = 0;
        if (!AssignUtf16(*this, wide.get(), WideLength(wide.get())))
            return -1;
        return units;
    }

    // ANSI: the text up to its first zero byte.
    const char* text = reinterpret_cast<const char*>(bytes);
    const void* zero = std::memchr(text, 0, static_cast<size_t>(length));
    const int64_t textLength = zero ? static_cast<const char*>(zero) - text : length;
    if (textLength >= kSizeLimit)
        return -1;
    *this = text;
    return static_cast<int>(length);
}

bool CTexto::SaveToFile(const char* name) const {
    CFicheroHttp stream;
    if (!stream.Open(name, kSaveFlags, nullptr, 0))
        return false;
    const int written = GetLength() > 0 ? stream.Write(GetText(), GetLength()) : 0;
    stream.Close();
    return written == GetLength();
}
