#pragma once
// CObjeto2D: the render device and viewport of one output window (or of an off-screen target).
// One header; the methods are spread by concern:
//   render_device.cpp            construction, destruction, the process-wide DirectX level
//   render_device_create.cpp     CreateDevice and its fallbacks, AttachWindow, DirectDraw, release
//   render_device_d3d9.cpp       the Direct3D 9 back end: object, device, resets, lock, video memory
//   render_device_d3d9_states.cpp  render states, default states, occlusion on Direct3D 9
//   render_device_gl.cpp         the OpenGL back end: context, states, projection, frame
//   render_device_fullscreen.cpp full screen, window styles, display modes, display changes
//   render_device_surfaces.cpp   sizes, ResetDevice, surfaces, buffers, locking, WaitForIdle
//   render_device_target.cpp     SetRenderTarget, the target image, CopyFrameToSprite
//   render_device_states.cpp     SetRenderState, GetRenderState
//   render_device_camera.cpp     projection, viewport, view matrix, frustum, points and rays
//   render_device_scene.cpp      BeginScene, Clear, EndScene, Present, fills, accumulation,
//                                read-back, lights
//   raster_mesh.cpp              the software rasteriser's entry points (geometry and spans in
//                                raster_*.cpp and span_*.cpp)
//   render_device_draw.cpp       meshes, images and image quads, blending, resident resources
//   render_device_lines.cpp      filled rectangles, outlines, screen lines, 3D lines
//   render_device_text.cpp       GDI text and its measure
#include <windows.h>
#include <ddraw.h>
#include <d3d9.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/item_list.h"
#include "images/sprite.h"
#include "render/camera_state.h"
#include "render/span_routine.h"

class CFrame;
class CObjeto3D;
struct BoundingBox;
struct ScreenVertex;

// The drawing back end of a device.
enum RenderBackEnd : int32_t {
    RenderSoftware = 0,
    RenderDirect3D9 = 1,
    RenderOpenGL = 2,
};

// CObjeto2D::status. Any bit makes BeginScene, EndScene, Present, the drawing operations and
// ClientToViewport return at once without effect.
enum DeviceStatus : uint32_t {
    DeviceCreating = 0x1,            // from the start of CreateDevice until the window is attached
    DeviceFrameSwitch = 0x2,         // the viewer is switching frames
    DeviceTogglingFullscreen = 0x4,
    DeviceResetting = 0x8,           // stays set when a reset fails part-way
    DeviceMinimised = 0x10,          // minimised, or no usable client area
    DeviceHidden = 0x20,             // the viewer hides the view
    DeviceWaitingForIdle = 0x40,
    DeviceSwitchingBackEnd = 0x80,
    DeviceMenuOpen = 0x100,          // the host shows a menu over a hardware back end
};

// The states of SetRenderState and GetRenderState.
enum RenderState : int32_t {
    RenderStateBackEnd = 0,
    RenderStateZBuffer = 1,
    RenderStateDepthTest = 2,
    RenderStateDepthFunc = 3,
    RenderStateBilinear = 4,
    RenderStateAccumulation = 5,
    RenderStateFillMode = 6,
    RenderStateCullMode = 7,
    RenderStateAmbient = 8,
    RenderStateColorVertex = 9,
    RenderStateLighting = 10,
    RenderStateSpecular = 11,
    RenderStateFog = 12,
    RenderStateFogStart = 13,
    RenderStateFogEnd = 14,
    RenderStateFogColor = 15,
    RenderStateDepthBias = 16,
    RenderStateProjectionWidth = 17,
    RenderStateProjectionHeight = 18,
    RenderStateOffscreenTarget = 19,
    RenderStateVerticalSync = 20,
    RenderStateDiffuseAlpha = 21,
};
constexpr int32_t kRenderStateCount = 22;

