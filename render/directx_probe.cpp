#include "render/directx_probe.h"

#include <cpuid.h>

#include <atomic>
#include <string>

namespace {

constexpr uint32_t kMmxFeatureBit = 1u << 23;

// The processor identification cache: -1 until the first query, then the standard feature word
// of leaf 1 (0 without the identification instruction).
std::atomic<int64_t> g_featureWord{-1};

uint32_t ReadFeatureWord()
{
    // __get_cpuid_max toggles the ID bit of the flags register on 32-bit processors and answers
    // 0 when the bit does not change.
    if (__get_cpuid_max(0, nullptr) == 0)
        return 0;
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return 0;
    return d;
}

constexpr DWORD High(DWORD a, DWORD b) { return (a << 16) | b; }
constexpr DWORD Low(DWORD c, DWORD d) { return (c << 16) | d; }

struct FileVersion {
    DWORD high, low;
};

constexpr FileVersion Version(DWORD a, DWORD b, DWORD c, DWORD d) { return {High(a, b), Low(c, d)}; }

// How a row that does not pass (missing file or lower version) acts on the probe.
enum class RowKind {
    Required,     // a missing file or a lower version ends the probe
    Optional,     // a missing file ends the probe; a lower version only fails the row
    NeverEnds,    // neither ends the probe
    AnyVersion,   // passes when the file has a version resource; missing ends the probe
};

struct ProbeRow {
    const char* file;
    FileVersion major4;   // the minimum, or the minimum for major number 4
    FileVersion major5;   // the minimum for major number 5; high 0: one minimum for every major
    uint32_t level;
    RowKind kind;
};

constexpr FileVersion kNone = {0, 0};

constexpr ProbeRow kProbeRows[] = {
    {"ddraw.dll", Version(4, 2, 0, 95), kNone, 0x100, RowKind::Required},
    {"ddraw.dll", Version(4, 3, 0, 1096), kNone, 0x200, RowKind::Required},
    {"ddraw.dll", Version(4, 4, 0, 68), kNone, 0x300, RowKind::Required},
    {"d3drg8x.dll", Version(4, 4, 0, 70), kNone, 0x301, RowKind::NeverEnds},
    {"ddraw.dll", Version(4, 5, 0, 155), kNone, 0x500, RowKind::Required},
    {"ddraw.dll", Version(4, 6, 0, 318), kNone, 0x600, RowKind::Required},
    {"ddraw.dll", Version(4, 6, 0, 436), kNone, 0x601, RowKind::Required},
    {"dplayx.dll", Version(4, 6, 3, 518), kNone, 0x602, RowKind::Required},
    {"ddraw.dll", Version(4, 7, 0, 700), kNone, 0x700, RowKind::Required},
    {"dinput.dll", Version(4, 7, 0, 716), kNone, 0x701, RowKind::Required},
    {"ddraw.dll", Version(4, 8, 0, 400), Version(5, 1, 2258, 400), 0x800, RowKind::Optional},
    {"d3d8.dll", Version(4, 8, 1, 881), Version(5, 1, 2600, 881), 0x801, RowKind::Optional},
    {"d3d8.dll", Version(4, 8, 1, 901), Version(5, 1, 2600, 901), 0x801, RowKind::Optional},
    {"mpg2splt.ax", Version(6, 3, 1, 885), kNone, 0x801, RowKind::Optional},
    {"dpnet.dll", Version(4, 9, 0, 134), Version(5, 2, 3677, 134), 0x802, RowKind::Optional},
    {"d3d9.dll", kNone, kNone, 0x900, RowKind::AnyVersion},
};


// Reads the fixed file version straight from a file's resource section. The system's version
// interface is not asked: Wine answers it for the names of its own DLLs (ddraw.dll, d3d9.dll...)
// with its built-in versions, whatever the file in the folder holds.
class PeReader {
public:
    explicit PeReader(const char* path)
    {
        m_file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        LARGE_INTEGER size;
        if (m_file != INVALID_HANDLE_VALUE && GetFileSizeEx(m_file, &size))
            m_size = static_cast<uint64_t>(size.QuadPart);
    }
    ~PeReader()
    {
        if (m_file != INVALID_HANDLE_VALUE)
            CloseHandle(m_file);
    }
    PeReader(const PeReader&) = delete;
    PeReader& operator=(const PeReader&) = delete;

