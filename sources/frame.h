#pragma once
// CFrame: the imagery and state of one frame (node) of a tour: what kind of panorama it is, its
// meshes and face images, its interface objects, its view limits and initial view, the
// per-viewer camera states, the load progress, the spherical-camera sensor parameters and
// playback state, and the frame's loader and recorder threads.
//
// Methods are spread over files by concern:
//   sources/frame.cpp                 construction, destruction, progress, ClearObjects, Unload
//   sources/frame_loader.cpp          StartLoading, the loader thread, CancelLoading,
//                                     LoadImageList, LoadImagesFromStream, ShowGridImage
//   sources/frame_geometry.cpp        CreateGeometry, UpdateDetailLevels, UpdateTileDetail
//   sources/frame_panorama_file.cpp   LoadPanoramaFile
//   sources/frame_quicktime.cpp       LoadQuickTimeVR
//   sources/frame_sphere_video.cpp    LoadSphereVideo
//   sources/frame_recorder.cpp        StopRecording
//   sources/frame_sensors.cpp         BuildSensorGeometry
//   sources/frame_detection.cpp       ClearDetectionResults
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "core/item_list.h"
#include "core/text_string.h"
#include "core/worker_threads.h"
#include "images/sprite.h"
#include "render/camera_state.h"

class CFicheroHttp;
class CObjeto2D;
class CObjeto3D;
struct _D3DLIGHT9;

// Lights a frame can hold (its light table).
constexpr int32_t kFrameLightCapacity = 100;
// Mesh and image slots of a frame; counts from tours and files never exceed them.
constexpr int32_t kFrameSlotCapacity = 5000;
// Sensors of a spherical camera.
constexpr int32_t kSensorCapacity = 10;
// Values of a one-shot frame's mirror configuration.
constexpr int32_t kMirrorConfigCount = 11;
// Viewers whose camera states and detail times a frame keeps.
constexpr int32_t kFrameViewerCount = 8;

// CFrame::flags
enum FrameFlags : uint32_t {
    FrameToolbar = 0x1,             // the frame shows the built-in toolbar
    FrameCameraControls = 0x4,      // the camera controls are shown
    FrameWasCurrent = 0x10,         // the frame has been current once
    FrameCoordinateControls = 0x60, // the coordinate controls of 3D scenes
    FrameSkybox = 0x80,             // a sky image surrounds ground planes and scenes
    FrameDetail24Bit = 0x100,       // detail textures of 24 instead of 8 bits
    FramePreloaded = 0x1000,
    FrameActivated = 0x2000,        // the frame has been shown
    FrameReleaseFarMeshes = 0x4000, // scene meshes far from every viewer are released
    FrameExpired = 0x8000,          // its time limit has passed
    FrameCached = 0x10000,          // kept in memory when left
    FrameKeptLoaded = 0x20000,      // the interface frame, and frames a script keeps loaded
    FrameClickEvents = 0x80000,     // the host hears clicks
    FrameMouseUpEvents = 0x100000,  // the host hears button releases
};
// Defaults a 3D scene takes for the flags its section did not set itself.
constexpr uint32_t kSceneFlagDefaults = 0x40EE;
constexpr uint32_t kFrameFlagsDefault = 0x404161;

// CFrame::overrides: a set bit means the tour gave the value, so loaders must not overwrite it.
enum FrameOverrides : uint32_t {
    OverrideInitialTilt = 0x1,
    OverrideInitialPan = 0x2,
    OverrideInitialZoom = 0x4,
    OverrideLowestTilt = 0x8,
    OverrideHighestTilt = 0x10,
    OverrideLowerPan = 0x20,
    OverrideUpperPan = 0x40,
    OverrideSmallestZoom = 0x80,
    OverrideLargestZoom = 0x100,
    OverrideMouseMode = 0x200,
    OverrideHorizonPosition = 0x400,  // also set by the movie reader when it computed the centre
    OverrideAutoplay = 0x800,
    OverrideFirstAutoplay = 0x1000,
    OverrideVelocity = 0x2000,
    OverrideAcceleration = 0x4000,
    OverrideAutoplaySpeed = 0x8000,
    OverrideBackColour = 0x10000,
    OverrideTransitionKind = 0x20000,
    OverrideZoomVelocity = 0x40000,
    OverrideProjection = 0x80000,
    OverrideSensorConfiguration = 0x100000,
};

