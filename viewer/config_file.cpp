#include "viewer/config_file.h"

#include <windows.h>

#include <cstring>
#include <initializer_list>

#include "core/stream.h"
#include "core/system_wrappers.h"
#include "viewer/main_wnd.h"

CTexto g_settingsFolder;
CTexto g_sharedSettingsFolder;

namespace {

// Reading and writing records never truncate what is there.
constexpr unsigned kSettingsWriteFlags = OpenReadWrite | OpenCreate | OpenNoOverwritePrompt | OpenNoPackage;
constexpr unsigned kSettingsReadFlags = OpenRead | OpenNoPackage;

// base + "\Lumarix\" (empty for an empty base).
CTexto SettingsFolderUnder(const char* base)
{
    CTexto folder(base);
    while (folder.GetLength() > 0 &&
           (folder.GetAt(folder.GetLength() - 1) == '\\' || folder.GetAt(folder.GetLength() - 1) == '/'))
        folder.Delete(folder.GetLength() - 1, 1);
    if (folder.GetLength() == 0)
        return CTexto();
    folder += "\\";
    folder += kSettingsFolderName;
    folder += "\\";
    return folder;
}

bool FolderExists(const CTexto& folder)
{
    DWORD attributes = GetFileAttributesA(folder.GetText());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The expansion of an environment variable written as "%NAME%"; empty when it is not set.
CTexto ExpandVariable(const char* text)
{
    char expanded[MAX_PATH] = {};
    DWORD needed = ExpandEnvironmentStringsA(text, expanded, sizeof expanded);
    if (needed == 0 || needed > sizeof expanded || std::strchr(expanded, '%'))
        return CTexto();
    return CTexto(expanded);
}

void PutUint32(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value >> 16);
    at[3] = static_cast<uint8_t>(value >> 24);
}

uint32_t GetUint32(const uint8_t* at)
{
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

void BuildWholeFile(const SettingsValues& values, uint8_t image[kSettingsFileSize])
{
    std::memset(image, 0, kSettingsFileSize);
    for (int copy : {kSettingsOffsetAutoUpdate, kSettingsOffsetPairCopy1, kSettingsOffsetPairCopy2}) {
        image[copy] = static_cast<uint8_t>(values.autoUpdate);
        PutUint32(image + copy + 1, values.lastUpdateCheck);
    }
    PutUint32(image + kSettingsOffsetViewerSize, static_cast<uint32_t>(values.viewerWidth));
    PutUint32(image + kSettingsOffsetViewerSize + 4, static_cast<uint32_t>(values.viewerHeight));
    image[kSettingsOffsetOptions] = static_cast<uint8_t>(values.viewerOptions);
    std::memcpy(image + kSettingsOffsetReserved, values.reserved, kSettingsReservedSize);
}

// Writes count bytes at offset; true when all were written.
bool WriteAt(CFicheroHttp& file, int offset, const void* bytes, int count)
{
    return file.Seek(offset) == offset && file.Write(bytes, count) == count;
}

// Reads count bytes at offset, only when the file holds them all.
bool ReadAt(CFicheroHttp& file, int64_t length, int offset, void* bytes, int count)
{
    if (length < offset + count)
        return false;
    return file.Seek(offset) == offset && file.Read(bytes, count) == count;
}

bool WriteWholeFile(const CTexto& path, const SettingsValues& values)
{
    uint8_t image[kSettingsFileSize];
    BuildWholeFile(values, image);
    CFicheroHttp file;
    if (!file.Open(path.GetText(), kSettingsWriteFlags))
        return false;
    return WriteAt(file, 0, image, kSettingsFileSize);
}

bool IsStorableViewerSize(int32_t width, int32_t height)
{
    return width >= kMinViewerWidth && width <= kStoredViewerSizeMax && height >= kMinViewerHeight &&
           height <= kStoredViewerSizeMax;
}

bool WantsRecord(int asked, int record)
{
    return asked == SettingsEveryRecord || asked == record;
}

}  // namespace

void ReadSettingsRecords(CFicheroHttp& file, int record, SettingsValues* values)
{
    const int64_t length = file.GetLength();
    uint8_t byte = 0;
    uint8_t word[4];
    if (WantsRecord(record, SettingsAutoUpdate) || WantsRecord(record, SettingsLastUpdateCheck)) {
        if (ReadAt(file, length, kSettingsOffsetAutoUpdate, &byte, 1))
            values->autoUpdate = byte;
        if (ReadAt(file, length, kSettingsOffsetLastCheck, word, 4))
            values->lastUpdateCheck = GetUint32(word);
    }
    if (WantsRecord(record, SettingsViewerSize)) {
        uint8_t size[8];
        if (ReadAt(file, length, kSettingsOffsetViewerSize, size, 8)) {
            int32_t width = static_cast<int32_t>(GetUint32(size));
            int32_t height = static_cast<int32_t>(GetUint32(size + 4));
            if (IsStorableViewerSize(width, height)) {
                values->viewerWidth = width;
                values->viewerHeight = height;
            }
        }
    }
    if (WantsRecord(record, SettingsViewerOptions) &&
        ReadAt(file, length, kSettingsOffsetOptions, &byte, 1))
        values->viewerOptions = byte;
    if (WantsRecord(record, SettingsReserved))
        ReadAt(file, length, kSettingsOffsetReserved, values->reserved, kSettingsReservedSize);
}

namespace {

bool WriteRecord(CFicheroHttp& file, int record, SettingsValues* values)
{
    uint8_t word[8];
    switch (record) {
    case SettingsAutoUpdate: {
        uint8_t byte = static_cast<uint8_t>(values->autoUpdate);
        return WriteAt(file, kSettingsOffsetAutoUpdate, &byte, 1);
    }
    case SettingsLastUpdateCheck:
        values->lastUpdateCheck = TodaySettingsDate();
        PutUint32(word, values->lastUpdateCheck);
        return WriteAt(file, kSettingsOffsetLastCheck, word, 4);
    case SettingsViewerSize:
        PutUint32(word, static_cast<uint32_t>(values->viewerWidth));
        PutUint32(word + 4, static_cast<uint32_t>(values->viewerHeight));
        return WriteAt(file, kSettingsOffsetViewerSize, word, 8);
    case SettingsViewerOptions: {
        uint8_t byte = static_cast<uint8_t>(values->viewerOptions);
        return WriteAt(file, kSettingsOffsetOptions, &byte, 1);
    }
    case SettingsReserved:
        return WriteAt(file, kSettingsOffsetReserved, values->reserved, kSettingsReservedSize);
    default:
        return false;
    }
}

}  // namespace

void FindSettingsFolders(const char* programFiles, const char* allUsersProfile, CTexto* readFolder,
                         CTexto* writeFolder)
{
    CTexto programFolder = SettingsFolderUnder(programFiles);
    const bool haveShared = allUsersProfile && *allUsersProfile;
    CTexto sharedFolder = haveShared ? SettingsFolderUnder(allUsersProfile) : programFolder;
    if (haveShared && programFolder.GetLength() > 0 && FolderExists(programFolder) &&
        !FolderExists(sharedFolder)) {
        // First run after installation: the installed settings move to the shared folder, and
        // this run still reads them where they were installed.
        CreateDirectoryPath(sharedFolder.GetText());
        CopyFileOverwrite((programFolder + kSettingsFileName).GetText(),
                          (sharedFolder + kSettingsFileName).GetText());
    } else {
        programFolder = sharedFolder;
    }
    *readFolder = programFolder;
    *writeFolder = sharedFolder;
}

void FindSystemSettingsFolders()
{
    if (g_settingsFolder.GetLength() > 0)
        return;
    char programFiles[kRegistryTextSize] = {};
    CTexto programFilesFolder;
    if (ReadRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                          "ProgramFilesDir", nullptr, programFiles, nullptr, sizeof programFiles))
        programFilesFolder = programFiles;
    else
        programFilesFolder = ExpandVariable("%ProgramFiles%");
    CTexto allUsers = ExpandVariable("%ALLUSERSPROFILE%");
    FindSettingsFolders(programFilesFolder.GetText(), allUsers.GetText(), &g_settingsFolder,
                        &g_sharedSettingsFolder);
}