    bool ReadFixedVersion(VS_FIXEDFILEINFO* out)
    {
        uint32_t peOffset = 0;
        uint16_t mz = 0;
        if (!Read(0, &mz) || mz != kDosMagic || !Read(kDosNewHeaderOffset, &peOffset))
            return false;
        uint32_t signature = 0;
        uint16_t sectionCount = 0, optionalSize = 0, magic = 0;
        if (!Read(peOffset, &signature) || signature != kPeSignature ||
            !Read(peOffset + 6, &sectionCount) || !Read(peOffset + 20, &optionalSize))
            return false;
        const uint64_t optional = static_cast<uint64_t>(peOffset) + 24;
        if (!Read(optional, &magic))
            return false;
        uint64_t directories;
        uint32_t directoryCount = 0;
        if (magic == kPe32Magic) {
            directories = optional + 96;
            if (!Read(optional + 92, &directoryCount))
                return false;
        } else if (magic == kPe32PlusMagic) {
            directories = optional + 112;
            if (!Read(optional + 108, &directoryCount))
                return false;
        } else {
            return false;
        }
        uint32_t resourceRva = 0;
        if (directoryCount <= kResourceDirectory ||
            !Read(directories + kResourceDirectory * 8, &resourceRva) || resourceRva == 0)
            return false;
        m_sections = optional + optionalSize;
        m_sectionCount = sectionCount;

        uint64_t root = 0;
        if (!RvaToOffset(resourceRva, &root))
            return false;
        // Type RT_VERSION, then its first name, then its first language.
        uint32_t entry = 0;
        if (!FindEntry(root, kVersionType, &entry) || !(entry & kSubdirectory) ||
            !FindEntry(root + (entry & ~kSubdirectory), kAnyId, &entry) ||
            !(entry & kSubdirectory) ||
            !FindEntry(root + (entry & ~kSubdirectory), kAnyId, &entry) || (entry & kSubdirectory))
            return false;
        uint32_t dataRva = 0, dataSize = 0;
        uint64_t data = 0;
        if (!Read(root + entry, &dataRva) || !Read(root + entry + 4, &dataSize) ||
            !RvaToOffset(dataRva, &data) || dataSize < kFixedInfoOffset + sizeof(VS_FIXEDFILEINFO))
            return false;
        uint16_t valueLength = 0;
        if (!Read(data + 2, &valueLength) || valueLength < sizeof(VS_FIXEDFILEINFO) ||
            !ReadBytes(data + kFixedInfoOffset, out, sizeof *out))
            return false;
        return out->dwSignature == kFixedInfoSignature;
    }

private:
    static constexpr uint16_t kDosMagic = 0x5A4D;           // "MZ"
    static constexpr uint64_t kDosNewHeaderOffset = 0x3C;
    static constexpr uint32_t kPeSignature = 0x00004550;    // "PE\0\0"
    static constexpr uint16_t kPe32Magic = 0x10B;
    static constexpr uint16_t kPe32PlusMagic = 0x20B;
    static constexpr uint32_t kResourceDirectory = 2;
    static constexpr uint32_t kVersionType = 16;            // RT_VERSION
    static constexpr uint32_t kAnyId = 0xFFFFFFFFu;
    static constexpr uint32_t kSubdirectory = 0x80000000u;
    // VS_VERSIONINFO: three words and the key "VS_VERSION_INFO" in UTF-16, padded to 4 bytes.
    static constexpr uint64_t kFixedInfoOffset = 40;
    static constexpr DWORD kFixedInfoSignature = 0xFEEF04BD;
    static constexpr uint32_t kMaxEntries = 4096;

    template <typename T>
    bool Read(uint64_t offset, T* out)
    {
        return ReadBytes(offset, out, sizeof *out);
    }

    bool ReadBytes(uint64_t offset, void* out, size_t count)
    {
        if (m_file == INVALID_HANDLE_VALUE || offset > m_size || count > m_size - offset)
            return false;
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(offset);
        DWORD done = 0;
        return SetFilePointerEx(m_file, position, nullptr, FILE_BEGIN) &&
               ReadFile(m_file, out, static_cast<DWORD>(count), &done, nullptr) && done == count;
    }

