// The keyword entries of the script reader in the order it tests them, and the program's own
// statement handlers.
#include <cstring>

#include "core/value_tokenizer.h"
#include "script/compiler.h"
#include "script/reader.h"
#include "script/reader_handlers.h"
#include "viewer/main_wnd.h"
#include "sources/frame.h"

namespace {

using K = ReaderKeyword;

const ReaderKeywordSpelling kSpellings[kReaderKeywordCount] = {
    {K::Type, {"TIPO=", "TYPE="}, nullptr},
    {K::Description, {"DESCRIPTION="}, nullptr},
    {K::Rot, {"ROT="}, nullptr},
    {K::Pos, {"POS="}, nullptr},
    {K::Size, {"SIZE="}, nullptr},
    {K::RefreshRate, {"REFRESHRATE="}, nullptr},
    {K::TimeRate, {"TIMERATE="}, nullptr},
    {K::MaskFile, {"MASKFILE="}, nullptr},
    {K::Loaded, {"LOADED="}, nullptr},
    {K::LoadSound, {"LOADSOUND="}, nullptr},
    {K::Zoom, {"ZOOM="}, nullptr},
    {K::FovMode, {"FOVMODE="}, nullptr},
    {K::PartialWidth, {"PARTIALWIDTH="}, nullptr},
    {K::LimRotX, {"LIMROTX="}, nullptr},
    {K::LimRotY, {"LIMROTY="}, nullptr},
    {K::LimPosX, {"LIMPOSX="}, nullptr},
    {K::LimPosZ, {"LIMPOSZ="}, nullptr},
    {K::LimZoom, {"LIMZOOM="}, nullptr},
    {K::MirrorConfig, {"MIRRORCONFIG="}, nullptr},
    {K::FisheyesConfig, {"FISHEYESCONFIG="}, nullptr},
    {K::CameraType, {"CAMERATYPE="}, nullptr},
    {K::ExposureTable, {"EXPOSURETABLE="}, nullptr},
    {K::CameraParameters, {"CAMERAPARAMETERS="}, nullptr},
    {K::Profundidad, {"PROFUNDIDAD="}, nullptr},
    {K::AlturaCamara, {"ALTURACAMARA="}, nullptr},
    {K::PosBrujula, {"POSBRUJULA="}, nullptr},
    {K::Projection, {"PROJECTION="}, nullptr},
    {K::Fisheye, {"FISHEYE="}, nullptr},
    {K::ToolsBar, {"BARRASVISIBLES=", "TOOLSBAR="}, nullptr},
    {K::ProgressBar, {"PROGRESSBAR="}, nullptr},
    {K::BotonesBarras, {"BOTONESBARRAS="}, nullptr},
    {K::ActiveButtons, {"ACTIVEBUTTONS="}, nullptr},
    {K::ErrorEvents, {"ERROREVENTS="}, nullptr},
    {K::ConfigMenu, {"CONFIGMENU="}, nullptr},
    {K::MenuOption, {"OPCIONMENU=", "MENUOPTION="}, nullptr},
    {K::Target, {"TARGET="}, nullptr},
    {K::Transition, {"TRANSITION="}, nullptr},
    {K::File, {"FILE="}, nullptr},
    {K::UpdateState, {"UPDATESTATE="}, nullptr},
    {K::CheckState, {"CHECKSTATE="}, nullptr},
    {K::Node, {"NODO1=", "NODO1UTM=", "NODO="}, nullptr},
    {K::Button,
     {"BUTTON=", "BUTTON3D=", "BUTTON3DUTM=", "ROTBUTTON=", "ROTBUTTON3D=", "SLIDER="},
     nullptr},
    {K::AddEvent, {"ADDEVENT="}, nullptr},
    {K::SetTimer, {"SETTIMER="}, nullptr},
    {K::PropertyCode,
     {"ACTIVITYCODE=", "PROPERTYCODE=", "PROPERTYCODE2=", "PROPERTYCODE3="},
     nullptr},
    {K::Key, {"KEY="}, nullptr},
    {K::EventsWindow, {"EVENTSWINDOW=", "EVENTSWINDOW3D="}, nullptr},
    {K::Joystick, {"JOYSTICK="}, nullptr},
    {K::Font, {"FONT="}, nullptr},
    {K::Text, {"TEXT"}, "TEXTURAS"},
    {K::BackColor, {"COLORFONDO=", "BGCOLOR="}, nullptr},
    {K::Width, {"WIDTH="}, nullptr},
    {K::MouseMode, {"MODOCAMARA=", "MOUSEMODE="}, nullptr},
    {K::HorizonPosition, {"HORIZONPOSITION="}, nullptr},
    {K::Autoplay, {"AUTOPLAY="}, nullptr},
    {K::FirstAutoplay, {"FIRSTAUTOPLAY="}, nullptr},
    {K::Velocity, {"VELOCITY="}, nullptr},
    {K::ZoomVelocity, {"ZOOMVELOCITY="}, nullptr},
    {K::Acceleration, {"ACCELERATION="}, nullptr},
    {K::AutoplaySpeed, {"AUTOPLAYSPEED="}, nullptr},
    {K::EnableKeyboard, {"ENABLEKEYBOARD="}, nullptr},
    {K::EnableTouchScreen, {"ENABLETOUCHSCREEN="}, nullptr},
    {K::EnableServer, {"ENABLESERVER="}, nullptr},
    {K::EnableUpdater, {"ENABLEUPDATER="}, nullptr},
    {K::EnableWatchdog, {"ENABLEWATCHDOG="}, nullptr},
    {K::EnableUpdateIp, {"ENABLEUPDATEIP="}, nullptr},
    {K::ShowObjectsAlways, {"SHOWOBJECTSALWAYS="}, nullptr},
    {K::MinFrameTime, {"MINFRAMETIME="}, nullptr},
    {K::YoutubeEvent, {"YOUTUBEEVENT="}, nullptr},
    {K::PanEvent, {"PANEVENT="}, nullptr},
    {K::InvertMouse, {"INVERTMOUSE="}, nullptr},
    {K::OneMouseButton, {"ONEMOUSEBUTTON="}, nullptr},
    {K::DisableRightButton, {"DISABLERIGHTBUTTON="}, nullptr},
    {K::OffsetXObject, {"OFFSETXOBJECT="}, nullptr},
    {K::CloseOnKillFocus, {"CLOSESCR_KILLFOCUS="}, nullptr},
    {K::CloseOnKeyboard, {"CLOSESCR_KEYBOARD="}, nullptr},
    {K::CloseOnMouseMove, {"CLOSESCR_MOUSEMOVE="}, nullptr},
    {K::CloseOnMouseClick, {"CLOSESCR_MOUSECLICK="}, nullptr},
    {K::AccionMenu, {"ACCIONMENU="}, nullptr},
    {K::Menu, {"MENU="}, nullptr},
    {K::LensFlare, {"LENSFLARE="}, nullptr},
    {K::NodeStyle,
     {"IMAGENODO=", "FLAGSIMAGENODO=", "FONTCOLOR=", "FONTSIZE=", "FONTNAME=", "FONTBGCOLOR="},
     nullptr},
    {K::AutoMode, {"AUTOMODE="}, nullptr},
    {K::AutoModeTime, {"AUTOMODETIME="}, nullptr},
    {K::FlagsImage, {"FLAGSIMAGE="}, nullptr},
    {K::AlphaImage, {"ALPHAIMAGE="}, nullptr},
    {K::Image, {"IMAGE", "COMPASS=", "BROWSER="}, nullptr},
    {K::LineUtm, {"3DLINEUTM="}, nullptr},
    {K::SequenceFile, {"SEQUENCEFILE="}, nullptr},
    {K::ViewerWindow, {"VIEWERWINDOW="}, nullptr},
};

bool StartsWithNoCase(const char* text, const char* prefix)
{
    return _strnicmp(text, prefix, std::strlen(prefix)) == 0;
}

// Each keyword group fills its own entries; an entry no group fills ignores its statements.
ReaderHandlers MakeBuiltInHandlers()
{
    ReaderHandlers handlers;
    AddSectionHandlers(handlers);
    AddFrameKeyHandlers(handlers);
    AddObjectHandlers(handlers);
    return handlers;
}

}  // namespace

