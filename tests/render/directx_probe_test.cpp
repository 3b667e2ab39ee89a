// The processor and DirectX level probes: file versions read from resource-only fixture DLLs made
// by the build, the level table on fixture folders, and this system's own folder.
#include "render/directx_probe.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace {

std::string Fixture(const std::string& name)
{
    return test_support::BuildPath("test-fixtures/version-dlls/" + name + ".dll");
}

TEST(DirectXProbe, FileVersionReadsTheFixedVersionWords)
{
    DWORD low = 0, high = 0;
    ASSERT_EQ(GetFileVersion(Fixture("ver_5_3_2600_5512").c_str(), &low, &high), S_OK);
    EXPECT_EQ(high, (5u << 16) | 3u);
    EXPECT_EQ(low, (2600u << 16) | 5512u);

    EXPECT_EQ(GetFileVersion(Fixture("noversion").c_str(), &low, &high), E_FAIL);
    EXPECT_EQ(GetFileVersion(Fixture("missing").c_str(), &low, &high), E_FAIL);
    EXPECT_EQ(GetFileVersion(nullptr, &low, &high), E_INVALIDARG);
    EXPECT_EQ(GetFileVersion(Fixture("noversion").c_str(), nullptr, &high), E_INVALIDARG);
}

TEST(DirectXProbe, VersionsCompareAsOneUnsignedNumber)
{
    struct Case {
        DWORD low1, high1, low2, high2;
        int32_t expected;
    } cases[] = {
        {(2600u << 16), (5u << 16) | 1u, (0u << 16) | 134u, (4u << 16) | 9u, 1},  // 5.1.2600.0 > 4.9.0.134
        {(0u << 16) | 134u, (4u << 16) | 9u, (2600u << 16), (5u << 16) | 1u, -1},
        {7, 9, 7, 9, 0},
        {8, 9, 7, 9, 1},              // the low word decides between equal high words
        {0, 0x80000000u, 0xFFFFFFFFu, 1, 1},  // both words unsigned
        {0x80000000u, 1, 1, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(CompareFileVersion(c.low1, c.high1, c.low2, c.high2), c.expected);
    }
}

// A fixture folder: DirectX file name -> fixture name.
using Folder = std::vector<std::pair<const char*, const char*>>;

Folder XpFolder()
{
    return {{"ddraw.dll", "ver_5_3_2600_5512"},   {"dinput.dll", "ver_5_3_2600_5512"},
            {"dplayx.dll", "ver_5_3_2600_5512"},  {"d3drg8x.dll", "ver_5_3_2600_5512"},
            {"d3d8.dll", "ver_5_3_2600_5512"},    {"mpg2splt.ax", "ver_6_5_2600_5512"},
            {"dpnet.dll", "ver_5_3_2600_5512"},   {"d3d9.dll", "ver_5_3_2600_5512"}};
}

Folder Without(Folder folder, const char* file)
{
    for (auto it = folder.begin(); it != folder.end(); ++it) {
        if (std::string(it->first) == file) {
            folder.erase(it);
            break;
        }
    }
    return folder;
}

Folder With(Folder folder, const char* file, const char* fixture)
{
    folder = Without(std::move(folder), file);
    folder.push_back({file, fixture});
    return folder;
}

TEST(DirectXProbe, LevelTableOnFixtureFolders)
{
    const Folder win7 = {{"ddraw.dll", "ver_6_1_7600_16385"},  {"dinput.dll", "ver_6_1_7600_16385"},
                         {"dplayx.dll", "ver_6_1_7600_16385"}, {"d3d8.dll", "ver_6_1_7600_16385"},
                         {"mpg2splt.ax", "ver_6_6_7600_16385"}, {"dpnet.dll", "ver_6_1_7600_16385"},
                         {"d3d9.dll", "ver_6_1_7600_16385"}};
    struct Case {
        const char* name;
        Folder files;
        uint32_t level;
    } cases[] = {
        {"empty folder", {}, 0},
        {"ddraw 4.2 only", {{"ddraw.dll", "ver_4_2_0_95"}}, 0x100},
        {"ddraw 4.07.00.0700 without dinput",
         {{"ddraw.dll", "ver_4_7_0_700"}, {"dplayx.dll", "ver_4_6_3_518"}}, 0x700},
        {"full", XpFolder(), 0x900},
        {"without d3d9", Without(XpFolder(), "d3d9.dll"), 0x802},
        {"d3d9 without version", With(XpFolder(), "d3d9.dll", "noversion"), 0x802},
        {"without mpg2splt", Without(XpFolder(), "mpg2splt.ax"), 0x801},
        {"old d3d8, without mpg2splt",
         Without(With(XpFolder(), "d3d8.dll", "ver_5_1_2600_880"), "mpg2splt.ax"), 0x800},
        {"ddraw major 6", win7, 0x900},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        for (const auto& file : c.files)
            ASSERT_TRUE(CopyFileA(Fixture(file.second).c_str(), (folder.Path() + file.first).c_str(), FALSE))
                << file.first;
        std::string path = folder.Path();
        path.pop_back();  // without the trailing backslash
        EXPECT_EQ(GetDirectXVersion(path.c_str()), c.level);
        EXPECT_EQ(GetDirectXVersion(folder.Path().c_str()), c.level) << "a trailing backslash";
    }
}

TEST(DirectXProbe, ThisSystemRunsTheSoftwareBackEnd)
{
    // Wine has no "mpg2splt.ax": its level stops at 0x801, below Direct3D 9.
    EXPECT_EQ(GetDirectXVersion(), 0x801u);
    EXPECT_EQ(GetDirectXVersion(""), 0u);
}

TEST(DirectXProbe, ProcessorHasMmxAndOtherQueriesAnswerZero)
{
    EXPECT_EQ(QueryProcessorFeature(kProcessorFeatureMmx), 1);
    EXPECT_EQ(QueryProcessorFeature(kProcessorFeatureMmx), 1) << "from the cache";
    EXPECT_EQ(QueryProcessorFeature(12), 0);
}

}  // namespace

namespace {

TEST(DirectXProbe, DamagedFilesFailCleanly)
{
    // Every prefix of a fixture (in steps, all of its headers) and a copy with each header byte
    // flipped: a clean failure or a version, never a read outside the file.
    HANDLE file = CreateFileA(Fixture("ver_4_7_0_700").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::vector<char> bytes(GetFileSize(file, nullptr));
    DWORD done = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    CloseHandle(file);
    ASSERT_EQ(done, bytes.size());

    TempFolder folder;
    const std::string path = folder.Path() + "ddraw.dll";
    auto versionOf = [&](const std::vector<char>& content, DWORD* high) {
        HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(out, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(out);
        DWORD low = 0;
        return GetFileVersion(path.c_str(), &low, high);
    };
    DWORD high = 0;
    for (size_t length = 0; length < bytes.size(); length += (length < 1024 ? 1 : 61)) {
        std::vector<char> prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
        HRESULT result = versionOf(prefix, &high);
        if (result == S_OK) {
            EXPECT_EQ(high, (4u << 16) | 7u) << length;
        }
    }
    for (size_t i = 0; i < 1024 && i < bytes.size(); i += 3) {
        std::vector<char> flipped = bytes;
        flipped[i] = static_cast<char>(~flipped[i]);
        versionOf(flipped, &high);
    }
    EXPECT_EQ(versionOf(bytes, &high), S_OK);
}

}  // namespace