// --- Frame and source kinds (read by the tick and the update loop first) ---
// What a frame's geometry is.
enum FrameKind : int32_t {
    FrameKindNone = -1,        // after Unload
    FrameKindCubic = 0,        // six faces
    FrameKindCylindrical = 1,  // n pieces
    FrameKindStrips = 2,       // spherical strips of a binary panorama file
    FrameKindFisheye = 3,
    FrameKindCamera = 4,       // spherical camera: one mesh per sensor and a background band
    FrameKindOneShot = 5,
    FrameKindSpherical = 6,    // a spherical image on a full sphere
    FrameKindImageGrid = 7,    // flat image grid (object movie)
    FrameKindAerial = 8,       // aerial ground plane
    FrameKindScene = 9,        // 3D scene from model data
    FrameKindModel = 10,       // a 3D model scene with fog and ground following
    FrameKindModel3ds = 12,    // a 3DS model
};

// How the tour says a frame's imagery comes (its section's sub-type).
enum SourceKind : int32_t {
    SourcePositioner = -2,     // "POSICIONADOR"
    SourceFromFile = -1,       // "KZR", "MOV", "TIMELAPSE": the file tells the kind
    SourceCubic = 0,           // "CUBIC"
    SourceCylinder = 1,        // "CILINDRO"
    SourceFisheyes = 3,        // "FISHEYES"
    SourceCamera = 4,          // "VISTROLUX"
    SourceOneShot = 5,         // "ONESHOT"
    SourcePanorama = 6,        // "PANORAMA", "PANORAMIC"
    SourcePhotoGrid = 7,       // "PASAFOTOS"
    SourceAerial = 8,          // "AERIAL", "MAPAFOTO"
};
// --- end of frame and source kinds ---

// CFrame::cameraType: the lens shape of a camera frame's sensors.
enum CameraType : int32_t {
    CameraTypeCylinder = 0,
    CameraTypeSphere = 1,
    CameraTypeZenith = 2,
};

// Indexes of CFrame::effectiveLimits, the limits in force.
enum NavigationLimit : int {
    LimitTiltMin = 0,
    LimitTiltMax = 1,
    LimitPanMin = 2,
    LimitPanMax = 3,
    LimitZoomMin = 4,
    LimitZoomMax = 5,
};

// Weight word of an image progress item.
enum ProgressWeight : int32_t {
    ProgressWeightNormal = 0,
    ProgressWeightWhileIncomplete = -2,  // counted only while the image is incomplete
};

// The lens and placement of each sensor of a spherical camera: one entry per sensor in each
// array. Sizes are in the mesh builder's units: u 2.0 = one turn, v 1.0 = pole to pole.
struct SensorParameters {
    int32_t meshShape[kSensorCapacity];
    float tilt[kSensorCapacity];
    float pan[kSensorCapacity];
    float roll[kSensorCapacity];
    float uCentre[kSensorCapacity];
    float vCentre[kSensorCapacity];
    float uScale[kSensorCapacity];
    float vScale[kSensorCapacity];
    float horizontalSize[kSensorCapacity];
    float verticalSize[kSensorCapacity];
    float horizontalLensFactor[kSensorCapacity];
    float verticalLensFactor[kSensorCapacity];
    float uAlignOffset[kSensorCapacity];
    float vAlignOffset[kSensorCapacity];
    int32_t lensCorrection[kSensorCapacity];
    float lensCoefficient1[kSensorCapacity];
    float lensCoefficient2[kSensorCapacity];
    float lensCoefficient3[kSensorCapacity];
    float lensCoefficient4[kSensorCapacity];

    // Every sensor with its defaults.
    SensorParameters();
};

// Index into CFrame::fisheyeConfig (pixels, degrees).
enum FisheyeField : int {
    FisheyeImageWidth = 0,
    FisheyeImageHeight = 1,
    FisheyeCentreX = 2,
    FisheyeCentreY = 3,
    FisheyeCircleWidth = 4,
    FisheyeCircleHeight = 5,
    FisheyeLensAngle = 6,
    FisheyeRotation = 7,
    FisheyeReaderValue = 8,
    FisheyeFieldCount = 9,
};

// Index into the seven values of a view: CFrame::initialView, lowerLimits, upperLimits.
enum FrameViewIndex : int {
    ViewX = 0,
    ViewY = 1,
    ViewZ = 2,
    ViewTilt = 3,
    ViewPan = 4,
    ViewRoll = 5,
    ViewZoom = 6,  // 45 / vertical field of view
    ViewFieldCount = 7,
};

