// CMainWnd: the viewer engine. One plain object (not a window) holds the whole state of one
// viewer; the host window carries it by value. Its methods are spread by concern:
//   main_wnd_lifecycle.cpp   construction, destruction and what the engines of a process share
//   main_wnd_initialize.cpp  Initialize and Shutdown
//   main_wnd_threads.cpp     stopping the worker threads
//   main_wnd_frames.cpp      frame memory release and detaching a level's images
//   config_file.cpp          ReadWriteSettings (config.dat)
//   main_wnd_lookup.cpp      frames and items by index, name and number
//   main_wnd_node_commands.cpp  CompileNodeCommands
//   main_wnd_script.cpp      RunCommandText, RunContextMenuEntry
//   script/compiler.cpp      CompileCommands
//   script/interpreter.cpp   RunCompiledCode and the pending lists of the frame loop
//   script/reader_engine.cpp ReadParameterFile and the reader thread
//   main_wnd_builtin_items.cpp  the built-in interface items
//   main_wnd_tooltips.cpp    object tooltips
//   main_wnd_document.cpp    OpenDocument
//   main_wnd_frame_switch.cpp  GoToFrame and the switch, ActivateFrame, ShowFrameItems, ClearScene,
//                            CancelActivity
//   main_wnd_frame_ready.cpp   OnFrameReady and the builds by frame kind, projections, sky, filtering
//   main_wnd_frame_strips.cpp  strip frames: the strip build and FitStripProjection
//   main_wnd_timelapse.cpp   single-image and timelapse frames
//   main_wnd_measure.cpp     the measuring tool
//   main_wnd_parameters.cpp  parameter text and keys, base path, apply requests
//   main_wnd_setters.cpp     parameter setters that act at once
//   main_wnd_layout.cpp      alignment of objects and windows
//   main_wnd_capture.cpp     capture and focus queries
//   main_wnd_dispatch.cpp    the message dispatcher, posting, timers, the secondary windows' relays
//   main_wnd_dispatch_media.cpp   looping sounds and video graph events
//   main_wnd_dispatch_camera.cpp  camera actions and the detection parameter exchange
//   main_wnd_update_loop.cpp the update loop thread and the worker threads' starters
//   main_wnd_tick.cpp        Tick and UpdateFrame
//   main_wnd_handlers.cpp    window handlers of the engine (size, show, keys, redraw, ...)
//   main_wnd_render.cpp      RenderFrame, PresentView, OnPaint
//   main_wnd_pointer.cpp     pointer input
//   main_wnd_pending.cpp     operations of the engine whose own work is still to come
//   main_wnd_windows.cpp     the external and viewfinder windows and the progress dialog
//   main_wnd_navigation_limits.cpp  camera limits: defaults, frame cameras, effective limits,
//                                   clamping, velocity
//   main_wnd_camera_input.cpp  navigation input: keys, mouse, wheel, 3D mouse, key chords
//   main_wnd_camera_motion.cpp camera motion: smoothing, animated moves, ground and fog
//   main_wnd_camera_paths.cpp  camera paths, transitions, autoplay and the automatic tour
//   main_wnd_host_events.cpp   the host event ring
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "cameras/camera_detection_dlg.h"
#include "core/item_list.h"
#include "core/item_records.h"
#include "core/object_item.h"
#include "core/stream.h"
#include "core/text_string.h"
#include "platform/worker_thread.h"
#include "render/mesh.h"
#include "render/render_device.h"
#include "script/command_table.h"
#include "script/interpreter.h"
#include "script/reader.h"
#include "sources/frame.h"
#include "viewer/about_wnd.h"
#include "viewer/config_file.h"
#include "viewer/external_wnd.h"
#include "viewer/progress_dlg.h"
#include "viewer/transparent_wnd.h"
#include "viewer/viewer_parameters.h"

class C3DMouse;

// Initialised engines of the process; the first one starts the disk cache's session and the last
// one ends it.
extern std::atomic<int> g_liveEngineCount;
// The render back end (RenderBackEnd) that devices return to after a temporary switch; a user's
// choice of back end changes it.
extern std::atomic<int> g_preferredBackEnd;
// The automatic tour as a tour's AUTOMODE= sets it (process-wide): its mode (AutoTourMode), the
// seconds without input before it starts, the seconds it stays in each frame, and its order.
extern int32_t g_autoTourMode;
extern float g_autoplayDelay;
extern float g_autoTourTime;
extern int32_t g_autoTourOrder;

// --- Messages and timers (main_wnd_dispatch.cpp) ---
// The engine's private messages, posted to its message window (WM_USER + n).
enum ViewerMessage : UINT {
    ViewerMessageApplyParameters = WM_USER + 100,
    ViewerMessageToggleExternalWindow = WM_USER + 103,
    ViewerMessageToggleFullScreen = WM_USER + 105,
    ViewerMessageBeginDrag = WM_USER + 107,
    ViewerMessageGoToFrame = WM_USER + 108,
    ViewerMessageFrameReady = WM_USER + 110,
    ViewerMessagePressToolbarButton = WM_USER + 113,
    ViewerMessageReloadScriptFile = WM_USER + 114,
    ViewerMessageCompareOutput = WM_USER + 118,
    ViewerMessageRedraw = WM_USER + 120,
    ViewerMessageInterfaceLoaded = WM_USER + 121,
    ViewerMessageKeyDown = WM_USER + 122,
    ViewerMessageKeyUp = WM_USER + 123,
    ViewerMessageVideoGraphEvent = WM_USER + 128,
    ViewerMessageCameraServer = WM_USER + 129,
    ViewerMessageCameraFound = WM_USER + 130,
    ViewerMessageCameraCommand = WM_USER + 131,
    // The update loop hands the pending user message to the UI thread, which shows it.
    ViewerMessageShowPendingMessage = WM_USER + 140,
};

// wParam of ViewerMessageCameraCommand.
enum CameraUiCode : int32_t {
    CameraUiConnect = 0,
    CameraUiDetectionParams = 1,
    CameraUiShowProperties = 2,
    CameraUiShowDetection = 3,
    CameraUiStartCapture = 4,
    CameraUiStopCapture = 5,
    CameraUiRestartCameraTimer = 6,
    CameraUiExportPanoramas = 7,
    CameraUiRefreshProperties = 8,
    CameraUiOpenCameraSite = 9,
};

// lParam of CameraUiDetectionParams.
enum DetectionParamsAction : int32_t {
    DetectionParamsFetch = 0,
    DetectionParamsSend = 1,
    DetectionParamsRefresh = 2,
};

// The engine's timers on its message window. One-shots are killed by their handler.
enum ViewerTimer : UINT_PTR {
    ViewerTimerRedraw = 1,           // never armed; ignored
    ViewerTimerTourStep = 2,
    ViewerTimerCameraStep = 3,
    ViewerTimerButtonRelease = 4,
    ViewerTimerAutoplayStart = 5,
    ViewerTimerImageRefresh = 7,
    ViewerTimerResumeCamera = 9,
    ViewerTimerHardwareMonitor = 11, // stays armed
};

// Menu command ids that the dispatcher hands to the engine's menu handler.
constexpr WPARAM kMenuCommandFirst = 32768;
constexpr WPARAM kMenuCommandLast = 34000;
// The update loop's sleep between passes.
constexpr int kUpdateLoopSleepMs = 6;
// Frame-rate measurement: samples kept, the middle ones averaged.
constexpr int kFrameTimeSamples = 10;
constexpr float kMinStepFps = 4.0f;
// Returned by a render pass whose surface was lost; the tick carries on.
constexpr HRESULT kSurfaceLost = static_cast<HRESULT>(0x887601C2);
// --- end of messages and timers ---

// CMainWnd::m_dragMode
enum DragMode : int32_t {
    DragNone = 0,
    DragView = 1,
    DragObjectPending = 3,
};

// CMainWnd::GetCaptureState
enum CaptureState : int {
    CaptureNone = 0,
    CaptureViewDrag = 1,
    CaptureOtherWindow = 2,
    CaptureObjectDrag = 3,
};

// The host window's private messages (WM_USER + n).
enum HostMessage : UINT {
    HostMessageHotspotCode = WM_USER + 115,
    HostMessageRefreshToolbar = WM_USER + 117,
    HostMessagePackerParameters = WM_USER + 127,
};

