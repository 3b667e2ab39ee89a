// Fuzz targets for the viewer's readers: config.dat records, the screensaver command line, the
// package appended to a packed player's program file, and the hand-over text between instances.
#include <algorithm>
#include <cstring>
#include <string>

#include "core/stream.h"
#include "fuzz_target.h"
#include "viewer/config_file.h"
#include "viewer/main_frame.h"
#include "viewer/screensaver_mode.h"

namespace {
const char* const kCommandWords[] = {"/s", "/c", "/p ", "-p ", "0x", "#", "-", "+",
                                     "18446744073709551615", "ffffffffffffffff", nullptr};
const char* const kPackageWords[] = {"KZRPACK", "\x01KZRPACK", "\xFF\xFF\xFF\xFF",
                                     "\x00\x10\x00\x00", "\x00\x00", ".\x00.\x00\\\x00",
                                     "h\x00t\x00t\x00p\x00:\x00/\x00/\x00", nullptr};
const char* const kHandOverWords[] = {"','", "'", "''", "','','", nullptr};
}  // namespace

LUMARIX_FUZZ_TARGET(settings, nullptr) {
    CFicheroHttp file;
    if (!file.SetBuffer(data, static_cast<int64_t>(size), BufferUse::InPlace))
        return 0;
    for (int record = SettingsEveryRecord; record <= SettingsReserved; ++record) {
        SettingsValues values;
        ReadSettingsRecords(file, record, &values);
    }
    return 0;
}

LUMARIX_FUZZ_TARGET(screensaver, kCommandWords) {
    std::string line(reinterpret_cast<const char*>(data), size);
    line.erase(std::find(line.begin(), line.end(), '\0'), line.end());
    ParseScreensaverCommand(line.c_str());
    IsScreensaverPath(line.c_str());
    return 0;
}

// The bytes are the whole program file: the trailer is looked for in its last bytes.
LUMARIX_FUZZ_TARGET(package, kPackageWords) {
    CFicheroHttp file;
    if (!file.SetBuffer(data, static_cast<int64_t>(size), BufferUse::InPlace))
        return 0;
    PlayerPackage package;
    ReadPlayerPackage(file, "C:\\start\\", &package);
    return 0;
}

LUMARIX_FUZZ_TARGET(handover, kHandOverWords) {
    CTexto texts[4];
    ParseHandOverText(reinterpret_cast<const char*>(data), size, texts);
    return 0;
}