// Search record of the sensor alignment (six values).
struct AlignmentSearchRecord {
    float values[6];
};

class CFrame {
public:
    CFrame();
    virtual ~CFrame();

    CFrame(const CFrame&) = delete;
    CFrame& operator=(const CFrame&) = delete;

    // --- frame.cpp: progress and life cycle ---

    // Registers an image being loaded (one type-16 progress item per image) with its weight
    // (ProgressWeight), sets the loading flag and recomputes the percentage.
    void TrackSpriteProgress(CSprite* image, int32_t weight);
    // Registers the frame's own file (a type-17 item), sets the loading flag and recomputes.
    void TrackFileProgress();
    // Empties the progress list and clears the loading flag.
    void ClearProgress();
    // Recomputes loadPercent from the progress items (100 and the loading flag cleared when the
    // frame is complete). Answers the item count; with no items nothing changes.
    int32_t UpdateProgress();
    // Gives the object list the view's resident-resource list (so that its items withdraw their
    // sprites and meshes there), then empties it.
    void ClearObjects();
    // Ends every load (waiting for the loader thread), releases the frame's meshes and images
    // (clearing, not deleting, images another owner holds) and resets the loaded state. The
    // frame can be loaded again.
    void Unload();
    // Appends an image another owner holds (an item's sprite); Unload clears it instead of
    // deleting it. False when every slot is taken.
    bool AppendBorrowedSprite(CSprite* image);

    // True while the frame's imagery is still loading.
    bool IsLoading() const;
    // The cameras of a camera frame resume playing / pause and start exporting stills.
    void ResumePlayback();
    void StopCameras();

    // --- frame_loader.cpp: loading ---

    // Stores the source and the window and message to notify, first ending a load that still
    // runs, and starts the frame's loader thread; answers it (null when it could not start).
    // Does not wait.
    CWorkerThread* StartLoading(const char* sourceName, HWND window, UINT message);
    // Raises the cancel flag, waits until the loader thread has ended, stops the recorder, then
    // clears the flag.
    void CancelLoading();
    // Reads the comma-separated list: a base folder or URL, then one image name per face, piece
    // or sensor. Builds placeholders, posts the notify message, then decodes each image on this
    // thread. 1 when not cancelled, else 0.
    int LoadImageList(const char* list, HWND window, UINT message);
    // Decodes images stored back to back in the stream into the frame's last count images.
    // sizes has count x tilesPerImage entries, as have offsets and layout when given. Answers the
    // result of the last image (1 decoded, 0 failed; for image-grid frames the bytes received).
    int LoadImagesFromStream(CFicheroHttp* stream, const uint32_t* sizes, const uint32_t* offsets,
                             const uint32_t* layout, int count, int tilesPerImage,
                             uint32_t meshFlagMask, HWND window, UINT message);
    // Shows the current cell of an image-grid frame (with its neighbour blended over it when
    // blend is set).
    void ShowGridImage(int blend);

    // --- frame_geometry.cpp: geometry and detail ---

    // Builds the meshes and placeholder images of a frame kind: count meshes, placeholders of
    // width x height (0: keep the frame's images), slicing 1 or 2 when the images are slices of
    // one source. Answers width (10 for grid frames), -200 when the frame already has meshes.
    int CreateGeometry(int kind, int count, int width, int height, int slicing);
    // Chooses the detail of the scene's meshes and textures for one viewer (at most every 0.2 s)
    // and starts the loads that bring them. 1 when a texture changed its detail.
    int UpdateDetailLevels(const float position[3], float time, int viewer);
    // Raises the requested detail of the tiles of the mesh's texture that lie near the camera.
    // Answers the number of tiles raised.
    int UpdateTileDetail(CObjeto3D* mesh, const float position[3]);

    // --- frame_panorama_file.cpp ---

    // Reads the program's binary panorama file. 1 when the file was handled, refused or
    // cancelled; 0 when the source is a text tour (ReloadScriptFile has been posted).
    int LoadPanoramaFile(const char* name, HWND window, UINT message, int detailLevel);

    // --- frame_quicktime.cpp, frame_sphere_video.cpp: movie readers ---