// Four-character code of the multimedia I/O procedure through which the engine's sounds read.
constexpr FOURCC kMediaIoCode = mmioFOURCC('K', 'Z', 'R', ' ');
constexpr uint16_t kCameraPortDefault = 9017;
// Process exit code after a remote program update.
constexpr int kExitCodeRemoteUpdate = 9017;
constexpr float kDefaultFps = 60.0f;
constexpr const char* kSaveViewDefaultName = "Lumarix screen.bmp";
constexpr const char* kTooltipFontFace = "Tahoma";
constexpr float kTooltipFontSize = 13.5f;
// Longest wait for one worker thread while the engine stops; a thread that takes longer is left
// behind so that the program can still close.
constexpr int kThreadStopWaitMs = 5000;

// Number of script levels whose images the engine keeps (tour, interface, unused).
constexpr int kImageLevelCount = 3;
// How OpenDocument loads a document, by its name's last three characters (any case).
enum class DocumentKind {
    None,       // empty name: nothing is loaded
    Model,      // "3ds": loaded at once into the current frame
    Tour,       // "txt", "kzr", "cam", "mov": the frame's loader thread
    Movie,      // "swf", "avi", "mpg", "mkv": a spherical frame with one image
    StillImage, // anything else: the same, with an image item of its own
};
DocumentKind ClassifyDocument(const char* name);

// A grid index of count cells from a parameter value: the whole part wrapped into 0..count-1,
// negative values too. 0 for an empty grid.
int32_t WrapGridIndex(float value, int32_t count);

// "projection" value of the fisheye view.
constexpr int32_t kProjectionFisheye = 6;

// Entries CMainWnd::SetFileList keeps at most.
constexpr int32_t kMaxFileListEntries = 200;

// Toolbar edges for CMainWnd::LayoutToolbar.
constexpr int32_t kToolbarBothEdges = 3;

// Fonts the engine makes itself at the head of m_fonts, before any font of a tour.
constexpr int kBuiltInFontCount = 5;

// What UpdateCursor shows besides the program's own cursors (their resource ids): the system's.
enum SystemCursorChoice : int {
    kCursorSystemArrow = -1,
    kCursorSystemHand = -2,
    kCursorSystemSizeNwse = -3,
    kCursorSystemSizeNesw = -4,
    kCursorSystemSizeWe = -5,
    kCursorSystemSizeNs = -6,
    kCursorSystemSizeAll = -7,
};

// Colour tones of the 3D-glasses view (CMainWnd::m_anaglyphTones).
enum AnaglyphTones : int32_t {
    kAnaglyphDualTones = 0,
    kAnaglyphMediumTones = 1,
    kAnaglyphTrueColour = 2,
};
// The colour mask of the 3D-glasses view (0xRRGGBB) in a device format of bitsPerPixel.
uint32_t EyeMaskInDeviceFormat(uint32_t mask, int32_t bitsPerPixel);

// Toolbar slots, built-in controls and the labels one drawing pass remembers.
constexpr int kToolbarSlotCount = 15;
constexpr int kControlCount = 20;
constexpr int32_t kMaxLabelRects = 1000;

class CMainWnd {
public:
    // Builds every member with its default, lists the engine among the live ones and sets up
    // what the first engine of the process provides. Opens no window, starts no thread.
    CMainWnd();
    // Expects Shutdown to have run; releases what the process's last engine holds.
    virtual ~CMainWnd();

    CMainWnd(const CMainWnd&) = delete;
    CMainWnd& operator=(const CMainWnd&) = delete;

    // --- Initialisation and shutdown (main_wnd_initialize.cpp) ---
    // Everything that needs the host window: 1 on success, 0 when the render device cannot be
    // made (the engine then stays uninitialised and posts nothing).
    int Initialize(int viewWidth, int viewHeight, HWND hostWnd, int reserved);
    // Undoes Initialize while the host window is being destroyed; runs also after a failed one.
    void Shutdown();

    // --- Worker threads (main_wnd_threads.cpp) ---
    void StopUpdateLoop();
    void StopCameraServerThread();
    void StopCameraEngineThread();

    // --- Frames (main_wnd_frames.cpp) ---
    // After a frame switch: releases what frames that are no longer shown hold, and drops
    // frames never shown whose time limit has passed.
    void ReleaseUnusedFrames();
    // Before a level's item list is replaced: every frame's objects of that level let go of
    // their images.
    void DetachLevelImages(int32_t level);
    // The objects of the frame (or of the frame it borrows its objects from) on the level get
    // image number 0 and their quads lose their textures. Nothing for a null item.
    void DetachFrameLevelImages(FrameItem* item, int32_t level);

    // --- Settings (config_file.cpp) ---
    // direction SettingsRead / SettingsWrite, record SettingsRecord.
    void ReadWriteSettings(int write, int recordType);

    // --- Frames and lookup (main_wnd_lookup.cpp) ---
    // Lookups never change a list; every miss is null (or -1). Names compare exactly, and the
    // first of several equal names wins.
    // The frame at a 0-based index of m_frames; null outside the list.
    CFrame* GetFrame(int32_t index);
    // "_this_" and the empty name give the current frame; otherwise the first frame so named.
    CFrame* FindFrame(const char* name);
    // Index of the first frame so named ("_this_" is an ordinary name here); -1 when none.
    int32_t FindFrameIndex(const char* name);
    // The FrameItem of the first frame so named, "_this_" standing for the current frame.
    FrameItem* FindFrameNode(const char* name);
    // 1 for m_firstFrame and the frames of m_frames, 0 for anything else (null included).
    int IsKnownFrame(const CFrame* frame);
    // The item with serial number number (1-based) of a level's list; null for 0 or none.
    ItemRecord* GetImageItem(int32_t level, int32_t number);
    // The first item so named in level 0, else in level 1; its level through level when given.
    ItemRecord* FindImageItem(const char* name, int32_t* level);
    // Compiles into code the jump to the frame of frames named target (main_wnd_node_commands.cpp):
    // a GoToFrame, followed by the view values when they are not the neutral ones; a position
    // marker moves the view to its own view and jumps to the frame it stands for. Answers the
    // index of the frame named target, -1 (code unchanged) when there is none.
    int32_t CompileNodeCommands(CObjeto& frames, CompiledCode* code, const char* target, float x,
                                float y, float z, float tilt, float pan, float zoom);

    // --- Commands (script/compiler.cpp, script/interpreter.cpp, main_wnd_script.cpp) ---
    // Compiles text into target; null basePath resolves file names against m_basePath.
    void CompileCommands(CompiledCode* target, const char* text, const CTexto* basePath);
    // Runs code from position: answers the frame index found in probe mode 1, otherwise -1.
    // Outside the frame loop, the rest of a list from a frame-loop command on is handed over to
    // m_pendingCode.
    int32_t RunCompiledCode(CompiledCode* code, int32_t position, float speed, bool inFrameLoop);
    // Compiles text (against m_basePath) and runs it at once.
    void RunCommandText(const char* text, bool inFrameLoop);
    // Runs entry index of the script-defined context menu; nothing outside its entries.
    void RunContextMenuEntry(int32_t index);
    // The frame loop's pending run: the oldest handed-over list runs from its resume position;
    // it is removed once it reaches its end.
    void RunPendingCode();
    // Drops every pending list; one running at this moment is dropped when its pass ends.
    void ClearPendingCode();
    int32_t GetPendingCodeCount();

    // --- Script reading (script/reader_engine.cpp) ---
    // Reads a script (the file, or text when given; the file name then only gives the base
    // folder) at level 0-2 into frames, the level's item list and fonts, or into target's
    // objects when a target frame is given. 1 when a target was given or the frame list or the
    // level's list is not empty afterwards, else 0 (also for a level above 2 or a file that
    // cannot be opened). Unless cancelled, posts GoToFrame and InterfaceLoaded as the read
    // requires. Runs on the calling thread and writes the lists in place.
    int ReadParameterFile(const char* fileName, CObjeto& frames, uint32_t level, CObjeto& fonts,
                          CFrame* target, const char* text);
    // Starts the reader thread on the file (nothing before initialisation or while a reader
    // runs). The thread reads into lists of its own and hands them over to m_frames,
    // m_images[level], m_fonts and target's objects in one step under m_sceneLock; a read that
    // was cancelled hands nothing over.
    void StartReaderThread(const char* fileName, uint32_t level, CFrame* target);

