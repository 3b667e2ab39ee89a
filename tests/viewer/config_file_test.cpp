// config.dat: records round-trip, single records leave the others' bytes alone, short, old and
// damaged files are read only as far as they hold whole records, and the settings folders are
// found as on a first and a later run.
#include "viewer/config_file.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "viewer/main_wnd.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

uint32_t Word(const Bytes& bytes, size_t at)
{
    return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

SettingsValues Distinct()
{
    SettingsValues values;
    values.autoUpdate = 0;
    values.lastUpdateCheck = PackSettingsDate(2021, 3, 14);
    values.viewerWidth = 1024;
    values.viewerHeight = 600;
    values.viewerOptions = ViewerOptionNoAutoplay | ViewerOptionDoubleClickFullScreen;
    for (int i = 0; i < kSettingsReservedSize; i++)
        values.reserved[i] = static_cast<uint8_t>(i + 1);
    return values;
}

bool SameValues(const SettingsValues& a, const SettingsValues& b)
{
    return a.autoUpdate == b.autoUpdate && a.lastUpdateCheck == b.lastUpdateCheck &&
           a.viewerWidth == b.viewerWidth && a.viewerHeight == b.viewerHeight &&
           a.viewerOptions == b.viewerOptions && std::memcmp(a.reserved, b.reserved, sizeof a.reserved) == 0;
}

class ConfigFile : public ::testing::Test {
protected:
    std::string folder = test_support::ScratchDir("config") + "\\";
    std::string path = folder + kSettingsFileName;

    bool Read(int record, SettingsValues* values)
    {
        return ReadWriteSettingsFile(folder.c_str(), folder.c_str(), SettingsRead, record, values);
    }
    bool Write(int record, SettingsValues* values)
    {
        return ReadWriteSettingsFile(folder.c_str(), folder.c_str(), SettingsWrite, record, values);
    }
};

TEST_F(ConfigFile, EveryRecordRoundTrips)
{
    SettingsValues written = Distinct();
    ASSERT_TRUE(Write(SettingsEveryRecord, &written));
    Bytes bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), static_cast<size_t>(kSettingsFileSize));
    // The pair of record 0 and 1 is stored three times.
    for (size_t copy : {0u, 5u, 10u}) {
        EXPECT_EQ(bytes[copy], 0);
        EXPECT_EQ(Word(bytes, copy + 1), PackSettingsDate(2021, 3, 14));
    }
    EXPECT_EQ(Word(bytes, 15), 1024u);
    EXPECT_EQ(Word(bytes, 19), 600u);
    EXPECT_EQ(bytes[23], 5);
    EXPECT_EQ(bytes[24], 1);
    EXPECT_EQ(bytes[87], 64);

    SettingsValues read;
    ASSERT_TRUE(Read(SettingsEveryRecord, &read));
    EXPECT_TRUE(SameValues(read, written));

    // Each record alone reads back into defaults without touching the others.
    struct Case {
        int record;
        bool (*check)(const SettingsValues&);
    } cases[] = {
        {SettingsAutoUpdate, [](const SettingsValues& v) { return v.autoUpdate == 0 && v.viewerWidth == 768; }},
        {SettingsLastUpdateCheck,
         [](const SettingsValues& v) { return v.lastUpdateCheck == PackSettingsDate(2021, 3, 14); }},
        {SettingsViewerSize,
         [](const SettingsValues& v) { return v.viewerWidth == 1024 && v.viewerHeight == 600 && v.autoUpdate == 1; }},
        {SettingsViewerOptions, [](const SettingsValues& v) { return v.viewerOptions == 5 && v.viewerWidth == 768; }},
        {SettingsReserved, [](const SettingsValues& v) { return v.reserved[63] == 64 && v.viewerOptions == 0; }},
    };
    for (const Case& c : cases) {
        SettingsValues one;
        ASSERT_TRUE(Read(c.record, &one)) << c.record;
        EXPECT_TRUE(c.check(one)) << "record " << c.record;
    }
}