    // 1 when the movie was read; 0 on failure (nothing posted).
    int LoadQuickTimeVR(const char* name, HWND window, UINT message);
    int LoadSphereVideo(const char* name, HWND window, UINT message);
    // Unless the frame is recording, the playback rate of a recorded camera video.
    void SetPlaybackRate(float rate);

    // --- frame_recorder.cpp ---

    // Ends the recorder thread and waits for it.
    void StopRecording();

    // --- frame_sensors.cpp ---

    // Shapes the mesh of the sensor from its parameters; false when it could not.
    bool BuildSensorGeometry(int sensor);

    // --- frame_detection.cpp ---

    // Releases the motion detection's results.
    void ClearDetectionResults();

    // ===== Fields, in layout order =====

    // 1.
    int32_t viewerWord = 0;
    // 2.
    WorkerThreadSlot loaderThread{nullptr};
    WorkerThreadSlot recorderThread{nullptr};
    // 3. Polled by every loader loop; the abort word of every stream and image load the frame
    // starts (SpriteAbortCancel is the cancel request).
    std::atomic<int> cancelFlag{0};
    // 4.
    std::atomic<uint8_t> recorderStop{0};
    std::atomic<int32_t> recorderState{0};  // 0 running, 1 paused, 2 one step
    // 5.
    uint16_t entryCode = 0;
    CTexto name;
    CTexto description;
    CTexto readerTexts[2];
    // 6.
    int32_t sourceKind = SourceFromFile;  // SourceKind
    // 7.
    int32_t backColour = static_cast<int32_t>(0xFF000000u);  // fills placeholder images
    // 8.
    uint16_t sequenceNumber = 0;
    float tourDelay = 0.0f;
    CTexto updateStateAddress;
    CTexto checkStateAddress;
    int32_t readerFields[5] = {};
    // 9.
    CObjeto objects;
    // 10. Views: position x, y, z, tilt, pan, roll, zoom. Pan limits of 360 and 360: unlimited.
    float initialView[ViewFieldCount] = {0, 0, 0, 0, 0, 0, 1.0f};
    float lowerLimits[ViewFieldCount] = {0, 0, 0, -90.0f, 360.0f, 360.0f, 0.28f};
    int32_t readerLimitWords[20] = {};
    float upperLimits[ViewFieldCount] = {0, 0, 0, 90.0f, 360.0f, 360.0f, 6.0f};
    float cameraHeight[2] = {50.0f, 4000.0f};
    float depth = 4000.0f;
    int32_t compassPosition[2] = {-1, 0};
    int32_t projection = 0;
    float horizonPosition = 50.0f;      // vertical centre of a cylinder, per cent
    float projectionParameter = 0.5f;   // of projections that take one (fisheye strength)
    float partialWidth = 360.0f;        // degrees a partial panorama spans
    float readerViewTail[3] = {0, 100.0f, 2.0f};
    // 11.
    uint32_t flagsGiven = 0;              // flag bits the tour gave, set or cleared
    uint32_t flags = kFrameFlagsDefault;  // FrameFlags
    // 12.
    uint32_t overrides = 0;  // FrameOverrides
    // 13.
    // Low 16 bits the buttons of bar 0, high 16 bits bar 1 (0x8 full screen, 0x200 viewfinder);
    // -1: the camera limits give it the viewer's value.
    int32_t toolbarButtons = -1;
    uint8_t viewerByte = 0;
    uint8_t* panoramaHeader = nullptr;  // owned (malloc): header block of a binary panorama file
    // 14.
    // One-shot mirror: eleven values, the last the swap of the one-shot image.
    float mirrorConfig[kMirrorConfigCount] = {0, 0, 0, 0, 30.0f, 30.0f, 0, 0, 0, 0, 0};
    // 15. FisheyeField
    float fisheyeConfig[FisheyeFieldCount] = {0, 0, 0, 0, 0, 0, 180.0f, 0, 4.0f};
    // 16.
    // The limits in force (NavigationLimit; 360 and 360 mean none for tilt and pan).
    float effectiveLimits[6] = {-90.0f, 90.0f, 360.0f, 360.0f, 0.28f, 6.0f};
    int32_t readerLimitValue = 0;
    // 17. The render device that shows the frame, not owned.
    CObjeto2D* device = nullptr;
    // 18. Mesh i uses image i unless its kind says otherwise. Both owned, except images marked
    // in spriteBorrowed.
    CObjeto3D* meshes[kFrameSlotCapacity] = {};
    CSprite* sprites[kFrameSlotCapacity] = {};
    uint8_t spriteBorrowed[kFrameSlotCapacity] = {};
    // 19. The frame's lights, added by CObjeto2D::AddLight; not owned.
    _D3DLIGHT9* lights[kFrameLightCapacity] = {};
    // 20.
    std::atomic<int32_t> meshCount{0};
    std::atomic<int32_t> spriteCount{0};
    int32_t lightCount = 0;
    int32_t kind = FrameKindSpherical;  // FrameKind
    int32_t mouseMode = 2;  // the navigation mode
    int32_t viewerMode = 1;
    // 21.
    // Image-grid state (FrameKind 7).
    int32_t gridColumns = 0;
    int32_t gridRows = 0;
    std::atomic<int32_t> gridImagesRead{0};
    int32_t gridColumn = 0;
    int32_t gridRow = 0;
    int32_t gridImage = 0;         // the image shown
    int32_t gridBlendImage = -1;   // the neighbour blended over it, -1 none
    int32_t gridBlend = 0;
    int32_t gridColumnOffset = 0;
    int32_t gridStepDirection = 1;
    float gridOption = 0.5f;
    int32_t gridWords[3] = {};
    float gridViewerValues[4] = {8.0f, 8.0f, 8.0f, 8.0f};
    // The encoded bytes of each image-grid cell (owned), decoded again whenever the cell shows.
    CFicheroHttp* gridStreams[kFrameSlotCapacity] = {};
    // 22.
    SensorParameters sensorParams;
    // 23.
    CTexto sensorNames[kSensorCapacity];
    CSprite* liveCameras[kSensorCapacity] = {};  // not owned
    int32_t liveCameraCount = 0;
    // 24.
    int32_t sensorLayout = 0;  // 0 all sensors on the ring, 1 all but the last, else none
    int32_t seamCount = 0;
    int32_t sensorCount = 0;
    // 25.
    uint8_t remoteCamera = 0;
    CTexto remoteCameraAddress;
    // 26. Recording and playback.
    CTexto recordingName;
    std::atomic<int32_t> framesWritten{0};
    std::atomic<int32_t> framesDropped{0};
    std::atomic<int32_t> bytesWritten{0};
    int32_t stepTone = 0;
    std::atomic<int32_t> seekState{0};
    int32_t playbackRepeat = 0;
    int32_t playing = 1;
    int32_t stoppedMarker = 0;
    int32_t globalExposure = 0;
    int32_t globalWhiteBalance = 0;
    int32_t globalGamma = 0;
    int32_t luminanceTarget = 40;
    int32_t addBrightness = 0;
    int32_t addContrast = 0;
    float seekPercent = 0.0f;
    int32_t seekSetIndex = -1;
    int32_t frameCount = 0;
    float playbackRate = 1.0f;
    int32_t frameTimeMs = 0;
    int32_t playbackWords[2] = {};
    float clockOrigin = 0.0f;
    int32_t currentSet = 0;
    int32_t lastFrameTimeMs = 0;
    int32_t playbackWord = 0;
    int64_t timeOrigin = 0;
    int32_t framesPerSensor = 0;
    // 27. For the viewer's use, one slot per sensor.
    CSprite sensorImages[kSensorCapacity];
    CSprite sensorImages2[kSensorCapacity];
    // 28.
    uint8_t noiseReduction = 0;
    int32_t noiseFrames = 16;
    CTexto recorderStatistics;
    // 29.
    std::atomic<uint8_t> loading{0};
    std::atomic<float> loadPercent{0.0f};  // 0 to 100
    CObjeto progress;                      // type 16 per image, type 17 for the frame's file
    int32_t movieWriteMode = 0;
    std::atomic<int32_t> fileBytesRead{0};
    std::atomic<int32_t> fileBytesTotal{-1};  // -1 unknown
    // 30.
    CTexto sourceName;
    HWND notifyWindow = nullptr;
    UINT notifyMessage = 0;
    CTexto outputName;
    int32_t recorderMode = 0;
    float recorderValue = 0.0f;
    // 31.
    float modelScale = 1.0f;
    float unitScale = 1.0f;  // model units per metre
    float sceneValues[4] = {};
    uint8_t sceneValuesKnown = 0;  // also the aerial frame's detail-scaling mark
    // 32.
    CObjeto2D* panoramaRenderer = nullptr;  // owned, made on first use
    CObjeto3D* streamedModel = nullptr;     // not owned
    CSprite* streamedImage = nullptr;       // not owned
    // 33. Seconds of each viewer's last detail update.
    float lastDetailTime[kFrameViewerCount] = {-1.0f, -1.0f, -1.0f, -1.0f,
                                               -1.0f, -1.0f, -1.0f, -1.0f};
    // Each viewer's camera position at that update: tile detail is measured from the nearest.
    float detailPositions[kFrameViewerCount][3] = {};
    // 34.
    uint8_t alignmentRequested = 0;
    CSprite* alignmentReferences = nullptr;           // owned (new[])
    AlignmentSearchRecord* alignmentSearch = nullptr;  // owned (new[])
    int32_t alignmentCount = 0;
    // 35.
    uint8_t detectionEnabled = 0;
    std::atomic<uint8_t> detectionLock{0};
    uint8_t maskView = 0;
    // 36.
    CSprite detectionReference;
    CSprite detectionOverlay;
    CObjeto detectionZones;
    // 37. One per viewer index; 0 is the main view.
    CameraState cameras[kFrameViewerCount];