    // --- Frame switching (main_wnd_frame_switch.cpp) ---
    // Back to the empty scene: the tour's frames, its level-0 items, sounds, dragged objects and
    // viewer windows go; the interface level stays. full also unloads the empty scene, drops the
    // fonts after the built-in ones and the pending commands.
    void ClearScene(bool full);
    // Stops what runs in the background: the camera threads, the device's work and (waiting a
    // bounded time) the reader thread, whose read is then dropped; transitions and the
    // timelapse return to their defaults. The cancel flag is down again afterwards.
    void CancelActivity();
    // Switches to the frame at the index: 1 only when a waiting fade refuses the switch, else 0
    // (also when nothing was done). Without a fade the frame is current afterwards.
    LRESULT GoToFrame(int32_t index);
    // Ends a switch that ran with a fade: the entering frame's view, the frame memory sweep,
    // the limits and the "panorama" event.
    void CompleteFrameSwitch();
    // Makes the frame current and applies its own settings, entry code included.
    void SetCurrentFrame(CFrame* frame);
    // Makes the frame's imagery and items resident and shown, hiding those of the previous
    // frame (none allowed) that the frame does not use itself.
    void ActivateFrame(CFrame* frame, CFrame* previous);
    // One pass over the frame's objects: claim (mark what is used) or act (load, free, open and
    // close windows) for show or hide.
    void ShowFrameItems(CFrame* frame, bool show, bool claim);
    // Prepares the current frame's node hotspots (mode 1: all of them) for the frame given.
    void PrepareNodeHotspots(int32_t mode, CFrame* frame);

    // --- Opening a document (main_wnd_document.cpp) ---
    // The handler of ApplyParameters: stops the update loop and everything running, returns to
    // the empty scene, applies the parameters, starts loading the document by its kind and
    // starts the update loop again. Answers 1.
    LRESULT OpenDocument(WPARAM wParam, LPARAM lParam);

    // --- Single-image and timelapse frames (main_wnd_timelapse.cpp) ---
    // Starts loading the document's image (or the file list's first) into the frame made by
    // CFrame::CreateGeometry; false when the frame has no image slot to load into.
    bool LoadSingleImage(CFrame* frame);
    // The name LoadSingleImage loads: the document, or the file list's first entry while a
    // timelapse list exists, made absolute against m_basePath.
    CTexto SingleImageName();

    // --- Update loop (main_wnd_update_loop.cpp) ---
    // Starts the background update loop unless it runs; true when it runs afterwards.
    bool StartUpdateLoop();

    // --- Frame ready and projections (main_wnd_frame_ready.cpp) ---
    // Moves the main device to the back end (RenderBackEnd); userChoice records it as the
    // user's, and once the user chose, automatic requests change nothing. True when it switched
    // (the device may still have ended on Software when the back end could not be made).
    bool SelectRenderBackEnd(int32_t backEnd, bool userChoice);
    // Builds the frame's meshes from its images for its kind and the projection, binds the
    // textures and sets what the kind needs; repeatable. Nothing for an unknown frame. Answers 0.
    LRESULT OnFrameReady(CFrame* frame, int32_t flags);
    // Applies the requested projection to the current frame's view camera (keepZoom: the visible
    // field stays as it was).
    void ApplyProjection(bool keepZoom);
    // Builds the sky mesh and loads "sky.jpg" of the folder onto it.
    void LoadSkybox(const char* folder);
    // Sets the device's projection so that the vertical span +1000..-1000 covers pixelHeight
    // pixels at camera distance -z, then turns the mesh (when given) to rotation tenths of a
    // degree. False when the height cannot be met (0 or less) or the fit did not settle; the
    // closest projection found is kept.
    bool FitStripProjection(CObjeto2D* device, CObjeto3D* mesh, int32_t pixelHeight,
                            int32_t rotation, float z);
    // Bilinear filtering and the accumulation mode of the main device from the mode bits.
    void ApplyTextureFiltering(int32_t mode);

    // --- Built-in toolbar (main_wnd_toolbar.cpp) ---
    // Every built-in control hidden and switched off.
    void ResetToolbarControls();
    // Shows the bottom set of toolbar slots as the parameters allow and hides the right set.
    void SetToolbarButtons();
    // Lays the toolbar out again (rebuild: remake its images) along the given edges.
    void LayoutToolbar(bool rebuild, int32_t edges);

    // --- View presentation (main_wnd_view.cpp) ---
    // Switches the viewfinder window on or off.
    void ToggleViewfinder();

    // --- Message box (main_wnd_tooltips.cpp) ---
    // mode 2 hides the built-in message box.
    void ShowMessageBox(int32_t mode);

    // --- Measuring tool (main_wnd_measure.cpp) ---
    void ClearMeasurement();

    // --- Built-in interface items (main_wnd_builtin_items.cpp) ---
    // Adds the engine's own items (message box, close button...) to the interface frame.
    void CreateBuiltInItems();

    // --- Object tooltips (main_wnd_tooltips.cpp) ---
    void HideObjectTooltip();
    // Empties the tool rectangles of the toolbar buttons and of the object tool.
    void EmptyToolRectangles();

    // --- Language ---
    // Interface language for the user's locale (a LanguageIndex).
    int DetectLanguage();

    // --- Viewer parameters (main_wnd_parameters.cpp) ---
    // Empties the list, then appends one parameter item (name = key, value) per word of the
    // text: words end at a blank or a comma outside double quotes and parentheses.
    void ParseParameterList(const char* text, CObjeto& list);
    // Stores each item's value into its parameter in list order (a later key wins), runs the
    // setters of the keys that act at once, and sets the document file from "file", "src",
    // "data", "filetype" or the first unknown word.
    void ApplyParameters(CObjeto& list);
    // The folder of path (converted in place) becomes the base of relative names.
    void SetBasePath(CTexto& path);
    // Asks the engine to apply its parameters again (which opens the document): one request is
    // posted until the document opening handles it. Nothing is posted before initialisation.
    void PostApplyParameters();

    // --- Parameter setters that act at once (main_wnd_setters.cpp) ---
    // fromParameter true: the parameter's value goes into the empty scene; false: the value in
    // force goes back into the parameter.
    void SetRotationX(bool fromParameter);
    void SetRotationY(bool fromParameter);
    void SetMinRotationX(bool fromParameter);
    void SetMaxRotationX(bool fromParameter);
    void SetMinRotationY(bool fromParameter);
    void SetMaxRotationY(bool fromParameter);
    void SetMinZoom(bool fromParameter);
    void SetMaxZoom(bool fromParameter);
    void ApplyZoom(bool fromParameter);
    void ApplyFovMode();
    void ApplySequenceFile();
    void ApplyMouseMode();
    void ApplyHorizonPosition();
    void ApplyFisheye();
    void ApplyInterfaceFile();
    // The rest of the setters (main_wnd_setters.cpp).
    // "acceleration" limited to 0..1000 (also before initialisation).
    void ClampAcceleration();
    void RestartAutoplay();
    // "language" by name (any case), or the system's language for an empty or unknown name.
    void ApplyLanguage();
    // Makes the language (LanguageIndex) the interface language.
    void SetLanguage(int32_t index);
    void ApplyFilter();
    void ApplyResize();
    // Tips of the toolbar slots, from "barstrings" or the language's own.
    void ApplyBarStrings();
    // Slot i's tip: piece i of the comma-separated list, or the language's text for the slot.
    static void FormatBarStrings(const char* list, int32_t closeButton,
                                 CTexto (&texts)[kToolbarSlotCount]);
    // "closeimage": the close button's normal and hover images ("normal,hover" or one name).
    void LoadCloseButtonImages();
    void ApplyAboutUrl();
    void ApplyPluginName();
    void ApplyGrayscale();
    void ApplyFirstAutoplay();
    void ApplyFullscreen();
    void ResetToolbarState();
    // The viewer's file list from list and extra (joined by ','); with relative the first field
    // is the folder of the others. One field only: it becomes the document and the list stays
    // empty. At most kMaxFileListEntries entries.
    void SetFileList(const char* list, const char* extra, bool relative);

    // --- Layout (main_wnd_layout.cpp) ---
    // Moves the point (x, y) of a width x height box by the alignment flags: bits 0-1 and 4-5
    // anchor the box's centre or far edge, bits 2-3 and 6-7 add the reference size or its half.
    // A reference of -1 is the main view's size.
    void ApplyAlignment(float& x, float& y, uint8_t align, float width, float height,
                        int referenceWidth, int referenceHeight);

    // --- Capture and focus (main_wnd_capture.cpp) ---
    // The window holding the mouse capture / keyboard focus; null for an engine without windows
    // of its own (m_windowless and m_hostInput both set).
    HWND GetCapture() const;
    HWND GetFocus() const;
    // 0 no capture (or the view's own), 1 view drag, 2 another window holds the capture, 3 object
    // drag pending. The first call without capture after a foreign one clears m_mouseButtons.
    int GetCaptureState();
    // Reads focus and capture once for the tick's input steps (m_tickInput); keys: also the
    // keys the thread's queue saw go down, when the focus is in this thread. Drop ends it.
    void TakeTickInput(bool keys);
    void DropTickInput();