uint32_t PackSettingsDate(int year, int month, int day)
{
    return ((static_cast<uint32_t>(year) * 256u) + static_cast<uint32_t>(month)) * 256u +
           static_cast<uint32_t>(day);
}

uint32_t TodaySettingsDate()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    return PackSettingsDate(now.wYear, now.wMonth, now.wDay);
}

bool ReadWriteSettingsFile(const char* readFolder, const char* writeFolder, int direction,
                           int record, SettingsValues* values)
{
    const bool writing = direction == SettingsWrite;
    const char* folder = writing ? writeFolder : readFolder;
    if (!values || !folder || !*folder || record < SettingsEveryRecord || record > SettingsReserved)
        return false;
    const CTexto path = CTexto(folder) + kSettingsFileName;
    const CTexto writePath = CTexto(writeFolder ? writeFolder : "") + kSettingsFileName;
    const bool canWrite = writeFolder && *writeFolder;

    if (!FileExists(path.GetText())) {
        // Start the file whole from the current values, so that no record ever has unset bytes
        // in front of it. Reading has nothing more to take.
        if (!canWrite)
            return false;
        if (!FileExists(writePath.GetText())) {
            CreateDirectoryPath(writeFolder);
            if (!WriteWholeFile(writePath, *values))
                return false;
        }
        if (!writing)
            return false;
        if (record == SettingsEveryRecord)
            return true;
    }

    CFicheroHttp file;
    if (!file.Open(path.GetText(), writing ? kSettingsWriteFlags : kSettingsReadFlags))
        return false;
    const int64_t length = file.GetLength();
    if (length == kSettingsOldFileSize && !(writing && record == SettingsEveryRecord)) {
        // The older format held only the automatic-update byte that still counts.
        uint8_t byte = 0;
        if (ReadAt(file, length, kSettingsOffsetAutoUpdate, &byte, 1))
            values->autoUpdate = byte;
        file.Close();
        if (!canWrite || !WriteWholeFile(writePath, *values) || !writing)
            return !writing;
        if (!file.Open(path.GetText(), kSettingsWriteFlags))
            return false;
    } else if (writing && length < kSettingsFileSize) {
        // A damaged short file: made whole first, so that one record's write leaves no gap.
        uint8_t image[kSettingsFileSize];
        BuildWholeFile(*values, image);
        if (!WriteAt(file, 0, image, kSettingsFileSize))
            return false;
    }

    if (!writing) {
        ReadSettingsRecords(file, record, values);
        return true;
    }
    if (record == SettingsEveryRecord) {
        uint8_t image[kSettingsFileSize];
        BuildWholeFile(*values, image);
        return WriteAt(file, 0, image, kSettingsFileSize);
    }
    return WriteRecord(file, record, values);
}

void CMainWnd::ReadWriteSettings(int write, int recordType)
{
    // Packed tours and screensavers leave the user's settings alone.
    if (m_fromPackage || m_screensaver)
        return;
    SettingsValues values;
    values.autoUpdate = m_autoUpdate;
    values.lastUpdateCheck = m_lastUpdateCheck;
    values.viewerWidth = m_viewerWidth;
    values.viewerHeight = m_viewerHeight;
    values.viewerOptions = m_viewerOptions;
    std::memcpy(values.reserved, m_settingsReserved, sizeof values.reserved);
    ReadWriteSettingsFile(g_settingsFolder.GetText(), g_sharedSettingsFolder.GetText(), write,
                          recordType, &values);
    m_autoUpdate = values.autoUpdate;
    m_lastUpdateCheck = values.lastUpdateCheck;
    m_viewerWidth = values.viewerWidth;
    m_viewerHeight = values.viewerHeight;
    m_viewerOptions = values.viewerOptions;
    std::memcpy(m_settingsReserved, values.reserved, sizeof values.reserved);
}
