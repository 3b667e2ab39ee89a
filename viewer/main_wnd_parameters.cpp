// The viewer parameters: the parameter text split into name/value items, and the items stored
// into the engine's parameter members by the key table.
#include "viewer/main_wnd.h"

#include <cstring>

#include "core/item_records.h"
#include "core/text_convert.h"
#include "core/value_tokenizer.h"

std::atomic<int32_t> g_pluginColor{kDefaultPluginColor};

namespace {

// What a key does besides storing its value.
enum class KeyAction {
    None,
    Document,        // "file", "src", "data": the document choice of the end of the walk
    InvertPano,      // also switches the projection
    Synchronism,
    PluginColor,     // process-wide, not an engine member
    RelMouseMove,    // into the empty scene
    ViewerTitle,     // engine members of their own
    InstanceName,
    ViewerWidth,
    ViewerHeight,
    WidthSaveView,
    HeightSaveView,
    RotationX,
    RotationY,
    MinRotationX,
    MaxRotationX,
    MinRotationY,
    MaxRotationY,
    MinZoom,
    MaxZoom,
    Zoom,
    FovMode,
    SequenceFile,
    MouseMode,
    HorizonPosition,
    Fisheye,
    InterfaceFile,
};

enum class ValueKind { Text, Number, Float, None };

struct ParameterKey {
    const char* name;
    ValueKind kind;
    CTexto ViewerParameters::*text;
    int32_t ViewerParameters::*number;   // numbers and colours
    float ViewerParameters::*real;
    KeyAction action;
};

constexpr ParameterKey Text(const char* name, CTexto ViewerParameters::*member,
                            KeyAction action = KeyAction::None)
{
    return {name, ValueKind::Text, member, nullptr, nullptr, action};
}

constexpr ParameterKey Number(const char* name, int32_t ViewerParameters::*member,
                              KeyAction action = KeyAction::None)
{
    return {name, ValueKind::Number, nullptr, member, nullptr, action};
}

constexpr ParameterKey Real(const char* name, float ViewerParameters::*member,
                            KeyAction action = KeyAction::None)
{
    return {name, ValueKind::Float, nullptr, nullptr, member, action};
}

// A key whose value lives outside the parameter members.
constexpr ParameterKey Outside(const char* name, KeyAction action)
{
    return {name, ValueKind::None, nullptr, nullptr, nullptr, action};
}

using P = ViewerParameters;

// Keys compare without regard to case. Colours are numbers with another meaning.
const ParameterKey kParameterKeys[] = {
    Text("file", &P::file, KeyAction::Document),
    Text("src", &P::src, KeyAction::Document),
    Text("data", &P::data, KeyAction::Document),
    Text("filetype", &P::fileType),
    Text("files", &P::files),
    Number("filter", &P::filter),
    Number("postfilter", &P::postFilter),
    Number("synchronism", &P::synchronism, KeyAction::Synchronism),
    Real("velocity", &P::velocity),
    Real("zoomvelocity", &P::zoomVelocity),
    Real("acceleration", &P::acceleration),
    Number("menu", &P::menu),
    Number("toolsbar", &P::toolsBar),
    Number("fullscreen", &P::fullScreen),
    Number("resize", &P::resize),
    Number("invertpano", &P::invertPano, KeyAction::InvertPano),
    Real("rotationx", &P::rotationX, KeyAction::RotationX),
    Real("rotationy", &P::rotationY, KeyAction::RotationY),
    Real("minrotationx", &P::minRotationX, KeyAction::MinRotationX),
    Real("maxrotationx", &P::maxRotationX, KeyAction::MaxRotationX),
    Real("minrotationy", &P::minRotationY, KeyAction::MinRotationY),
    Real("maxrotationy", &P::maxRotationY, KeyAction::MaxRotationY),
    Real("minzoom", &P::minZoom, KeyAction::MinZoom),
    Real("maxzoom", &P::maxZoom, KeyAction::MaxZoom),
    Real("zoom", &P::zoom, KeyAction::Zoom),
    Text("fovmode", &P::fovMode, KeyAction::FovMode),
    Text("stamp", &P::stamp),
    Text("stamplink", &P::stampLink),
    Text("barstrings", &P::barStrings),
    Text("abouturl", &P::aboutUrl),
    Text("logo", &P::logo),
    Text("logoshadow", &P::logoShadow),
    Number("logoalpha", &P::logoAlpha),
    Text("logourl", &P::logoUrl),
    Number("bgcolor", &P::bgColor),
    Outside("plugincolor", KeyAction::PluginColor),
    Outside("relmousemove", KeyAction::RelMouseMove),
    Number("grayscale", &P::grayScale),
    Text("required", &P::required),
    Text("name", &P::name),
    Text("id", &P::name),
    Text("pluginname", &P::pluginName),
    Text("plugincamera", &P::pluginCamera),
    Real("autoplay", &P::autoplay),
    Text("sequencefile", &P::sequenceFile, KeyAction::SequenceFile),
    Number("projection", &P::projection),
    Text("projectionfile", &P::projectionFile),
    Number("screensaver", &P::screensaver),
    Number("accessibility", &P::accessibility),
    Number("progressbar", &P::progressBar),
    Number("activebuttons", &P::activeButtons),
    Text("language", &P::language),
    Number("allowhalfvideo", &P::allowHalfVideo),
    Text("fullscreensrc", &P::fullScreenSrc),
    Text("fullscreensuffix", &P::fullScreenSuffix),
    Real("autoplayspeed", &P::autoplaySpeed),
    Number("autoplaytimelapse", &P::autoplayTimelapse),
    Number("mousemode", &P::mouseMode, KeyAction::MouseMode),
    Real("vramrequired", &P::vramRequired),
    Text("firstautoplay", &P::firstAutoplay),
    Text("closeimage", &P::closeImage),
    Text("firstobject", &P::firstObject),
    Real("horizonposition", &P::horizonPosition, KeyAction::HorizonPosition),
    Real("fisheye", &P::fisheye, KeyAction::Fisheye),
    Text("interfacefile", &P::interfaceFile, KeyAction::InterfaceFile),
    Number("windowless", &P::windowless),
    Number("interface", &P::interfaceMode),
    Number("viewerwidth", &P::viewerWidth, KeyAction::ViewerWidth),
    Number("viewerheight", &P::viewerHeight, KeyAction::ViewerHeight),
    Number("widthsaveview", &P::widthSaveView, KeyAction::WidthSaveView),
    Number("heightsaveview", &P::heightSaveView, KeyAction::HeightSaveView),
    Number("maximize", &P::maximize),
    Number("closebutton", &P::closeButton),
    Number("viewerposx", &P::viewerPosX),
    Number("viewerposy", &P::viewerPosY),
    Number("vieweralign", &P::viewerAlign),
    Number("viewertopmost", &P::viewerTopmost),
    Number("exitkey", &P::exitKey),
    Outside("viewertitle", KeyAction::ViewerTitle),
    Number("oneinstance", &P::oneInstance),
    Outside("instancename", KeyAction::InstanceName),
    Text("interfacecode", &P::interfaceCode),
    Number("dragdrop", &P::dragDrop),
    Number("disablescreensaver", &P::disableScreensaver),
    Number("reload", &P::reload),
};

const ParameterKey* FindParameterKey(const CTexto& name)
{
    for (const ParameterKey& key : kParameterKeys) {
        if (lstrcmpiA(key.name, name.GetText()) == 0)
            return &key;
    }
    return nullptr;
}

// "true"/"yes" become "1" and "false"/"no" become "0", for every key.
void RewriteTruthWords(CTexto& value)
{
    const char* text = value.GetText();
    if (lstrcmpiA(text, "true") == 0 || lstrcmpiA(text, "yes") == 0)
        value = "1";
    else if (lstrcmpiA(text, "false") == 0 || lstrcmpiA(text, "no") == 0)
        value = "0";
}

int32_t Clamp(int32_t value, int32_t low, int32_t high)
{
    return value < low ? low : (value > high ? high : value);
}

bool IsBlankWord(const CTexto& word)
{
    for (int i = 0; i < word.GetLength(); i++) {
        if (word.GetAt(i) != ' ')
            return false;
    }
    return true;
}

}  // namespace