// RenderParams::stateBits: the bit-coded render states that the software pipeline reads.
// The values are the rasteriser's own bits (render/span_routine.h), so the device's state word
// goes to the span key as it is.
enum RenderStateBits : uint32_t {
    StateFillModeMask = kSpanWireframe | kSpanSolid,   // 0 point, 1 wireframe, 2 solid
    StateTexturing = kSpanTextured,
    StateBilinear = kSpanBilinear,
    StateAccumulation1 = kSpanAccumulation1,
    StateAccumulation2 = kSpanAccumulation2,
    StateAccumulationMask = kSpanAccumulationBits,
    StateZBuffer = kSpanDepthCompare,
    StateDepthTest = kSpanDepthWrite,                 // depth writes
    StateTwoTexelFilter = kSpanTwoTexel,              // horizontal two-texel filtering while Bilinear is off
    StateColourKey = kSpanColourKey,                  // zero texels are transparent
    StateFog = kSpanFog,
    StateSpecular = kSpanSpecular,
    StateLighting = kSpanLighting,
    StateVerticalSync = 0x2000,
    StateColorVertex = kSpanColorVertex,
    StateDiffuseAlpha = kSpanDiffuseAlpha,
    StateDepthFuncMask = kSpanDepthFuncMask,          // compare function in steps of 0x10000
    StateRowsContinue = kSpanRowsContinue,            // filters may read one texel past the last column
    StateHalveGreen = kSpanHalveGreen,
    StateGreyScale = kSpanGrey,
    StateEdgeAwareFilter = kSpanEdgeAware,
    StatePerspective = kSpanPerspective,              // perspective-correct texturing in steps of 8 pixels
    StateCullMask = 0x3000000,        // 0 none, 0x1000000 clockwise, 0x2000000 counter-clockwise
};
constexpr uint32_t kDefaultStateBits = 0x1834B86;

// Every drawing size, format and buffer that the software pipeline reads; one block per device,
// reached through CObjeto2D::params.
struct RenderParams {
    uint8_t* pixels = nullptr;              // row 0 of the locked frame
    uint16_t* depthBuffer = nullptr;        // width x height 16-bit depths; none while ZBuffer is off
    uint16_t* accumulationBuffer = nullptr; // blue, green, red sums per pixel, plus 8 bytes of slack
    uint32_t stateBits = kDefaultStateBits; // RenderStateBits
    int32_t bitsPerPixel = 32;              // 8, 15, 16, 24 or 32
    int32_t bytesPerPixel = 4;              // (bits + (bits == 15)) / 8
    int32_t stride = 0;                     // bytes from one row to the next
    uint32_t colourAdd = 0;                 // added to every pixel, 0 = none
    uint32_t colourMultiply = 0xFFFFFF;     // multiplies every pixel, 0xFFFFFF = none
    uint32_t colourGain = 0;                // 0 = none
    int32_t width = 100;
    int32_t height = 100;
    // Inclusive clip rectangle; every drawing, clear, resolve and present keeps inside it.
    int32_t clipX0 = 0, clipX1 = 99, clipY0 = 0, clipY1 = 99;
    float nearZ = 1.0f;
    float farZ = 10000.0f;
    uint8_t wholeSurfaceClip = 1;           // the clip rectangle covers the whole surface
    uint8_t bottomUp = 0;                   // rows are stored bottom-up; y is mirrored
    uint8_t* workBuffer = nullptr;          // kRenderWorkBufferSize bytes for the rasteriser
    // Transformed vertices: allocated with malloc and grown by the rasteriser, freed with the device.
    int32_t screenVertexCapacity = 0;
    ScreenVertex* screenVertices = nullptr;
    CameraState* camera = nullptr;          // the active camera
};

constexpr size_t kRenderWorkBufferSize = 2816000;
constexpr int32_t kSpanCacheSlots = 10;     // slots 0-8 are searched, 9 is the overflow slot
constexpr int32_t kSpanKeyWords = 3;
constexpr int32_t kViewfinderWidth = 256;
constexpr int32_t kViewfinderHeight = 180;
constexpr int32_t kMarkerImageSize = 32;    // the white and red images

// The nine matrices of a device (row-major 4 x 4, row vectors).
struct DeviceMatrices {
    float projection[16];          // 3D
    float projection2D[16];        // orthographic
    float viewport[16];
    float view[16];                // 3D
    float inverseView[16];
    float view2D[16];              // identity
    float projectionViewport[16];  // projection x viewport
    float projection2DViewport[16];
    float worldToScreen[16];       // view x projection x viewport
};

// The system services that device creation asks. Tests put their own in to show each fallback;
// the defaults are the real ones.
struct RenderDeviceSystem {
    int32_t (*queryProcessorFeature)(int32_t query);
    uint32_t (*getDirectXVersion)();
    const char* directDrawLibrary;  // "ddraw.dll"
    int32_t forcedScreenDepth;      // 0: the display's own depth
    void* (*allocate)(size_t bytes);  // software depth and accumulation buffers
    // --- hardware back ends ---
    const char* direct3DLibrary;    // "d3d9.dll"
    // Asked before each back-end call below: S_OK lets the call run, a failure is answered in
    // its place. Null: every call runs.
    HRESULT (*backEndFault)(int32_t call);
};