    // Frame-wide interim state ---------------------------------------------------------------
    float timeLimit = 0.0f;  // seconds the frame may stay loaded unused; 0 or less: no limit
    float timeStamp = 0.0f;  // tick time at which the limit was set
    uint8_t ready = 0;       // the imagery has arrived and the frame can be shown

    // Switching and frame ready -----------------------------------------------------------------
    int32_t transitionKind = 0;        // with OverrideTransitionKind
    uint8_t refreshOn = 0;             // the frame's image is reloaded every refreshSeconds
    float refreshSeconds = 0.0f;
    CFrame* objectSource = nullptr;    // the frame whose object list this one shows; none: own
    uint8_t aerial = 0;                // the frame is an aerial ground plane
    // Strip table of a strip frame (owned, malloc), as the panorama file reader stores it.
    uint8_t* stripTable = nullptr;
    int32_t stripTableSize = 0;
    // The one-shot lens: sensor parameters, lens parameter, rotation, field angles, angle offset.
    float lensSensor[4] = {};
    int32_t lensParameter = 0;
    float lensRotation[3] = {};
    float lensFieldAngles[2] = {};
    float lensAngleOffset = 0.0f;

    // Bit 0: a drag moves the view relative to where it started (the empty scene takes the
    // "relmousemove" parameter).
    int32_t relMouseMove = 1;
    int32_t motionDetection = 0;         // motion detection of a camera frame is on
    int32_t exportState = 0;             // 2: every tick exports one panorama still
    int32_t recordedFrameCount = 0;      // frames of a recording
    int32_t recordedFrameIndex = 0;      // the recording's frame being shown

