// Parameter setters: each brings the engine in line with one viewer parameter.
#include "viewer/main_wnd.h"

#include <algorithm>
#include <cstring>
#include <string>

#include <commctrl.h>

#include "core/item_records.h"
#include "core/language.h"
#include "core/path_resolution.h"
#include "core/value_tokenizer.h"
#include "viewer/live_viewer_registry.h"

namespace {

constexpr float kMaxAcceleration = 1000.0f;
constexpr int32_t kCameraMotionTilt = 0x8;
constexpr int32_t kCameraMotionPan = 0x10;

// "language" words in table order; "hugarian" is the spelling parameters use.
struct LanguageWord {
    const char* word;
    int32_t index;
};
const LanguageWord kLanguageWords[] = {
    {"spanish", 0}, {"english", 1}, {"german", 2}, {"russian", 3}, {"romanian", 4},
    {"italian", 5}, {"dutch", 6}, {"brazilian", 7}, {"japanese", 8}, {"swedish", 9},
    {"czech", 10}, {"french", 11}, {"simplified chinese", 12}, {"chinese", 12},
    {"traditional chinese", 13}, {"finnish", 14}, {"polish", 15}, {"korean", 16},
    {"hugarian", 17}, {"slovak", 18}, {"norwegian", 19}, {"ukrainian", 20}, {"greek", 21},
    {"arabic", 22}, {"croatian", 23}, {"bulgarian", 24}, {"slovenian", 25}, {"turkish", 26},
    {"persian", 27}, {"serbian", 28}, {"urdu", 29},
};
constexpr int kMaxPluginNameLength = 50;
constexpr int32_t kControlResizeGrip = 4;
// Toolbar tips: slot i shows language line i + 24 unless the "barstrings" piece gives one; the
// close slot and the last menu slot have lines of their own.
constexpr int kFirstBarStringLine = 24;
constexpr int kSlotCloseButton = 9;
constexpr int kSlotMenuButton = 14;
constexpr int kCloseFullScreenLine = 33;
constexpr int kCloseLine = 67;
constexpr int kMenuLine = 32;
constexpr size_t kMaxBarStringLength = 255;
constexpr int kCloseImageBits = 24;

}  // namespace

void CMainWnd::SetRotationX(bool fromParameter)
{
    CopyParameter(m_params.rotationX, m_firstFrame.initialView[ViewTilt], OverrideInitialTilt,
                  fromParameter);
    if (m_initialized)
        ApplyRotation(m_params.rotationX, true);
}

void CMainWnd::SetRotationY(bool fromParameter)
{
    CopyParameter(m_params.rotationY, m_firstFrame.initialView[ViewPan], OverrideInitialPan,
                  fromParameter);
    if (m_initialized)
        ApplyRotation(m_params.rotationY, false);
}

void CMainWnd::CopyParameter(float& parameter, float& field, uint32_t overrideBit,
                             bool fromParameter)
{
    if (fromParameter) {
        field = parameter;
        m_firstFrame.overrides |= overrideBit;
    } else {
        parameter = field;
    }
}

// On an image grid the value picks a column (tilt) or row (pan); elsewhere it turns the camera.
void CMainWnd::ApplyRotation(float value, bool tilt)
{
    CFrame* frame = m_currentFrame;
    const int32_t count = tilt ? frame->gridColumns : frame->gridRows;
    if (frame->kind == FrameKindImageGrid && count > 0) {
        (tilt ? frame->gridColumn : frame->gridRow) = WrapGridIndex(value, count);
        frame->ShowGridImage(0);
    } else if (CameraState* camera = m_view.params->camera) {
        (tilt ? camera->tilt : camera->pan) = value;
        ClampCameraToLimits();
        m_cameraMotion &= ~(tilt ? kCameraMotionTilt : kCameraMotionPan);
    }
    m_changeCount++;
}

void CMainWnd::SetMinRotationX(bool fromParameter)
{
    CopyParameter(m_params.minRotationX, m_firstFrame.lowerLimits[ViewTilt], OverrideLowestTilt, fromParameter);
    if (m_initialized) {
        UpdateNavigationLimits(0);
        m_changeCount++;
    }
}

void CMainWnd::SetMaxRotationX(bool fromParameter)
{
    CopyParameter(m_params.maxRotationX, m_firstFrame.upperLimits[ViewTilt], OverrideHighestTilt, fromParameter);
    if (m_initialized) {
        UpdateNavigationLimits(0);
        m_changeCount++;
    }
}

void CMainWnd::SetMinRotationY(bool fromParameter)
{
    CopyParameter(m_params.minRotationY, m_firstFrame.lowerLimits[ViewPan], OverrideLowerPan, fromParameter);
    if (m_initialized) {
        UpdateNavigationLimits(0);
        m_changeCount++;
    }
}

void CMainWnd::SetMaxRotationY(bool fromParameter)
{
    CopyParameter(m_params.maxRotationY, m_firstFrame.upperLimits[ViewPan], OverrideUpperPan, fromParameter);
    if (m_initialized) {
        UpdateNavigationLimits(0);
        m_changeCount++;
    }
}

