// Parameter setters: each brings the engine in line with one viewer parameter.
#include "viewer/main_wnd.h"

#include "core/item_records.h"
#include "core/path_resolution.h"
#include "core/value_tokenizer.h"
#include "viewer/live_viewer_registry.h"

namespace {

constexpr float kMaxAcceleration = 1000.0f;
constexpr int kMaxPluginNameLength = 50;

}  // namespace

void CMainWnd::SetRotationX(bool)
{
    // Not built yet: does nothing (the initial tilt stays the empty scene's own).
}

void CMainWnd::SetRotationY(bool)
{
    // Not built yet: does nothing (the initial pan stays the empty scene's own).
}

void CMainWnd::SetMinRotationX(bool)
{
    // Not built yet: does nothing (the tilt limits stay the empty scene's own).
}

void CMainWnd::SetMaxRotationX(bool)
{
    // Not built yet: does nothing (the tilt limits stay the empty scene's own).
}

void CMainWnd::SetMinRotationY(bool)
{
    // Not built yet: does nothing (the pan limits stay the empty scene's own).
}

void CMainWnd::SetMaxRotationY(bool)
{
    // Not built yet: does nothing (the pan limits stay the empty scene's own).
}

void CMainWnd::SetMinZoom(bool)
{
    // Not built yet: does nothing (the zoom limits stay the empty scene's own).
}

void CMainWnd::SetMaxZoom(bool)
{
    // Not built yet: does nothing (the zoom limits stay the empty scene's own).
}

void CMainWnd::ApplyZoom(bool)
{
    // Not built yet: does nothing (the active camera keeps its zoom).
}

void CMainWnd::ApplyFovMode()
{
    // Not built yet: does nothing (the view keeps its field-of-view mode).
}

void CMainWnd::ApplySequenceFile()
{
    // Not built yet: does nothing (no camera sequence is loaded).
}

void CMainWnd::ApplyMouseMode()
{
    // Not built yet: does nothing (the current frame keeps its mouse mode).
}

void CMainWnd::ApplyHorizonPosition()
{
    // Not built yet: does nothing (the frame is not laid out again).
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
    // Not built yet: does nothing (no interface script is read).
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
    // Not built yet: does nothing (the device filters textures as it was made to).
}

void CMainWnd::ApplyResize()
{
    // Not built yet: does nothing (the toolbar has no resize grip yet).
}

void CMainWnd::ApplyBarStrings()
{
    // Not built yet: does nothing (the toolbar has no tooltips yet).
}

void CMainWnd::ApplyAboutUrl()
{
    // Not built yet: does nothing (there is no about window yet).
}

void CMainWnd::ApplyGrayscale()
{
    // Not built yet: does nothing (the device has no grey-scale output yet).
}

void CMainWnd::ApplyFirstAutoplay()
{
    // Not built yet: does nothing (autoplay has no first values yet).
}

void CMainWnd::ApplyFullscreen()
{
    // Not built yet: does nothing (the view has no full-screen state yet).
}

void CMainWnd::ResetToolbarState()
{
    // Not built yet: does nothing (the built-in toolbar keeps its state).
}