// The back-end calls that RenderDeviceSystem::backEndFault can refuse.
enum BackEndCall : int32_t {
    CallDirect3DCaps = 1,          // the capability test of the Direct3D 9 object
    CallCreateHardwareVertices,    // the Direct3D 9 device with hardware vertex processing
    CallCreateSoftwareVertices,    // ... with software vertex processing
    CallResetDirect3D,             // IDirect3DDevice9::Reset
    CallPresentDirect3D,           // IDirect3DDevice9::Present
    CallChoosePixelFormat,
    CallCreateGLContext,           // wglCreateContext
    CallDisplayMode,               // each change of the display mode for full screen
    CallExclusiveMode,             // DirectDraw's exclusive full-screen cooperative level
};
// The injected answer for the call: S_OK when none.
HRESULT BackEndFault(int32_t call);
extern RenderDeviceSystem g_renderSystem;
// The real services, for restoring g_renderSystem.
RenderDeviceSystem DefaultRenderDeviceSystem();

// The process-wide DirectX level (see directx_probe.h); 0 until the first device creation asks.
extern std::atomic<uint32_t> g_directXLevel;

// The mode word of the mesh and image drawing operations; other bits go to the blitter.
enum DrawMode : uint32_t {
    kDrawVertexAlpha = 0x1,
    kDrawTextureAlpha = 0x2,        // the texture's alpha is used (forced to 32 bits at upload)
    kDrawSubtractive = 0x100,       // Direct3D 9
    kDrawAdditive = 0x200,
    kDrawMultiply = 0x4400,         // either bit
    kDrawBilinearQuad = 0x80000,     // bilinear filtering of image quads
    kDrawDetailIn2D = 0x2000000,    // texture detail levels also in 2D mode
};

// DrawText placement flags.
enum DrawTextFlags : uint32_t {
    TextCentreX = 0x1,        // x is the text's horizontal centre
    TextRightX = 0x2,         // x is its right edge
    TextFromRightEdge = 0x4,  // the view width is added to x
    TextCentreY = 0x10,       // y is the text's vertical centre
    TextBottomY = 0x20,       // y is its bottom edge
    TextFromBottomEdge = 0x40,  // the view height is added to y
};

// Language lines of the device's modal error boxes.
constexpr int kLineNoMmx = 70;
constexpr int kLineCannotCreateSurfaces = 71;
constexpr int kLineCannotChangeToFullscreen = 72;
constexpr int kLineNoMemoryForSurfaces = 73;

class CObjeto2D {
public:
    // Software back end, no window, 100 x 100, nothing created; allocates the rasteriser's work buffer.
    CObjeto2D();
    // Releases the device (with DirectDraw) and frees every buffer.
    virtual ~CObjeto2D();

    CObjeto2D(const CObjeto2D&) = delete;
    CObjeto2D& operator=(const CObjeto2D&) = delete;

    // --- Creation and release (render_device_create.cpp) ---

    // Creates the back end with every fallback, then attaches the window: 0 on success, -1 when
    // the processor lacks MMX (after line 70 in a modal box), else the reset's failure code.
    int32_t CreateDevice(int32_t width, int32_t height, HWND window);
    // Records the window (none for a window-less device) and its styles, then a forced
    // UpdateSize: its result. 0 at once while a reset runs.
    int32_t AttachWindow(HWND window);
    // Releases every back-end object; with releaseDirectDraw also the DirectDraw object.
    void ReleaseDevice(int32_t releaseDirectDraw);
    // Loads "ddraw.dll" once per process and creates the DirectDraw object: S_OK or the failure.
    HRESULT CreateDirectDraw();
    // One DirectDraw surface of the size (both > 0) with the capability bits; none on failure.
    IDirectDrawSurface3* CreateSurface(IDirectDrawSurface3** out, int32_t width, int32_t height,
                                       DWORD caps);
    // The Direct3D 9 object; false when there is none (the request then ends on Software).
    bool CreateDirect3D();
    // The OpenGL context of the window; false when there is none.
    bool CreateGLContext(HWND window);
    // Enters or leaves full screen (width or height 0: the desktop size): 0 on success.
    int32_t ToggleFullscreen(int32_t width, int32_t height);
    // Follows a change of the screen's colour depth: 0 when the device carries on.
    int32_t OnDisplayChange();
    // Takes resources off a hardware device: every resident one (no frame), or one frame's
    // meshes and images (discard: free them for good). Nothing on Software.
    void EvictResources(CFrame* frame, int32_t discard);
    // Releases the device textures of the resident images (flag handed to each release) and
    // frees their retired tiles. In render_device_draw.cpp.
    void ReleaseAllTextures(int32_t flag);