    // --- Messages and timers (main_wnd_dispatch.cpp) ---
    // Non-zero when the engine consumed the message; the calling window then skips its own
    // handling.
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The viewfinder's messages: mouse messages go on in view coordinates; 0 for the rest.
    LRESULT RelayViewfinderMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The external window's messages, unchanged.
    LRESULT RelayExternalMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Posts to the message window while the engine is initialised; any thread. True when the
    // message was posted; a message before initialisation or after shutdown is dropped.
    bool PostToViewer(UINT message, WPARAM wParam, LPARAM lParam);
    // Arms a timer of the message window once that window exists (initialised or not): the
    // system's timer result, 0 without the window.
    UINT_PTR SetViewerTimer(UINT_PTR id, UINT milliseconds, TIMERPROC callback = nullptr);
    void KillViewerTimer(UINT_PTR id);
    void OnTimer(UINT_PTR id);

    // --- Looping sounds and videos (main_wnd_dispatch_media.cpp) ---
    // Restarts every looping sound that stands at its end.
    void RestartLoopingSounds();
    // Drains the graph events of the video owned by the image; completed looping videos rewind.
    void DrainVideoEvents(CSprite* image);

    // --- Camera actions (main_wnd_dispatch_camera.cpp) ---
    LRESULT OnCameraCommand(int32_t code, LPARAM lParam);
    // The camera properties and configuration dialogs of a spherical-camera frame.
    void ShowCameraPropertiesDialog();
    void ShowCameraConfigDialog();
    // Sends one framed request text to the camera address; the link stays open for the reply.
    // False when the address or text is empty, the text is too long, the connect fails or not
    // every byte went out.
    bool SendCameraCommand(const char* format, ...);
    // Detection parameters with the camera: fetch (into the current frame and the dialog) or
    // send; true when the exchange completed.
    bool FetchDetectionParams();
    bool SendDetectionParams();

    // --- Update loop and worker threads (main_wnd_update_loop.cpp, main_wnd_threads.cpp) ---
    // Runs passes until the loop's stop byte (or a later stop) ends it; on the loop thread.
    void UpdateLoop();
    // One pass of the update loop (without its sleep).
    void UpdateLoopPass(float time);
    // The camera threads (start only while none runs): the slot's thread, null when none.
    CWorkerThread* StartCameraServerThread();
    CWorkerThread* StartCameraEngineThread();
    // Reads the stored sequence file on its own thread.
    void StartSequenceThread(const char* fileName, int32_t slot);
    // Body of the sequence thread.
    void ReadSequenceFile(const char* fileName, int32_t slot);

    // --- Tick (main_wnd_tick.cpp) ---
    // One frame: 0 or a render error; present shows the finished image.
    HRESULT Tick(int present);
    // The per-frame update and drawing: 0 or the error of the last scene pass.
    HRESULT UpdateFrame();
    // Adds one frame interval (seconds) to the rate measurement.
    void AddFrameTimeSample(float seconds);
    void RestartFrameRate();
    // "<folder>/Panorama_<index>.jpg" for a still of a recording of recordedCount frames: the
    // folder is documentFile without its 4-character extension, the index has at least as many
    // digits as recordedCount. False (name empty) for a name too short to hold a folder.
    static bool FormatPanoramaStillName(const char* documentFile, int32_t recordedCount,
                                        int32_t index, CTexto* name);
    // "rotationx", "rotationy", the roll and "zoom" take the active camera's, to 1/1000.
    void TakeActiveCameraValues();
    // While the timelapse plays: its next step when the step time is up; the view keeps drawing.
    void StepTimelapsePlayback();
    // The view follows the linked engine ("plugincamera") when that one's view moved.
    void FollowLinkedViewer();
    // The 3D-glasses view of a 3D scene: one pass per eye, the second writing the other colours.
    HRESULT DrawEyePasses();

    // --- Engine handlers (main_wnd_handlers.cpp) ---
    void OnSize(int type, int width, int height);
    void OnShowWindow(int show);
    LRESULT OnDisplayChange();
    void OnKillFocus();
    int OnKeyDown(int key);
    int OnKeyUp(int key);
    HRESULT OnRedraw();
    LRESULT OnBeginDragMessage();
    LRESULT OnInterfaceLoaded(int activate);
    LRESULT ReloadScriptFile();
    LRESULT CompareOutput();
    // Posts WM_CLOSE to the host window; any thread.
    void CloseHostWindow();
    // Shows the pending user message in the message box (UI thread).
    void ShowPendingMessage();

    // --- Scene rendering (main_wnd_render.cpp, main_wnd_render_viewfinder.cpp) ---
    // Draws the frame's 3D content into the device (clearWithColour: the background is filled
    // unless a panorama covers the view): 0, or the first failure of a mesh draw, which ends the
    // pass. Nothing (0) while the device is minimised, the host is hidden or the frame records.
    HRESULT RenderFrame(CObjeto2D* device, CFrame* frame, int clearWithColour);
    // Redraws every shown secondary viewer window whose camera changed (software back end).
    void RenderViewerWindows();
    // Renders the magnified view around the viewfinder point into the viewfinder window.
    void RenderViewfinder();
    // The viewfinder's images and render block, made at start-up: false when one cannot be had.
    bool CreateViewfinderImages();

    // --- Presentation and full screen (main_wnd_render_present.cpp) ---
    // Shows the main device's finished image (dc: where; none: the device's window).
    void PresentView(HDC dc);
    // Paint handling: the background colour while the view is out of the host but not in full
    // screen, else the last image again.
    void OnPaint(HDC dc);
    // Moves the view out into the external window (skinned popup, framed popup or full screen),
    // or back into the host when it is out. Answers 1.
    LRESULT ToggleFullScreen(int framed, int fullScreen);
    // Keyboard focus to the external window when that is the window given, else to the host.
    void FocusView(HWND window = nullptr);
    // Screen rectangle of the view's window; false (rectangle emptied) without one.
    bool GetViewWindowRect(RECT* rect);
    // Shows the About window centred on the screen, or hides it when shown.
    void ToggleAboutWindow();
    // Recreates the software device on GDI surfaces (gdi) or DirectDraw surfaces.
    void SetSurfaceMode(uint8_t gdi);
    // The engine menu's back-end commands: the main device moves to Software, Direct3D 9 or
    // OpenGL as the user's choice, which automatic switches keep afterwards.
    void UseSoftwareEngine();
    void UseDirect3D();
    void UseOpenGL();
    // True when the main device may run on Direct3D 9: it already runs on a hardware back end,
    // or the DirectX level reaches 9.0, the frame is 16 or 32 bits deep and the current frame is
    // not made of strips (the hardware textures then take the frame's depth).
    bool CanUseDirect3D9();

    // --- Pointer input (main_wnd_pointer.cpp, main_wnd_pointer_cursor.cpp) ---
    void OnMouseMove(int keys, int x, int y);
    void OnLButtonDown(int keys, int x, int y);
    void OnLButtonUp(int keys, int x, int y);
    void OnRButtonDown(int keys, int x, int y);
    void OnMButtonDown(int keys, int x, int y);
    void OnMButtonUp(int keys, int x, int y);
    // The pointer pass: what lies under the pointer (toolbar slot, control, objects); with
    // doDrag the dragged objects follow the pointer inside their margins.
    void ProcessPointer(int doDrag);
    // Sets the cursor for m_hoverCode (unless a control is captured): 1 when a cursor was set.
    int UpdateCursor();
    // Moves a pointer that reached a 16-pixel margin of the view to the opposite margin, the
    // drag origin along with it: true when it moved the cursor.
    bool WrapCursorInView();
    // Hands a pointer event to the tooltip controls.
    void RelayTooltipMouse(POINT point, UINT message);
    // Captures the mouse for the external window when that is the window given, else the host.
    void CaptureMouse(HWND window);
    void ReleaseMouseCapture();
    // Ends a view or object drag and releases the capture.
    void EndDrag();
    // Starts loading the frame's images again (a second start asked for "reload").
    void ReloadFrameImages(CFrame* frame);
    // A point of the window the pointer message came from into the active view's coordinates.
    void MapPointToView(POINT* point);