    // Settings a tour gives the frame (read by the script reader; overrides tells which) ------
    int32_t cameraType = 0;              // CameraType of a camera frame's lens
    int32_t objectOffsetX = 0;           // pixels the frame's interface objects are shifted by
    float firstAutoplay[2] = {};
    float autoplay = 0.0f;               // seconds without input before autoplay starts
    float autoplaySpeed = 8.0f;
    float velocity = 8.0f;
    float zoomVelocity = 8.0f;
    float acceleration = 8.0f;
    // The fade when the tour leaves this frame (OverrideTransitionKind; the kind is above).
    float transitionLoadPercent = 100.0f;
    float transitionDuration = 2.0f;

private:
    // --- frame.cpp ---
    // Takes the object (sprite, mesh or the frame) out of the view's resident-resource list.
    void WithdrawResident(const void* object);
    // --- frame_geometry.cpp ---
    // True when the scene mesh or its image holds something worth releasing (a model, a load,
    // a picture larger than a placeholder).
    static bool HoldsSceneData(const CObjeto3D* mesh, const CSprite* image);
    // The main viewer's streaming: takes the scene values of the streamed model, starts the
    // nearest model and texture that are wanted, releases the far mesh (-1 none) and asks finer
    // tiles of the nearest textured mesh in view.
    void StreamSceneData(float radius, int detailBpp, int farMesh);
    // --- frame_loader.cpp ---
    // The loader thread: picks the reader by source kind and name.
    static unsigned FrameLoaderThread(void* parameter);
};
