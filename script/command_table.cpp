#include "script/command_table.h"

#include <algorithm>
#include <cstring>

#include "core/text_convert.h"
#include "script/command_actions.h"

namespace {

// The action of every command whose family's behaviour is not written yet: each row below that
// names it acts as no command. Completing a family gives its rows their own actions.
CommandResult NotBuiltYet(CMainWnd&, const CommandOperands&, float) {
    // Not built yet: does nothing (answers Done, so the list goes on).
    return CommandResult::Done;
}

// FadeGroup and record kind 14 have no behaviour of their own: their records are stepped over.
CommandResult NoAction(CMainWnd&, const CommandOperands&, float) {
    return CommandResult::Done;
}

struct RowEntry {
    uint16_t opcode;
    CommandRow row;
};

constexpr CommandClass kNow = CommandClass::Immediate;
constexpr CommandClass kLoop = CommandClass::FrameLoop;
constexpr uint8_t kSwitch = CommandEndsPass | CommandWaitsCamera;

// clang-format off
const RowEntry kRows[] = {
    {2,   {"OpenURL",               kLoop, 0, "TTz", NotBuiltYet}},
    {3,   {"OpenFile",              kLoop, CommandWaitsReader, "TT", NotBuiltYet}},
    {4,   {"ToolCommand",           kLoop, 0, "b", NotBuiltYet}},
    {5,   {nullptr,                 kNow,  0, nullptr, NotBuiltYet}},  // renumbers images
    {6,   {"GoToFrame",             kLoop, kSwitch, "T", NotBuiltYet}},
    {7,   {"Show",                  kNow,  0, "TTTv", NotBuiltYet}},
    {8,   {"CameraValue",           kNow,  0, "hTfbb", NotBuiltYet}},
    {9,   {"PlaySequence",          kNow,  0, "hT", NotBuiltYet}},
    {10,  {"StopSequence",          kNow,  0, "h", NotBuiltYet}},
    {11,  {"IniSequence",           kNow,  0, "hb", NotBuiltYet}},
    {12,  {"LoopSequence",          kNow,  0, "hi", NotBuiltYet}},
    {13,  {"Fade",                  kNow,  0, "TTTvf", NotBuiltYet}},
    {14,  {nullptr,                 kNow,  0, nullptr, NoAction}},
    {15,  {"NextFrame",             kLoop, kSwitch, "", NotBuiltYet}},
    {16,  {"PrevFrame",             kLoop, kSwitch, "", NotBuiltYet}},
    {17,  {"CreateFrame",           kLoop, 0, "ThTfT", NotBuiltYet}},
    {18,  {"PreloadFrame",          kLoop, 0, "Tf", NotBuiltYet}},
    {19,  {"JavascriptEvent",       kLoop, 0, "T", NotBuiltYet}},
    {20,  {"UseObjects",            kNow,  0, "TT", NotBuiltYet}},
    {21,  {"DeleteFrame",           kLoop, 0, "Tf", NotBuiltYet}},
    {22,  {"Transition",            kNow,  CommandActsInProbe, "Thffz", NotBuiltYet}},
    {23,  {"InitialCameraRotation", kNow,  0, "Tffff", NotBuiltYet}},
    {24,  {"ShowCursor",            kNow,  0, "b", NotBuiltYet}},
    {25,  {"StartDrag",             kNow,  0, "TTTbhhii", NotBuiltYet}},
    {32,  {"StopDrag",              kNow,  0, "TTT", NotBuiltYet}},
    {33,  {"PlayerWindow",          kNow,  0, "h", NotBuiltYet}},
    {34,  {"CheckStates",           kNow,  0, "b", NotBuiltYet}},
    {35,  {"Load",                  kLoop, 0, "TT", NotBuiltYet}},
    {36,  {"Unload",                kLoop, 0, "T", NotBuiltYet}},
    {37,  {"SetCamera",             kNow,  0, "TTb", NotBuiltYet}},
    {38,  {"CreateHotspotInfo",     kNow,  0, "TTffbTTTT", NotBuiltYet}},
    {39,  {"ObjectValue",           kLoop, 0, "TTTTTbffb", NotBuiltYet}},
    {40,  {"Create3DPlane",         kLoop, 0, "TTTTffffffffbTT", NotBuiltYet}},
    {41,  {"SetInterfaceFile",      kLoop, CommandWaitsReader, "T", NotBuiltYet}},
    {42,  {"CreatePanoPlane",       kLoop, 0, "TTTTffffbTT", NotBuiltYet}},
    {43,  {"CreateFloorHotspots",   kLoop, 0, "TTfffbi*fffi", NotBuiltYet}},
    {44,  {"CreateIconHotspots",    kLoop, 0, "TTfffbi*fffi", NotBuiltYet}},
    {45,  {"Create3DPlaneCamera",   kLoop, 0, "TTTTffffffbTT", NotBuiltYet}},
    {46,  {"SetScriptFile",         kLoop, CommandWaitsReader, "T", SetScriptFileCommand}},
    {47,  {"ShellCommand",          kLoop, CommandWaitsReader, "TT", NotBuiltYet}},
    {48,  {"SimulateClick",         kLoop, CommandWaitsReader, "hh", NotBuiltYet}},
    {49,  {"ResetDrag",             kNow,  0, "TTT", NotBuiltYet}},
    {50,  {"InvertPano",            kLoop, 0, "b", NotBuiltYet}},
    {51,  {"ContrastValue",         kNow,  0, "hhhbb", NotBuiltYet}},
    {52,  {"SetFile",               kLoop, 0, "T", NotBuiltYet}},
    {53,  {"EnableQualityUpdate",   kNow,  0, "Tb", NotBuiltYet}},
    {54,  {"EnableAnaglyph",        kLoop, 0, "i", NotBuiltYet}},
    {55,  {"SetProjection",         kLoop, 0, "bf", NotBuiltYet}},
    {56,  {"PlaySound",             kLoop, 0, "Tb", NotBuiltYet}},
    {57,  {"StopSound",             kLoop, 0, "T", NotBuiltYet}},
    {64,  {"PauseSound",            kLoop, 0, "T", NotBuiltYet}},
    {65,  {"ResumeSound",           kLoop, 0, "T", NotBuiltYet}},
    {66,  {"VolumeSound",           kLoop, 0, "Tfb", NotBuiltYet}},
    {67,  {"FrameValue",            kLoop, 0, "TTTbff", NotBuiltYet}},
    {68,  {"ShowGroup",             kNow,  0, "TTTv", NotBuiltYet}},
    {69,  {"CreateFileFinder",      kNow,  0, "TTT", NotBuiltYet}},
    {70,  {"SetFileFinderToObject", kNow,  0, "TTbTT", NotBuiltYet}},
    {71,  {"Scale",                 kNow,  0, "TTTvf", NotBuiltYet}},
    {72,  {"ScaleWidth",            kNow,  0, "TTTvf", NotBuiltYet}},
    {73,  {"ScaleHeight",           kNow,  0, "TTTvf", NotBuiltYet}},
    {80,  {"FadeGroup",             kNow,  0, "TTTvf", NoAction}},
    {81,  {"ContextMenu",           kNow,  0, "T", NotBuiltYet}},
    {82,  {"TimelapsePosition",     kLoop, CommandWaitsFrameReady, "f", NotBuiltYet}},
    {83,  {"InstallScreensaver",    CommandClass::Screensaver, 0, "T", NotBuiltYet}},
    {84,  {"Play",                  kLoop, 0, "Tb", NotBuiltYet}},
    {85,  {"Stop",                  kLoop, 0, "T", NotBuiltYet}},
    {86,  {"Pause",                 kLoop, 0, "T", NotBuiltYet}},
    {87,  {"Resume",                kLoop, 0, "T", NotBuiltYet}},
    {88,  {"SeekPercentage",        kLoop, 0, "Tf", NotBuiltYet}},
    {89,  {"Volume",                kLoop, 0, "Tf", NotBuiltYet}},
    {96,  {"Rate",                  kLoop, 0, "Tf", NotBuiltYet}},
    {97,  {"ConnectCamera",         kLoop, 0, "T", NotBuiltYet}},
    {98,  {"DisconnectCamera",      kLoop, 0, "", NotBuiltYet}},
    {99,  {"EnableDetection",       kLoop, 0, "i", NotBuiltYet}},
    {100, {"SystemShutdown",        kLoop, 0, "iT", NotBuiltYet}},
    {101, {"ConnectCameraName",     kLoop, 0, "T", NotBuiltYet}},
    {102, {"StartCapture",          kLoop, 0, "Ti", NotBuiltYet}},
    {103, {"StopCapture",           kLoop, 0, "", NotBuiltYet}},
    {104, {"PauseCapture",          kLoop, 0, "", NotBuiltYet}},
    {105, {"ResumeCapture",         kLoop, 0, "", NotBuiltYet}},
    {112, {"StepCapture",           kLoop, 0, "i", NotBuiltYet}},
    {113, {"Beep",                  kNow,  0, "ii", NotBuiltYet}},
    {114, {"ShowCameraProperties",  kLoop, 0, "i", NotBuiltYet}},
    {115, {"SetCameraProperty",     kLoop, 0, "TTfi", NotBuiltYet}},
    {116, {"EnableHardwareMonitor", kLoop, 0, "Tif", NotBuiltYet}},
};
// clang-format on

struct NameEntry {
    const char* name;
    int length;
    int opcode;
};

// Byte order of (a, aLength) against (b, bLength), shorter first on a common prefix.
int CompareNames(const char* a, int aLength, const char* b, int bLength) {
    const int common = aLength < bLength ? aLength : bLength;
    const int order = std::memcmp(a, b, static_cast<size_t>(common));
    if (order != 0)
        return order;
    return aLength - bLength;
}

const std::vector<NameEntry>& SortedNames() {
    static const std::vector<NameEntry> names = [] {
        std::vector<NameEntry> list;
        for (const RowEntry& entry : kRows) {
            if (entry.row.name)
                list.push_back({entry.row.name, static_cast<int>(std::strlen(entry.row.name)),
                                entry.opcode});
        }
        std::sort(list.begin(), list.end(), [](const NameEntry& a, const NameEntry& b) {
            return CompareNames(a.name, a.length, b.name, b.length) < 0;
        });
        return list;
    }();
    return names;
}

// Little-endian reads through a cursor that never passes end; missing bytes read as 0.
struct OperandCursor {
    const uint8_t* at;
    const uint8_t* end;