    // --- Object layout (main_wnd_layout.cpp, main_wnd_layout_labels.cpp) ---
    // Pixel size, top-left screen corner and visibility of an object in the device (image: the
    // object's current image, or none).
    void LayoutItem(CObjeto2D* device, ObjectItem* object, CSprite* image);
    // Moves the rectangle up above every stored one it overlaps, then stores it while fewer than
    // kMaxLabelRects are stored.
    static void PlaceLabel(RECT* rects, int32_t* count, RECT* rect);
    // A button press in the view: starts a view drag or an object drag.
    void BeginViewDrag();
    // True when the scene point at the screen point and depth is not hidden by the drawn scene.
    bool IsPointUnoccluded(float screenX, float screenY, float depth, const float point[3]);

    // --- Operations whose own work comes later (main_wnd_pending.cpp) ---
    LRESULT PressToolbarButton(int32_t index);
    LRESULT OnMenuCommand(int32_t id);
    void ShowContextMenu(int x, int y);
    int ProcessKeyObjects(int pressed, int released);
    void ShowViewfinder(int show);
    // Centres the viewfinder on the view point: true when it moved.
    bool MoveViewfinder(int x, int y);
    // Pointer events of the frame's interface objects for this pass.
    void ProcessObjectEvents(CFrame* frame);
    // A press of the measuring tool adds a point.
    void AddMeasurePoint();
    void OnToolbarButton(int inFrameLoop);
    void OnToolbarSliderDrag(int inFrameLoop);
    void DrawToolbarButtons();
    void DrawInterface(CFrame* frame);
    void DrawOverlay();
    void SetTimelapsePosition(CFrame* frame);
    void UpdateLineItems(CFrame* frame, float time);
    void SendStateReport(int reason);
    void CheckStates();
    void PollHardwareMonitor();

    // --- Navigation limits (main_wnd_navigation_limits.cpp) ---
    // Default limits: the current frame's effective ones, the limit parameters the user did not
    // set, the altitude range; the pending camera move is dropped and the view marked moved.
    void ResetNavigationLimits();
    // Makes the frame's main camera the active one (keeping the view of a transition) and merges
    // the viewer's limits and initial view into the frame, then updates its limits.
    void ApplyFrameCamera(CFrame* frame);
    // Effective tilt and pan limits of a frame (null: the current one), then its camera kept
    // inside them and the aerial position limits.
    void UpdateNavigationLimits(CFrame* frame = nullptr);
    // Effective zoom limits of a frame (null: the current one); true when its camera's zoom had
    // to change.
    bool UpdateZoomLimits(CFrame* frame = nullptr);
    // Eye position limits of an aerial frame (null: the current one) from its height, tilt and
    // zoom; the eye is kept inside them. Nothing for other frames.
    void UpdateAerialLimits(CFrame* frame = nullptr);
    // The current frame's "MIRRORCONFIG=" swaps the image of one-shot frames.
    bool MirrorSwap() const;
    // Keeps tilt and pan of camera (null: the render device's active one) inside frame's
    // effective limits (null frame: the current one).
    void ClampCameraToLimits(CFrame* frame = nullptr, CameraState* camera = nullptr);
    // Keeps the "velocity" parameter within 0..1000 (NaN becomes 0).
    void ClampVelocity();
    // ApplyZoom (declared with the setters) also lives in main_wnd_navigation_limits.cpp: the
    // viewer's zoom from the "zoom" parameter (fromParameter) or back into it; once initialised
    // the zoom, kept inside the current frame's limits, goes to the active camera.

    // --- Navigation input (main_wnd_camera_input.cpp) ---
    // True when the key is down (through m_keyState) and no key object holds it.
    bool IsKeyDown(int virtualKey);
    // Adds the mouse's drag or offset navigation of this tick to input; answers the capture
    // state (CaptureState) it navigated under.
    int ApplyMouseNavigation(CameraState* input);
    // A left drag on an image grid: the cell follows the drag's distance from the press point in
    // steps of the image's width; true when another image shows. Nothing while the grid has no
    // images, columns or image size.
    bool StepGridByDrag(CFrame* frame, float zoom);
    // Adds the navigation keys of this tick to input and acts on released key chords; 1 when a
    // key moved anything.
    int ApplyKeyboardNavigation(CameraState* input);
    // Adds the 3D mouse's motion to input and follows its keys; nothing without a 3D mouse.
    void Poll3DMouse(CameraState* input);
    // Connects the 3D mouse (outside screensaver mode); false when its component is absent.
    bool Connect3DMouse();
    void Disconnect3DMouse();
    // The wheel over the view feeds the zoom accumulators; 1 when handled (0 elsewhere).
    LRESULT OnMouseWheel(int keys, int delta, int x, int y);
    // Sends this program's own file to the connected camera ("UPDATEPROGRAM"); true when every
    // byte went out.
    bool SendProgramUpdate();

    // --- Camera motion (main_wnd_camera_motion.cpp) ---
    // Smooths the tick's input (inertia) and moves the camera by it inside the limits.
    void SmoothCameraMotion(CameraState* input);
    // One step of an animated move of frame's main camera (null frame: the current one) towards
    // target (words 0 to 7 by the bits of mask; bits of words that arrive are cleared); divisor
    // 0 counts as 10. True while anything moved.
    bool MoveCameraTowards(CFrame* frame, const float* target, int32_t* mask, int32_t divisor);
    // Ends the smoothed motion and the pending move.
    void StopCameraMotion();
    // Keeps the eye at its altitude above the ground of a 3D scene (reset: take the present
    // height again); -1 while nothing is under the eye (viewer timer 3 then retries).
    int FollowGround(int reset);
    // follow: FollowGround (0); otherwise the altitude kept inside its limits.
    void ClampAltitude(int follow);
    // Fog start and end from the altitude above the ground.
    void UpdateFogRange();
    // Height of the current frame's ground under point (x, z); the mesh index or -1.
    int32_t GetGroundHeight(float point[3], float* height, int raw);
    // Drags the vertex of a 3D line under the pointer while hotspots are edited.
    void EditLinePoints();
    // Refreshes the text of a toolbar tooltip (100: the altitude).
    void UpdateToolbarTipText(int32_t tool);

    // --- Camera paths, transitions, autoplay, tour (main_wnd_camera_paths.cpp) ---
    // Binds the CameraSequence item so named to the current frame's camera of that viewer index.
    void StartCameraSequence(int32_t viewer, const char* name);
    // Moves the camera one tick along its path.
    void PlayCameraSequence(CFrame* frame, CameraState* camera);
    // One step of the fade between frames.
    void UpdateTransition();
    // Arms the autoplay start after the idle delay (restart 1) or cancels it (0).
    void ScheduleAutoplay(int32_t restart);
    void StartAutoplay(int32_t running);
    // One tick of running autoplay: the pan drift (and the levelling tilt) added to input, or
    // the autoplay rescheduled when this tick polled no input.
    void AutoplayStep(CameraState* input);
    // One step of the automatic tour (timer 2).
    void AutoTourStep();
    // The frame index the automatic tour goes to next (g_autoTourOrder 1: in order, 2: at
    // random, never the current one); -1 with one frame or in another order.
    int32_t NextTourFrame();
    // Tour mode 0: a random shown object of the current frame that acts when clicked runs its
    // code (a menu one of its entries); false when the frame has none.
    bool TourObjectStep();
    // The object's menu when it is a menu object whose menu has entries; null otherwise.
    MenuRecord* TourMenuOf(ObjectItem* object);

    // --- Host events (main_wnd_host_events.cpp) ---
    // Stores a copy of the pair in the ring; a full ring drops it.
    void QueueHostEvent(const char* name, const char* value);

    // ================= Members =================
    // Owned parts, in construction order.
    CObjeto2D m_view;                    // main render device and viewport
    CTexto m_basePath;                   // folder that relative names are resolved against
    CTexto m_scriptFile;
    CTexto m_documentFile;
    CTexto m_saveViewName;
    CObjeto m_timelapseImages;
    CTexto m_viewerTitle;
    CTexto m_instanceName;
    CTexto m_tooltipFontFace;
    HFONT m_tooltipFonts[2] = {};        // owned
    CFrame m_firstFrame;                 // the empty scene
    CFrame m_interfaceFrame;
    CObjeto m_fonts;
    CObjeto m_frames;                    // one FrameItem per frame of the tour
    CObjeto m_pendingCode;
    CObjeto m_images[kImageLevelCount];
    CObjeto m_draggedObjects;
    CObjeto m_shownViewerWindows;
    CObjeto m_sounds;
    CTexto m_interfaceFile;
    CTexto m_progressText;
    CTexto m_fileNameText;
    CTexto m_cameraStateText;
    CTexto m_hardwareTexts[4];           // voltage, battery, system and processor temperature
    ViewerParameters m_params;
    CameraSequence m_sequence;           // the camera path being played
    CObjeto3D m_workMesh;                // working mesh; the second one is m_skyMesh
    CSprite m_hotspotImage1;             // hotspot pictures, loaded at initialisation
    CSprite m_hotspotImage2;
    CTexto m_watchdogText;               // the text given with a tour's camera watchdog key
    CTexto m_cameraPortText;             // the camera link's port, beside m_cameraAddress
    CSprite m_cameraPicture;             // the last picture of the connected camera
    CObjeto3D m_measureMesh;             // the measuring tool's second mesh, beside m_areaMesh
    ValueItem m_measureValue;            // the measuring tool's value record

