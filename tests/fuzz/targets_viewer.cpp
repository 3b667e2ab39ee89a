// Fuzz targets for the viewer's readers: config.dat records and the screensaver command line.
#include <algorithm>
#include <cstring>
#include <string>

#include "core/stream.h"
#include "fuzz_target.h"
#include "viewer/config_file.h"
#include "viewer/screensaver_mode.h"

namespace {
const char* const kCommandWords[] = {"/s", "/c", "/p ", "-p ", "0x", "#", "-", "+",
                                     "18446744073709551615", "ffffffffffffffff", nullptr};
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