    int Left() const { return static_cast<int>(end - at); }
    uint32_t Read(int width) {
        uint32_t value = 0;
        for (int i = 0; i < width; i++) {
            if (at < end)
                value |= static_cast<uint32_t>(*at++) << (8 * i);
        }
        return value;
    }
};

Operand& NextItem(CommandOperands& out) {
    if (out.count == static_cast<int>(out.items.size()))
        out.items.emplace_back();
    return out.items[static_cast<size_t>(out.count++)];
}

void DecodeText(OperandCursor& cursor, CommandOperands& out, Operand& item) {
    item.kind = OperandKind::Text;
    item.text = "";
    const int bytes = static_cast<int>(cursor.Read(2));
    if (bytes > cursor.Left()) {
        cursor.at = cursor.end;  // the text reaches past its record
        return;
    }
    const int chars = bytes / 2;
    if (static_cast<int>(out.wide.size()) < chars + 1)
        out.wide.resize(static_cast<size_t>(chars) + 1);
    // Texts may sit at odd offsets: copy into an aligned buffer before reading characters.
    if (chars > 0)
        std::memcpy(out.wide.data(), cursor.at, static_cast<size_t>(chars) * 2);
    out.wide[static_cast<size_t>(chars)] = 0;
    cursor.at += bytes;
    item.text.AssignWide(out.wide.data());
}

void DecodeOne(char kind, OperandCursor& cursor, CommandOperands& out) {
    if (kind == 'z') {
        cursor.Read(2);
        return;
    }
    Operand& item = NextItem(out);
    item.integer = 0;
    item.real = 0.0f;
    switch (kind) {
    case 'T':
        DecodeText(cursor, out, item);
        return;
    case 'b':
        item.kind = OperandKind::Integer;
        item.integer = static_cast<int32_t>(cursor.Read(1));
        return;
    case 'h':
        item.kind = OperandKind::Integer;
        item.integer = static_cast<int16_t>(cursor.Read(2));
        return;
    case 'i':
        item.kind = OperandKind::Integer;
        item.integer = static_cast<int32_t>(cursor.Read(4));
        return;
    case 'v':
        item.kind = OperandKind::Integer;
        item.integer = static_cast<int8_t>(cursor.Read(4) & 0xFF);
        return;
    case 'f': {
        item.kind = OperandKind::Float;
        const uint32_t bits = cursor.Read(4);
        std::memcpy(&item.real, &bits, sizeof bits);
        return;
    }
    default:
        return;
    }
}

}  // namespace