    // --- Size, reset, surfaces and buffers (render_device_surfaces.cpp) ---

    // mode 1: minimised; -1: forced; other: normal. Re-reads the size and resets the device when
    // needed: 0 or the reset's code (after line 71 in a modal box).
    int32_t UpdateSize(int32_t mode, int32_t width, int32_t height);
    // A minimised window marks the device minimised; otherwise a normal UpdateSize.
    void CheckWindowState(HWND window);
    // The size of a window-less device; resets it (line 73 in a modal box when that fails).
    void SetSize(int32_t width, int32_t height);
    // Rebuilds every size-dependent object for the current mode: 0 on success; 0 and nothing
    // done while a reset runs or the device is minimised.
    int32_t ResetDevice(int32_t restoreWindow);
    // Releases the size-dependent objects.
    void ReleaseSurfaces();
    // Waits (polling every 10 ms) until no mesh is being drawn; evict drops resident resources.
    void WaitForIdle(bool evict);

    // --- 3DS models (render_device_models.cpp) ---
    // Loads the model file into the frame's meshes; meshes without a texture take the vertex
    // colour. False when nothing was loaded.
    bool Load3DS(const char* fileName, CFrame* frame, int32_t untexturedColour);

    // Draws into the image instead of a window; the size follows at the next SetSize or reset.
    void SetRenderTarget(CSprite* image);
    // Software z-buffer of width x height 16-bit values: S_OK or E_FAIL.
    HRESULT CreateDepthBuffer();
    HRESULT FreeDepthBuffer();
    // Software accumulation buffer of width x height x 6 + 8 bytes: S_OK or E_FAIL.
    HRESULT CreateAccumulationBuffer();
    HRESULT FreeAccumulationBuffer();
    // Locks the frame and sets pixels and stride: the pixel address, none when already locked or
    // when it cannot be locked.
    uint8_t* LockFrame();
    void UnlockFrame();
    // Bits per pixel of what the device draws into; 0 when unknown.
    int32_t GetScreenDepth();
    // Reads the desktop size into desktopWidth, desktopHeight; answers the screen depth.
    int32_t GetScreenSize();
    // 1 and the point made relative to the view when it lies in width x height and the status is 0.
    bool ClientToViewport(POINT* point);

    // --- Render states (render_device_states.cpp) ---

    // Sets and applies one state; force applies the current value again (value ignored).
    // Answers the previous value.
    int32_t SetRenderState(int32_t type, int32_t value, bool force = false);
    // The current value; a type outside 0-21 reads back as the type itself.
    int32_t GetRenderState(int32_t type);
    void ReapplyRenderState(int32_t type);

    // --- Camera, projection and frustum (render_device_camera.cpp) ---

    void UpdateProjection();
    HRESULT UpdateViewport();
    HRESULT UpdateViewportAndProjection();
    void UpdateViewMatrix();
    void SetCenterOffset(int32_t x, int32_t y);
    void Set2DMode(bool on);
    void SetClipRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
    void ResetClipRect();
    // Six planes (a, b, c, d), not normalised: right, left, bottom, top, far, near.
    static void ExtractFrustumPlanes(const float view[16], const float projection[16],
                                     float planes[6][4]);
    // False when the box lies wholly behind one active plane; touching counts as inside.
    bool IsBoxInFrustum(const BoundingBox& box);
    // True when the point lies strictly in front of all active planes.
    bool IsPointInFrustum(const float point[3]);
    // The mesh's in-view answer, stored in the mesh and its texture images; false for none.
    bool UpdateObjectVisibility(CObjeto3D* mesh);
    // World (or, in 2D mode, screen-space) point to view pixels and depth.
    void ProjectPoint(const float point[3], float out[3], bool round);
    void ProjectToScreen(const float point[3], float* x, float* y, bool round);
    // Eye position and (not normalised) direction of the ray through a view pixel.
    void ScreenToRay(float x, float y, float origin[3], float direction[3]);
    // Distance of the z-buffer's value at the pixel; 0 outside or where nothing was drawn.
    float GetDepthAt(int32_t x, int32_t y);
    // Adds the light to the frame's light table: false when the table is full.
    bool AddLight(CFrame* frame, D3DLIGHT9* light);

    // --- The scene (render_device_scene.cpp) ---