    // State of the engine's spine.
    std::atomic<int> m_initialized{0};   // posting to the engine is allowed
    std::atomic<int> m_changeCount{1};   // > 0: something wants drawing
    std::atomic<int> m_drawingSuspended{1};
    std::atomic<int> m_redrawPending{0};
    CFrame* m_currentFrame = nullptr;    // never null once constructed
    CFrame* m_enteringFrame = nullptr;
    CFrame* m_leavingFrame = nullptr;
    int32_t m_currentFrameIndex = -1;
    std::atomic<int> m_cancel{0};        // polled by every load and worker thread
    float m_tickTime = 0.0f;             // seconds clock at the start of the current tick
    float m_fps = kDefaultFps;

    // Worker threads: each clears its own slot as its last act.
    WorkerThreadSlot m_updateLoopThread{nullptr};
    WorkerThreadSlot m_readerThread{nullptr};
    WorkerThreadSlot m_sequenceThread{nullptr};
    WorkerThreadSlot m_cameraServerThread{nullptr};
    WorkerThreadSlot m_cameraEngineThread{nullptr};
    WorkerThreadSlot m_selfUpdateThread{nullptr};
    std::atomic<uint8_t> m_stopUpdateLoop{0};
    std::atomic<uint8_t> m_stopCameraEngine{0};
    std::atomic<uint8_t> m_stopCameraServer{0};
    int m_threadStopWaitMs = kThreadStopWaitMs;  // bound of each wait for a thread to end
    // A stopped thread outlived its wait: it may still be writing a download.
    bool m_threadLeftRunning = false;
    bool m_countedLive = false;          // this engine counts in g_liveEngineCount

    // Start-up mode.
    uint8_t m_screensaver = 0;
    int32_t m_closeOnInput = 0;          // full-screen screensaver: input closes the host
    int32_t m_keyboardEnabled = 1;       // key objects run
    int32_t m_exitCode = 0;              // the process exit code
    int32_t m_fromPackage = 0;           // the parameters came from a package
    uint8_t m_editHotspots = 0;

    // Windows and platform.
    HWND m_hostWnd = nullptr;
    HWND m_viewWnd = nullptr;            // child of the host into which the view draws
    HWND m_tooltipOwner = nullptr;
    int32_t m_hostViewOffset[2] = {};    // the view's offset inside the host
    int32_t m_hotspotNotifyMessage = 0;
    uint8_t m_comInitialized = 0;
    JOYCAPSA m_joystickCaps[2] = {};
    OSVERSIONINFOEXA m_osVersion = {};

    // Commands and their interpreter (script/interpreter.cpp).
    const CommandTable* m_commandTable = &BuiltInCommandTable();  // actions by opcode
    ProbeMode m_skipCommands;            // per thread: probing a list's frame target
    MenuRecord m_userMenu;               // the script's context menu: one CompiledCode per entry
    std::atomic<int32_t> m_cameraTargets{0};    // bits of camera properties still moving
    std::atomic<int32_t> m_transitionState{0};  // non-zero while a frame transition runs

    // Navigation limits and the camera move (main_wnd_navigation_limits.cpp).
    CameraState m_cameraDelta;           // per-tick change record of the navigation
    float m_cameraTargetValues[9] = {};  // target values of animated moves, per property
    float m_rotationX = 0.0f;            // the viewer's copies of tilt, pan, roll and zoom
    float m_rotationY = 0.0f;
    float m_rotationZ = 0.0f;
    float m_zoom = 1.0f;
    uint8_t m_tiltChanged = 0;           // change marks: what moved since the rest of the
    uint8_t m_panChanged = 0;            // viewer last looked
    uint8_t m_zoomChanged = 0;
    float m_altitudeMin = 0.0f;          // altitude above the ground in force (3D scenes)
    float m_altitudeMax = 0.0f;
    float m_configuredAltitudeMin = 0.0f;  // the viewer's configured altitude range
    float m_configuredAltitudeMax = 0.0f;

    // Kept in config.dat.
    int32_t m_autoUpdate = 1;
    uint32_t m_lastUpdateCheck = 0;
    int32_t m_viewerWidth = 768;
    int32_t m_viewerHeight = 480;
    int32_t m_viewerOptions = 0;
    uint8_t m_settingsReserved[kSettingsReservedSize] = {};

    // Script reading (script/reader_engine.cpp).
    const ReaderHandlers* m_readerHandlers = &BuiltInReaderHandlers();  // one per keyword entry
    CTexto m_readerFile;                 // what the reader thread reads
    uint32_t m_readerLevel = 0;
    CFrame* m_readerTarget = nullptr;
    // The engine lock: guards the frame list, the current frame and the object lists between
    // the update loop, the reader and the UI thread. Held briefly, never nested, never across
    // network I/O, a sent message or a wait for another thread. Whoever changes these takes it.
    std::mutex m_sceneLock;

    // Frame switching and timelapse frames (main_wnd_frame_switch.cpp, main_wnd_timelapse.cpp).
    uint8_t m_transitionsOn = 0;         // fades between frames are wanted
    int32_t m_transitionKind = 0;        // kind used when the frame left sets none
    int32_t m_transitionAlpha = 0;       // fade level 0..255
    float m_transitionDuration = 2.0f;   // seconds
    float m_transitionLoadPercent = 100.0f;  // load the entering frame must reach first
    CObjeto m_fileList;                  // ValueItems: the viewer's file list
    int32_t m_timelineCount = -1;        // files in the list; a timelapse runs above 1
    int32_t m_timelineShown = -1;        // first image of the pair on mesh 0
    int32_t m_timelineWindow = -1;       // first image of the three kept loaded
    int32_t m_timelineSlots[3] = {-1, -1, -1};  // image held by sprite 0, 1, 2
    float m_timelinePosition = 0.0f;     // 0..1

    // Parameter setters (main_wnd_setters.cpp).
    float m_firstAutoplay[2] = {};       // "firstautoplay" in the order the autoplay start reads
    int32_t m_cameraMotion = 0;          // camera-motion bits: 0x8 tilt, 0x10 pan moving

    // Opening a document (main_wnd_document.cpp).
    int32_t m_cursorMode = 0;            // -1 hides the pointer
    uint8_t m_autoTour = 0;              // the script's automatic tour is on
    int32_t m_nodeHotspotCount = 0;      // node hotspots prepared for the current frame

    // Engine messages (main_wnd_messages.cpp).
    HWND m_messageWnd = nullptr;         // the window the engine's messages and timers go to
    // Parameters and pointer state (main_wnd_parameters.cpp, main_wnd_capture.cpp).
    std::atomic<int> m_applyPosted{0};   // an ApplyParameters message waits to be handled
    uint8_t m_windowless = 0;            // embedded: the host delivers the input
    int32_t m_hostInput = 0;
    int32_t m_dragMode = 0;              // DragMode
    int32_t m_mouseButtons = 0;          // button bits held over the view
    int32_t m_dragOrigin[2] = {};        // pointer position a drag measures from
    int32_t m_toolbarTips = 1;           // the built-in toolbar shows tooltips

    // The engine's own windows (main_wnd_windows.cpp).
    CTransparentWnd m_viewfinder;
    CVentanaExt m_externalWnd;           // its handle is the engine's message window
    CProgressDlg m_progressDlg;
    CAboutWnd m_aboutWnd;                // hidden until the about command shows it

    // --- Frame switching and frame ready (main_wnd_frame_switch.cpp, main_wnd_frame_ready.cpp) ---
    int32_t m_panoramaEventPending = 0;  // the "panorama" event is owed for the entering frame
    int32_t m_appliedProjection = 0;     // the projection ApplyProjection last applied
    int32_t m_invertPano = 0;            // the inverted projection is applied
    int32_t m_gridMode = 0;              // image-grid display mode
    float m_elevation = 0.0f;            // camera elevation over the ground of 3D scenes
    int32_t m_toolbarVisible = 0;
    int32_t m_liveContent = 0;           // the current frame shows live pictures
    int32_t m_groundFollow = 0;          // ground-follow state of 3D scenes
    CObjeto3D m_skyMesh;                 // the skybox
    CSprite m_skyImage;
    CSprite m_cameraOutput;              // the panorama rendered from a camera-sensor frame
    CObjeto3D m_sphereMesh;              // the engine's sphere grid
    D3DLIGHT9 m_defaultLights[2] = {};   // the lights 3D model frames get
    // Longest wait of a switch for the drawing pass in progress.
    int m_switchWaitMs = 3000;
    // --- end of frame switching and frame ready ---

