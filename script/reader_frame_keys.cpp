// The keys of a frame section: the view a frame opens with, its navigation limits, camera and
// lens values, navigation speeds, toolbar buttons and flags, with the override bit that tells
// the viewer the tour gave the value; a few keys set viewer-wide state instead (transitions,
// camera server and watchdog, mouse, screensaver and automatic tour settings).
#include <cstring>

#include "core/item_records.h"
#include "core/mailboxes.h"
#include "core/path_resolution.h"
#include "core/text_convert.h"
#include "core/value_tokenizer.h"
#include "script/reader_handlers.h"
#include "viewer/main_wnd.h"

namespace {

using K = ReaderKeyword;

enum class ValueType : uint8_t {
    Float,    // count floats from the field on
    Integer,  // count integers from the field on
    Limits,   // a lower and an upper value: the field in lowerLimits and its twin in upperLimits
};

// A key that reads its values into fields of the section's frame.
struct FrameKey {
    ReaderKeyword keyword;
    ValueType type;
    int count;
    void* (*field)(CFrame& frame);  // the first value's field
    uint32_t overrides;             // FrameOverrides bits the key adds
};

#define FRAME_FIELD(expression) [](CFrame& f) -> void* { return &(expression); }

const FrameKey kFrameKeys[] = {
    {K::Rot, ValueType::Float, 3, FRAME_FIELD(f.initialView[ViewTilt]),
     OverrideInitialTilt | OverrideInitialPan},
    {K::Pos, ValueType::Float, 3, FRAME_FIELD(f.initialView[ViewX]), 0},
    {K::Zoom, ValueType::Float, 1, FRAME_FIELD(f.initialView[ViewZoom]), OverrideInitialZoom},
    {K::PartialWidth, ValueType::Float, 1, FRAME_FIELD(f.partialWidth), 0},
    {K::LimRotX, ValueType::Limits, 2, FRAME_FIELD(f.lowerLimits[ViewTilt]),
     OverrideLowestTilt | OverrideHighestTilt},
    {K::LimRotY, ValueType::Limits, 2, FRAME_FIELD(f.lowerLimits[ViewPan]),
     OverrideLowerPan | OverrideUpperPan},
    {K::LimPosX, ValueType::Limits, 2, FRAME_FIELD(f.lowerLimits[ViewX]), 0},
    {K::LimPosZ, ValueType::Limits, 2, FRAME_FIELD(f.lowerLimits[ViewZ]), 0},
    {K::LimZoom, ValueType::Limits, 2, FRAME_FIELD(f.lowerLimits[ViewZoom]),
     OverrideSmallestZoom | OverrideLargestZoom},
    {K::FisheyesConfig, ValueType::Float, FisheyeFieldCount, FRAME_FIELD(f.fisheyeConfig[0]), 0},
    {K::Profundidad, ValueType::Float, 1, FRAME_FIELD(f.depth), 0},
    {K::AlturaCamara, ValueType::Float, 2, FRAME_FIELD(f.cameraHeight[0]), 0},
    {K::PosBrujula, ValueType::Integer, 2, FRAME_FIELD(f.compassPosition[0]), 0},
    {K::Projection, ValueType::Integer, 1, FRAME_FIELD(f.projection), OverrideProjection},
    {K::Fisheye, ValueType::Float, 1, FRAME_FIELD(f.projectionParameter), OverrideProjection},
    {K::ActiveButtons, ValueType::Integer, 1, FRAME_FIELD(f.toolbarButtons), 0},
    {K::MouseMode, ValueType::Integer, 1, FRAME_FIELD(f.mouseMode), OverrideMouseMode},
    {K::HorizonPosition, ValueType::Float, 1, FRAME_FIELD(f.horizonPosition),
     OverrideHorizonPosition},
    {K::Autoplay, ValueType::Float, 1, FRAME_FIELD(f.autoplay), OverrideAutoplay},
    {K::FirstAutoplay, ValueType::Float, 2, FRAME_FIELD(f.firstAutoplay[0]),
     OverrideFirstAutoplay},
    {K::Velocity, ValueType::Float, 1, FRAME_FIELD(f.velocity), OverrideVelocity},
    {K::ZoomVelocity, ValueType::Float, 1, FRAME_FIELD(f.zoomVelocity), OverrideZoomVelocity},
    {K::Acceleration, ValueType::Float, 1, FRAME_FIELD(f.acceleration), OverrideAcceleration},
    {K::AutoplaySpeed, ValueType::Float, 1, FRAME_FIELD(f.autoplaySpeed), OverrideAutoplaySpeed},
    {K::OffsetXObject, ValueType::Integer, 1, FRAME_FIELD(f.objectOffsetX), 0},
    {K::AutoModeTime, ValueType::Float, 1, FRAME_FIELD(f.tourDelay), 0},
};

#undef FRAME_FIELD

// A key of a frame section that sets one value of the viewer instead of the frame.
struct ViewerKey {
    ReaderKeyword keyword;
    ValueType type;
    void* (*field)(CMainWnd& engine);
};

#define VIEWER_FIELD(expression) [](CMainWnd& e) -> void* { return &(expression); }

const ViewerKey kViewerKeys[] = {
    {K::ProgressBar, ValueType::Integer, VIEWER_FIELD(e.m_params.progressBar)},
    {K::EnableKeyboard, ValueType::Integer, VIEWER_FIELD(e.m_keyboardEnabled)},
    {K::EnableTouchScreen, ValueType::Integer, VIEWER_FIELD(e.m_touchScreenEnabled)},
    {K::EnableUpdater, ValueType::Integer, VIEWER_FIELD(e.m_updaterEnabled)},
    {K::ShowObjectsAlways, ValueType::Integer, VIEWER_FIELD(e.m_showObjectsAlways)},
    {K::MinFrameTime, ValueType::Float, VIEWER_FIELD(e.m_minFrameTime)},
    {K::YoutubeEvent, ValueType::Integer, VIEWER_FIELD(e.m_youtubeEvent)},
    {K::PanEvent, ValueType::Float, VIEWER_FIELD(e.m_panEvent)},
    {K::OneMouseButton, ValueType::Integer, VIEWER_FIELD(e.m_oneMouseButton)},
    {K::DisableRightButton, ValueType::Integer, VIEWER_FIELD(e.m_rightButtonDisabled)},
    {K::CloseOnKeyboard, ValueType::Integer, VIEWER_FIELD(e.m_closeOnKeyboard)},
    {K::CloseOnMouseMove, ValueType::Integer, VIEWER_FIELD(e.m_closeOnMouseMove)},
    {K::CloseOnMouseClick, ValueType::Integer, VIEWER_FIELD(e.m_closeOnMouseClick)},
};

#undef VIEWER_FIELD

// The frame flag keys, tried in this order on a frame-section statement no keyword took; the
// first that begins the statement wins.
struct FlagKey {
    const char* key;
    uint32_t bits;
};

const FlagKey kFlagKeys[] = {
    {"FREEMEMORY=", 0x4000},         {"COORDENADAS=", 0x60},
    {"COORDENADASUTM=", 0x20},       {"COORDENADASALT=", 0x40},
    {"CONTROLCAMARA=", 0x4},         {"BRUJULA=", 0x8},
    {"TEXTURAS24=", 0x100},          {"BARRAS=", 0x3},
    {"CACHE=", 0x10000},             {"SKYBOX=", 0x80},
    {"TOUCHSCREEN=", 0x400},         {"INVERTMOUSEX=", 0x800},
    {"INVERTMOUSEY=", 0x200000},     {"CLICKEVENT=", 0x80000},
    {"MOUSEUPEVENT=", 0x100000},     {"ENFORCELIMITS=", 0x400000},
    {"KEEPPOSITION=", 0x800000},     {"INVERTCAMERAX=", 0x1000000},
    {"INVERTCAMERAY=", 0x2000000},   {"INVERTPLUGINCAMERAX=", 0x4000000},
    {"INVERTPLUGINCAMERAY=", 0x8000000},
};
static_assert(sizeof kFlagKeys / sizeof kFlagKeys[0] == 21, "21 frame flag keys");

// The bits INVERTMOUSE= sets: those of INVERTMOUSEX= and INVERTMOUSEY=.
constexpr uint32_t kInvertMouseBits = 0x200800;
// The flag bits BARRASVISIBLES= and TOOLSBAR= replace.
constexpr uint32_t kToolbarFlagBits = 0x3;

// CAMERAPARAMETERS= field counts (the key's field included).
constexpr int kSensorFieldsWithPlacement = 12;  // mode and both angles given
constexpr int kSensorFieldsWithLens = 10;       // lens switch and coefficients given
constexpr int kSensorFieldsWithSwitch = 17;     // the lens switch itself given
// The lens size factors are given in statements of exactly 14 fields or of 16 and more.
constexpr int kSensorFieldsFactorsShort = 14;
constexpr int kSensorFieldsFactorsLong = 16;
// Pan of a sensor whose placement is not given: a quarter turn per index.
constexpr float kSensorPanStep = 90.0f;
constexpr int32_t kSensorDefaultShape = 2;

// The text ACCIONMENU= compiles into the frame's entry code.
constexpr const char* kToolCommandFormat = "ToolCommand(%d);";
// The one camera model an image section can name.
constexpr const char* kMightexCamera = "Mightex-BCN";
// Name of the item SEQUENCEFILE= makes.
constexpr const char* kSequenceFileItem = "sequencefile";

bool InFrame(const ReadingContext& context)
{
    return context.sectionKind == SectionFrame && context.currentFrame;
}

// One field read with the number parser: decimal, 0x or # hexadecimal, or a colour name.
int32_t ReadNumber(const ReadingContext& context, int position)
{
    CTexto field;
    ReadNextField(context.statement, position, field);
    return ParseNumberOrColor(field.GetText());
}

const FrameKey* FindFrameKey(ReaderKeyword keyword)
{
    for (const FrameKey& key : kFrameKeys) {
        if (key.keyword == keyword)
            return &key;
    }
    return nullptr;
}

const ViewerKey* FindViewerKey(ReaderKeyword keyword)
{
    for (const ViewerKey& key : kViewerKeys) {
        if (key.keyword == keyword)
            return &key;
    }
    return nullptr;
}

void HandleFrameKey(ReadingContext& context)
{
    const FrameKey* key = FindFrameKey(context.keyword);
    if (!key || !InFrame(context))
        return;
    CFrame& frame = *context.currentFrame;
    const int position = KeyValuePosition(context);
    void* field = key->field(frame);
    switch (key->type) {
    case ValueType::Float:
        ParseValueList(context.statement, position, static_cast<float*>(field), nullptr,
                       key->count, kFieldSeparatorComma);
        break;
    case ValueType::Integer:
        ParseValueList(context.statement, position, nullptr, static_cast<int32_t*>(field),
                       key->count, kFieldSeparatorComma);
        break;
    case ValueType::Limits: {
        float* lower = static_cast<float*>(field);
        float* upper = frame.upperLimits + (lower - frame.lowerLimits);
        int next = position;
        *lower = ReadStatementFloat(context, next, &next);
        *upper = ReadStatementFloat(context, next);
        break;
    }
    }
    frame.overrides |= key->overrides;
}

void HandleViewerKey(ReadingContext& context)
{
    const ViewerKey* key = FindViewerKey(context.keyword);
    if (!key || !InFrame(context) || !context.engine)
        return;
    void* field = key->field(*context.engine);
    const int position = KeyValuePosition(context);
    if (key->type == ValueType::Float)
        *static_cast<float*>(field) = ReadStatementFloat(context, position);
    else
        *static_cast<int32_t*>(field) = ReadStatementInteger(context, position);
}

// --- Keys with rules of their own ---

void HandleMirrorConfig(ReadingContext& context)
{
    if (!InFrame(context) || context.currentFrame->sourceKind != SourceOneShot)
        return;
    ParseValueList(context.statement, KeyValuePosition(context), context.currentFrame->mirrorConfig,
                   nullptr, kMirrorConfigCount, kFieldSeparatorComma);
}

void HandleFovMode(ReadingContext& context)
{
    if (!InFrame(context) || !context.engine)
        return;
    ReadNextField(context.statement, KeyValuePosition(context), context.engine->m_params.fovMode,
                  true);
    context.engine->ApplyFovMode();
}

void HandleCameraType(ReadingContext& context)
{
    CTexto word;
    ReadNextField(context.statement, KeyValuePosition(context), word, true);
    if (context.sectionKind == SectionImage) {
        ItemRecord* item = context.currentItem;
        if (item && item->type == ItemType::Image && word == kMightexCamera)
            static_cast<ImageItem*>(item)->sprite.cameraModel = 1;
        return;
    }
    if (!InFrame(context))
        return;
    // Compared exactly: "Sphere" is no camera type.
    if (word == "cylin" || word == "cylinder")
        context.currentFrame->cameraType = CameraTypeCylinder;
    else if (word == "sphere")
        context.currentFrame->cameraType = CameraTypeSphere;
    else if (word == "zenith")
        context.currentFrame->cameraType = CameraTypeZenith;
}

// One sensor's placement and lens. Shorter statements leave out the placement, the lens size
// factors or the lens coefficients, which then take fixed values.
void HandleCameraParameters(ReadingContext& context)
{
    if (!InFrame(context))
        return;
    const int fields = context.fieldCount;
    int position = KeyValuePosition(context);
    const int32_t index = ReadStatementInteger(context, position, &position);
    if (index < 0 || index >= kSensorCapacity)
        return;
    SensorParameters& sensors = context.currentFrame->sensorParams;
    if (fields >= kSensorFieldsWithPlacement) {
        sensors.meshShape[index] = ReadStatementInteger(context, position, &position);
        sensors.tilt[index] = ReadStatementFloat(context, position, &position);
        sensors.pan[index] = ReadStatementFloat(context, position, &position);
    } else {
        sensors.meshShape[index] = kSensorDefaultShape;
        sensors.tilt[index] = 0.0f;
        sensors.pan[index] = static_cast<float>(index) * kSensorPanStep;
    }
    ReadStatementFloat(context, position, &position);  // a constant the files carry
    float* lens[] = {sensors.roll,        sensors.uCentre,        sensors.vCentre,
                     sensors.uScale,      sensors.vScale,         sensors.horizontalSize,
                     sensors.verticalSize};
    for (float* values : lens)
        values[index] = ReadStatementFloat(context, position, &position);
    if (fields == kSensorFieldsFactorsShort || fields >= kSensorFieldsFactorsLong) {
        sensors.horizontalLensFactor[index] = ReadStatementFloat(context, position, &position);
        sensors.verticalLensFactor[index] = ReadStatementFloat(context, position, &position);
    } else {
        sensors.horizontalLensFactor[index] = 1.0f;
        sensors.verticalLensFactor[index] = 1.0f;
    }
    if (fields >= kSensorFieldsWithLens) {
        sensors.lensCorrection[index] = fields >= kSensorFieldsWithSwitch
                                            ? ReadStatementInteger(context, position, &position)
                                            : 1;
        sensors.lensCoefficient1[index] = ReadStatementFloat(context, position, &position);
        sensors.lensCoefficient2[index] = ReadStatementFloat(context, position, &position);
        sensors.lensCoefficient3[index] = ReadStatementFloat(context, position, &position);
    } else {
        sensors.lensCorrection[index] = 0;
    }
    context.currentFrame->overrides |= OverrideSensorConfiguration;
}

void HandleToolsBar(ReadingContext& context)
{
    if (!InFrame(context))
        return;
    const char* equals = std::strchr(context.statement, '=');
    const int32_t value =
        ReadNumber(context, equals ? static_cast<int>(equals - context.statement) : 0);
    CFrame& frame = *context.currentFrame;
    frame.flags =
        (frame.flags & ~kToolbarFlagBits) | (static_cast<uint32_t>(value) & kToolbarFlagBits);
    frame.flagsGiven |= kToolbarFlagBits;
}

void HandleBotonesBarras(ReadingContext& context)
{
    if (!InFrame(context))
        return;
    int position = KeyValuePosition(context);
    const int32_t bar = ReadStatementInteger(context, position, &position);
    const uint32_t mask = static_cast<uint32_t>(ReadStatementInteger(context, position)) & 0xFFFF;
    uint32_t buttons = static_cast<uint32_t>(context.currentFrame->toolbarButtons);
    if (bar != 0)
        buttons = (buttons & 0xFFFF) | (mask << 16);
    else
        buttons = (buttons & 0xFFFF0000u) | mask;
    context.currentFrame->toolbarButtons = static_cast<int32_t>(buttons);
}

void HandleErrorEvents(ReadingContext& context)
{
    if (InFrame(context))
        SetErrorEventMode(ReadStatementInteger(context, KeyValuePosition(context)));
}

void HandleTransition(ReadingContext& context)
{
    if (!InFrame(context) || !context.engine)
        return;
    CMainWnd& engine = *context.engine;
    int position = KeyValuePosition(context);
    engine.m_transitionKind = ReadStatementInteger(context, position, &position);
    engine.m_transitionLoadPercent = ReadStatementFloat(context, position, &position);
    engine.m_transitionDuration = ReadStatementFloat(context, position);
    engine.m_transitionsOn = 1;
}

void ReadStateAddress(ReadingContext& context, CTexto& address)
{
    ReadNextField(context.statement, KeyValuePosition(context), address);
    ResolvePath(address, &context.baseFolder, nullptr);
}

void HandleUpdateState(ReadingContext& context)
{
    if (InFrame(context))
        ReadStateAddress(context, context.currentFrame->updateStateAddress);
}

void HandleCheckState(ReadingContext& context)
{
    if (InFrame(context))
        ReadStateAddress(context, context.currentFrame->checkStateAddress);
}

void HandleBackColor(ReadingContext& context)
{
    const int32_t colour = ReadStatementInteger(context, KeyValuePosition(context));
    if (context.sectionKind == SectionImage) {
        ItemRecord* item = context.currentItem;
        if (item && item->type == ItemType::Image)
            static_cast<ImageItem*>(item)->sprite.backColour = static_cast<uint32_t>(colour);
    } else if (context.sectionKind == SectionLink) {
        if (context.currentText)
            context.currentText->backColor = colour;
    } else if (InFrame(context)) {
        context.currentFrame->backColour = colour;
        context.currentFrame->overrides |= OverrideBackColour;
    }
}

// A tour received from a camera server shows that camera; any other starts or stops the
// viewer's own camera server.
void HandleEnableServer(ReadingContext& context)
{
    if (!InFrame(context) || !context.engine)
        return;
    CMainWnd& engine = *context.engine;
    if (engine.m_loadsStopped) {
        context.currentFrame->remoteCamera = 1;
        context.currentFrame->remoteCameraAddress = engine.m_cameraAddress;
        return;
    }
    int position = KeyValuePosition(context);
    const int32_t on = ReadStatementInteger(context, position, &position);
    const int32_t port = ReadStatementInteger(context, position);
    engine.m_serverPort = port != 0 ? port : kCameraPortDefault;
    if (on)
        engine.StartCameraServerThread();
    else
        engine.StopCameraServerThread();
}

void HandleEnableWatchdog(ReadingContext& context)
{
    if (!InFrame(context) || !context.engine)
        return;
    CMainWnd& engine = *context.engine;
    int position = KeyValuePosition(context);
    engine.m_watchdogEnabled = ReadStatementInteger(context, position, &position);
    const int32_t port = ReadStatementInteger(context, position, &position);
    engine.m_watchdogPort = port != 0 ? port : kCameraPortDefault;
    position = ReadNextField(context.statement, position, engine.m_watchdogAddress);
    engine.m_watchdogTimer = 0.0f;
    if (position < context.length)
        CompileStatementCode(context, &engine.m_watchdogCode, context.statement + position + 1);
    engine.StartCameraEngineThread();
}

void HandleEnableUpdateIp(ReadingContext& context)
{
    if (!InFrame(context) || !context.engine || context.engine->m_loadsStopped)
        return;
    int position = KeyValuePosition(context);
    context.engine->m_ipUpdateInterval = ReadStatementFloat(context, position, &position);
    ReadNextField(context.statement, position, context.engine->m_ipUpdateAddress);
}

void HandleInvertMouse(ReadingContext& context)
{
    if (!InFrame(context))
        return;
    if (ReadStatementInteger(context, KeyValuePosition(context)) != 0)
        context.currentFrame->flags |= kInvertMouseBits;
    else
        context.currentFrame->flags &= ~kInvertMouseBits;
}

void HandleCloseOnKillFocus(ReadingContext& context)
{
    if (!InFrame(context) || !context.engine)
        return;
    const int32_t value = ReadStatementInteger(context, KeyValuePosition(context));
    context.engine->m_closeOnFocusLoss = value;
    context.engine->m_closeOnFocusLossNow = value != 0;
}

// The frame runs a toolbar command when it becomes current. Its entry code block is reused when
// the frame has one; a number that names another kind of item gets a block of its own.
void HandleAccionMenu(ReadingContext& context)
{
    const int32_t command = ReadNumber(context, KeyValuePosition(context));
    if (!InFrame(context))
        return;
    CFrame& frame = *context.currentFrame;
    CompiledCode* code = nullptr;
    if (frame.entryCode != 0) {
        ItemRecord* item = context.images->FindByNumber(frame.entryCode);
        if (item && item->type == ItemType::CompiledCode)
            code = static_cast<CompiledCode*>(item);
    }
    if (!code) {
        code = static_cast<CompiledCode*>(context.images->CreateItem(ItemType::CompiledCode));
        if (!code)
            return;
        frame.entryCode = static_cast<uint16_t>(code->number);
    }
    CTexto text;
    text.Format(kToolCommandFormat, command);
    CompileStatementCode(context, code, text.GetText());
}

void HandleAutoMode(ReadingContext& context)
{
    if (!InFrame(context))
        return;
    int position = KeyValuePosition(context);
    g_autoTourMode = ReadStatementInteger(context, position, &position);
    g_autoplayDelay = ReadStatementFloat(context, position, &position);
    g_autoTourTime = ReadStatementFloat(context, position, &position);
    if (position < context.length && context.statement[position] == ',')
        g_autoTourOrder = ReadStatementInteger(context, position);
}

void HandleSequenceFile(ReadingContext& context)
{
    if (!InFrame(context))
        return;
    CTexto name;
    ReadNextField(context.statement, KeyValuePosition(context), name);
    ResolvePath(name, &context.baseFolder, context.fallback);
    ValueItem* item = static_cast<ValueItem*>(context.images->CreateItem(ItemType::Value));
    if (!item)
        return;
    item->name = kSequenceFileItem;
    item->text = name;
    context.currentFrame->sequenceNumber = static_cast<uint16_t>(item->number);
}

bool HandleFlagKey(ReadingContext& context)
{
    for (const FlagKey& key : kFlagKeys) {
        const int length = static_cast<int>(std::strlen(key.key));
        if (_strnicmp(context.statement, key.key, length) != 0)
            continue;
        if (!InFrame(context))
            return true;
        CFrame& frame = *context.currentFrame;
        if (ReadNumber(context, length - 1) != 0)
            frame.flags |= key.bits;
        else
            frame.flags &= ~key.bits;
        frame.flagsGiven |= key.bits;
        return true;
    }
    return false;
}

}  // namespace

