// config.dat: the few user choices the viewer keeps between runs, in fixed records of an 88-byte
// file. It is read from g_settingsFolder and written to g_sharedSettingsFolder; both name the
// "Lumarix" folder under the common application-data folder, except on the first run after
// installation, when reading still uses the one under the program-files folder.
//
// Layout (little-endian, no header):
//   0   1  automatic update (record 0)
//   1   4  date of the last update check (record 1), ((year x 256) + month) x 256 + day
//   5   5  copy of bytes 0-4, written with the whole file, never read
//   10  5  a second copy
//   15  8  viewer width and height (record 2)
//   23  1  option bits (record 3)
//   24  64 reserved block (record 4)
#pragma once

#include <cstdint>

#include "core/text_string.h"

class CFicheroHttp;

// Record argument of the settings calls.
enum SettingsRecord : int {
    SettingsEveryRecord = -1,
    SettingsAutoUpdate = 0,
    SettingsLastUpdateCheck = 1,
    SettingsViewerSize = 2,
    SettingsViewerOptions = 3,
    SettingsReserved = 4,
};

// Direction argument of the settings calls.
enum SettingsDirection : int {
    SettingsRead = 0,
    SettingsWrite = 1,
};

// Bits of the option byte: the menu entries that toggle them.
enum ViewerOptionBits : int32_t {
    ViewerOptionNoAutoplay = 0x1,            // "Disable autoplay"
    ViewerOptionNoAutoLeveling = 0x2,        // "Disable autoleveling"
    ViewerOptionDoubleClickFullScreen = 0x4, // "Enable double click for fullscreen"
};

constexpr const char* kSettingsFileName = "config.dat";
constexpr const char* kSettingsFolderName = "Lumarix";
constexpr int kSettingsFileSize = 88;
constexpr int kSettingsOldFileSize = 5;  // the older format: the automatic-update byte and 4 more
constexpr int kSettingsReservedSize = 64;
constexpr int kSettingsOffsetAutoUpdate = 0;
constexpr int kSettingsOffsetLastCheck = 1;
constexpr int kSettingsPairSize = 5;
constexpr int kSettingsOffsetPairCopy1 = 5;
constexpr int kSettingsOffsetPairCopy2 = 10;
constexpr int kSettingsOffsetViewerSize = 15;
constexpr int kSettingsOffsetOptions = 23;
constexpr int kSettingsOffsetReserved = 24;
// A stored viewer size outside these bounds is ignored.
constexpr int32_t kStoredViewerSizeMax = 16384;

// The values kept in the file, with the defaults of a first run.
struct SettingsValues {
    int32_t autoUpdate = 1;
    uint32_t lastUpdateCheck = 0;
    int32_t viewerWidth = 768;
    int32_t viewerHeight = 480;
    int32_t viewerOptions = 0;
    uint8_t reserved[kSettingsReservedSize] = {};
};

// Where config.dat is read and written, each ending in a backslash; empty until the first
// engine finds them.
extern CTexto g_settingsFolder;
extern CTexto g_sharedSettingsFolder;

// Works out both folders from the program-files folder and the common application-data folder
// (either may be empty). When the program-files "Lumarix" folder exists and the shared one does
// not yet (first run after installation), the shared folder is created and config.dat copied
// into it, and reading keeps the program-files folder for this run. Otherwise both name the
// shared folder.
void FindSettingsFolders(const char* programFiles, const char* allUsersProfile, CTexto* readFolder,
                         CTexto* writeFolder);
// Fills g_settingsFolder and g_sharedSettingsFolder from the system when g_settingsFolder is
// still empty.
void FindSystemSettingsFolders();

// ((year x 256) + month) x 256 + day.
uint32_t PackSettingsDate(int year, int month, int day);
// Today's date (UTC) packed.
uint32_t TodaySettingsDate();

// Reads or writes records of config.dat: reading from readFolder, writing to writeFolder. A
// missing file is first made whole from the values. Reading takes only records the file holds
// whole; a stored viewer size outside the bounds is ignored. Writing one record leaves the
// others' bytes as they are; only a write of record 1 stamps today's date. Answers false when
// nothing could be done (no folder, file not openable).
// Reads the asked record (or every record) from an open config.dat into values: only records
// the file holds whole, a stored viewer size only within the bounds.
void ReadSettingsRecords(CFicheroHttp& file, int record, SettingsValues* values);

bool ReadWriteSettingsFile(const char* readFolder, const char* writeFolder, int direction,
                           int record, SettingsValues* values);
