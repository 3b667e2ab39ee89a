// Cabinet extraction: cabinet.dll's FDI functions with CFicheroHttp behind every file access.
#include "core/cabinet.h"

#include <fdi.h>

#include <climits>
#include <cstring>
#include <new>

#include "core/stream.h"
#include "core/system_wrappers.h"
#include "core/text_string.h"

namespace {

// A text of at most this many bytes names a resource id.
constexpr size_t kResourceIdTextBytes = 4;
// Longest cabinet folder part handed to the library.
constexpr size_t kCabinetPathMax = 2047;
// Longest archive text looked at (folder part, '\' and the library's own name limit).
constexpr size_t kArchiveTextMax = kCabinetPathMax + 1 + 256;

typedef HFDI(DIAMONDAPI* FdiCreateFunction)(PFNALLOC, PFNFREE, PFNOPEN, PFNREAD, PFNWRITE,
                                            PFNCLOSE, PFNSEEK, int, PERF);
typedef BOOL(DIAMONDAPI* FdiIsCabinetFunction)(HFDI, INT_PTR, PFDICABINETINFO);
typedef BOOL(DIAMONDAPI* FdiCopyFunction)(HFDI, char*, char*, int, PFNFDINOTIFY, PFNFDIDECRYPT,
                                          void*);
typedef BOOL(DIAMONDAPI* FdiDestroyFunction)(HFDI);

// The library and its four entry points; released by the destructor.
class CabinetLibrary {
public:
    CabinetLibrary() {
        m_module = LoadLibraryA("cabinet.dll");
        if (!m_module)
            return;
        m_create = reinterpret_cast<FdiCreateFunction>(
            reinterpret_cast<void*>(GetProcAddress(m_module, "FDICreate")));
        m_isCabinet = reinterpret_cast<FdiIsCabinetFunction>(
            reinterpret_cast<void*>(GetProcAddress(m_module, "FDIIsCabinet")));
        m_copy = reinterpret_cast<FdiCopyFunction>(
            reinterpret_cast<void*>(GetProcAddress(m_module, "FDICopy")));
        m_destroy = reinterpret_cast<FdiDestroyFunction>(
            reinterpret_cast<void*>(GetProcAddress(m_module, "FDIDestroy")));
    }
    ~CabinetLibrary() {
        if (m_module)
            FreeLibrary(m_module);
    }
    CabinetLibrary(const CabinetLibrary&) = delete;
    CabinetLibrary& operator=(const CabinetLibrary&) = delete;

    bool IsComplete() const { return m_create && m_isCabinet && m_copy && m_destroy; }