void AddFrameKeyHandlers(ReaderHandlers& handlers)
{
    auto set = [&handlers](K keyword, StatementHandler handler) {
        handlers.keywords[static_cast<int>(keyword)] = handler;
    };
    for (const FrameKey& key : kFrameKeys)
        set(key.keyword, HandleFrameKey);
    for (const ViewerKey& key : kViewerKeys)
        set(key.keyword, HandleViewerKey);
    set(K::MirrorConfig, HandleMirrorConfig);
    set(K::FovMode, HandleFovMode);
    set(K::CameraType, HandleCameraType);
    set(K::CameraParameters, HandleCameraParameters);
    set(K::ToolsBar, HandleToolsBar);
    set(K::BotonesBarras, HandleBotonesBarras);
    set(K::ErrorEvents, HandleErrorEvents);
    set(K::Transition, HandleTransition);
    set(K::UpdateState, HandleUpdateState);
    set(K::CheckState, HandleCheckState);
    set(K::BackColor, HandleBackColor);
    set(K::EnableServer, HandleEnableServer);
    set(K::EnableWatchdog, HandleEnableWatchdog);
    set(K::EnableUpdateIp, HandleEnableUpdateIp);
    set(K::InvertMouse, HandleInvertMouse);
    set(K::CloseOnKillFocus, HandleCloseOnKillFocus);
    set(K::AccionMenu, HandleAccionMenu);
    set(K::AutoMode, HandleAutoMode);
    set(K::SequenceFile, HandleSequenceFile);
    handlers.frameFlagKey = HandleFlagKey;
}