TEST_F(ConfigFile, WritingOneRecordChangesOnlyItsBytes)
{
    SettingsValues values = Distinct();
    ASSERT_TRUE(Write(SettingsEveryRecord, &values));
    struct Case {
        int record;
        void (*change)(SettingsValues&);
        std::vector<size_t> changedBytes;
    } cases[] = {
        {SettingsAutoUpdate, [](SettingsValues& v) { v.autoUpdate = 1; }, {0}},
        {SettingsViewerSize, [](SettingsValues& v) { v.viewerWidth = 800; v.viewerHeight = 900; }, {15, 16, 19, 20}},
        {SettingsViewerOptions, [](SettingsValues& v) { v.viewerOptions ^= ViewerOptionNoAutoLeveling; }, {23}},
        {SettingsReserved, [](SettingsValues& v) { v.reserved[10] = 0xEE; }, {34}},
    };
    for (Case& c : cases) {
        Bytes before = ReadBytes(path);
        c.change(values);
        uint32_t date = values.lastUpdateCheck;
        ASSERT_TRUE(Write(c.record, &values)) << c.record;
        EXPECT_EQ(values.lastUpdateCheck, date) << "only an update check stamps the date";
        Bytes after = ReadBytes(path);
        ASSERT_EQ(after.size(), before.size()) << "record " << c.record << " truncated the file";
        for (size_t i = 0; i < after.size(); i++) {
            bool expectChange = false;
            for (size_t at : c.changedBytes)
                expectChange |= at == i;
            if (!expectChange)
                EXPECT_EQ(after[i], before[i]) << "record " << c.record << " changed byte " << i;
            else
                EXPECT_NE(after[i], before[i]) << "record " << c.record << " did not write byte " << i;
        }
    }
}

TEST_F(ConfigFile, UpdateCheckStampsToday)
{
    SettingsValues values = Distinct();
    ASSERT_TRUE(Write(SettingsEveryRecord, &values));
    uint32_t before = TodaySettingsDate();
    ASSERT_TRUE(Write(SettingsLastUpdateCheck, &values));
    uint32_t after = TodaySettingsDate();
    EXPECT_TRUE(values.lastUpdateCheck == before || values.lastUpdateCheck == after);
    Bytes bytes = ReadBytes(path);
    EXPECT_EQ(Word(bytes, 1), values.lastUpdateCheck);
    EXPECT_EQ(bytes[0], 0) << "the automatic-update byte stays";
    EXPECT_EQ(Word(bytes, 6), PackSettingsDate(2021, 3, 14)) << "the copies are written only with the whole file";
    EXPECT_EQ(PackSettingsDate(2024, 12, 31), ((2024u * 256u) + 12u) * 256u + 31u);
}

TEST_F(ConfigFile, MissingFileIsMadeWholeFromTheValues)
{
    SettingsValues values = Distinct();
    EXPECT_FALSE(Read(SettingsEveryRecord, &values)) << "nothing to read yet";
    EXPECT_TRUE(SameValues(values, Distinct()));
    Bytes bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), static_cast<size_t>(kSettingsFileSize));
    EXPECT_EQ(Word(bytes, 15), 1024u);

    DeleteFileA(path.c_str());
    values.viewerOptions = ViewerOptionNoAutoLeveling;
    ASSERT_TRUE(Write(SettingsViewerOptions, &values));
    bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), static_cast<size_t>(kSettingsFileSize)) << "no record without the bytes before it";
    EXPECT_EQ(bytes[23], ViewerOptionNoAutoLeveling);
    EXPECT_EQ(Word(bytes, 19), 600u);
}

