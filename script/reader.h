#pragma once
// The tour script reader: turns a script text of named sections holding KEY=value; statements
// into frames, objects and resource items. This header holds the reader's outer machinery: the
// reading context that every statement handler works on, the fixed order of the keywords, the
// table of handlers and the scanner that drives them (script/reader.cpp). What each keyword does
// lives with its handler; CMainWnd::ReadParameterFile (script/reader_engine.cpp) sets a read up
// for the engine.
//
// A section is "(name)" followed by a body in braces. Statements end at ';' outside quotes and
// parentheses; TYPE=INCLUDE sections are macros that INCLUDE=name statements expand in place.
#include <atomic>
#include <cstdint>

#include "core/item_list.h"
#include "core/text_string.h"
#include "script/section_state.h"

class CFicheroHttp;
class CFrame;
class CMainWnd;

// Bytes the reader takes from its input at a time (before any UTF-16 conversion).
constexpr int kReaderChunkSize = 1024;
// A statement or section name holds at most this many characters, terminator excluded.
constexpr int kStatementLimit = 2047;
// INCLUDE macros one read collects at most.
constexpr int kMaxMacros = 999;
// Highest script level (0 tour, 1 interface layer, 2 unused).
constexpr uint32_t kMaxScriptLevel = 2;
// Bounds of macro expansion: the text a chunk may grow to, and the expansions of one read.
constexpr int kMaxExpandedChunk = 512 * 1024;
constexpr int kMaxExpansions = 100000;

// Every keyword entry, in the order in which a statement is tested against them. TYPE= comes
// first but is handled before the test for ignored sections; the others follow the fixed order
// that settles every prefix conflict (TEXTURAS24= is not a text object, IMAGENODO= is not an
// image object).
enum class ReaderKeyword : uint8_t {
    Type,
    Description, Rot, Pos, Size, RefreshRate, TimeRate, MaskFile, Loaded, LoadSound, Zoom,
    FovMode, PartialWidth, LimRotX, LimRotY, LimPosX, LimPosZ, LimZoom, MirrorConfig,
    FisheyesConfig, CameraType, ExposureTable, CameraParameters, Profundidad, AlturaCamara,
    PosBrujula, Projection, Fisheye, ToolsBar, ProgressBar, BotonesBarras, ActiveButtons,
    ErrorEvents, ConfigMenu, MenuOption, Target, Transition, File, UpdateState, CheckState,
    Node, Button, AddEvent, SetTimer, PropertyCode, Key, EventsWindow, Joystick, Font, Text,
    BackColor, Width, MouseMode, HorizonPosition, Autoplay, FirstAutoplay, Velocity,
    ZoomVelocity, Acceleration, AutoplaySpeed, EnableKeyboard, EnableTouchScreen, EnableServer,
    EnableUpdater, EnableWatchdog, EnableUpdateIp, ShowObjectsAlways, MinFrameTime,
    YoutubeEvent, PanEvent, InvertMouse, OneMouseButton, DisableRightButton, OffsetXObject,
    CloseOnKillFocus, CloseOnKeyboard, CloseOnMouseMove, CloseOnMouseClick, AccionMenu, Menu,
    LensFlare, NodeStyle, AutoMode, AutoModeTime, FlagsImage, AlphaImage, Image, LineUtm,
    SequenceFile, ViewerWindow,
    Count,
};
constexpr int kReaderKeywordCount = static_cast<int>(ReaderKeyword::Count);

// One keyword entry: its spellings (entries joined by '/' share a handler) and, for the TEXT
// and IMAGE families, which statements a bare prefix still excludes.
struct ReaderKeywordSpelling {
    ReaderKeyword keyword;
    const char* spellings[7];  // null-terminated; each matched without regard to case as a prefix
    const char* exclude;       // a statement beginning with this is not the entry's; may be null
};
// The entries in test order, kReaderKeywordCount of them, TYPE= first.
const ReaderKeywordSpelling* ReaderKeywordSpellings();
// The entry a statement begins with (TYPE= and TIPO= included), or Count for none; *spelling
// gets the index of the spelling that matched.
ReaderKeyword MatchReaderKeyword(const char* statement, int* spelling);