void CMainWnd::SetMinZoom(bool fromParameter)
{
    CopyParameter(m_params.minZoom, m_firstFrame.lowerLimits[ViewZoom], OverrideSmallestZoom, fromParameter);
    if (m_initialized) {
        UpdateZoomLimits(0);
        m_changeCount++;
    }
}

void CMainWnd::SetMaxZoom(bool fromParameter)
{
    CopyParameter(m_params.maxZoom, m_firstFrame.upperLimits[ViewZoom], OverrideLargestZoom, fromParameter);
    if (m_initialized) {
        UpdateZoomLimits(0);
        m_changeCount++;
    }
}

void CMainWnd::ApplyFovMode()
{
    // The words are compared with their case: "Horizontal" is not one of them.
    const char* mode = m_params.fovMode.GetText();
    if (!strcmp(mode, "horizontal")) {
        m_view.axisMode = 0;
        m_view.fixedVertical = 0;
    } else if (!strcmp(mode, "vertical")) {
        m_view.axisMode = 1;
        m_view.fixedVertical = 1;
    } else if (!strcmp(mode, "auto")) {
        m_view.axisMode = -1;
    } else {
        return;
    }
    m_view.UpdateProjection();
}

void CMainWnd::ApplySequenceFile()
{
    if (m_params.sequenceFile.GetLength() == 0)
        return;
    CTexto path = m_params.sequenceFile;
    ResolvePath(path, &m_basePath, nullptr);
    m_firstFrame.sequenceNumber = 1;
    m_firstFrame.cameras[0].pathState = CameraPathStartNearest;
    StartSequenceThread(path.GetText(), 0);
    ScheduleAutoplay(1);
}

void CMainWnd::ApplyMouseMode()
{
    m_currentFrame->mouseMode = m_params.mouseMode;
    m_currentFrame->overrides |= OverrideMouseMode;
}

void CMainWnd::ApplyHorizonPosition()
{
    if (!m_initialized)
        return;
    if (m_params.horizonPosition < 0.0f)
        m_params.horizonPosition = 0.0f;
    else if (m_params.horizonPosition > 100.0f)
        m_params.horizonPosition = 100.0f;
    PostToViewer(ViewerMessageFrameReady, reinterpret_cast<WPARAM>(m_currentFrame), 0);
}

void CMainWnd::ApplyFisheye()
{
    CameraState* camera = m_view.params->camera;
    if (!m_initialized || m_params.projection != kProjectionFisheye || !camera)
        return;
    // The division takes the previous fisheye factor out again; a pull-back at or below -200
    // (which no fisheye value gives) would divide by zero or flip the zoom: it counts as none.
    const float previous = camera->pullBack / 200.0f + 1.0f;
    if (previous > 0.0f)
        camera->zoom /= previous;
    camera->zoom *= m_params.fisheye + 1.0f;
    camera->pullBack = m_params.fisheye * 200.0f;
}

void CMainWnd::ApplyInterfaceFile()
{
    if (!m_initialized || m_params.interfaceFile == m_interfaceFile)
        return;
    CTexto command;
    if (command.Format("SetInterfaceFile(\"%s\");", m_params.interfaceFile.GetText()) > 0)
        RunCommandText(command.GetText(), false);
}

void CMainWnd::ClampAcceleration()
{
    if (m_params.acceleration > kMaxAcceleration)
        m_params.acceleration = kMaxAcceleration;
    else if (m_params.acceleration <= 0.0f)
        m_params.acceleration = 0.0f;
}

void CMainWnd::ApplyPluginName()
{
    const int length = m_params.pluginName.GetLength();
    if (length > 0 && length < kMaxPluginNameLength)
        SetLiveViewerName(this, m_params.pluginName.GetText());
}

void CMainWnd::SetFileList(const char* list, const char* extra, bool relative)
{
    CTexto text(list ? list : "");
    if (extra) {
        if (text.GetLength() > 0)
            text += ",";
        text += extra;
    }
    m_fileList.RemoveAll();
    m_timelineCount = 0;
    if (text.GetLength() == 0)
        return;
    if (CountFields(text.GetText(), ',') < 2) {
        m_documentFile = text;
        return;
    }
    CTexto field;
    CTexto folder;
    int position = -1;
    if (relative)
        position = ReadNextField(text.GetText(), position, folder, true);
    while (position < text.GetLength() && m_timelineCount < kMaxFileListEntries) {
        position = ReadNextField(text.GetText(), position, field, true);
        if (relative)
            ResolvePath(field, &folder, nullptr);
        ItemRecord* entry = m_fileList.CreateItem(ItemType::Value);
        if (!entry)
            break;
        static_cast<ValueItem*>(entry)->text = field;
        entry->value = field;
        m_timelineCount++;
    }
}

void CMainWnd::ApplyFilter()
{
    m_params.filter &= 1;
    ApplyTextureFiltering(m_params.filter);
    m_changeCount++;
}

