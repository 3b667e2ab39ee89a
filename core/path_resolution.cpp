#include "core/path_resolution.h"

#include <cstring>

#include "core/package.h"
#include "core/text_convert.h"
#include "core/text_string.h"

namespace {

bool StartsWithNoCase(const char* text, const char* prefix) {
    return _strnicmp(text, prefix, std::strlen(prefix)) == 0;
}

// A camera device name such as "webcam0": nothing to resolve.
bool IsCameraName(const char* name) {
    return !std::strchr(name, '.') && StartsWithNoCase(name, "webcam");
}

// base is a "file:" URL: its local or network path.
CTexto FileUrlFolder(const char* base) {
    const char* rest = base + std::strlen("file:");
    while (*rest == '/' || *rest == '\\')
        rest++;
    if (StartsWithNoCase(rest, "localhost")) {
        rest += std::strlen("localhost");
        if (*rest)
            rest++;   // the separator after the host
    }
    if (rest[0] && rest[1] == ':')
        return CTexto(rest);             // a drive path
    return CTexto("\\\\") + rest;        // a server: network path
}

}  // namespace

void MakeAbsolutePath(char* name, const char* base) {
    if (!name || !*name || !base || !*base)
        return;
    if (std::strchr(name, ':') || std::strncmp(name, "\\\\", 2) == 0 || IsCameraName(name))
        return;

    CTexto work;
    if (StartsWithNoCase(base, "http://") || StartsWithNoCase(base, "rtsp://")) {
        work = base;
        if (name[0] == '/') {
            // A rooted name keeps only the base's scheme and host.
            int slash = work.Find('/', static_cast<int>(std::strlen("http://")));
            if (slash >= 0)
                work.Delete(slash, work.GetLength());
        }
        work += name;
        work.Replace('\\', '/');
    } else if (StartsWithNoCase(base, "file:")) {
        work = FileUrlFolder(base);
        work += name;
        work.Replace('/', '\\');
    } else {
        work = base;   // a folder, with its own trailing separator
        work += name;
        work.Replace('/', '\\');
    }

    char normalized[kPathBufferSize];
    // A cut result would name another file: rather keep the name as it was.
    if (NormalizeUrl(normalized, work.GetText(), kPathBufferSize, false) >= kPathBufferSize)
        return;
    std::memcpy(name, normalized, std::strlen(normalized) + 1);
}

void ResolvePath(CTexto& text, const CTexto* base, const CTexto* fallback) {
    if (text.GetLength() >= kPathBufferSize)
        return;
    char name[kPathBufferSize];
    CopyText(name, text.GetText(), kPathBufferSize);
    MakeAbsolutePath(name, base ? base->GetText() : nullptr);
    if (fallback && !FindPackageEntry(name)) {
        CopyText(name, text.GetText(), kPathBufferSize);
        MakeAbsolutePath(name, fallback->GetText());
    }
    text = name;
}
