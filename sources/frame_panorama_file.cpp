// The program's own binary panorama file: a 6-byte header ("KZR", a zero byte, a 16-bit
// version), then records. A source without the header is a text tour and goes back to the viewer.
#include "sources/frame.h"

#include <cstring>

#include "core/language.h"
#include "core/mailboxes.h"
#include "core/stream.h"
#include "viewer/main_wnd.h"

namespace {

constexpr char kPanoramaMagic[4] = {'K', 'Z', 'R', '\0'};
constexpr int kPanoramaHeaderSize = 6;
// Files from this version on are newer than this player.
constexpr int16_t kFirstUnreadableVersion = 264;
// Language lines: the request to upgrade the player, and a file this player cannot read.
constexpr int kLineUpgradePlayer = 74;
constexpr int kLineUnreadableFile = 77;

void PostReloadScript(HWND window) {
    if (window)
        PostMessageA(window, ViewerMessageReloadScriptFile, 0, 0);
}

}  // namespace

int CFrame::LoadPanoramaFile(const char* fileName, HWND window, UINT, int) {
    fileBytesRead = 0;
    CFicheroHttp file;
    if (!fileName || !file.Open(fileName, OpenReportErrors, &cancelFlag) || cancelFlag)
        return 1;
    const int64_t length = file.GetLength();
    fileBytesTotal = length >= 0 && length <= INT32_MAX ? static_cast<int32_t>(length) : -1;

    uint8_t header[kPanoramaHeaderSize] = {};
    const int read = file.Read(header, kPanoramaHeaderSize);
    if (read < 4 || memcmp(header, kPanoramaMagic, sizeof kPanoramaMagic) != 0) {
        if (cancelFlag) {
            file.Close();
            return 1;
        }
        fileBytesRead = fileBytesTotal.load();
        file.Close();
        PostReloadScript(window);
        return 0;
    }
    const int16_t version = static_cast<int16_t>(header[4] | (header[5] << 8));
    if (read < kPanoramaHeaderSize || version >= kFirstUnreadableVersion) {
        SetPendingMessage(GetLanguageLine(kLineUpgradePlayer));
        file.Close();
        return 1;
    }

    // A file that holds only the header is a tour script too.
    uint8_t probe = 0;
    const bool hasRecords = !cancelFlag && file.Read(&probe, 1) > 0;
    if (!cancelFlag)
        fileBytesRead = fileBytesTotal.load();
    file.Close();
    if (cancelFlag)
        return 1;
    if (!hasRecords) {
        PostReloadScript(window);
        return 0;
    }
    // The records are read by a later version of this reader: refuse them plainly.
    SetPendingMessage(GetLanguageLine(kLineUnreadableFile));
    return 1;
}