    HRESULT BeginScene(HWND window);
    void Clear(bool withColour);
    HRESULT EndScene();
    // Shows the frame in the window (or, window-less, in the target device context).
    HRESULT Present(HDC target);
    // colour -1: the background colour.
    void FillBackground(int32_t ignored, int32_t colour);
    void FillRectGDI(HDC dc, uint32_t colour);
    void FillRectDirectDraw(IDirectDrawSurface3* surface, uint32_t colour);
    void ClearDepthRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
    void ClearDepthBuffer();
    // colour -1: the background colour.
    void ClearAccumulation(int32_t colour);
    void ResolveAccumulation();
    // Copies the frame into the image, created at the drawing size and depth; false when the
    // frame cannot be locked.
    bool CopyFrameToSprite(CSprite* image);
    // --- Meshes and images (render_device_draw.cpp) ---

    // Prepares and draws one mesh at the opacity (percent) with the DrawMode bits; with
    // onlyWhenReady a mesh whose drawing byte is 0 is left alone. owner: the frame the mesh
    // belongs to (its resident-list entry), or none. 0, or the device problem that stopped it
    // (out of video memory on Direct3D 9 switches the device to Software and answers 0).
    HRESULT DrawObject3D(CObjeto3D* mesh, int32_t opacity, uint32_t mode, int32_t onlyWhenReady,
                         void* owner);
    // Brings a ready mesh's transforms up to date for stage 0 to 3 (stage 2 on Software also
    // culls and transforms its vertices).
    void SetObjectTransform(CObjeto3D* mesh, int32_t stage);
    // Draws the prepared mesh, one range per sub-mesh with its texture tiles: 0 or the failure
    // that ended the loop.
    HRESULT DrawMesh(CObjeto3D* mesh, int32_t opacity, uint32_t mode);
    // Per-object blending of a textured mesh: the pending blend state, applied.
    void SetBlendMode(CObjeto3D* mesh, int32_t opacity, uint32_t mode);
    // Alpha stages and blending for alpha 0-255 with texture or vertex alpha.
    void SetAlpha(int32_t alpha, bool textureAlpha, bool vertexAlpha);
    // Draws an image at (x, y) scaled to width x height (0: its own size) with the clip (-1, -1:
    // the device's clip rectangle); tiled images tile by tile without gaps. Hardware back ends
    // draw a quad and ignore the clip.
    void DrawSprite(float x, float y, CSprite* image, int32_t opacity, uint32_t mode,
                    uint32_t colour, int32_t width, int32_t height, int32_t clipX0,
                    int32_t clipY0, int32_t clipX1, int32_t clipY1);
    // Draws an image as a textured quad whose top left corner is (x, y), width x height (not
    // above 0: the image's), turned by rotation degrees; colour 0xFFFFFF = untinted.
    void DrawSpriteQuad(float x, float y, float width, float height, CSprite* image,
                        int32_t opacity, uint32_t mode, uint32_t colour, float rotation);
    // The screen extent of the mesh's last software transform (100000 / -100000 when empty).
    void GetScreenBounds(CObjeto3D* mesh, float* minX, float* minY, float* maxX, float* maxY);
    // k of the detail-level choice: 5.0 for meshes of few sub-meshes, else 2.7.
    static float DetailLevelFactor(int32_t geometryType, int32_t subMeshCount);
    // The texture level 0-3 of a tile width tileWidth whose box spans extent pixels.
    static int32_t DetailLevelForExtent(float extent, int32_t tileWidth, float factor);
    // The texture level of a sub-mesh's tile from the projection of its box; 0 in 2D mode
    // (unless DrawDetailIn2D), below 24 bits, or when a box corner lies at or behind the eye.
    int32_t ChooseDetailLevel(CObjeto3D* mesh, int32_t subMesh, const CSprite* tile, uint32_t mode);

    // --- Lines and rectangles (render_device_lines.cpp) ---