// Where one read puts what it makes, and the state of the section being read (SectionState,
// script/section_state.h). Handlers read the statement from here and write only into these
// lists and the current frame, so that a read on the reader thread touches nothing another
// thread walks until its lists are handed over.
struct ReadingContext : SectionState {
    // --- The read ---
    CMainWnd* engine = nullptr;    // compiles command texts; never null in a real read
    CObjeto* frames = nullptr;     // new frame sections append FrameItems here
    CObjeto* images = nullptr;     // the level's item list
    CObjeto* fonts = nullptr;      // FONT= items
    CFrame* target = nullptr;      // sections apply to this frame instead of creating frames
    // Objects of the target frame go here instead of its own list when set (a read on the
    // reader thread hands them over at its end).
    CObjeto* targetObjects = nullptr;
    uint32_t level = 0;
    CTexto baseFolder;             // folder of the script: statement file names resolve against it
    const CTexto* fallback = nullptr;  // the package's folder when the program runs from one
    const std::atomic<int>* cancel = nullptr;  // raised: reading stops after its current step

    // --- The statement being handled ---
    const char* statement = "";    // blanks before the first '=' removed, no line breaks
    int length = 0;
    int fieldCount = 0;            // CountFields on ',' (the key's field included)
    ReaderKeyword keyword = ReaderKeyword::Count;
    int spelling = 0;              // which spelling of the entry matched
    int pass = 0;                  // 0 macro collection, 1 interpretation

    // The object list a statement appends the frame's objects to.
    CObjeto& ObjectsOf(CFrame* frame);
    // True when the statement is to stop: the cancel flag is up.
    bool Cancelled() const { return cancel && cancel->load(std::memory_order_relaxed) != 0; }
};

using StatementHandler = void (*)(ReadingContext& context);
using FlagKeyHandler = bool (*)(ReadingContext& context);

// What the reader calls. A null handler leaves its statements ignored.
struct ReaderHandlers {
    StatementHandler keywords[kReaderKeywordCount] = {};
    // After a statement that raised ReadingContext::itemsPending: makes the section's items.
    StatementHandler createItems = nullptr;
    // A frame-section statement that matched no keyword; false when it is no flag key either.
    FlagKeyHandler frameFlagKey = nullptr;
    // Once after the last statement (also after a format error or a cancel; it polls the
    // cancel flag itself).
    StatementHandler link = nullptr;
    // Exactly once after linking, cancelled or not: frees what section items hold only while
    // the script is read (tooltip option blocks). Linking itself frees none of it.
    StatementHandler release = nullptr;
};
// The program's own handlers.
const ReaderHandlers& BuiltInReaderHandlers();

enum class ReadOutcome {
    Completed,    // both passes ran to the end of the input
    FormatError,  // visible text between a section head and its body; reported to the user
    Cancelled,    // the cancel flag stopped it
    NoMemory,     // the macro tables could not be had; nothing was read
};

// Where the script comes from: a text, or a stream open at its start. A stream is read twice
// (macros first); when it cannot seek back, it is opened again under reopenName.
struct ScriptInput {
    const char* text = nullptr;
    int64_t textLength = 0;
    CFicheroHttp* stream = nullptr;
    const char* reopenName = nullptr;
    unsigned reopenFlags = 0;
};

// Reads the whole script into the context's lists with the handlers, then links and releases.
// Items made before a format error or a cancel stay. On a format error the message "ERROR: File
// does not exist" / "ERROR: File format not supported" (in the current language) becomes the
// pending message and a stream input is closed with its cache data deleted.
ReadOutcome ReadScript(ReadingContext& context, const ReaderHandlers& handlers,
                       const ScriptInput& input);
