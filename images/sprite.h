#pragma once
// CSprite: the one image class. Every picture the player shows or processes is a CSprite: panorama
// faces, interface images and buttons, text labels, video and webcam frames, pages used as
// textures, off-screen targets. Pixels live in one of three storage kinds: a heap buffer, a GDI
// DIB section, or a set of tile images (each a CSprite with its origin inside this one).
//
// Pixel formats (bits per pixel: layout): 8: palette index; 15: X1 R5 G5 B5; 16: R5 G6 B5;
// 24: B, G, R; 32: B, G, R, A (A meaningful only with hasAlpha). Rows have no padding: the stride
// is width x bytes per pixel. A heap buffer has 8 spare bytes after its last pixel.
//
// Methods are spread over files by concern:
//   sprite.cpp           construction, destruction, Clear, FreeBuffers, byte counts
//   sprite_create.cpp    Create, CreateImage, CreateDIB, CopyFrom
//   sprite_pixels.cpp    Fill, FillPixels, ConvertColor, GetPixel, SetPixel, ConvertBitDepth,
//                        PadBufferEnd
//   sprite_load.cpp      CancelLoad, ChooseLoadBitDepth
//   sprite_draw.cpp      DrawSprite, FillRect, ScaleTileSpan
//   sprite_live.cpp      RefreshFromSource; LoadVideo, OpenWebcam, LoadHTML
//   sprite_loading.cpp   LoadAsync, Load, SpriteLoadThread, the reader table, resolution levels,
//                        ClearDarkPixels
//   sprite_bmp.cpp, sprite_fst.cpp, sprite_png.cpp, sprite_tiff.cpp
//                        the readers of those formats
//   sprite_jpeg_save.cpp SaveJPEG, ReorderPalette (the encoder itself is images/jpeg_encoder*.cpp)
//   sprite_tiles.cpp     SplitIntoTiles, ExtendImageEdges, CopyToTiles, PadTileEdges, MergeTiles,
//                        FreeTiles, FreeRetiredTiles
//   sprite_textures.cpp  texture modes, uploads and release (Direct3D 9 and OpenGL);
//                        sprite_textures_sse2.cpp its SSE2 level reduction
//   sprite_jpeg_load.cpp LoadJPEG (the decoder itself is images/jpeg_*.cpp)
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "core/text_string.h"
#include "images/pixel_format.h"
#include "core/worker_threads.h"

class CDC;
class CDirectShowVideo;
class CDocHostHtmlView;
class CFicheroHttp;
class CObjeto3D;
struct IDirect3DDevice9;
struct IDirect3DTexture9;

// CSprite::loadState
enum LoadState : int32_t {
    SpriteEmpty = 0,
    SpriteLoading = 1,
    SpriteLoaded = 2,
    SpriteFailed = 3,
};

// CSprite::loadFlags: an image may be loaded while both bits are set.
enum SpriteLoadFlags : uint32_t {
    SpriteLoadEnabled = 0x1,  // set or cleared by the script's LOADED=
    SpriteLoadWanted = 0x2,
};

// Bits of the abort word (read through CSprite::abortPointer).
enum SpriteAbortBits : int32_t {
    SpriteAbortNotifyPending = 0x1,  // a reader stopped after the header; the owner is to be told
    SpriteAbortCancel = 0x2,
};

// Bits of CSprite::waitFlags.
enum SpriteWaitFlags : int32_t {
    SpriteWaitCreate = 0x1,       // Create waits for the image to be idle
    SpriteWaitMode = 0x2,         // SetTextureMode or SetResolutionLevel waits
    SpriteWaitLoader = 0x4,       // the loader waits for a texture upload to end
    SpriteWaitUploadHolds = 0x8,  // a texture upload or mode change holds the image
};