    // Fills the inclusive rectangle in the colour (0x00RRGGBB) at the opacity (percent), the mode
    // handed to the blitter: false when nothing was drawn (OpenGL draws none).
    bool FillRectangle(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour,
                       int32_t opacity, uint32_t mode);
    // The outline as four lines. Lines are drawn on the software back end only.
    void DrawRectangle(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour,
                       int32_t opacity, int32_t penWidth, int32_t accumulationShift);
    // A screen line in the colour under the colour write mask, without depth test.
    void DrawLine(float x0, float y0, float x1, float y1, uint32_t colour, int32_t opacity,
                  int32_t penWidth, int32_t accumulationShift);
    // One projected line between world points p1 and p2 (DrawPolyline3D of two points).
    void DrawLine3D(const float* p1, const float* p2, uint32_t colour, int32_t penWidth,
                    float minimumLength, float farDistance, int32_t opacity,
                    int32_t accumulationShift);
    // Consecutive projected segments through count world points (3 floats each); a segment that
    // does not count as drawn (shorter than minimumLength on screen) is merged into the next.
    void DrawPolyline3D(const float* points, int32_t count, uint32_t colour, int32_t penWidth,
                        float minimumLength, float farDistance, int32_t opacity,
                        int32_t accumulationShift);
    // One projected segment (x, y, z, w records, z the view distance; clipped in place) in the
    // colour: true when it counts as drawn (also when the z-buffer hides both ends), false when
    // it lies wholly outside the depth planes or is shorter than minimumLength on screen.
    // farDistance 0: the device's far plane. Lines are tested against the z-buffer only with
    // ZBuffer on.
    bool DrawSegment3D(float* a, float* b, uint32_t colour, int32_t penWidth, float minimumLength,
                       float farDistance, int32_t opacity, int32_t accumulationShift);
    // Clips a projected segment (x, y, z, w records, changed in place) against the depth planes
    // z = nearZ and z = farZ: 2 when a part is left, 0 when it lies wholly outside.
    static int32_t ClipSegment(float* a, float* b, float nearZ, float farZ);

    // --- Text (render_device_text.cpp) ---

    // Writes the text with GDI into the frame (software back end only) at (x, y), placed by the
    // DrawTextFlags relative to its measured extent, or word-wrapped into the rectangle when one
    // is given. colour is 0x00RRGGBB; no font: the device context's own. False when nothing was
    // written.
    bool DrawText(int32_t x, int32_t y, const char* text, uint32_t colour, HFONT font,
                  uint32_t flags, const RECT* rectangle);
    // The text's size in the font (none: the default font): false when it cannot be measured.
    static bool GetTextExtent(const char* text, int32_t* width, int32_t* height, HFONT font);

    // --- Software rasteriser (raster_mesh.cpp) ---

    // Outcodes and used flags of the mesh's vertices and the visible bits of its triangles
    // against the active planes, growing the transformed-vertex buffer; the triangles kept.
    int32_t CullTriangles(CObjeto3D* mesh);
    // Fills the transformed-vertex buffer (only used vertices while culling triangles), with
    // vertex fog when Fog is on.
    void TransformVertices(CObjeto3D* mesh);
    // Clips a polygon buffer of 16 records holding 3 against the depth planes and the clip
    // rectangle, projecting it: the vertex count left (0 to 9).
    int32_t ClipTriangle(ScreenVertex* polygon, const RenderParams* renderParams);
    // Rounds the three screen positions to whole pixels and re-evaluates depth and texture
    // coordinates there.
    void SnapTriangleVertices(ScreenVertex* a, ScreenVertex* b, ScreenVertex* c,
                              const RenderParams* renderParams);
    // Draws one index range of a mesh with one pair of texture tiles: true when the range ran to
    // its end (false: nothing to draw, or a fault abandoned it).
    bool RasteriseMesh(CObjeto3D* mesh, RenderParams* renderParams, int32_t firstIndex,
                       int32_t indexCount, uint8_t* firstTriangleFlag, CSprite* tile1,
                       CSprite* tile2, int32_t opacity, uint32_t mixWord);
    // The routines of the span-code cache, slot i made for key i of spanKeys.
    SpanSlot spanSlots[kSpanSlotCount];

    // --- Hardware back ends (render_device_d3d9*.cpp, render_device_gl.cpp) ---

    // Pushes the states to a newly reset Direct3D 9 device or a new GL context.
    void SetDefaultStates();
    // True when a Direct3D 9 occlusion query finds pixels of a small sphere at the point pass;
    // false on back ends without the query.
    bool TestOcclusion(const float point[3]);
    // The local video memory that DirectDraw reports, in bytes (0 when unknown).
    void GetVideoMemory(HMONITOR monitor, uint32_t* total);
    // The budget of video memory for textures (freeVideoMemory): 0 is exhausted; unknown
    // amounts give kVideoMemoryUnlimited.
    uint32_t UpdateFreeVideoMemory();
    static constexpr uint32_t kVideoMemoryUnlimited = 0xFFFFFFFFu;

    // --- Fields ---