void CMainWnd::ParseParameterList(const char* text, CObjeto& list)
{
    list.RemoveAll();
    if (!text)
        return;
    const int length = static_cast<int>(std::strlen(text));
    CTexto word;
    CTexto name;
    CTexto value;
    for (int position = -1; position + 1 < length;) {
        position = ReadNextField(text, position, word, true, ' ');
        // Runs of blanks and a blank after a comma leave empty words: they name nothing.
        if (IsBlankWord(word))
            continue;
        const int equals = ReadNextField(word.GetText(), -1, name, true, '=');
        if (equals < word.GetLength())
            ReadNextField(word.GetText(), equals, value, true, kFieldSeparatorComma);
        else
            value = "";
        // Parameter items share the code of text objects; only their name and value are used.
        ItemRecord* item = list.CreateItem(ItemType::TextObject);
        if (!item)
            return;
        item->name = name;
        item->value = value;
    }
}

void CMainWnd::ApplyParameters(CObjeto& list)
{
    bool sourceTaken = false;
    bool fileGiven = false;
    CTexto value;
    for (int32_t index = 0;; index++) {
        ItemRecord* item = list.GetItem(index);
        if (!item)
            break;
        value = item->value;
        RewriteTruthWords(value);
        const ParameterKey* key = FindParameterKey(item->name);
        if (!key) {
            // A bare word (a file name on the command line) is the document, unless a "src" or
            // "data" key has already named one.
            if (!sourceTaken)
                m_params.src = item->name;
            continue;
        }
        switch (key->kind) {
        case ValueKind::Text:
            m_params.*(key->text) = value;
            break;
        case ValueKind::Number:
            m_params.*(key->number) = ParseNumberOrColor(value.GetText());
            break;
        case ValueKind::Float:
            m_params.*(key->real) = ParseFloat(value.GetText());
            break;
        case ValueKind::None:
            break;
        }

        switch (key->action) {
        case KeyAction::None:
            break;
        case KeyAction::Synchronism:
            // A new synchronism setting is tried afresh by the device.
            m_view.verticalSyncRetry = 0;
            break;
        case KeyAction::Document:
            if (key->text == &P::file) {
                fileGiven = true;
            } else {
                m_params.src = value;
                sourceTaken = true;
            }
            break;
        case KeyAction::InvertPano:
            if (m_params.invertPano)
                m_params.projection = kProjectionInverted;
            break;
        case KeyAction::PluginColor:
            g_pluginColor = ParseNumberOrColor(value.GetText());
            break;
        case KeyAction::RelMouseMove:
            m_firstFrame.relMouseMove = ParseNumberOrColor(value.GetText());
            break;
        case KeyAction::ViewerTitle:
            m_viewerTitle = value;
            break;
        case KeyAction::InstanceName:
            m_instanceName = value;
            break;
        case KeyAction::ViewerWidth:
            if (m_params.viewerWidth < kMinViewerWidth)
                m_params.viewerWidth = kMinViewerWidth;
            break;
        case KeyAction::ViewerHeight:
            if (m_params.viewerHeight < kMinViewerHeight)
                m_params.viewerHeight = kMinViewerHeight;
            break;
        case KeyAction::WidthSaveView:
            m_params.widthSaveView = Clamp(m_params.widthSaveView, kMinViewerWidth, kMaxSaveViewSize);
            break;
        case KeyAction::HeightSaveView:
            m_params.heightSaveView = Clamp(m_params.heightSaveView, kMinViewerHeight, kMaxSaveViewSize);
            break;
        case KeyAction::RotationX: SetRotationX(true); break;
        case KeyAction::RotationY: SetRotationY(true); break;
        case KeyAction::MinRotationX: SetMinRotationX(true); break;
        case KeyAction::MaxRotationX: SetMaxRotationX(true); break;
        case KeyAction::MinRotationY: SetMinRotationY(true); break;
        case KeyAction::MaxRotationY: SetMaxRotationY(true); break;
        case KeyAction::MinZoom: SetMinZoom(true); break;
        case KeyAction::MaxZoom: SetMaxZoom(true); break;
        case KeyAction::Zoom: ApplyZoom(true); break;
        case KeyAction::FovMode: ApplyFovMode(); break;
        case KeyAction::SequenceFile: ApplySequenceFile(); break;
        case KeyAction::MouseMode: ApplyMouseMode(); break;
        case KeyAction::HorizonPosition: ApplyHorizonPosition(); break;
        case KeyAction::Fisheye: ApplyFisheye(); break;
        case KeyAction::InterfaceFile: ApplyInterfaceFile(); break;
        }
    }

    m_documentFile = fileGiven ? m_params.file : m_params.src;
    if (m_params.fileType.GetLength() > 0) {
        m_documentFile += "#";
        m_documentFile += m_params.fileType;
    }
}

void CMainWnd::SetBasePath(CTexto& path)
{
    UrlToPath(path.GetText(), true);
    // The conversion works in the buffer; the text's length follows its terminator.
    path = CTexto(path.GetText());
    m_basePath = path;
}

void CMainWnd::PostApplyParameters()
{
    if (!m_initialized)
        return;
    m_drawingSuspended = 1;
    // Several requests before the document opening handles the first open the document once.
    if (!m_applyPosted.exchange(1))
        PostToViewer(ViewerMessageApplyParameters, 0, 0);
}