// The reader CSprite::Load picks for a name (by its end, without case; "webcam" by its start).
enum class SpriteReader {
    None,      // unknown ending or a name shorter than 4 characters
    Jpeg,
    Video,
    Icon,
    Fst,
    Bmp,
    Png,
    Tiff,
    Html,
    Webcam,
};
SpriteReader FindSpriteReader(const char* name);
// True for names LoadAsync loads on the calling thread (pages and "webcam..." capture devices
// belong to the thread that owns the windows).
bool LoadsOnCallingThread(const char* name);
// The image's loader thread: loads the stored file name at the async depth, then leaves its slot.
// 0 when the picture was loaded, 1 when not.
unsigned SpriteLoadThread(void* image);

// CSprite::textureMode
enum SpriteTextureMode : int32_t {
    SpriteTextureMemory = 0,
    SpriteTextureDirect3D = 1,
    SpriteTextureOpenGL = 2,
};

// Drawing modes of DrawSprite and FillRect that name a behaviour rather than pass through.
constexpr uint32_t kSpriteModeBilinear = 0x80000;
// Colour argument meaning "no per-channel weighting".
constexpr uint32_t kSpriteNoTint = 0xFFFFFF;
// Create's colour argument meaning "the image's default colour".
constexpr int kSpriteDefaultColour = -1;
// Longest side Create stores as it is; a wider image is stored transposed.
constexpr int kSpriteMaxStoredWidth = 32766;
// Largest tile side.
constexpr int kSpriteTileSize = 256;
// Spare bytes after a heap buffer's last pixel (24-bit pixels are read as 4-byte words).
constexpr int kSpriteBufferSpare = 8;
// Rows of up to this many floats in the exposure table, and its capacity.
constexpr int kExposureColumnsMax = 7;
constexpr int kExposureTableSize = 700;
// Requester slots of the resolution level, and the coarsest level.
constexpr int kRequestedLevelSlots = 8;
constexpr int kCoarsestLevel = 3;
// Failure value of SetTextureMode and UploadTexture when nothing could be done.
constexpr long kSpriteFail = static_cast<long>(0x80004005L);

class CSprite {
public:
    CSprite();
    virtual ~CSprite();

    CSprite(const CSprite&) = delete;
    CSprite& operator=(const CSprite&) = delete;

    // --- sprite.cpp: life cycle and release ---

    // Ends any load and releases pixels, tiles, textures and sources; the image keeps its names
    // and can be loaded again.
    void Clear();
    // Releases storage, sources, tiles and textures and resets the load fields (full: also the
    // device context and a hosted page view). Does nothing while the tiles are borrowed.
    void FreeBuffers(bool full);
    // Own busy count plus the parent's.
    int GetBusyCount() const;
    // True when the pixels are kept in tile images rather than one buffer.
    bool IsKeptInTiles() const { return tileCount > 0 && tiles != nullptr; }
    // What readers and wait loops poll: the shared cancel flag the abort pointer may aim at,
    // together with the image's own word (CancelLoad raises only the own word, so that one
    // image's cancel never stops the other images sharing a frame's flag).
    int AbortValue() const { return abortWord.load() | abortPointer->load(); }

    // Sum of width x height of every pixel buffer and system-memory texture that exists, and the
    // bytes of every device texture. Diagnostics for the engine's overlay.
    static std::atomic<int64_t> s_pixelCount;
    static std::atomic<int64_t> s_textureBytes;

    // --- sprite_create.cpp: storage ---