const ReaderKeywordSpelling* ReaderKeywordSpellings()
{
    return kSpellings;
}

ReaderKeyword MatchReaderKeyword(const char* statement, int* spelling)
{
    // Spellings are upper case: the first letter rules most of them out at once.
    char first = statement[0];
    if (first >= 'a' && first <= 'z')
        first = static_cast<char>(first - 'a' + 'A');
    for (const ReaderKeywordSpelling& entry : kSpellings) {
        for (int i = 0; i < 7 && entry.spellings[i]; i++) {
            if (entry.spellings[i][0] != first || !StartsWithNoCase(statement, entry.spellings[i]))
                continue;
            if (entry.exclude && StartsWithNoCase(statement, entry.exclude))
                continue;
            if (spelling)
                *spelling = i;
            return entry.keyword;
        }
    }
    return ReaderKeyword::Count;
}

int KeyValuePosition(const ReadingContext& context)
{
    const int keyword = static_cast<int>(context.keyword);
    if (keyword < 0 || keyword >= kReaderKeywordCount || context.spelling < 0 ||
        context.spelling >= 7 || !kSpellings[keyword].spellings[context.spelling])
        return -1;
    return static_cast<int>(std::strlen(kSpellings[keyword].spellings[context.spelling])) - 1;
}

int32_t ReadStatementInteger(const ReadingContext& context, int position, int* next)
{
    int32_t value = 0;
    const int end =
        ParseValueList(context.statement, position, nullptr, &value, 1, kFieldSeparatorComma);
    if (next)
        *next = end;
    return value;
}

float ReadStatementFloat(const ReadingContext& context, int position, int* next)
{
    float value = 0.0f;
    const int end =
        ParseValueList(context.statement, position, &value, nullptr, 1, kFieldSeparatorComma);
    if (next)
        *next = end;
    return value;
}

void CompileStatementCode(ReadingContext& context, CompiledCode* code, const char* text)
{
    if (context.engine)
        context.engine->CompileCommands(code, text, &context.baseFolder);
    else
        CompileCommandText(code, text, &context.baseFolder, context.fallback);
}

const ReaderHandlers& BuiltInReaderHandlers()
{
    static const ReaderHandlers handlers = MakeBuiltInHandlers();
    return handlers;
}

CObjeto& ReadingContext::ObjectsOf(CFrame* frame)
{
    if (frame && frame == target && targetObjects)
        return *targetObjects;
    return frame->objects;
}
