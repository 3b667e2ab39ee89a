#include "render/directx_probe.h"

#include <cpuid.h>

#include <atomic>
#include <memory>
#include <new>
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
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0)
        return E_FAIL;
    std::unique_ptr<uint8_t[]> info(new (std::nothrow) uint8_t[size]);
    if (!info)
        return E_OUTOFMEMORY;
    if (!GetFileVersionInfoA(path, 0, size, info.get()))
        return E_FAIL;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!VerQueryValueA(info.get(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) || !fixed ||
        fixedSize < sizeof(VS_FIXEDFILEINFO))
        return E_FAIL;
    *high = fixed->dwFileVersionMS;
    *low = fixed->dwFileVersionLS;
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