    // Makes the image's storage: a DIB section (asDib; bpp below 24 becomes 24, the width is
    // rounded as CreateDIB does), tiles (tiled, with tiling enabled and no mask name) or a heap
    // buffer. Keeps the storage when the image already has it with the same asked size, depth
    // and kind. True when the image has pixels or tiles afterwards; a failed allocation or a size
    // beyond a signed 32-bit byte count leaves it without storage.
    bool Create(int width, int height, int bpp, bool clear, int colour, bool asDib, bool wait,
                bool tiled);
    // Create with wait and without tiles, after dropping textures; marks the image Loaded and,
    // when storage exists, content-valid. Answers the bytes per pixel (0 without storage).
    int CreateImage(int width, int height, int bpp, bool clear, int colour, bool asDib);
    // A DIB section with a memory device context for GDI drawing. The width is rounded up to
    // even for 15 and 16 bits and to a multiple of 4 for 24 bits. Answers the bytes per pixel.
    int CreateDIB(int width, int height, int bpp = 32, bool clear = false,
                  int colour = kSpriteDefaultColour);
    // Makes this image a copy of the source (re-created when the size differs or the content is
    // not valid). Raw bytes are copied only between equal depths; otherwise the source is drawn.
    // True when this image has storage afterwards.
    bool CopyFrom(CSprite* source);

    // --- sprite_pixels.cpp: pixel access ---

    // Fills the given buffer (with this image's size and format), or the image, or every tile
    // (raising each tile's generation). colour is 0xRRGGBB (alpha in the top byte for 32 bits).
    void Fill(uint32_t colour, void* buffer = nullptr);
    // Stores the colour over width x height pixels of the buffer (15 and 16 bits: converted
    // from 24 bits first). Answers the stored value.
    static uint32_t FillPixels(uint32_t colour, void* buffer, int width, int height, int bpp);
    // One colour value converted between formats when they differ and one is below 24 bits;
    // otherwise the value as given.
    static uint32_t ConvertColor(uint32_t value, int bppTo, int bppFrom);
    // 32-bit colour of the pixel (flat or tiled), 0 outside the image. forceAlpha: below 32
    // bits the top byte is 0xFF.
    uint32_t GetPixel(int x, int y, bool forceAlpha) const;
    // Stores the colour converted to the image's format (flat images only); answers the
    // converted value.
    uint32_t SetPixel(int x, int y, uint32_t colour);
    // Converts the pixels to another depth, in place when the byte size stays, else into a new
    // buffer of the same storage kind. False (image unchanged) without pixels, for 8 bits as the
    // target, or when the new buffer cannot be made.
    bool ConvertBitDepth(int bpp);
    // Copies the last pixel into the spare bytes after the buffer.
    void PadBufferEnd();

    // --- sprite_load.cpp: load control ---

    // Stops a running load: raises the cancel bit, waits (bounded) for the loader to leave its
    // slot, then clears the abort word and the wait flags.
    void CancelLoad();
    // Adjusts the bits per pixel a reader will create (0: the reader's natural depth).
    void ChooseLoadBitDepth(int& bpp);
    // Longest CancelLoad waits for a loader before detaching it from its slot, and longest an
    // upload waits for a loader to finish or to wait itself (tests shorten it).
    static int s_loaderWaitMs;

    // --- sprite_jpeg_load.cpp: the JPEG decoder ---
    // Decodes a JPEG stream into the image: the given stream from its position (left open), or
    // the name (null: the file name) opened here; size 0 reads to the stream's end. mode bits
    // 0-7 are the depth (0 = 24), bits 8-11 the JPEG mode flags. 0 when the picture was decoded,
    // 1 when not.
    int LoadJPEG(const char* name, int mode, CFicheroHttp* stream, int size);

    // --- sprite_draw.cpp: drawing onto the image ---

    // Draws the source (none: the colour) into this image at (x, y), scaled to width x height
    // (0: the source's size), clipped to (clipX0, clipY0)-(clipX1, clipY1) inclusive (-1: the
    // image's edge). Tiled sources and destinations are drawn tile by tile.
    void DrawSprite(int x, int y, CSprite* source, int opacity, uint32_t mode, uint32_t colour,
                    int width = 0, int height = 0, int clipX0 = 0, int clipY0 = 0,
                    int clipX1 = -1, int clipY1 = -1);
    // Fills the rectangle with inclusive corners, blended by opacity and mode.
    void FillRect(int x1, int y1, int x2, int y2, uint32_t colour, int opacity, uint32_t mode);

