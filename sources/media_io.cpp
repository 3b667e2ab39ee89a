#include "sources/media_io.h"

#include <cstring>
#include <new>

#include "core/stream.h"
#include "core/text_string.h"

namespace {

constexpr LRESULT kMediaIoFailed = -1;

// The element's stream lives in the information words of its record (a pointer may be wider
// than one word).
static_assert(sizeof(CFicheroHttp*) <= sizeof(MMIOINFO::adwInfo), "stream pointer does not fit");

CFicheroHttp* GetStream(const MMIOINFO* info)
{
    CFicheroHttp* stream = nullptr;
    std::memcpy(&stream, info->adwInfo, sizeof stream);
    return stream;
}

void SetStream(MMIOINFO* info, CFicheroHttp* stream)
{
    std::memcpy(info->adwInfo, &stream, sizeof stream);
}

LRESULT Open(MMIOINFO* info, char* name)
{
    if (!name)
        return kMediaIoFailed;
    CTexto cleaned(name);
    int marker = cleaned.Find(kMediaIoMarker);
    if (marker >= 0)
        cleaned.Delete(marker, static_cast<int>(std::strlen(kMediaIoMarker)));
    if (info->dwFlags & MMIO_PARSE) {
        // The cleaned name is never longer than the one it replaces.
        std::memcpy(name, cleaned.GetText(), static_cast<size_t>(cleaned.GetLength()) + 1);
        return 0;
    }
    CFicheroHttp* stream = GetStream(info);
    if (stream)
        stream->Close();
    else
        stream = new (std::nothrow) CFicheroHttp;
    if (!stream)
        return kMediaIoFailed;
    info->lDiskOffset = 0;
    if (!stream->Open(cleaned.GetText(), OpenRead)) {
        // A failed open gets no close from the multimedia layer: nothing may stay behind.
        delete stream;
        SetStream(info, nullptr);
        return kMediaIoFailed;
    }
    SetStream(info, stream);
    return 0;
}

LRESULT Read(MMIOINFO* info, char* buffer, LONG count)
{
    CFicheroHttp* stream = GetStream(info);
    if (!stream || !buffer || count <= 0)
        return 0;
    int got = stream->Read(buffer, count);
    info->lDiskOffset += got;
    return got;
}

LRESULT Seek(MMIOINFO* info, LONG offset, int origin)
{
    CFicheroHttp* stream = GetStream(info);
    if (!stream)
        return 0;
    const int64_t length = stream->GetLength();
    int64_t target;
    if (origin == SEEK_CUR)
        target = stream->GetPosition() + offset;
    else if (origin == SEEK_END)
        target = length + offset;  // offset 0 is the end itself, as the multimedia layer expects
    else
        target = offset;
    if (target >= 0 && target <= length && stream->Seek(target) == target)
        info->lDiskOffset = static_cast<LONG>(target);
    return info->lDiskOffset;
}

LRESULT Close(MMIOINFO* info)
{
    CFicheroHttp* stream = GetStream(info);
    if (!stream)
        return 0;
    stream->Close();
    delete stream;
    SetStream(info, nullptr);
    return 0;
}

}  // namespace

LRESULT CALLBACK MediaIoProc(LPSTR ioInfo, UINT message, LPARAM parameter1, LPARAM parameter2)
{
    MMIOINFO* info = reinterpret_cast<MMIOINFO*>(ioInfo);
    if (!info)
        return kMediaIoFailed;
    switch (message) {
    case MMIOM_OPEN:
        return Open(info, reinterpret_cast<char*>(parameter1));
    case MMIOM_READ:
        return Read(info, reinterpret_cast<char*>(parameter1), static_cast<LONG>(parameter2));
    case MMIOM_SEEK:
        return Seek(info, static_cast<LONG>(parameter1), static_cast<int>(parameter2));
    case MMIOM_CLOSE:
        return Close(info);
    default:
        return kMediaIoFailed;
    }
}
