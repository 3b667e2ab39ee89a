// Fuzz targets for the viewer's readers: config.dat records, the screensaver command line, the
// package appended to a packed player's program file, the hand-over text between instances and
// the strip table of a strip frame.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/item_records.h"
#include "core/stream.h"
#include "fuzz_target.h"
#include "render/mesh.h"
#include "viewer/config_file.h"
#include "viewer/main_frame.h"
#include "viewer/main_wnd.h"
#include "viewer/screensaver_mode.h"

namespace {
const char* const kCommandWords[] = {"/s", "/c", "/p ", "-p ", "0x", "#", "-", "+",
                                     "18446744073709551615", "ffffffffffffffff", nullptr};
const char* const kPackageWords[] = {"KZRPACK", "\x01KZRPACK", "\xFF\xFF\xFF\xFF",
                                     "\x00\x10\x00\x00", "\x00\x00", ".\x00.\x00\\\x00",
                                     "h\x00t\x00t\x00p\x00:\x00/\x00/\x00", nullptr};
const char* const kHandOverWords[] = {"','", "'", "''", "','','", nullptr};
// Tokens end at their first zero byte: the high halves of the floats 1000 and infinity stand
// for the whole values.
const char* const kStripWords[] = {"\x01\x01", "\x02\x01", "\x03\x01", "\xFF\xFF", "\x7A\x44",
                                   "\x80\x7F", "\xC0\x7F", "\x96", nullptr};

CMainWnd& StripEngine() {
    static CMainWnd* engine = new CMainWnd;
    return *engine;
}
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

// Byte 0: strips (1-8, bits 0-2) and whether the strip meshes have the reference sphere's shape
// (bit 3; otherwise a shape of their own). The rest is the strip table as a frame file gives it.
LUMARIX_FUZZ_TARGET(strips, kStripWords) {
    if (size < 1)
        return 0;
    const int strips = 1 + (data[0] & 7);
    const bool matching = (data[0] & 8) != 0;
    CMainWnd& engine = StripEngine();
    FrameItem* item = static_cast<FrameItem*>(engine.m_frames.CreateItem(ItemType::Frame));
    CFrame* frame = &item->frame;
    frame->kind = FrameKindStrips;
    frame->sprites[0] = new CSprite;
    frame->sprites[0]->CreateImage(64, 32, 24, true, 0x808080, false);
    frame->spriteCount = 1;
    // The shapes the strip build compares its reference sphere with.
    const int columns = matching ? (strips < 6 ? 40 / strips : 10) : 7;
    const int rows = matching ? (strips < 6 ? 23 : 10) : 5;
    for (int i = 0; i < strips; ++i) {
        CObjeto3D* mesh = new CObjeto3D;
        mesh->BuildGeometry(MeshGeometrySphere, columns, rows, 1000, 1000, 1000, 0.0f, 1.0f, 0, 1,
                            0.5f, 0, true);
        frame->meshes[i] = mesh;
    }
    frame->meshCount = strips;
    if (size > 1) {
        frame->stripTable = static_cast<uint8_t*>(std::malloc(size - 1));
        std::memcpy(frame->stripTable, data + 1, size - 1);
        frame->stripTableSize = static_cast<int32_t>(size - 1);
    }
    engine.OnFrameReady(frame, 0);
    engine.m_frames.RemoveAll();
    return 0;
}