    // --- sprite_loading.cpp: loading by name ---

    // Starts loading the name (null or empty: the stored file name) on the image's loader thread
    // and answers that thread; pages and "webcam" devices load at once on this thread. Nothing is
    // started (the current loader thread is answered) while a load runs or when the same picture
    // is already loaded. The notify window receives (message, wparam, 0) once the size is known.
    CWorkerThread* LoadAsync(const char* name, int bpp, HWND window = nullptr, UINT message = 0,
                             WPARAM wparam = 0);
    // Loads the name (null or empty: the stored file name) with the reader its ending selects,
    // then the mask file, on this thread. 1 when the picture was loaded, 0 when not (also for a
    // missing name or a raised cancel bit).
    int Load(const char* name, int bpp);
    // Changes the scale level (0 full size to 3) at which the image is loaded: shrinks a kept
    // picture in place, or marks the image for reloading.
    void SetResolutionLevel(int level, int bpp);
    // The finest level any requester asks for (at most the coarsest level).
    int GetRequestedLevel() const;
    // Makes every pixel whose blue + green + red is at most the threshold 0 (the colour only at
    // 24 bits). While a load runs, only stores the threshold for the end of the load.
    void ClearDarkPixels(int threshold);

    // --- readers of other formats (0: loaded, 1: not) ---
    int LoadBMP(const char* name, int bpp, int resourceId, const void* memoryDib);   // sprite_bmp
    int LoadICO(const char* name, int resourceId, int bpp, int iconIndex);           // sprite_bmp
    int LoadFST(const char* name, int bpp, int resourceId);                          // sprite_fst
    int LoadPNG(const char* name, int bpp, int resourceId);                          // sprite_png
    int LoadTIFF(const char* name, int bpp, int resourceId);                         // sprite_tiff
    int LoadVideo(const char* name, int bpp);                                        // sprite_live
    int OpenWebcam(const char* deviceSpec);                                          // sprite_live
    int LoadHTML(const char* name);                                                  // sprite_live

    // --- sprite_jpeg_save.cpp: the JPEG encoder ---
    // Writes the image as a JPEG stream to the name (opened on the output stream when one is
    // attached, never closed then), or with no name only counts it. qualityWord: bits 0-7 the
    // luminance quality (101: ask), 0x100 report open errors, 0x2000 difference coding;
    // sampling 0 one component, 1 0x11, 2 0x22, 3 0x11 or palette indices, else the byte itself;
    // tileSize width | height << 16; estimateStep k codes every k-th block group. 1 when
    // written, the byte count without a name, 0 when nothing could be written.
    int SaveJPEG(const char* name, int qualityWord, int chromaQuality, int samplingOption,
                 int codesPerBlock, bool progressive, bool dcFirst, bool withPalette,
                 int tileSize, bool keepStart, int estimateStep, CSprite* preview, int x0,
                 int y0, int regionWidth, int regionHeight);
    // Sorts an 8-bit image's palette by colour magnitude and renumbers its pixels to match.
    void ReorderPalette();

    // --- sprite_tiles.cpp: tiles ---

    // Makes tile images covering width x height (-1: the image's) at bpp (-1: the image's).
    // With outTiles the new array is handed back uninstalled; otherwise the image's pixels are
    // copied in and its own buffer freed. Answers the tile count, 0 when tiles already exist.
    int SplitIntoTiles(int width, int height, int bpp, CSprite*** outTiles = nullptr,
                       int* outAcross = nullptr, int* outDown = nullptr);
    // Repeats column firstColumn - 1 rightwards (firstColumn > 0, over count rows from row
    // offset), or row firstRow - 1 downwards (count pixels from column offset).
    static void ExtendImageEdges(uint8_t* buffer, int width, int height, int bytesPerPixel,
                                 int firstColumn, int firstRow, int offset, int count);
    // Copies the source's pixels (null: this image's) into every tile.
    void CopyToTiles(CSprite* source = nullptr);
    // Repeats the image's last column and row into the padding of the edge tiles.
    void PadTileEdges();
    // Turns a tiled image back into one buffer.
    void MergeTiles();
    // Releases the tiles' textures and deletes the tiles.
    void FreeTiles();
    // Deletes the tile arrays retired by Create and MergeTiles.
    void FreeRetiredTiles();