    std::atomic<uint32_t> status{0};     // DeviceStatus
    uint8_t minimisedLatch = 0;          // a later real size resets even at an unchanged size
    HWND window = nullptr;
    HWND deviceWindow = nullptr;         // the Direct3D device window when there is no window
    RECT deviceRect = {0, 0, 100, 100};  // client area in screen coordinates; its size is the drawing size
    RECT savedWindowRect = {0, 0, 0, 0}; // the device rectangle before full screen
    RECT presentOffset = {0, 0, 10, 10}; // left, top: where a window-less device's image goes at Present
    RECT fullscreenRect = {0, 0, 100, 100};
    CameraState ownCamera;               // the active camera until another is set
    OSVERSIONINFOEXA windowsVersion = {}; // filled by the owner
    RenderParams renderParams;
    RenderParams* params = &renderParams;
    DeviceMatrices matrices;
    int32_t axisMode = 1;                // fixed field-of-view axis: 1 vertical, 0 horizontal, -1 by aspect
    uint8_t fixedVertical = 1;           // the effective choice
    uint8_t mode2D = 0;
    uint32_t depthBias = 0;              // the DepthBias state's 32 bits
    int32_t desktopWidth = 0, desktopHeight = 0;
    float planes3D[6][4] = {};
    float planes2D[6][4] = {};
    float (*activePlanes)[4] = planes3D;
    uint8_t culling = 0;                 // frustum culling of meshes and triangles
    uint32_t ambientColour = 0xFFFFFFFF;
    uint32_t colourWriteMask = 0xFFFFFF; // colour bits that lines and spans write
    uint32_t destinationKeepMask = 0;    // destination bits that span writes keep
    int32_t backEnd = RenderSoftware;    // RenderBackEnd
    uint8_t direct3DRejected = 0;
    uint8_t automaticVerticalSync = 0;
    uint8_t verticalSyncRetry = 0;       // cleared when the viewer sets VerticalSync
    float fogStart = 3334.0f;
    float fogEnd = 10000.0f;
    uint32_t fogColour = 0;
    uint8_t ignoreNextDisplayChange = 0;
    uint32_t pendingBlendState = 4;
    uint32_t appliedBlendState = 4;
    uint8_t accumulationPending = 0;
    uint8_t gdiMode = 0;
    int32_t projectionHeight = 0, projectionWidth = 0;  // 0 = none
    int32_t clientOriginX = 0, clientOriginY = 0;       // subtracted by ClientToViewport
    int32_t centreOffsetX = 0, centreOffsetY = 0;       // pixels the projection centre is shifted by
    uint32_t filterBits = 0;             // ORed into the state bits when Bilinear changes
    CObjeto3D* occlusionSphere = nullptr;
    CSprite redImage;
    // Keys of the rasteriser's span routines; WaitForIdle empties the cache.
    uint32_t spanKeys[kSpanCacheSlots][kSpanKeyWords] = {};
    int32_t spanCount = 0;
    std::atomic<int32_t> drawingCount{0}; // meshes being drawn right now

    // Direct3D 9.
    IDirect3D9* direct3D = nullptr;
    IDirect3DDevice9* device3D = nullptr;
    IDirect3DSurface9* backBuffer = nullptr;
    IDirect3DSurface9* viewfinderTarget = nullptr;  // 256 x 180, lockable
    IDirect3DQuery9* occlusionQuery = nullptr;
    D3DCAPS9 caps3D = {};
    D3DMATERIAL9 material = {};
    D3DVIEWPORT9 viewport3D = {0, 0, 100, 100, 0.0f, 1.0f};
    int32_t textureDepth = 0;            // texture bits per pixel of the hardware back ends
    int64_t textureUploads = 0;          // tile uploads to a hardware device so far

    // OpenGL.
    HDC glDC = nullptr;
    HGLRC glContext = nullptr;

    // Images, frames and meshes that hold copies on the device, each an ObjectItem keyed by the
    // sprite or mesh it stands for (ObjectItem::linkedObject). Item lists whose records hold
    // sprites or meshes point their CObjeto::residentList here so that destroying a record
    // withdraws it.
    CObjeto residentList;
    uint32_t textureContext = 0;         // handed to every texture upload
    uint32_t freeVideoMemory = 0;        // bytes; 0 = exhausted
    CSprite whiteImage;