const char* CommandOperands::Text(int index) const {
    if (index < 0 || index >= count || items[static_cast<size_t>(index)].kind != OperandKind::Text)
        return "";
    return items[static_cast<size_t>(index)].text.GetText();
}

int32_t CommandOperands::Integer(int index) const {
    if (index < 0 || index >= count)
        return 0;
    return items[static_cast<size_t>(index)].integer;
}

float CommandOperands::Real(int index) const {
    if (index < 0 || index >= count)
        return 0.0f;
    return items[static_cast<size_t>(index)].real;
}

const CommandTable& BuiltInCommandTable() {
    static const CommandTable table = [] {
        CommandTable built{};
        for (CommandRow& row : built.rows)
            row = {nullptr, CommandClass::None, 0, nullptr, nullptr};
        for (const RowEntry& entry : kRows)
            built.rows[entry.opcode] = entry.row;
        return built;
    }();
    return table;
}

int FindCommandOpcode(const char* name, int length) {
    if (!name || length <= 0)
        return 0;
    const std::vector<NameEntry>& names = SortedNames();
    size_t low = 0;
    size_t high = names.size();
    while (low < high) {
        const size_t mid = (low + high) / 2;
        const int order = CompareNames(names[mid].name, names[mid].length, name, length);
        if (order == 0)
            return names[mid].opcode;
        if (order < 0)
            low = mid + 1;
        else
            high = mid;
    }
    return 0;
}

int CountLayoutOperands(const char* layout) {
    int count = 0;
    for (const char* p = layout; p && *p && *p != '*'; p++) {
        if (*p != 'z')
            count++;
    }
    return count;
}

void DecodeOperands(const CommandRow& row, const uint8_t* operandBytes, int length,
                    CommandOperands& out) {
    out.raw = operandBytes;
    out.rawLength = length > 0 ? length : 0;
    out.count = 0;
    if (!row.layout || !operandBytes)
        return;
    OperandCursor cursor{operandBytes, operandBytes + out.rawLength};
    const char* p = row.layout;
    for (; *p && *p != '*'; p++)
        DecodeOne(*p, cursor, out);
    if (*p != '*' || out.count == 0)
        return;
    // A repeated group: as many as the last operand says, but never past the record's end.
    const char* group = p + 1;
    const int32_t groups = out.items[static_cast<size_t>(out.count - 1)].integer;
    for (int32_t g = 0; g < groups && cursor.Left() > 0; g++) {
        for (const char* q = group; *q; q++)
            DecodeOne(*q, cursor, out);
    }
}