    // --- sprite_textures.cpp: textures ---

    // Switches the texture mode (0 memory, 1 Direct3D, 2 OpenGL) once the busy count is at most
    // allowedBusy. 0 on success, else an error code (kSpriteFail when nothing could be done).
    long SetTextureMode(int mode, int bpp, IDirect3DDevice9* device, int allowedBusy);
    long MoveToD3DTextures(int bpp, IDirect3DDevice9* device);
    long MoveFromD3DTextures();
    long PrepareGLTextures(int bpp);
    long LeaveGLTextures();
    // Brings the device texture (Direct3D, at the level) or the OpenGL texture up to date.
    long UploadTexture(IDirect3DDevice9* device, int level);
    // Claims the image for an upload (wait flag 8) and lets the loader run until it waits; false
    // when aborted.
    bool WaitForLoader();
    // Releases the textures of tile index (-1: all) of the array (null: own tiles).
    void ReleaseTileTextures(int index, CSprite** array = nullptr, int count = 0);
    // Releases the device texture (when forced or long unused) and the OpenGL name, then the
    // tiles' textures.
    void ReleaseTextures(bool force);

    // --- sprite_live.cpp: live sources ---

    // Takes the new frame of a live source (video, camera, stream) into the pixels: 1 when the
    // pixels changed, 0 when not.
    int RefreshFromSource();
    // Direct3D surface format for a depth.
    static int BppToD3DFormat(int bpp);
    // 2 x 2 box reduction of 32-bit pixels into a packed destination of width x height.
    static void DownscaleHalf(uint8_t* destination, int width, int height, int bpp,
                              const uint8_t* source, int sourceStride);

    // ===== Geometry and storage =====
    int bitsPerPixel = 0;
    int bytesPerPixel = 0;
    int width = 0;   // stored size (transposed for very wide images)
    int height = 0;
    int stride = 0;
    int byteSize = 0;
    int createWidth = 0;   // the size last passed to Create, before any transposition
    int createHeight = 0;
    uint8_t createdAsDib = 0;  // asDIB of the last CreateImage (MergeTiles re-creates alike)
    int viewWidth = 0;
    int viewHeight = 0;
    uint8_t* pixels = nullptr;
    uint8_t* drawPixels = nullptr;  // equals pixels except inside a Direct3D texture
    HBITMAP dib = nullptr;
    CDC* dc = nullptr;              // present for DIB storage
    int orientation = 0;            // 1: stored transposed
    int orientationParams[2] = {0, 0};
    uint8_t borrowedTiles = 0;      // the tile array belongs to other images

    // ===== Palette =====
    uint32_t palette[256] = {};     // B, G, R, 0
    int paletteCount = 0;

    // ===== Names =====
    CTexto caption;           // text last rendered into the image
    CTexto fileName;          // the name being or last loaded
    CTexto maskFile;          // image whose pixels become this image's alpha channel
    CTexto lastRenderedText;
    CTexto requestedName;     // argument of the last Load
    CTexto itemName;          // the script section the image belongs to