    // --- Dispatcher, loop and tick state (main_wnd_dispatch.cpp, main_wnd_update_loop.cpp,
    // main_wnd_tick.cpp, main_wnd_handlers.cpp, main_wnd_pointer.cpp) ---
    std::atomic<int> m_redrawRequest{0}; // 1: one more drawing pass; 2: that pass was done
    std::atomic<int> m_messageShowPosted{0};  // the pending user message is on its way
    std::atomic<uint32_t> m_updateLoopGeneration{0};  // raised by every stop
    std::mutex m_updateLoopRun;          // held by the running loop body only
    int32_t m_tickCount = 0;
    float m_lastDrawnTime = 0.0f;
    uint32_t m_frameTimes[kFrameTimeSamples] = {};  // intervals in 100 ns units
    int32_t m_frameTimeCount = 0;
    int32_t m_frameTimeIndex = 0;
    float m_stepFps = kDefaultFps;
    float m_frameTimeStep = 0.001f;
    float (*m_clock)() = nullptr;        // the tick's clock; null: GetTimeSeconds
    CMainWnd* m_linkedEngine = nullptr;  // the engine "plugincamera" names, found each tick
    float m_timelapseStepTime = 0.0f;    // tick time of the timelapse playback's last step
    // The 3D-glasses view (on while m_gridMode is set on a 3D scene).
    int32_t m_anaglyphColours = 0;       // 0 red-blue, 1 blue-red
    int32_t m_anaglyphDirection = 0;     // 0 toward inside, 1 toward outside
    int32_t m_anaglyphTones = kAnaglyphTrueColour;
    float m_anaglyphSeparation = 5.0f;
    uint8_t m_pointerMoved = 0;
    int32_t m_viewMoved = 0;
    int32_t m_inputPolled = 0;
    // The tick's input steps ask the window system once per tick who holds the focus and the
    // capture, and which keys the thread's queue saw go down: under Wine each question is a
    // trip to the window server. Taken and dropped by UpdateFrame; a capture change drops it.
    struct TickInputSnapshot {
        bool windowsKnown = false;
        HWND focus = nullptr, capture = nullptr;
        bool keysKnown = false;
        BYTE keys[256] = {};
    };
    TickInputSnapshot m_tickInput;
    uint8_t m_cursorHidden = 0;          // hide the cursor while presenting
    int32_t m_showInfo = 0;
    int32_t m_autoplayPending = 0;
    int32_t m_autoplayRunning = 0;
    int32_t m_stateReportDue = 0;
    float m_lastStatePoll = 0.0f;        // the update loop's last state poll
    int32_t m_checkStates = 1;
    int32_t m_keyInputEnabled = 1;
    int32_t m_closeOnKeyboard = 0;
    int32_t m_closeOnFocusLoss = 0;
    int32_t m_oneMouseButton = 0;
    int32_t m_rightButtonDisabled = 0;
    uint8_t m_doubleClicked = 0;
    int32_t m_viewInExternal = 0;        // the view lies in the external window
    uint8_t m_externalClosePosted = 0;   // one Esc leave request waits
    int32_t m_mouseX = 0;
    int32_t m_mouseY = 0;
    int32_t m_pressMoved = 0;
    int32_t m_cameraTargetStep = 0;
    CFrame* m_cameraTargetFrame = nullptr;
    // Multimedia layer of the looping sounds: tests put their own in.
    MCIERROR (*m_mciSend)(const char* command, char* answer, UINT answerSize, HWND notify) =
        nullptr;
    CTexto m_cameraAddress;              // the connected camera
    int32_t m_serverPort = kCameraPortDefault;
    CFicheroHttp m_cameraLink;
    CFicheroHttp m_serverSocket;
    CCameraDetectionDlg m_detectionDlg;
    int32_t m_connectByName = 0;         // the connect dialog's by-name option
    CTexto m_sequenceFileArg;            // the sequence thread's arguments
    int32_t m_sequenceSlotArg = 0;

    // Viewer-wide settings that a tour's frame keys give (script/reader_frame_keys.cpp).
    uint8_t m_loadsStopped = 0;          // the tour came from a camera server: loads wait
    int32_t m_updaterEnabled = 1;        // the program-upload key chord works
    int32_t m_showObjectsAlways = 0;
    float m_minFrameTime = 0.0f;         // seconds a drawn frame lasts at least
    int32_t m_youtubeEvent = 0;
    float m_panEvent = 0.0f;             // seconds between pan events; 0: none
    uint8_t m_closeOnFocusLossNow = 0;   // m_closeOnFocusLoss != 0, cleared while a dialog runs
    float m_ipUpdateInterval = 0.0f;     // seconds between address reports of the camera engine
    CTexto m_ipUpdateAddress;
    int32_t m_watchdogEnabled = 0;       // the camera engine runs m_watchdogCode
    int32_t m_watchdogPort = kCameraPortDefault;
    CTexto m_watchdogAddress;
    float m_watchdogTimer = 0.0f;
    CompiledCode m_watchdogCode;
    // --- end of dispatcher, loop and tick state ---

    // --- Scene rendering, presentation, pointer input and layout (main_wnd_render*.cpp,
    // main_wnd_pointer*.cpp, main_wnd_layout*.cpp) ---
    RECT m_paintRegion = {};             // the part of the main view the passes repaint
    int32_t m_measureMode = -1;          // measuring tool mode, -1 off; 4 draws the area mesh
    CObjeto3D m_areaMesh;                // the measuring tool's area mesh
    CObjeto2D* m_activeView = &m_view;   // device of the view under the pointer
    RECT m_hostClipRect = {};            // where a window-less device's image goes
    uint8_t m_fullScreenOpened = 0;      // view events of the property objects
    uint8_t m_fullScreenClosed = 0;
    int32_t m_closeButtonSetting = 0;    // "closebutton"
    CSprite m_closeButtonImages[2];      // the close button, normal and under the pointer
    int32_t m_closeControlShown = 0;     // the toolbar's close control is shown
    uint8_t m_viewerTopmost = 0;         // "viewertopmost"
    int32_t m_tooltipOffset[2] = {};     // the view's offset in the tooltips' owner window
    // Toolbar slots and built-in controls as the pointer sees them; the toolbar places them.
    RECT m_buttonRects[kToolbarSlotCount] = {};
    int32_t m_buttonShown[kToolbarSlotCount] = {};
    int32_t m_buttonPressed[kToolbarSlotCount] = {};
    RECT m_controlRects[kControlCount] = {};
    uint8_t m_controlShown[kControlCount] = {};
    uint8_t m_controlToggles[kControlCount] = {};
    int32_t m_controlCount = kControlCount;
    int32_t m_toolbarDirty = 0;          // the built-in toolbar must be drawn again
    // Pointer state.
    int32_t m_prevMouseButtons = 0;      // m_mouseButtons as of the last press or release
    int32_t m_buttonDownPos[2] = {};     // pointer at the last left or right press
    std::atomic<uint8_t> m_buttonEvent{0};  // a button or wheel event since the loop looked
    int32_t m_hoverButton = -1;          // toolbar slot under the pointer
    int32_t m_activeButton = -1;         // toolbar slot being pressed
    int32_t m_hoverControl = -1;         // built-in control under the pointer
    int32_t m_capturedControl = -1;      // built-in control being dragged
    int32_t m_hoverCode = 0;             // what the pointer is over: chooses the cursor
    int32_t m_lastHoverCode = 0;
    int32_t m_pointerObjectId = -1;      // object that took the pointer in this pass
    uint8_t m_hotspotHit = 0;            // a node hotspot took the pointer in this pass
    int32_t m_quickMoves = 0;            // moves less than 0.1 s apart
    float m_lastMoveTime = 0.0f;
    int32_t m_dragObjectId = -1;         // object dragged by the pointer
    int32_t m_pressPos[2] = {};          // pointer at the start of a view drag
    int32_t m_dragGridCell[2] = {};      // image-grid cell at the start of a view drag
    int32_t m_closeOnMouseClick = 0;     // screensaver: a click closes
    int32_t m_closeOnMouseMove = 0;      // screensaver: quick moves close
    int32_t m_editCorner = -1;           // hotspot corner being edited
    uint8_t m_clickEvents = 0;           // the current frame wants "_clickevent_"
    uint8_t m_mouseUpEvents = 0;         // ... and "_mouseupevent_"
    int32_t m_touchScreenEnabled = 0;
    int32_t m_viewfinderOn = 0;
    int32_t m_viewfinderMode = 0;
    uint8_t m_viewfinderShown = 0;
    uint8_t m_keysDown[512] = {};        // per key code: a shown key object looked at it
    uint8_t m_tooltipsEnabled = 1;
    HWND m_tooltip = nullptr;            // the active tooltip control
    HWND m_objectTooltip = nullptr;      // the object tooltip control
    HCURSOR m_shownCursor = nullptr;     // the cursor UpdateCursor set last
    int m_cursorChoice = 0;              // ... as ChooseCursor named it
    HCURSOR m_blankCursor = nullptr;     // owned: the hidden cursor, drawn by us
    // The viewfinder (main_wnd_render_viewfinder.cpp).
    POINT m_viewfinderPos = {};          // the view point it is centred on
    float m_viewfinderZoom = 2.0f;
    CSprite m_viewfinderImage;           // 32-bit image the viewfinder renders into
    CSprite m_viewfinderDepth;           // its 16-bit depth image
    CSprite m_viewfinderFrame;           // the overlay drawn over it
    CameraState m_viewfinderCamera;
    RenderParams m_viewfinderParams;
    // --- end of scene rendering, presentation, pointer input and layout ---