TEST_F(ConfigFile, ShortFilesAreReadOnlyAsFarAsTheyHoldWholeRecords)
{
    SettingsValues full = Distinct();
    ASSERT_TRUE(Write(SettingsEveryRecord, &full));
    const Bytes whole = ReadBytes(path);
    struct Case {
        size_t length;
        bool autoUpdate, date, size, options, reserved;
    } cases[] = {
        {0, false, false, false, false, false},
        {1, true, false, false, false, false},
        {4, true, false, false, false, false},
        {15, true, true, false, false, false},
        {20, true, true, false, false, false},
        {23, true, true, true, false, false},
        {24, true, true, true, true, false},
        {87, true, true, true, true, false},
        {88, true, true, true, true, true},
    };
    for (const Case& c : cases) {
        WriteBytes(path, Bytes(whole.begin(), whole.begin() + static_cast<long>(c.length)));
        SettingsValues read;
        const SettingsValues defaults;
        Read(SettingsEveryRecord, &read);
        EXPECT_EQ(read.autoUpdate, c.autoUpdate ? 0 : defaults.autoUpdate) << c.length;
        EXPECT_EQ(read.lastUpdateCheck, c.date ? full.lastUpdateCheck : defaults.lastUpdateCheck) << c.length;
        EXPECT_EQ(read.viewerWidth, c.size ? 1024 : 768) << c.length;
        EXPECT_EQ(read.viewerHeight, c.size ? 600 : 480) << c.length;
        EXPECT_EQ(read.viewerOptions, c.options ? 5 : 0) << c.length;
        EXPECT_EQ(read.reserved[0], c.reserved ? 1 : 0) << c.length;
        EXPECT_EQ(ReadBytes(path).size(), c.length) << "reading leaves the file as it is";
    }
}

TEST_F(ConfigFile, OldFiveByteFileKeepsItsByteAndBecomesWhole)
{
    WriteBytes(path, Bytes{0, 0xDE, 0xAD, 0xBE, 0xEF});
    SettingsValues values;
    EXPECT_TRUE(Read(SettingsEveryRecord, &values));
    EXPECT_EQ(values.autoUpdate, 0);
    EXPECT_EQ(values.lastUpdateCheck, 0u) << "the old bytes are no date";
    Bytes bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), static_cast<size_t>(kSettingsFileSize));
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(Word(bytes, 15), 768u);
    EXPECT_EQ(Word(bytes, 19), 480u);
}

TEST_F(ConfigFile, DamagedShortFileIsMadeWholeBeforeARecordIsWritten)
{
    WriteBytes(path, Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    SettingsValues values = Distinct();
    ASSERT_TRUE(Write(SettingsViewerOptions, &values));
    Bytes bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), static_cast<size_t>(kSettingsFileSize));
    EXPECT_EQ(Word(bytes, 15), 1024u);
    EXPECT_EQ(bytes[23], 5);
}

TEST_F(ConfigFile, StoredViewerSizeIsCheckedBeforeUse)
{
    struct Case {
        int32_t width, height;
        bool taken;
    } cases[] = {
        {1024, 600, true},   {150, 90, true},  {149, 600, false}, {1024, 89, false},
        {-5, 600, false},    {0, 0, false},    {16384, 16384, true}, {100000, 600, false},
        {1024, -2147483647 - 1, false},
    };
    for (const Case& c : cases) {
        SettingsValues stored = Distinct();
        stored.viewerWidth = c.width;
        stored.viewerHeight = c.height;
        ASSERT_TRUE(Write(SettingsEveryRecord, &stored));
        SettingsValues read;
        Read(SettingsViewerSize, &read);
        EXPECT_EQ(read.viewerWidth, c.taken ? c.width : 768) << c.width << "x" << c.height;
        EXPECT_EQ(read.viewerHeight, c.taken ? c.height : 480) << c.width << "x" << c.height;
    }
}