    // ===== Loading =====
    int32_t loadState = SpriteEmpty;
    uint32_t loadFlags = 0;
    int progress = 0;                 // 0 to 100
    uint8_t inLoad = 0;
    int loadRequestCount = 0;
    uint8_t reloadWanted = 0;
    int contentValid = 0;             // the pixels hold a finished picture (the ready mark)
    uint8_t hadContent = 0;           // contentValid before the last creation
    uint8_t keepValid = 0;
    int generation = 0;               // raised whenever textures must follow the pixels
    std::atomic<int> abortWord{0};
    std::atomic<int>* abortPointer = &abortWord;  // may aim at a shared cancel flag
    WorkerThreadSlot loaderThread{nullptr};
    int asyncBpp = 0;
    HWND notifyWindow = nullptr;
    UINT notifyMessage = 0;
    WPARAM notifyWParam = 0;
    int fixedBpp = 0;
    uint8_t hasAlpha = 0;
    uint8_t force32 = 0;
    uint8_t maskPass = 0;
    int darkThreshold = 0;
    uint32_t defaultColour = 0xFF000000u;
    int noPackage = 0;
    uint8_t useDiskCache = 0;
    uint8_t runOnlyCache = 0;
    int contentKind = 1;              // pages: 1 rendered into pixels, 2 size only / hosted
    uint8_t keepContent = 0;
    int aspectChanged = 0;            // -1 = never set
    uint8_t tilingEnabled = 1;
    int resolutionLevel = 0;
    int requestedLevels[kRequestedLevelSlots] = {3, 3, 3, 3, 3, 3, 3, 3};
    uint8_t levelLocked = 0;
    uint8_t liveSource = 0;
    uint8_t decodeOption = 0;
    // Face of a cube frame, and where a slice of one source image starts (pixels).
    uint8_t cubeFace = 0;
    int sliceOffsetX = 0;
    int sliceOffsetY = 0;

    // ===== Script options (read only by the image code) =====
    int requestedWidth = 0;           // SIZE= values
    int requestedHeight = 0;
    int loadSound = 0;
    float refreshInterval = 0.0f;
    uint32_t backColour = 0;
    void* tooltipOptions = nullptr;   // the script reader's 8-byte block while a section is read

    // ===== Drawing marks =====
    uint8_t visible = 0;              // drawn in the last frame (set by the render device)
    uint8_t shownFlag = 0;
    uint8_t newFrame = 0;             // a live source has a new frame

    // ===== Live sources =====
    CDirectShowVideo* video = nullptr;  // owned
    int videoSound = 1;
    int videoErrorReport = 1;
    int reportOpenErrors = 1;
    int cameraModel = 0;
    CDocHostHtmlView* htmlView = nullptr;  // owned; released with the page view's own code
    uint8_t desktop = 0;
    CFicheroHttp* frameStream = nullptr;   // owned
    int frameDecoderState = 0;
    CSprite* frameImage = nullptr;         // owned
    HWND videoNotifyWindow = nullptr;
    HWND ownerWindow = nullptr;            // parent window of a hosted page
    int exposureGroup = 0;                 // columns of the exposure table
    int exposureRows = 0;                  // 0: no table
    float exposureTable[kExposureTableSize] = {};
    int exposurePercent = -1;
    int noiseThreshold = 0;
    int changedPixelCount = 0;
    uint8_t skipSmoothing = 0;
    double lastRefreshTime = 0.0;

    // ===== Tiles =====
    CSprite** tiles = nullptr;
    int tileCount = 0;
    int tilesAcross = 0;
    int tilesDown = 0;
    int originX = 0;       // inside the parent
    int originY = 0;
    int rightEdge = 0;     // origin + size
    int bottomEdge = 0;
    CSprite* parent = nullptr;
    CSprite** retiredTiles = nullptr;
    int retiredCount = 0;

    // ===== Textures =====
    int32_t textureMode = SpriteTextureMemory;
    IDirect3DTexture9* systemTextures[4] = {};   // levels 0 to 3, system memory
    IDirect3DTexture9* deviceTexture = nullptr;
    int deviceTextureLevel = -1;
    uint8_t* levelPixels[4] = {};
    uint8_t levelDirty[4] = {};
    int levelStride[4] = {};                     // locked pitch of each system level
    unsigned glTexture = 0;
    int unusedFrames = 0;
    CObjeto3D* quadMesh = nullptr;               // owned; the render device draws through it
    float quadMeshWidth = -1.0f;                 // the size the quad mesh was built for
    float quadMeshHeight = -1.0f;