    // --- Navigation input and camera motion (main_wnd_camera_*.cpp) ---
    SHORT (*m_keyState)(int key) = nullptr;  // key-state source; null: GetAsyncKeyState
    float m_wheelDelta[2] = {};          // wheel zoom step per tick and amount left
    int32_t m_navMousePos[2] = {};       // pointer at the last mouse navigation
    uint8_t m_forcedDrag = 0;            // a drag moves the view directly
    int32_t m_keyboardSuspended = 0;     // while a view image is saved
    uint8_t m_wheelChanged = 0;          // change marks of the input devices
    uint8_t m_mouseChanged = 0;
    uint8_t m_keyboardChanged = 0;
    uint8_t m_positionChanged = 0;
    int32_t m_chordKeys = 0;             // chord keys seen down since the chord began
    C3DMouse* m_3dMouse = nullptr;       // owned; null without a 3D mouse
    uint32_t m_3dMouseKeys = 0;          // bit k: 3D mouse key k is held
    uint8_t m_3dMouseMoved = 0;
    CameraState m_lastCameraDelta;       // the input of the previous tick
    CameraState m_smoothedMotion;        // the input after smoothing
    float m_cameraDrift[9] = {};         // per-tick change of relative animated moves
    int32_t m_transitionCameraTargets = 0;  // preset mask of the next frame switch, -1 all
    uint8_t m_cameraTargetFollowGround = 0;
    float m_hardTiltLimits[2] = {-90.0f, 90.0f};
    float m_hardZoomLimits[2] = {0.28f, 100.0f};
    float m_positionLimits[4] = {};      // x min, x max, z min, z max; 0 and 0 = none
    float m_altitude = 0.0f;             // above the ground, metres
    int32_t m_groundFollowState = 0;     // 0 none, 1 waiting for ground, 2 following
    float m_rememberedEyeHeight = 0.0f;  // eye height before following
    uint8_t m_eyeHeightRemembered = 0;
    int32_t m_projection = 0;            // ProjectionMode
    int32_t m_panEventStep = 5;
    int32_t m_panEventIndex = 0;
    float m_panEventTime = 0.0f;
    // Transitions and autoplay (main_wnd_camera_paths.cpp).
    float m_transitionStart = 0.0f;
    float m_fadeStart = 0.0f;
    float m_transitionMinTime = 0.0f;
    uint8_t m_lateSwitch = 0;
    int32_t m_autoplayToggle = 0;        // continuous rotation
    float m_autoplayDirection = -1.0f;
    float m_autoplayGridTime = 0.0f;     // last column step of an autoplaying image grid
    float m_screensaverDelay = 0.0f;
    CameraSequence* m_autoplaySequence = nullptr;  // the viewer's own autoplay path
    // The host event ring.
    CTexto m_hostEventNames[20];
    CTexto m_hostEventValues[20];
    int32_t m_hostEventRead = 0;
    int32_t m_hostEventWrite = 0;
    // --- end of navigation input and camera motion ---

private:
    // script/reader_engine.cpp
    // The read itself; staged: into lists of its own, handed over at the end.
    int ReadScriptFile(const char* fileName, CObjeto& frames, uint32_t level, CObjeto& fonts,
                       CFrame* target, const char* text, bool staged);
    static unsigned ReaderThread(void* engine);

    // main_wnd_setters.cpp
    // fromParameter: the parameter's value into the empty scene's field, with its override
    // bit; otherwise the field's value back into the parameter.
    void CopyParameter(float& parameter, float& field, uint32_t overrideBit, bool fromParameter);
    void ApplyRotation(float value, bool tilt);

    // main_wnd_frame_switch.cpp
    // No timelapse: the count and the window words -1, the position 0.
    void ResetTimelapse();
    // Arms the image refresh timer when the current frame reloads its image.
    void ArmImageRefresh();
    // Opens the secondary viewer window of the object when it is shown and has none, and lists
    // it among the windows on screen.
    void ShowViewerWindow(ObjectItem* object, ViewerWindowItem* viewer);

    // main_wnd_frame_ready.cpp: the builds of OnFrameReady by frame kind, then its common tail.
    // The mesh is built and may be drawn.
    static void SetMeshReady(CObjeto3D* mesh);
    void BuildSingleImageFrame(CFrame* frame);
    void BuildSphere(CFrame* frame, float ratio, float horizon);
    void BuildNaturalGeometry(CFrame* frame, float ratio, float horizon);
    // A single image of six faces in a row or column becomes a cube whose faces it decodes into.
    void SplitFaceStrip(CFrame* frame);
    void BuildFlatImageFrame(CFrame* frame);
    void BuildAerialFrame(CFrame* frame);
    void BuildTerrainScene(CFrame* frame);
    void BuildModelScene(CFrame* frame);
    void FinishFrameReady(CFrame* frame);
    // main_wnd_frame_strips.cpp
    void BuildStripFrame(CFrame* frame);
    // main_wnd_frames.cpp
    // Index of the current frame in m_frames (-1: none); the caller holds m_sceneLock.
    int32_t CurrentFrameIndexLocked();

    // main_wnd_lifecycle.cpp
    void AcquireProcessResources();
    void ReleaseProcessResources();

    // main_wnd_initialize.cpp
    void CreateBuiltInFonts(HWND hostWnd);
    // The engine's sphere grid (main_wnd_frame_ready.cpp).
    void BuildSphereMesh();
    void StartCacheSessionIfFirst();
    void EndCacheSessionIfLast();
    // Raises the cancel flag and waits (bounded) for the threads that run once.
    void WaitForWorkerThreads();

    // main_wnd_pointer.cpp
    // The dragged objects follow the pointer, each kept inside its margins.
    void MoveDraggedObjects();
    // main_wnd_pointer_cursor.cpp
    // The cursor for the hover code: a program cursor id, a SystemCursorChoice, or 0 for none.
    int ChooseCursor();
    // A program cursor from the resources (the arrow when missing); 896 is drawn here.
    HCURSOR ProgramCursor(int id);

    // main_wnd_windows.cpp
    // The external window (hidden, the message window) over the view's screen rectangle and
    // the viewfinder popup owned by it.
    void CreateEngineWindows();
    void DestroyEngineWindows();

    // main_wnd_threads.cpp
    void StopThread(std::atomic<uint8_t>& stopByte, WorkerThreadSlot& slot);

    // script/interpreter.cpp
    // Appends a copy of length bytes of code as a new pending list.
    void AppendPendingCode(const uint8_t* bytes, int32_t length, float speed);

    std::mutex m_pendingLock;            // append, head read, removal and emptying of m_pendingCode
    std::atomic<CompiledCode*> m_pendingRunning{nullptr};  // the pending head while it runs
    bool m_pendingDropHead = false;      // emptied while the head ran: drop it afterwards

    bool m_holdsCodePool = false;
    bool m_mediaIoInstalled = false;
};

// Cell height of a built-in or tooltip font: (the screen's vertical pixels per inch) / 15 x size.
int BuiltInFontHeight(int pixelsPerInchY, float size);