    // DirectDraw and GDI (the software back end).
    IDirectDraw2* directDraw = nullptr;
    IDirectDrawSurface3* backSurface = nullptr;     // system memory
    IDirectDrawSurface3* primarySurface = nullptr;
    DDCAPS directDrawCaps = {};
    HBITMAP dibSection = nullptr;
    HBITMAP previousBitmap = nullptr;    // of the memory device context
    HDC memoryDC = nullptr;
    uint8_t* dibBits = nullptr;
    uint8_t frameLocked = 0;
    CSprite ownTarget;                   // the target of the OffscreenTarget state
    CSprite* offscreenTarget = nullptr;
    uint8_t offscreenTargetOn = 0;
    IDirectDrawClipper* clipper = nullptr;
    HRGN windowRegion = nullptr;         // optional shape of the output; honoured by Present
    uint32_t backgroundColour = 0;       // 0x00RRGGBB
    uint8_t fullscreen = 0;
    uint32_t savedStyle = 0, savedExStyle = 0;  // 0: nothing saved; 0xFFFFFFFF: no window
    // --- hardware back ends and full screen ---
    uint8_t userChoseBackEnd = 0;        // the user picked the back end; automatic choices keep off
    uint8_t displayModeChanged = 0;      // full screen changed the display mode (restored on leaving)

private:
    // render_device_d3d9.cpp
    HRESULT CreateDirect3DDevice(HWND window);
    // The Direct3D 9 branch of ResetDevice; fellBack: the device went to Software on the way.
    HRESULT ResetDirect3D(bool* fellBack);
    void ReleaseDirect3D();
    // render_device_d3d9_states.cpp, render_device_gl.cpp: one state on the active back end.
    void ApplyDirect3DState(int32_t type);
    void ApplyGLState(int32_t type);
    void MakeGLCurrent();
    void LoadGLProjection();
    void ReleaseGLContext();
    // render_device_fullscreen.cpp: styles and display mode of ResetDevice.
    HRESULT ApplyWindowMode(int32_t restoreWindow);
    HRESULT SetFullscreenDisplayMode(int32_t width, int32_t height, int32_t bits);
    void RestoreDisplayMode();
    // render_device_create.cpp
    int32_t CreateDeviceOnce(int32_t width, int32_t height, HWND window, bool* again);
    // render_device_surfaces.cpp
    uint8_t* LockSoftwareFrame();
    int32_t SoftwareScreenDepth();
    HRESULT CreateSoftwareSurfaces();
    HRESULT CreateDibSection();
    void MarkMinimised();
    // render_device_target.cpp: the image that a target device draws into.
    HRESULT CreateTargetImage(int32_t width, int32_t height);
    uint8_t* TargetPixels();
    int32_t TargetBitsPerPixel();
    void FillTarget(uint32_t colour);
    // A 24-bit colour in the frame's pixel format.
    uint32_t FrameColour(uint32_t colour);
    // render_device_scene.cpp
    HDC GetFrameDC(IDirectDrawSurface3** surface, IDirect3DSurface9** surface3D = nullptr);
    void ClearHardware(bool withColour);
    HRESULT PresentDirect3D();
    // render_device_draw.cpp
    HRESULT DrawReadyMesh(CObjeto3D* mesh, int32_t opacity, uint32_t mode, bool onlyWhenReady,
                          void* owner);
    HRESULT PrepareAndDrawMesh(CObjeto3D* mesh, int32_t opacity, uint32_t mode, void* owner);
    void LoadHardwareTransforms(CObjeto3D* mesh);
    HRESULT DrawRangeHardware(CObjeto3D* mesh, int32_t firstIndex, int32_t indexCount,
                              CSprite* tile1, CSprite* tile2, int32_t opacity, uint32_t mix);
    void ApplyAlphaStages(int32_t alpha, bool textureAlpha, bool vertexAlpha);
    void ApplyBlendState(CObjeto3D* mesh, int32_t alpha, uint32_t mode);
    // render_device_draw_hw.cpp: puts back what a mesh's draw changed (multiply mode's specular
    // colours on Direct3D 9).
    void FinishHardwareDraw(CObjeto3D* mesh);
    std::vector<uint32_t> savedSpecular;
    CObjeto3D* specularMesh = nullptr;
    // Adds the object to the resident list (hardware back ends only, once).
    void RegisterResident(void* object, int32_t type);
    void MoveOffDevice(ItemType type, void* object, bool discard);
    void EvictFrameResources(CFrame* frame, bool discard);
    // render_device_lines.cpp: the frame's pixels for one drawing operation, locked for it unless
    // the frame already is; none when it cannot be locked.
    class FrameAccess {
    public:
        explicit FrameAccess(CObjeto2D* device);
        ~FrameAccess();
        FrameAccess(const FrameAccess&) = delete;
        FrameAccess& operator=(const FrameAccess&) = delete;
        uint8_t* pixels = nullptr;

    private:
        CObjeto2D* m_device;
        bool m_locked = false;
    };
};