void CMainWnd::ApplyResize()
{
    if (!m_initialized)
        return;
    if (!m_view.fullscreen)
        m_controlShown[kControlResizeGrip] = m_params.resize != 0 ? 1 : 0;
    m_changeCount++;
    m_hoverCode = 0;
}

void CMainWnd::FormatBarStrings(const char* list, int32_t closeButton,
                                CTexto (&texts)[kToolbarSlotCount])
{
    const char* rest = list ? list : "";
    for (int slot = 0; slot < kToolbarSlotCount; slot++) {
        const char* end = std::strchr(rest, ',');
        const size_t length = end ? static_cast<size_t>(end - rest) : std::strlen(rest);
        if (length > 0) {
            // A piece longer than a tip holds is cut.
            texts[slot] = std::string(rest, std::min(length, kMaxBarStringLength)).c_str();
        } else {
            int line = slot + kFirstBarStringLine;
            if (slot == kSlotCloseButton)
                line = closeButton == 1 ? kCloseLine : kCloseFullScreenLine;
            else if (slot == kSlotMenuButton)
                line = kMenuLine;
            texts[slot] = GetLanguageLine(line);
        }
        rest = end ? end + 1 : rest + length;
    }
}

void CMainWnd::ApplyBarStrings()
{
    if (!m_initialized || !m_tooltip || !m_tooltipOwner)
        return;
    CTexto texts[kToolbarSlotCount];
    FormatBarStrings(m_params.barStrings.GetText(), m_params.closeButton, texts);
    for (int slot = 0; slot < kToolbarSlotCount; slot++) {
        TTTOOLINFOA info = {};
        info.cbSize = sizeof info;
        info.hwnd = m_tooltipOwner;
        info.uId = static_cast<UINT_PTR>(slot + 1);
        info.lpszText = const_cast<char*>(texts[slot].GetText());
        SendMessageA(m_tooltip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&info));
    }
}

void CMainWnd::LoadCloseButtonImages()
{
    if (!m_initialized || m_params.closeImage.GetLength() == 0)
        return;
    const int comma = m_params.closeImage.Find(',');
    CTexto names[2];
    names[0] = m_params.closeImage;
    if (comma >= 0) {
        names[0] = m_params.closeImage.Mid(0, comma);
        names[1] = m_params.closeImage.Mid(comma + 1);
        m_params.closeImage = names[0];
    } else {
        names[1] = names[0];
    }
    for (int i = 0; i < 2; i++) {
        ResolvePath(names[i], &m_basePath, nullptr);
        m_closeButtonImages[i].LoadAsync(names[i].GetText(), kCloseImageBits);
    }
}

void CMainWnd::ApplyAboutUrl()
{
    if (m_params.aboutUrl.GetLength() == 0)
        return;
    CTexto page = m_params.aboutUrl;
    ResolvePath(page, &m_basePath, nullptr);
    m_aboutWnd.m_aboutUrl = page;
}

void CMainWnd::ApplyGrayscale()
{
    if (m_params.grayScale)
        m_view.params->stateBits |= StateGreyScale;
    else
        m_view.params->stateBits &= ~static_cast<uint32_t>(StateGreyScale);
    if (m_changeCount == 0)
        m_redrawRequest = 1;
}

void CMainWnd::ApplyFirstAutoplay()
{
    if (!m_initialized)
        return;
    float values[2] = {};
    ParseValueList(m_params.firstAutoplay.GetText(), -1, values, nullptr, 2, ',');
    // The autoplay start reads them the other way round.
    m_firstAutoplay[0] = values[1];
    m_firstAutoplay[1] = values[0];
}

void CMainWnd::ApplyFullscreen()
{
    if ((m_view.fullscreen != 0) != (m_params.fullScreen != 0))
        PostToViewer(ViewerMessageToggleFullScreen, 0, 1);
}

void CMainWnd::ResetToolbarState()
{
    if (!m_initialized)
        return;
    m_toolbarVisible = m_params.toolsBar ? 1 : 0;
    if (m_tooltipsEnabled)
        EmptyToolRectangles();
    LayoutToolbar(false, kToolbarBothEdges);
    m_hoverButton = -1;
    m_activeButton = -1;
    m_changeCount++;
    m_pressMoved = 1;
}

void CMainWnd::RestartAutoplay()
{
    ScheduleAutoplay(1);
}

void CMainWnd::ApplyLanguage()
{
    if (!m_initialized)
        return;
    int32_t index = -1;
    for (const LanguageWord& entry : kLanguageWords) {
        if (_stricmp(m_params.language.GetText(), entry.word) == 0) {
            index = entry.index;
            break;
        }
    }
    if (index < 0)
        index = DetectLanguage();
    if (index != g_languageIndex)
        SetLanguage(index);
}

void CMainWnd::SetLanguage(int32_t index)
{
    // The table itself; the menus, captions and toolbar tips follow it as they come.
    if (LoadLanguage(index))
        g_languageIndex = index;
}

int32_t WrapGridIndex(float value, int32_t count)
{
    if (count <= 0)
        return 0;
    const int32_t whole = static_cast<int32_t>(value);
    const int32_t index = whole % count;
    return index < 0 ? index + count : index;
}