    bool RvaToOffset(uint32_t rva, uint64_t* offset)
    {
        for (uint32_t i = 0; i < m_sectionCount; i++) {
            uint64_t section = m_sections + static_cast<uint64_t>(i) * 40;
            uint32_t virtualSize = 0, virtualAddress = 0, rawSize = 0, rawOffset = 0;
            if (!Read(section + 8, &virtualSize) || !Read(section + 12, &virtualAddress) ||
                !Read(section + 16, &rawSize) || !Read(section + 20, &rawOffset))
                return false;
            if (rva >= virtualAddress && rva - virtualAddress < rawSize) {
                *offset = static_cast<uint64_t>(rawOffset) + (rva - virtualAddress);
                return true;
            }
        }
        return false;
    }

    // The entry of a resource directory with the id (kAnyId: the first entry): its data word,
    // an offset from the root.
    bool FindEntry(uint64_t directory, uint32_t id, uint32_t* data)
    {
        uint16_t named = 0, ids = 0;
        if (!Read(directory + 12, &named) || !Read(directory + 14, &ids))
            return false;
        uint32_t count = static_cast<uint32_t>(named) + ids;
        if (count > kMaxEntries)
            return false;
        for (uint32_t i = 0; i < count; i++) {
            uint32_t name = 0;
            uint64_t entry = directory + 16 + static_cast<uint64_t>(i) * 8;
            if (!Read(entry, &name) || !Read(entry + 4, data))
                return false;
            if (id == kAnyId || name == id)
                return true;
        }
        return false;
    }

    HANDLE m_file = INVALID_HANDLE_VALUE;
    uint64_t m_size = 0;
    uint64_t m_sections = 0;
    uint32_t m_sectionCount = 0;
};

enum class RowResult { Passed, Failed, Missing };

RowResult TryRow(const std::string& folder, const ProbeRow& row)
{
    DWORD low = 0, high = 0;
    if (FAILED(GetFileVersion((folder + "\\" + row.file).c_str(), &low, &high)))
        return RowResult::Missing;
    if (row.kind == RowKind::AnyVersion)
        return RowResult::Passed;
    FileVersion minimum = row.major4;
    if (row.major5.high != 0) {
        DWORD major = high >> 16;
        if (major == 5)
            minimum = row.major5;
        else if (major != 4)
            return RowResult::Failed;
    }
    return CompareFileVersion(low, high, minimum.low, minimum.high) >= 0 ? RowResult::Passed
                                                                         : RowResult::Failed;
}

}  // namespace

int32_t QueryProcessorFeature(int32_t query)
{
    int64_t word = g_featureWord.load();
    if (word < 0) {
        word = ReadFeatureWord();
        g_featureWord.store(word);
    }
    if (query == kProcessorFeatureMmx)
        return (static_cast<uint32_t>(word) & kMmxFeatureBit) ? 1 : 0;
    return 0;
}

uint32_t GetDirectXVersion(const char* folder)
{
    std::string base;
    if (folder) {
        base = folder;
    } else {
        char system[MAX_PATH];
        UINT length = GetSystemDirectoryA(system, sizeof system);
        if (length == 0 || length >= sizeof system)
            return 0;
        base = system;
    }
    if (base.empty())
        return 0;
    while (!base.empty() && (base.back() == '\\' || base.back() == '/'))
        base.pop_back();

    uint32_t level = 0;
    for (const ProbeRow& row : kProbeRows) {
        RowResult result = TryRow(base, row);
        if (result == RowResult::Passed) {
            level = row.level;
            continue;
        }
        if (row.kind == RowKind::NeverEnds)
            continue;
        if (result == RowResult::Missing || row.kind == RowKind::Required)
            break;
    }
    return level;
}

HRESULT GetFileVersion(const char* path, DWORD* low, DWORD* high)
{
    if (!path || !low || !high)
        return E_INVALIDARG;
    PeReader file(path);
    VS_FIXEDFILEINFO fixed;
    if (!file.ReadFixedVersion(&fixed))
        return E_FAIL;
    *high = fixed.dwFileVersionMS;
    *low = fixed.dwFileVersionLS;
    return S_OK;
}

int32_t CompareFileVersion(DWORD low1, DWORD high1, DWORD low2, DWORD high2)
{
    uint64_t first = (static_cast<uint64_t>(high1) << 32) | low1;
    uint64_t second = (static_cast<uint64_t>(high2) << 32) | low2;
    if (first > second)
        return 1;
    return first < second ? -1 : 0;
}