    // ===== JPEG codec =====
    int16_t* keptCoefficients = nullptr;  // 16-byte aligned blocks of 64 coefficients
    int keptBlockCount = 0;
    int keptFrameWidth = 0;
    int keptFrameHeight = 0;
    uint8_t keptSampling = 0;
    uint8_t* storedDqt = nullptr;
    int storedDqtSize = 0;
    uint8_t* storedSof = nullptr;
    int storedSofSize = 0;
    uint8_t redrawPending = 0;
    int scaleShift = 0;
    int loadChannelMask = 0;
    uint8_t progressiveDisplay = 0;
    uint8_t decodeAllTiles = 0;
    int keyFrameInterval = 32;
    int keyFrameCounter = 0;
    CFicheroHttp* outputStream = nullptr;  // not owned
    int gridColumns = 0;
    int gridRows = 0;
    int gridColumn = 0;
    int gridRow = 0;
    int gridOverlap = 0;
    int expectedFileSize = 0;
    uint8_t* tileDecodedDetail = nullptr;
    uint8_t* tileVisibility = nullptr;
    uint8_t* tileRequestedDetail = nullptr;
    int jpegTileCount = 0;
    int jpegTilesAcross = 0;
    float jpegTileWidth = 0.0f;    // fractions of the image
    float jpegTileHeight = 0.0f;
    int pendingRequestLevel = 0;
    uint8_t passInterleaved = 0;
    uint8_t jfif = 0;
    uint8_t optimiseTables = 0;
    int exifOrientation = 1;
    int encoderQuality = 85;
    uint8_t codecReload = 0;

    // ===== Usage =====
    std::atomic<int> busyCount{0};
    std::atomic<int> waitFlags{0};
    int measuredBrightness = 0;

private:
    // --- sprite_loading.cpp ---
    // The reader's run for the name; 0 loaded, 1 not.
    int RunReader(const char* name, int bpp);
    // Loads the mask file and writes its grey levels into the fourth bytes; the picture stays
    // opaque when the mask cannot be read or has another size.
    void ApplyMask();
    void ClearDarkPixelsNow(int threshold);

    // --- sprite_create.cpp ---
    // Step 4 of Create: waits while others use the image, unless another kind of waiter is
    // registered or the abort word is set.
    void WaitUntilIdle();
    // Frees the heap buffer or the DIB (with its pixel count); leaves the fields alone.
    void ReleasePixelStorage();
    // Moves the current tile array onto the retired one (kept until FreeRetiredTiles).
    void RetireTiles();
    // A top-down DIB section on the image's device context (24 bits: one spare row for 4-byte
    // reads). Null on failure; bits receives the pixels.
    HBITMAP MakeDibSection(int dibWidth, int dibHeight, int bpp, uint8_t** bits) const;

    // --- sprite_textures.cpp ---
    // Releases the four system-memory levels and their share of the pixel count.
    void ReleaseSystemTextures();
    // Builds system level i from level i - 1 when it is missing or dirty.
    long BuildSystemLevel(IDirect3DDevice9* device, int level, int format);

    // Bytes this image added to s_textureBytes for its device texture and its OpenGL texture,
    // taken back exactly when they are released.
    int64_t m_deviceTextureBytes = 0;
    int64_t m_glTextureBytes = 0;
};

// Position and size of a scaled tile along one axis (start and length in destination pixels);
// the tile grows by one pixel when the fractions of its position and size reach 1 together, so
// that scaled tiles leave no gap. In sprite_draw.cpp.
void ScaleTileSpan(double start, double length, int* position, int* size);