    FdiCreateFunction m_create = nullptr;
    FdiIsCabinetFunction m_isCabinet = nullptr;
    FdiCopyFunction m_copy = nullptr;
    FdiDestroyFunction m_destroy = nullptr;

private:
    HMODULE m_module = nullptr;
};

// What the notifications of one extraction share.
struct Extraction {
    const char* destination = nullptr;
    INT_PTR openFile = -1;    // the file being written, -1 between files
    CTexto openPath;
    int64_t expectedSize = 0; // the open file's size as the archive gives it
    bool cutFile = false;     // a file was closed before all of its bytes were written
};

// The extraction running on this thread: the library may close a file it gives up on through
// CabinetClose directly, which must not leave that file looking finished.
thread_local Extraction* t_extraction = nullptr;

CFicheroHttp* StreamOf(INT_PTR handle) {
    return handle == -1 || handle == 0 ? nullptr : reinterpret_cast<CFicheroHttp*>(handle);
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Creates the folders an entry's path parts name below the destination.
void CreateEntryFolders(const CTexto& path, int destinationLength) {
    const int slash = path.ReverseFind('\\');
    if (slash > destinationLength)
        CreateDirectoryPath(path.Mid(0, slash).GetText());
}

INT_PTR DIAMONDAPI CabinetNotify(FDINOTIFICATIONTYPE notification, PFDINOTIFICATION details) {
    Extraction* extraction = static_cast<Extraction*>(details->pv);
    switch (notification) {
    case fdintCOPY_FILE: {
        // The self-update unpacks cabinets from the network: a name that would leave the
        // folder stops the whole extraction.
        if (!IsSafeCabinetEntryName(details->psz1))
            return -1;
        CTexto path(extraction->destination);
        if (path.GetLength() > 0 && !IsSeparator(path.GetAt(path.GetLength() - 1)))
            path += "\\";
        const int destinationLength = path.GetLength();
        CTexto entry(details->psz1);
        entry.Replace('/', '\\');
        path += entry;
        CreateEntryFolders(path, destinationLength);
        const INT_PTR handle = CabinetOpen(path.GetText(), kCabinetOpenCreate,
                                           kCabinetReadPermission);
        if (handle != -1) {
            extraction->openFile = handle;
            extraction->openPath = path;
            extraction->expectedSize = details->cb;
        }
        return handle;
    }
    case fdintCLOSE_FILE_INFO: {
        // A broken-off archive may still have its file closed as if it were done: only the
        // full size counts as done.
        bool whole = true;
        if (details->hf == extraction->openFile) {
            CFicheroHttp* stream = StreamOf(details->hf);
            whole = stream && stream->GetLength() == extraction->expectedSize;
            extraction->openFile = -1;
        }
        CabinetClose(details->hf);
        if (!whole) {
            extraction->cutFile = true;
            return FALSE;
        }
        return TRUE;
    }
    default:
        return 0;
    }
}

}  // namespace

bool IsSafeCabinetEntryName(const char* name) {
    if (!name || !*name || IsSeparator(name[0]))
        return false;
    bool onlyDots = true;     // the current path part so far holds only dots and blanks
    int partLength = 0;
    for (const char* p = name;; ++p) {
        const char c = *p;
        if (c == '\0' || IsSeparator(c)) {
            // "..", "..." and ". ." all end up naming the parent once Windows trims them.
            if (partLength == 0 || onlyDots)
                return false;
            if (c == '\0')
                return true;
            onlyDots = true;
            partLength = 0;
            continue;
        }
        if (c == ':' || static_cast<unsigned char>(c) < 0x20)
            return false;
        if (c != '.' && c != ' ')
            onlyDots = false;
        ++partLength;
    }
}

void* DIAMONDAPI CabinetAlloc(ULONG size) {
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void DIAMONDAPI CabinetFree(void* block) {
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
}

INT_PTR DIAMONDAPI CabinetOpen(char* name, int oflag, int pmode) {
    if (!name)
        return -1;
    CFicheroHttp* stream = new (std::nothrow) CFicheroHttp;
    if (!stream)
        return -1;
    int opened;
    const size_t length = strnlen(name, kResourceIdTextBytes + 1);
    if (length > kResourceIdTextBytes) {
        unsigned flags = OpenRead;
        if (oflag & kCabinetOpenCreate) {
            flags = OpenWrite | OpenCreate | OpenNoOverwritePrompt;
            if (pmode & kCabinetReadPermission)
                flags |= OpenReadWrite;
        }
        opened = stream->Open(name, flags);
    } else {
        // Only the bytes the text really has: a shorter text ends at its zero.
        uint8_t bytes[kResourceIdTextBytes] = {};
        std::memcpy(bytes, name, length);
        const uint32_t id = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                            static_cast<uint32_t>(bytes[2]) << 16 |
                            static_cast<uint32_t>(bytes[3]) << 24;
        opened = id <= 0xFFFF && stream->OpenResource(static_cast<int>(id), kCabinetResourceType);
    }
    if (!opened) {
        delete stream;
        return -1;
    }
    return reinterpret_cast<INT_PTR>(stream);
}

UINT DIAMONDAPI CabinetRead(INT_PTR handle, void* buffer, UINT count) {
    CFicheroHttp* stream = StreamOf(handle);
    if (!stream)
        return static_cast<UINT>(-1);
    const int ask = count > static_cast<UINT>(INT_MAX) ? INT_MAX : static_cast<int>(count);
    return static_cast<UINT>(stream->Read(buffer, ask));
}

UINT DIAMONDAPI CabinetWrite(INT_PTR handle, void* data, UINT count) {
    CFicheroHttp* stream = StreamOf(handle);
    if (!stream || count > static_cast<UINT>(INT_MAX))
        return static_cast<UINT>(-1);
    if (count == 0)
        return 0;
    // A short write (a full disk) must stop the library, not leave a cut file behind a success.
    const int written = stream->Write(data, static_cast<int>(count));
    return written == static_cast<int>(count) ? count : static_cast<UINT>(-1);
}

long DIAMONDAPI CabinetSeek(INT_PTR handle, long distance, int origin) {
    CFicheroHttp* stream = StreamOf(handle);
    if (!stream)
        return -1;
    int64_t base;
    switch (origin) {
    case SEEK_SET:
        base = 0;
        break;
    case SEEK_CUR:
        base = stream->GetPosition();
        break;
    case SEEK_END:
        base = stream->GetLength();
        if (base < 0)
            return -1;
        break;
    default:
        return -1;
    }
    const int64_t target = base + distance;
    if (target < 0 || target > LONG_MAX)
        return -1;
    const int64_t landed = stream->Seek(target);
    return landed < 0 || landed > LONG_MAX ? -1 : static_cast<long>(landed);
}

int DIAMONDAPI CabinetClose(INT_PTR handle) {
    CFicheroHttp* stream = StreamOf(handle);
    if (t_extraction && handle == t_extraction->openFile) {
        t_extraction->cutFile = true;
        t_extraction->openFile = -1;
    }
    if (stream) {
        stream->Close();
        delete stream;
    }
    return 0;
}

namespace {

constexpr int kCabinetHeaderSize = 36;
constexpr uint16_t kCabinetHasPrevious = 0x1;
constexpr uint16_t kCabinetHasNext = 0x2;
constexpr uint16_t kCabinetHasReserve = 0x4;
constexpr int kCabinetFolderSize = 8;
constexpr int kCabinetFileSize = 16;
constexpr int kCabinetNameMax = 256;
constexpr uint16_t kCabinetFolderContinued = 0xFFFD;   // 0xFFFD-0xFFFF: a file spanning cabinets

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Reads a zero-terminated name of at most kCabinetNameMax bytes at the stream's position.
bool SkipCabinetName(CFicheroHttp& stream, bool mayBeEmpty) {
    for (int i = 0; i <= kCabinetNameMax; ++i) {
        uint8_t c;
        if (stream.Read(&c, 1) != 1)
            return false;
        if (c == 0)
            return mayBeEmpty || i > 0;
    }
    return false;
}

}  // namespace

// The library trusts the archive's tables; a damaged header, folder or file table is refused
// before it sees them: every offset inside the archive, every count backed by its entries.
bool IsCabinetLayoutSound(CFicheroHttp& stream) {
    uint8_t header[kCabinetHeaderSize];
    if (stream.Seek(0) != 0 || stream.Read(header, sizeof header) != kCabinetHeaderSize)
        return false;
    const uint32_t cabinetSize = U32(header + 8);
    const uint32_t filesOffset = U32(header + 16);
    const uint16_t folders = U16(header + 26);
    const uint16_t files = U16(header + 28);
    const uint16_t flags = U16(header + 30);
    if (std::memcmp(header, "MSCF", 4) != 0 || header[25] != 1 || header[24] != 3)
        return false;
    const int64_t length = stream.GetLength();
    if (cabinetSize < kCabinetHeaderSize || (length >= 0 && cabinetSize > length))
        return false;
    if (filesOffset < kCabinetHeaderSize || filesOffset >= cabinetSize || folders == 0 || files == 0)
        return false;
    int folderReserve = 0;
    if (flags & kCabinetHasReserve) {
        uint8_t reserve[4];
        if (stream.Read(reserve, 4) != 4)
            return false;
        folderReserve = reserve[2];
        if (stream.Seek(stream.GetPosition() + U16(reserve)) < 0)
            return false;
    }
    if (flags & kCabinetHasPrevious)
        if (!SkipCabinetName(stream, false) || !SkipCabinetName(stream, true))
            return false;
    if (flags & kCabinetHasNext)
        if (!SkipCabinetName(stream, false) || !SkipCabinetName(stream, true))
            return false;
    for (int i = 0; i < folders; ++i) {
        uint8_t folder[kCabinetFolderSize];
        if (stream.Read(folder, sizeof folder) != kCabinetFolderSize)
            return false;
        const uint32_t dataStart = U32(folder);
        if (dataStart < kCabinetHeaderSize || dataStart >= cabinetSize || (folder[6] & 0x0F) > 3)
            return false;
        if (folderReserve && stream.Seek(stream.GetPosition() + folderReserve) < 0)
            return false;
    }
    if (stream.GetPosition() > filesOffset || stream.Seek(filesOffset) != filesOffset)
        return false;
    for (int i = 0; i < files; ++i) {
        uint8_t file[kCabinetFileSize];
        if (stream.Read(file, sizeof file) != kCabinetFileSize)
            return false;
        const uint16_t folder = U16(file + 8);
        if (folder >= folders && folder < kCabinetFolderContinued)
            return false;
        if (!SkipCabinetName(stream, false) || stream.GetPosition() > cabinetSize)
            return false;
    }
    return true;
}

int ExtractCabinet(const char* archive, const char* destination) {
    if (!archive || !destination || !*destination)
        return 0;
    const size_t archiveLength = strnlen(archive, kArchiveTextMax + 1);
    if (archiveLength > kArchiveTextMax)
        return 0;
    CabinetLibrary library;
    if (!library.IsComplete())
        return 0;
    ERF error = {};
    HFDI context = library.m_create(CabinetAlloc, CabinetFree, CabinetOpen, CabinetRead,
                                    CabinetWrite, CabinetClose, CabinetSeek, cpuUNKNOWN, &error);
    if (!context)
        return 0;

    // The library's name parameters are not const: work on copies.
    CTexto cabinet(archive);
    CTexto folder;
    FDICABINETINFO info = {};
    const INT_PTR probe = CabinetOpen(cabinet.GetText(), 0, 0);
    BOOL ok = probe != -1 && IsCabinetLayoutSound(*StreamOf(probe)) &&
              StreamOf(probe)->Seek(0) == 0 && library.m_isCabinet(context, probe, &info);
    if (probe != -1)
        CabinetClose(probe);

    if (ok) {
        // The library opens folder part + name again; a resource id's text has no '\'.
        const int slash = cabinet.ReverseFind('\\');
        if (slash >= 0) {
            if (static_cast<size_t>(slash) + 1 > kCabinetPathMax) {
                ok = FALSE;
            } else {
                folder = cabinet.Mid(0, slash + 1);
                cabinet = cabinet.Mid(slash + 1);
            }
        }
    }
    Extraction extraction;
    extraction.destination = destination;
    Extraction* outer = t_extraction;
    t_extraction = &extraction;
    if (ok)
        ok = library.m_copy(context, cabinet.GetText(), folder.GetText(), 0, CabinetNotify,
                            nullptr, &extraction);
    if (extraction.openFile != -1)
        CabinetClose(extraction.openFile);
    t_extraction = outer;
    if (extraction.cutFile) {
        // Stopped in the middle of a file: no cut file stays behind.
        RemoveFile(extraction.openPath.GetText());
        ok = FALSE;
    }
    library.m_destroy(context);
    return ok ? 1 : 0;
}

int ExtractCabinetResource(int resourceId, const char* destination) {
    if (resourceId <= 0 || resourceId > 0xFFFF || (resourceId & 0xFF) == 0)
        return 0;
    char text[kResourceIdTextBytes + 1] = {};
    text[0] = static_cast<char>(resourceId & 0xFF);
    text[1] = static_cast<char>(resourceId >> 8);
    return ExtractCabinet(text, destination);
}
