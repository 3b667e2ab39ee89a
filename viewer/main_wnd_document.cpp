// Opening a document: every request to show something new (start-up, a file opened or dropped,
// a second instance, a script command) ends here, in the handler of ApplyParameters.
#include "viewer/main_wnd.h"

#include <clocale>
#include <cstring>

#include "core/item_records.h"
#include "core/object_item.h"
#include "core/path_resolution.h"
#include "platform/window.h"

namespace {

constexpr int32_t kSingleImageGrid = 10;
constexpr int32_t kModelVertexColour = 0x646464;
// The toolbar slot a new document leaves as it is.
constexpr int kSlotKeptPressed = 8;
constexpr const char* kHideVideoControls = "ShowGroup('','',0,'videocontrols')";

bool ExtensionIs(const char* extension, const char* const* list)
{
    for (; *list; list++) {
        if (_stricmp(extension, *list) == 0)
            return true;
    }
    return false;
}

}  // namespace

DocumentKind ClassifyDocument(const char* name)
{
    static const char* const kModels[] = {"3ds", nullptr};
    static const char* const kTours[] = {"txt", "kzr", "cam", "mov", nullptr};
    static const char* const kMovies[] = {"swf", "avi", "mpg", "mkv", nullptr};
    if (!name || !*name)
        return DocumentKind::None;
    const size_t length = std::strlen(name);
    const char* extension = length >= 3 ? name + length - 3 : name;
    if (ExtensionIs(extension, kModels))
        return DocumentKind::Model;
    if (ExtensionIs(extension, kTours))
        return DocumentKind::Tour;
    if (ExtensionIs(extension, kMovies))
        return DocumentKind::Movie;
    return DocumentKind::StillImage;
}

LRESULT CMainWnd::OpenDocument(WPARAM, LPARAM)
{
    setlocale(LC_NUMERIC, "C");
    StopUpdateLoop();
    // No Redraw is posted from here until the update loop runs again.
    m_drawingSuspended = 1;
    CancelActivity();
    ClearScene(true);
    SelectRenderBackEnd(g_preferredBackEnd, false);

    if (m_params.files.GetLength() > 0) {
        const CTexto document = m_documentFile;
        SetFileList(document.GetText(), m_params.files.GetText(), false);
        if (m_documentFile.GetLength() == 0) {
            if (ItemRecord* first = m_fileList.GetItem(0))
                m_documentFile = static_cast<ValueItem*>(first)->text;
        }
    }
    m_scriptFile = m_documentFile;
    ResolvePath(m_scriptFile, &m_basePath, nullptr);

    ShowMessageBox(2);
    ResetToolbarControls();

    // The parameters through their setters; the limits take the values in force back.
    ResetNavigationLimits();
    ApplyFilter();
    ClampVelocity();
    ClampAcceleration();
    ResetToolbarState();
    ApplyResize();
    SetRotationX(false);
    SetRotationY(false);
    SetMinRotationX(false);
    SetMaxRotationX(false);
    SetMinRotationY(false);
    SetMaxRotationY(false);
    SetMinZoom(false);
    SetMaxZoom(false);
    ApplyZoom(false);
    ApplyBarStrings();
    ApplyAboutUrl();
    ApplyPluginName();
    ApplyGrayscale();
    ApplyFirstAutoplay();
    ApplyInterfaceFile();
    ApplyFovMode();

    // The engine's state for the new document.
    m_firstFrame.initialView[ViewRoll] = m_rotationZ;
    m_appliedProjection = 0;
    m_cursorMode = m_closeOnInput ? -1 : 0;
    m_changeCount = 0;
    m_autoTour = 0;
    if (m_viewfinderOn)
        ToggleViewfinder();
    RestartFrameRate();
    m_toolbarVisible = m_params.toolsBar ? 1 : 0;
    m_nodeHotspotCount = 0;
    SetToolbarButtons();
    for (int slot = 0; slot < kToolbarSlotCount; slot++) {
        if (slot != kSlotKeptPressed)
            m_buttonPressed[slot] = 0;
    }
    if (CameraState* camera = m_view.params->camera)
        camera->x = camera->y = camera->z = 0.0f;
    m_view.SetRenderState(RenderStateZBuffer, 0);
    m_view.SetRenderState(RenderStateLighting, 0);
    m_view.params->stateBits &= ~static_cast<uint32_t>(StateRowsContinue);
    m_currentFrame->modelScale = 1.0f;

    const DocumentKind kind = ClassifyDocument(m_scriptFile.GetText());
    CFrame* frame = m_currentFrame;
    switch (kind) {
    case DocumentKind::None:
        break;
    case DocumentKind::Model:
        if (m_view.Load3DS(m_scriptFile.GetText(), frame, kModelVertexColour))
            PostToViewer(ViewerMessageFrameReady, reinterpret_cast<WPARAM>(frame), 0);
        break;
    case DocumentKind::Tour:
        m_timelineCount = 0;
        frame->StartLoading(m_scriptFile.GetText(), m_messageWnd, ViewerMessageFrameReady);
        break;
    case DocumentKind::StillImage: {
        // The picture gets an image item of its own, which the frame's only object shows.
        ImageItem* image = static_cast<ImageItem*>(m_images[0].CreateItem(ItemType::Image));
        if (image) {
            image->name = m_scriptFile;
            image->value = m_scriptFile;
            image->sprite.fileName = m_scriptFile;
            image->sprite.backColour = m_params.bgColor;
            frame->ClearObjects();
            ObjectItem* object =
                static_cast<ObjectItem*>(frame->objects.CreateItem(ItemType::EngineObject));
            if (object) {
                object->number = image->number;
                object->level = 0;
            }
        }
        // Then loaded like a movie.
        [[fallthrough]];
    }
    case DocumentKind::Movie:
        frame->CreateGeometry(FrameKindSpherical, 1, kSingleImageGrid, kSingleImageGrid, 0);
        LoadSingleImage(frame);
        break;
    }

    if (!m_params.fullScreen)
        FocusView();
    ApplyFullscreen();
    ApplySequenceFile();
    RunCommandText(kHideVideoControls, false);

    LayoutToolbar(true, kToolbarBothEdges);
    m_changeCount++;
    m_toolbarDirty = 1;

    StartUpdateLoop();
    ScheduleAutoplay(1);
    m_drawingSuspended = 0;
    m_applyPosted = 0;
    if (m_hostWnd)
        SendMessageToDescendants(m_hostWnd, WM_SHOWWINDOW, SW_SHOW, 0, true);
    return 1;
}
