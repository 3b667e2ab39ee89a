// Frame switching: moving from one frame of the tour to another (what the frame left keeps or
// gives back, how the frame entered is made resident and shown, how a running fade is cut short,
// when the host hears "panorama"), the frame's object passes, returning to the empty scene and
// cancelling what runs in the background.
#include "viewer/main_wnd.h"

#include <cstring>

#include "core/item_records.h"
#include "core/object_item.h"
#include "core/worker_threads.h"

namespace {

// Poll of the wait for the drawing pass in progress.
constexpr int kSwitchPollMs = 10;
// A fade that waits for its entering frame to load before it starts.
constexpr int32_t kTransitionWaitForLoad = 2;
// The fade's states: 1 and 2 before it fades, 3 fading.
constexpr int32_t kTransitionFading = 3;
constexpr int32_t kOpaque = 255;
// Seconds per frame of the automatic tour when neither the frame nor the script gives them.
constexpr float kDefaultTourSeconds = 30.0f;
// Loads an image gets before the passes stop asking for it.
constexpr int kMaxLoadRequests = 10;
constexpr uint32_t kLoadRequestBits = SpriteLoadEnabled | SpriteLoadWanted;
constexpr UINT kViewerWindowClassStyle = CS_HREDRAW | CS_VREDRAW;

bool HasMesh(const CFrame* frame)
{
    return frame->meshCount > 0 && frame->meshes[0] != nullptr;
}

// The part of a file name after its last '/' or '\\'.
const char* FileNamePart(const char* name)
{
    const char* slash = std::strrchr(name, '/');
    const char* backslash = std::strrchr(name, '\\');
    const char* last = slash > backslash ? slash : backslash;
    return last ? last + 1 : name;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The switch

LRESULT CMainWnd::GoToFrame(int32_t index)
{
    CFrame* target = GetFrame(index);
    if (!target || target == m_currentFrame)
        return 0;

    // The pass being drawn ends first; a pass that never ends holds the switch up only so long.
    m_view.status.fetch_or(DeviceFrameSwitch);
    for (int waited = 0; m_view.drawingCount.load() != 0 && waited < m_switchWaitMs;
         waited += kSwitchPollMs)
        SleepMilliseconds(kSwitchPollMs);
    KillViewerTimer(ViewerTimerImageRefresh);

    if (m_transitionState > 0) {
        CFrame* current = m_currentFrame;
        const int32_t kind = (current->overrides & OverrideTransitionKind) ? current->transitionKind
                                                                            : m_transitionKind;
        if (kind == kTransitionWaitForLoad) {
            if (m_enteringFrame && m_enteringFrame->loadPercent > 0.0f) {
                m_view.status.fetch_and(~static_cast<uint32_t>(DeviceFrameSwitch));
                return 1;
            }
            m_panoramaEventPending = 0;
            m_transitionAlpha = 0;
            m_transitionState = 0;
        } else {
            if (m_enteringFrame && m_enteringFrame != m_currentFrame)
                SetCurrentFrame(m_enteringFrame);
            CompleteFrameSwitch();
        }
    }

    CFrame* left = m_currentFrame;
    {
        std::lock_guard<std::mutex> lock(m_sceneLock);
        m_enteringFrame = target;
        m_leavingFrame = left;
        m_currentFrameIndex = index;
    }

    if ((left->flags & FrameCached) && left->loadPercent == 100.0f) {
        left->flags |= FrameKeptLoaded;
    } else {
        left->ClearProgress();
        left->loadPercent = 0.0f;
        m_progressText = "0";
    }
    m_cameraTargets = 0;
    ClearMeasurement();
    m_measureMode = -1;
    if (target->flags & FrameKeptLoaded) {
        left->loadPercent = 100.0f;
        m_progressText = "100";
    }
    SelectRenderBackEnd(RenderDirect3D9, false);
    if (!m_showObjectsAlways) {
        HideObjectTooltip();
        UpdateCursor();
        EmptyToolRectangles();
    }

    ResetTimelapse();
    m_nodeHotspotCount = 0;
    left->cameras[0].sequence = nullptr;
    m_cameraDelta = CameraState();

    // Frames of different sources do not fade into each other on the software back end.
    bool fade = HasMesh(left) && (m_transitionsOn || (left->overrides & OverrideTransitionKind));
    if (m_view.backEnd == RenderSoftware && left->sourceKind != target->sourceKind)
        fade = false;
    if (fade) {
        left->CancelLoading();
        m_transitionState = 1;
        m_transitionAlpha = kOpaque;
    } else {
        // Drawing runs on this thread: a counter still up after the bounded wait was left
        // behind by a pass that will not end it, and waiting for it again would never end.
        if (m_view.drawingCount.load() == 0)
            m_view.WaitForIdle(false);
        if (!(left->flags & FrameCached))
            left->Unload();
        m_view.SetRenderState(RenderStateZBuffer, 0);
        m_view.SetRenderState(RenderStateLighting, 0);
        m_view.SetRenderState(RenderStateFog, 0);
        m_view.SetRenderState(RenderStateAccumulation, 0);
        m_liveContent = 0;
    }

    ApplyFrameCamera(target);
    if (fade) {
        ActivateFrame(target, nullptr);
        m_panoramaEventPending = 1;
    } else {
        ActivateFrame(target, left);
        SetCurrentFrame(target);
        QueueHostEvent("panorama", target->name.GetText());
        ArmImageRefresh();
        std::lock_guard<std::mutex> lock(m_sceneLock);
        m_enteringFrame = nullptr;
    }

    m_view.status.fetch_and(~static_cast<uint32_t>(DeviceFrameSwitch));
    m_redrawRequest = 0;
    return 0;
}

void CMainWnd::CompleteFrameSwitch()
{
    CFrame* entering = m_enteringFrame;
    if (entering) {
        const int count = std::min<int>(entering->meshCount, kFrameSlotCapacity);
        for (int i = 0; i < count; ++i) {
            if (CObjeto3D* mesh = entering->meshes[i]) {
                mesh->texture2 = nullptr;
                mesh->modulationColor = 0;
            }
        }
    }
    // The frame left may have been removed since; only a frame still known lends its view.
    CFrame* left = m_leavingFrame && IsKnownFrame(m_leavingFrame) ? m_leavingFrame : nullptr;
    const int32_t kind = left && (left->overrides & OverrideTransitionKind) ? left->transitionKind
                                                                            : m_transitionKind;
    if (entering && left && kind == 0 && m_transitionState < kTransitionFading) {
        // The view goes on where it was.
        entering->cameras[0] = left->cameras[0];
        entering->cameras[0].pathState = CameraPathStartNearest;
    }
    m_transitionAlpha = 0;
    ReleaseUnusedFrames();
    if (entering) {
        UpdateZoomLimits(entering);
        UpdateNavigationLimits(entering);
    }
    if (m_panoramaEventPending) {
        m_panoramaEventPending = 0;
        QueueHostEvent("panorama", m_currentFrame->name.GetText());
    }
    ArmImageRefresh();
    m_transitionState = 0;
    if (m_timelineCount > 1 && entering) {
        m_timelineWindow = -1;
        SetTimelapsePosition(entering);
    }
    m_changeCount++;
    std::lock_guard<std::mutex> lock(m_sceneLock);
    m_enteringFrame = nullptr;
}

void CMainWnd::SetCurrentFrame(CFrame* frame)
{
    if (!frame)
        return;
    {
        std::lock_guard<std::mutex> lock(m_sceneLock);
        m_currentFrame = frame;
    }
    // Its imagery is complete: the frame-ready work runs without a new load.
    if (frame->flags & FrameKeptLoaded)
        PostToViewer(ViewerMessageFrameReady, reinterpret_cast<WPARAM>(frame), 0);

    if (frame->tourDelay == 0.0f)
        frame->tourDelay = kDefaultTourSeconds;
    if (frame->flags & FrameClickEvents)
        m_clickEvents = 1;
    if (frame->flags & FrameMouseUpEvents)
        m_mouseUpEvents = 1;
    m_groundFollow = 0;

    if (frame->overrides & OverrideProjection) {
        m_params.projection = frame->projection;
        m_params.fisheye = frame->projectionParameter;
    }
    if (frame->overrides & OverrideBackColour)
        m_view.backgroundColour = static_cast<uint32_t>(frame->backColour) & 0xFFFFFF;

    m_toolbarVisible = m_params.toolsBar && (frame->flags & FrameToolbar) ? 1 : 0;
    ResetToolbarControls();
    PrepareNodeHotspots(1, nullptr);
    m_toolbarDirty = 1;

    CameraState& view = frame->cameras[0];
    ItemRecord* sequence = frame->sequenceNumber > 0 ? GetImageItem(0, frame->sequenceNumber)
                                                     : nullptr;
    if (sequence && sequence->type == ItemType::Value) {
        if (m_transitionState == 0)
            view.pathState = CameraPathStartNearest;
        StartSequenceThread(static_cast<ValueItem*>(sequence)->text.GetText(), 0);
    }

    if (m_autoTour && m_autoplayRunning) {
        m_autoplayRunning = 1;
        view.pathState = CameraPathStartNearest;
        SetViewerTimer(ViewerTimerTourStep, static_cast<UINT>(frame->tourDelay * 1000.0f));
    } else {
        m_autoplayPending = 0;
        if (!m_autoplayRunning && GetCaptureState() == CaptureNone)
            ScheduleAutoplay(1);
    }

    m_stateReportDue = 1;
    frame->flags |= FrameWasCurrent;
    std::memset(m_keysDown, 0, sizeof m_keysDown);

    if (frame->entryCode > 0) {
        ItemRecord* code = GetImageItem(0, frame->entryCode);
        if (code && code->type == ItemType::CompiledCode)
            RunCompiledCode(static_cast<CompiledCode*>(code), 0, 1.0f, false);
    }
}

void CMainWnd::ArmImageRefresh()
{
    const CFrame* frame = m_currentFrame;
    if (frame->refreshOn && frame->refreshSeconds > 0.0f)
        SetViewerTimer(ViewerTimerImageRefresh, static_cast<UINT>(frame->refreshSeconds * 1000.0f));
}

// ---------------------------------------------------------------------------------------------
// Residency and the object passes

void CMainWnd::ActivateFrame(CFrame* frame, CFrame* previous)
{
    if (!frame)
        return;
    const bool keptLoaded = (frame->flags & FrameKeptLoaded) != 0;
    const bool reload = !(frame->flags & (FrameKeptLoaded | FramePreloaded)) ||
                        (frame->flags & FrameExpired);
    if (!keptLoaded)
        m_view.EvictResources(frame, reload ? 1 : 0);
    if (reload)
        frame->Unload();

    // Everything both frames use is claimed before anything is freed, so it stays loaded.
    const bool hidePrevious = previous && !(previous->flags & FrameCached);
    if (hidePrevious)
        ShowFrameItems(previous, false, true);
    ShowFrameItems(frame, true, true);
    if (hidePrevious)
        ShowFrameItems(previous, false, false);
    ShowFrameItems(frame, true, false);

    frame->flags |= FrameActivated;
    frame->UpdateProgress();
}

void CMainWnd::ShowFrameItems(CFrame* frame, bool show, bool claim)
{
    if (!frame)
        return;
    CObjeto& list = frame->objectSource ? frame->objectSource->objects : frame->objects;
    CObjeto* last = list.GetHead();
    if (!last->GetRecord())
        return;
    while (last->GetNext())
        last = last->GetNext();

    const int depth = m_view.params->bitsPerPixel;
    const bool keptLoaded = (frame->flags & FrameKeptLoaded) != 0;
    const int32_t source = frame->sourceKind;
    int frameImages = 0;
    for (CObjeto* node = last; node; node = node->GetPrev()) {
        ItemRecord* record = node->GetRecord();
        if (!record || record->type < ItemType::TextObject)
            continue;
        ObjectItem* object = static_cast<ObjectItem*>(record);
        const ItemType type = object->type;

        if (type == ItemType::EngineObject &&
            (source == SourceCubic || source == SourceFisheyes || source == SourceFromFile)) {
            if (claim || !show || keptLoaded)
                continue;
            ItemRecord* item = GetImageItem(object->level, object->number);
            if (!item || item->type != ItemType::Value)
                continue;
            const CTexto text = static_cast<ValueItem*>(item)->text;
            if (source == SourceFromFile && std::strchr(text.GetText(), ',')) {
                SetFileList(text.GetText(), nullptr, false);
                frame->CreateGeometry(FrameKindSpherical, 1, 10, 10, 0);
                LoadSingleImage(frame);
            } else {
                frame->StartLoading(text.GetText(), m_messageWnd, ViewerMessageFrameReady);
                m_fileNameText = FileNamePart(text.GetText());
            }
            continue;
        }

        const bool imageBearing =
            type == ItemType::ImageObject || type == ItemType::ButtonObject ||
            type == ItemType::RotatingButtonObject || type == ItemType::SliderObject ||
            type == ItemType::BrowserObject || type == ItemType::EngineObject ||
            ((type == ItemType::NodeHotspot || type == ItemType::NodeHotspot3D) &&
             object->placement > PlacementBuiltInImage2);
        if (imageBearing) {
            for (int k = 0; k < 5; ++k) {
                const int32_t number = k == 0 ? object->number : object->stateImage[k - 1];
                if (k > 0 && number <= 0)
                    break;
                ItemRecord* item = nullptr;
                if (k == 0 && number == 0) {
                    int32_t level = object->level;
                    item = FindImageItem(object->auxText.GetText(), &level);
                    if (item) {
                        object->level = static_cast<int16_t>(level);
                        object->number = item->number;
                    }
                } else {
                    item = GetImageItem(object->level, number);
                }
                if (!item || item->type != ItemType::Image)
                    continue;
                ImageItem* image = static_cast<ImageItem*>(item);
                CSprite* sprite = &image->sprite;
                if (claim) {
                    image->inUse = show ? 1 : 0;
                    continue;
                }
                if (!show) {
                    if (!image->inUse && sprite->fileName.GetLength() > 0)
                        sprite->Clear();
                    continue;
                }
                const bool frameImage = type == ItemType::EngineObject;
                if ((sprite->loadFlags & kLoadRequestBits) == kLoadRequestBits &&
                    sprite->loadRequestCount < kMaxLoadRequests &&
                    (!keptLoaded || sprite->loadState != SpriteLoaded) && !m_loadsStopped) {
                    sprite->LoadAsync(nullptr, depth, frameImage ? m_messageWnd : nullptr,
                                      frameImage ? static_cast<UINT>(ViewerMessageFrameReady) : 0u,
                                      frameImage ? reinterpret_cast<WPARAM>(frame) : 0);
                    frame->TrackSpriteProgress(sprite, ProgressWeightNormal);
                }
                if (frameImage && !(frame->flags & FrameActivated) &&
                    frame->AppendBorrowedSprite(sprite)) {
                    sprite->defaultColour = (frame->overrides & OverrideBackColour)
                                                ? static_cast<uint32_t>(frame->backColour)
                                                : m_view.backgroundColour;
                    if (!m_loadsStopped)
                        frame->TrackSpriteProgress(sprite, ProgressWeightNormal);
                    m_fileNameText = FileNamePart(sprite->fileName.GetText());
                    ++frameImages;
                }
            }
            continue;
        }

        if (type == ItemType::TimerObject || type == ItemType::CodeObject) {
            if (!claim && show) {
                object->timerStart = 0;
                object->active = 1;
            }
            continue;
        }

        if (type == ItemType::ViewerWindowObject) {
            ItemRecord* item = GetImageItem(object->level, object->number);
            if (!item || item->type != ItemType::ViewerWindow)
                continue;
            ViewerWindowItem* viewer = static_cast<ViewerWindowItem*>(item);
            if (claim) {
                viewer->inUse = show ? 1 : 0;
            } else if (show) {
                ShowViewerWindow(object, viewer);
            } else if (!viewer->inUse) {
                viewer->window.DestroyWindow();
                std::lock_guard<std::mutex> lock(m_sceneLock);
                m_shownViewerWindows.RemoveByLinkedObject(object);
            }
        }
    }

    if (frameImages > 0 && source >= SourceCylinder && source <= SourceAerial) {
        frame->CreateGeometry(source, frameImages, 0, 0, 0);
        if (source == SourceCamera)
            PostToViewer(ViewerMessageFrameReady, reinterpret_cast<WPARAM>(frame), 0);
    }
}

void CMainWnd::ShowViewerWindow(ObjectItem* object, ViewerWindowItem* viewer)
{
    if ((object->showFlags & ObjectShown) == ObjectShown && !viewer->window.m_hWnd) {
        int offsetX = 0, offsetY = 0;
        int width = GetSystemMetrics(SM_CXSCREEN);
        int height = GetSystemMetrics(SM_CYSCREEN);
        if (object->mode != 0) {
            // Placed over the main view.
            width = m_view.params->width;
            height = m_view.params->height;
            POINT origin = {0, 0};
            if (m_view.window)
                ClientToScreen(m_view.window, &origin);
            offsetX = origin.x;
            offsetY = origin.y;
        }
        float x = object->x + static_cast<float>(offsetX);
        float y = object->y + static_cast<float>(offsetY);
        ApplyAlignment(x, y, object->align, object->drawWidth, object->drawHeight, width, height);
        const RECT place = {static_cast<LONG>(x), static_cast<LONG>(y),
                            static_cast<LONG>(x + object->drawWidth),
                            static_cast<LONG>(y + object->drawHeight)};
        viewer->window.CreateEx(0, RegisterWindowClass(kViewerWindowClassStyle), "",
                                WS_POPUP | WS_VISIBLE, place, m_messageWnd, 0);
    }
    object->onScreen = 1;
    std::lock_guard<std::mutex> lock(m_sceneLock);
    if (!m_shownViewerWindows.FindByLinkedObject(object)) {
        ObjectItem* shown =
            static_cast<ObjectItem*>(m_shownViewerWindows.CreateItem(ItemType::ViewerWindowObject));
        if (shown)
            shown->linkedObject = object;
    }
}

void CMainWnd::PrepareNodeHotspots(int32_t, CFrame*)
{
    // Not built yet: does nothing (node hotspots are not prepared; none is counted).
    m_nodeHotspotCount = 0;
}

// ---------------------------------------------------------------------------------------------
// The empty scene and cancelling

void CMainWnd::ResetTimelapse()
{
    m_timelineCount = -1;
    m_timelineShown = -1;
    m_timelineWindow = -1;
    for (int32_t& slot : m_timelineSlots)
        slot = -1;
    m_timelinePosition = 0.0f;
}

void CMainWnd::ClearScene(bool full)
{
    if (full) {
        m_firstFrame.Unload();
        for (int32_t font = m_fonts.GetCount() - 1; font >= kBuiltInFontCount; font--)
            m_fonts.RemoveAt(font);
        ClearPendingCode();
    }

    std::lock_guard<std::mutex> lock(m_sceneLock);
    m_currentFrame = &m_firstFrame;
    // The tour's frames go below: no camera of theirs may stay active.
    m_view.params->camera = &m_firstFrame.cameras[0];
    m_enteringFrame = nullptr;
    // No frame of the old tour may stay named: the frames go below.
    m_leavingFrame = nullptr;
    m_currentFrameIndex = -1;
    m_draggedObjects.RemoveAll();
    m_sounds.RemoveAll();
    m_shownViewerWindows.RemoveAll();
    m_frames.RemoveAll();
    m_images[0].RemoveAll();
    ResetTimelapse();
}

void CMainWnd::CancelActivity()
{
    m_cancel = 1;
    StopCameraServerThread();
    StopCameraEngineThread();
    ClearMeasurement();
    m_view.WaitForIdle(true);
    // The reader sees the flag, hands nothing over and posts nothing; it must have ended before
    // the flag goes down, or an old tour could land in the next document.
    if (!WaitForWorkerThreadEnd(m_readerThread, m_threadStopWaitMs))
        m_threadLeftRunning = true;

    ResetTimelapse();
    m_transitionsOn = 0;
    m_transitionKind = 0;
    m_transitionState = 0;
    m_transitionAlpha = 0;
    m_transitionDuration = 2.0f;
    m_transitionLoadPercent = 100.0f;
    m_cancel = 0;
}
