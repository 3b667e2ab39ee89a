#pragma once
// The imagery and state of one frame (node) of a tour.
#include <windows.h>

#include <cstdint>

#include "core/item_list.h"
#include "core/text_string.h"
#include "render/camera_state.h"

class CObjeto2D;
struct _D3DLIGHT9;

// Lights a frame can hold (its light table).
constexpr int32_t kFrameLightCapacity = 100;

// CFrame::flags
enum FrameFlags : uint32_t {
    FramePreloaded = 0x1000,
    FrameActivated = 0x2000,   // the frame has been shown
    FrameExpired = 0x8000,     // its time limit has passed
    FrameKeptLoaded = 0x20000, // the interface frame, and frames a script keeps loaded
};

// Indexes of CFrame::initialView, lowerLimits and upperLimits.
enum FrameViewIndex : int { ViewX = 0, ViewY = 1, ViewZ = 2, ViewTilt = 3, ViewPan = 4, ViewRoll = 5, ViewZoom = 6 };

// CFrame::overrides written by the viewer parameters.
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

// Indexes of CFrame::effectiveLimits, the limits in force.
enum NavigationLimit : int {
    LimitTiltMin = 0,
    LimitTiltMax = 1,
    LimitPanMin = 2,
    LimitPanMax = 3,
    LimitZoomMin = 4,
    LimitZoomMax = 5,
};

class CFrame {
public:
    CFrame();
    virtual ~CFrame();

    CFrame(const CFrame&) = delete;
    CFrame& operator=(const CFrame&) = delete;

    // Gives the object list the view's resident-resource list (so that its items withdraw their
    // sprites and meshes there), then empties it.
    void ClearObjects();
    // Releases the frame's imagery; it can be loaded again. The frame holds no imagery yet.
    void Unload();

    // --- Loading (frame_loading.cpp) ---
    // Stores the source name and starts the frame's loader thread for a script, panorama file,
    // recording or movie; message (wParam the frame) goes to window when it can be shown, and a
    // text tour posts ReloadScriptFile. False when no loader was started.
    bool StartLoading(const char* fileName, HWND window, UINT message);
    // Sets the geometry type (FrameKind) and builds the meshes and image slots: faces images on
    // a columns x rows grid. False when nothing was built.
    bool CreateGeometry(int32_t kind, int32_t faces, int32_t columns, int32_t rows, int32_t flag);

    // --- View settings (given by frame keys, or inherited from the empty scene) ---
    // Position x, y, z, tilt, pan, roll, zoom (FrameViewIndex).
    float initialView[7] = {0, 0, 0, 0, 0, 0, 1.0f};
    float lowerLimits[7] = {0, 0, 0, -90.0f, 360.0f, 0, 0.28f};
    float upperLimits[7] = {0, 0, 0, 90.0f, 360.0f, 0, 8.0f};
    uint32_t overrides = 0;   // FrameOverrides: settings the frame gives itself
    int32_t mouseMode = 0;
    int32_t kind = FrameKindNone;  // FrameKind once the geometry is built
    // Image grids (FrameKind 7): columns and rows, and the image shown.
    int32_t gridColumns = 0;
    int32_t gridRows = 0;
    int32_t gridColumn = 0;
    int32_t gridRow = 0;
    // Decodes and shows the grid image at gridColumn, gridRow (mode 1: the 3D-glasses mode).
    void ShowGridImage(int32_t mode);

    CTexto name;
    CObjeto2D* device = nullptr;  // the render device that shows the frame, not owned
    // The frame's interface objects. Its residentList is the frame's own resident list.
    CObjeto objects;
    uint32_t flags = 0;      // FrameFlags
    float timeLimit = 0.0f;  // seconds the frame may stay loaded unused; 0 or less: no limit
    float timeStamp = 0.0f;  // tick time at which the limit was set
    uint8_t ready = 0;       // the imagery has arrived and the frame can be shown

    // --- Kinds (see FrameKind, SourceKind) ---
    int32_t sourceKind = SourceFromFile; // SourceKind; set by the tour before the frame loads
    int32_t motionDetection = 0;         // motion detection of a camera frame is on
    float loadPercent = 0.0f;
    int32_t exportState = 0;             // 2: every tick exports one panorama still
    int32_t recordedFrameCount = 0;      // frames of a recording
    int32_t recordedFrameIndex = 0;      // the recording's frame being shown
    CTexto updateStateAddress;           // "UPDATESTATE=": where object states are reported
    CTexto checkStateAddress;            // "CHECKSTATE=": where object states are polled
    // True while the frame's imagery is still loading.
    bool IsLoading() const;
    // Updates the frame's load progress records.
    void UpdateProgress();
    // The cameras of a camera frame resume playing / pause and start exporting stills.
    void ResumePlayback();
    void StopCameras();
    // --- end of kinds ---

    // The frame's lights, added by CObjeto2D::AddLight; not owned.
    _D3DLIGHT9* lights[kFrameLightCapacity] = {};
    int32_t lightCount = 0;
    // Bit 0: a drag moves the view relative to where it started (the empty scene takes the
    // "relmousemove" parameter).
    int32_t relMouseMove = 1;

    // Navigation: the limits in force (NavigationLimit; 360 and 360 mean none for tilt and
    // pan) and one camera per viewer index, 0 being the main view's.
    float effectiveLimits[6] = {-90.0f, 90.0f, 360.0f, 360.0f, 0.28f, 6.0f};
    CameraState cameras[8];
};