TEST_F(ConfigFile, NoFolderNoFile)
{
    SettingsValues values;
    EXPECT_FALSE(ReadWriteSettingsFile("", "", SettingsWrite, SettingsViewerSize, &values));
    EXPECT_FALSE(ReadWriteSettingsFile(nullptr, nullptr, SettingsRead, SettingsEveryRecord, &values));
    EXPECT_FALSE(ReadWriteSettingsFile(folder.c_str(), folder.c_str(), SettingsWrite, 7, &values));
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ConfigFile, PackagesAndScreensaversLeaveTheSettingsAlone)
{
    const CTexto savedRead = g_settingsFolder;
    const CTexto savedWrite = g_sharedSettingsFolder;
    auto engine = std::make_unique<CMainWnd>();
    g_settingsFolder = folder.c_str();
    g_sharedSettingsFolder = folder.c_str();

    engine->m_fromPackage = 1;
    engine->ReadWriteSettings(SettingsWrite, SettingsViewerOptions);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
    engine->m_fromPackage = 0;
    engine->m_screensaver = 1;
    engine->ReadWriteSettings(SettingsRead, SettingsEveryRecord);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);

    engine->m_screensaver = 0;
    engine->m_viewerWidth = 900;
    engine->m_viewerHeight = 650;
    engine->ReadWriteSettings(SettingsWrite, SettingsViewerSize);
    engine->m_viewerWidth = 768;
    engine->ReadWriteSettings(SettingsRead, SettingsEveryRecord);
    EXPECT_EQ(engine->m_viewerWidth, 900);
    EXPECT_EQ(engine->m_viewerHeight, 650);

    g_settingsFolder = savedRead;
    g_sharedSettingsFolder = savedWrite;
}

class SettingsFolders : public ::testing::Test {
protected:
    std::string root = test_support::ScratchDir(std::string("settings-") +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::string programFiles = root + "\\Program Files";
    std::string allUsers = root + "\\ProgramData";

    void SetUp() override
    {
        CreateDirectoryA(programFiles.c_str(), nullptr);
        CreateDirectoryA(allUsers.c_str(), nullptr);
    }
};

TEST_F(SettingsFolders, FirstRunCopiesTheInstalledSettingsThenBothNameTheSharedFolder)
{
    const std::string installed = programFiles + "\\Lumarix\\";
    const std::string shared = allUsers + "\\Lumarix\\";
    CreateDirectoryA(installed.c_str(), nullptr);
    WriteBytes(installed + kSettingsFileName, Bytes(kSettingsFileSize, 7));

    CTexto read, write;
    FindSettingsFolders(programFiles.c_str(), allUsers.c_str(), &read, &write);
    EXPECT_EQ(std::string(read.GetText()), installed) << "this run still reads the installed settings";
    EXPECT_EQ(std::string(write.GetText()), shared);
    EXPECT_EQ(ReadBytes(shared + kSettingsFileName), Bytes(kSettingsFileSize, 7));

    FindSettingsFolders((programFiles + "\\").c_str(), allUsers.c_str(), &read, &write);
    EXPECT_EQ(std::string(read.GetText()), shared) << "from the next start on";
    EXPECT_EQ(std::string(write.GetText()), shared);
}

TEST_F(SettingsFolders, WithoutInstalledFolderOrSharedFolder)
{
    CTexto read, write;
    FindSettingsFolders(programFiles.c_str(), allUsers.c_str(), &read, &write);
    EXPECT_EQ(std::string(read.GetText()), allUsers + "\\Lumarix\\");
    EXPECT_EQ(std::string(write.GetText()), allUsers + "\\Lumarix\\");
    EXPECT_EQ(GetFileAttributesA((allUsers + "\\Lumarix").c_str()), INVALID_FILE_ATTRIBUTES)
        << "nothing is created without installed settings";

    FindSettingsFolders(programFiles.c_str(), "", &read, &write);
    EXPECT_EQ(std::string(read.GetText()), programFiles + "\\Lumarix\\");
    EXPECT_EQ(std::string(write.GetText()), programFiles + "\\Lumarix\\");

    FindSettingsFolders("", "", &read, &write);
    EXPECT_EQ(read.GetLength(), 0);
    EXPECT_EQ(write.GetLength(), 0);
}

}  // namespace
