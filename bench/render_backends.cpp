// Frames per second of the rasteriser bench's cube panorama (1280 x 720, six 1024 x 1024 32-bit
// faces kept in 256-pixel tiles, Bilinear on, ZBuffer off, the same sweep of views) through the
// render device on each back end in turn, chosen by the BackEnd state: Software, OpenGL and
// Direct3D 9. Each runs 60 warm-up frames, then 600 frames of BeginScene, Clear, DrawObject3D per
// face, EndScene and Present (and on the hardware back ends ReleaseAllTextures(0), as the viewer
// lets go of textures unused for a while after each present). Beside the device's OpenGL loop, the same GL calls made bare on its
// context (the same matrices, visible tiles and texture uploads), measured in blocks taken in
// turn with the device's. Prints the rates side by side, Software / OpenGL, device GL / bare GL,
// and whether the meshes drew (points of a few views read back show the faces, on the hardware
// back ends as on Software, and no draw failed). Needs the prefix where the hardware back ends
// exist: bench/render_backends.sh runs it there on two cores.
// Usage: bench_render_backends.exe [measured frames] [back ends: any of s, g, d; all by default]
#include <windows.h>
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "render/render_device.h"
#include "tests/render/hardware_test_support.h"
#include "tests/render/raster_cube_scene.h"

namespace {

constexpr int kWidth = 1280, kHeight = 720;
constexpr int kFaceSize = 1024;
constexpr float kCubeHalf = 100.0f;
constexpr uint32_t kFaceFeatures = kMeshRenderFlagsDefault | MeshRenderTextured;
constexpr uint32_t kBackground = 0x00202020;
constexpr int kWarmUpFrames = 60;

double Seconds()
{
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

void Pump()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

const char* BackEndName(int32_t backEnd)
{
    return backEnd == RenderOpenGL ? "OpenGL" : backEnd == RenderDirect3D9 ? "Direct3D 9" : "Software";
}

class Scene {
public:
    bool Build(const std::vector<std::vector<uint32_t>>& textures)
    {
        for (int f = 0; f < 6; ++f) {
            if (!cube_scene::BuildTiledFace(f, kCubeHalf, textures[f], kFaceSize, kFaceFeatures,
                                            m_images[f], m_faces[f]))
                return false;
        }
        return true;
    }
    ~Scene()
    {
        for (CObjeto3D& mesh : m_faces)
            mesh.Clear();
    }

    CSprite m_images[6];
    CObjeto3D m_faces[6];
};

void LookAt(CObjeto2D& device, const cube_scene::View& view)
{
    device.ownCamera.tilt = view.tilt;
    device.ownCamera.pan = view.pan;
    device.ownCamera.zoom = 1;
    device.UpdateViewportAndProjection();
    device.UpdateViewMatrix();
}

// One frame of the device: 0 when every face drew without a failure.
HRESULT DeviceFrame(CObjeto2D& device, Scene& scene, const cube_scene::View& view, bool present)
{
    LookAt(device, view);
    HRESULT result = device.BeginScene(nullptr);
    if (result != 0)
        return result;
    device.Clear(true);
    for (CObjeto3D& mesh : scene.m_faces) {
        const HRESULT drawn = device.DrawObject3D(&mesh, 100, 0, 0, nullptr);
        if (drawn != 0)
            result = drawn;
    }
    device.EndScene();
    if (present)
        device.Present(nullptr);
    return result;
}

// The views and points every back end must show as Software does.
const cube_scene::View kCheckViews[] = {{0, 0}, {-40, 105}, {40, 240}, {0, 315}};
constexpr int kCheckViewCount = sizeof kCheckViews / sizeof kCheckViews[0];
constexpr int kProbeColumns = 5, kProbeRows = 3;
constexpr int kProbeCount = kCheckViewCount * kProbeColumns * kProbeRows;
// A probe matches within this per channel: the back ends filter texels a little differently.
constexpr int kProbeTolerance = 16;

struct Probes {
    uint32_t pixel[kProbeCount] = {};
};

bool Near(uint32_t a, uint32_t b)
{
    for (int shift = 0; shift < 24; shift += 8) {
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) >
            kProbeTolerance)
            return false;
    }
    return true;
}

// Draws the check views and reads their probes back.
Probes ReadProbes(CObjeto2D& device, Scene& scene)
{
    Probes probes;
    int p = 0;
    for (const cube_scene::View& view : kCheckViews) {
        DeviceFrame(device, scene, view, false);
        for (int row = 0; row < kProbeRows; ++row)
            for (int column = 0; column < kProbeColumns; ++column)
                probes.pixel[p++] = hardware_test::ReadBackPixel(
                    device, kWidth * (2 * column + 1) / (2 * kProbeColumns),
                    kHeight * (2 * row + 1) / (2 * kProbeRows));
        device.Present(nullptr);
    }
    return probes;
}

struct Run {
    bool reached = false;   // the device runs on the back end asked for
    bool drew = false;      // the probes show the faces (as on Software) and no draw failed
    int matching = 0;       // probes as on Software
    double rate = 0;
    double uploads = 0;     // tile uploads per measured frame
    Probes probes;
};

// Frames of the sweep from view next on, as the viewer runs them (on a hardware back end the
// textures unused for a while are let go after each present): seconds taken, of which the
// presents took presenting (when given). A failed draw clears drew.
double DeviceFrames(CObjeto2D& device, Scene& scene, const std::vector<cube_scene::View>& views,
                    size_t& next, int count, bool& drew, double* presenting = nullptr)
{
    const double start = Seconds();
    for (int i = 0; i < count; ++i, next = (next + 1) % views.size()) {
        if (DeviceFrame(device, scene, views[next], false) != 0)
            drew = false;
        const double present = Seconds();
        device.Present(nullptr);
        if (presenting)
            *presenting += Seconds() - present;
        if (device.backEnd != RenderSoftware)
            device.ReleaseAllTextures(0);
        Pump();
    }
    return Seconds() - start;
}

// Moves the device to the back end and reads the probes back; with reference null (Software)
// they must show faces, not the background, otherwise nine in ten must match the reference.
// Then the warm-up frames.
Run StartDevice(CObjeto2D& device, Scene& scene, int32_t backEnd, const Probes* reference,
                size_t& next)
{
    Run run;
    device.SetRenderState(RenderStateBackEnd, backEnd);
    device.SetRenderState(RenderStateBilinear, 1);
    device.SetRenderState(RenderStateZBuffer, 0);
    device.SetRenderState(RenderStateCullMode, 0);
    run.reached = device.backEnd == backEnd && device.status == 0;
    if (!run.reached)
        return run;
    run.probes = ReadProbes(device, scene);
    for (int p = 0; p < kProbeCount; ++p) {
        const uint32_t got = run.probes.pixel[p];
        const bool shown = got != kBackground && got != 0xFFFFFFFF;
        if (reference ? shown && Near(got, reference->pixel[p]) : shown)
            ++run.matching;
    }
    run.drew = run.matching * 10 >= kProbeCount * 9;
    DeviceFrames(device, scene, cube_scene::SweepViews(), next, kWarmUpFrames, run.drew);
    return run;
}

// The device's GL frames made bare on its context: per view of the sweep the projection and
// view the device loaded and the sub-meshes its culling kept; clear, immediate-mode ranges, swap.
// The device lets go of tiles that leave the view and uploads them again when they come back;
// the bare frames make the same texture calls for the same tiles, or, for a second figure,
// keep every tile.
class BareGL {
public:
    // Runs the device through one whole sweep from next on, keeping what each view's frame
    // loaded, drew, uploaded and deleted; then uploads the bare frames' own copies of the tiles.
    void Record(CObjeto2D& device, Scene& scene, size_t& next, bool& drew)
    {
        m_device = &device;
        m_scene = &scene;
        const std::vector<cube_scene::View> views = cube_scene::SweepViews();
        m_calls.assign(views.size(), ViewCalls());
        for (size_t i = 0; i < views.size(); ++i) {
            ViewCalls& calls = m_calls[next];
            const std::vector<GLuint> before = DeviceNames();
            DeviceFrames(device, scene, views, next, 1, drew);
            const std::vector<GLuint> after = DeviceNames();
            for (size_t t = 0; t < after.size(); ++t) {
                if (before[t] != 0 && after[t] != before[t])
                    calls.deleted.push_back(t);
                if (after[t] != 0 && after[t] != before[t])
                    calls.uploaded.push_back(t);
            }
            // The matrices and planes stay those of the view just drawn.
            glGetFloatv(GL_PROJECTION_MATRIX, calls.projection);
            glGetFloatv(GL_MODELVIEW_MATRIX, calls.modelView);
            for (int f = 0; f < 6; ++f) {
                CObjeto3D& mesh = scene.m_faces[f];
                if (!device.IsBoxInFrustum(mesh.objectBox))
                    continue;
                int32_t first = 0;
                for (int s = 0; s < mesh.subMeshCount; ++s) {
                    if (!mesh.subBoxes || device.IsBoxInFrustum(mesh.subBoxes[s]))
                        calls.ranges[f].push_back({s, first, mesh.subIndexCount[s]});
                    first += mesh.subIndexCount[s];
                }
            }
        }
        m_kept.assign(DeviceNames().size(), 0);
        m_following.assign(m_kept.size(), 0);
        for (size_t t = 0; t < m_kept.size(); ++t) {
            Upload(t, m_kept[t]);
            Upload(t, m_following[t]);
        }
    }
    ~BareGL()
    {
        for (std::vector<GLuint>* names : {&m_kept, &m_following}) {
            for (GLuint& name : *names) {
                if (name)
                    glDeleteTextures(1, &name);
            }
        }
    }

    // Frames of the sweep from view next on: seconds taken. With follow the tiles come and go as
    // on the device; otherwise every tile stays.
    double Frames(size_t& next, int count, bool follow)
    {
        const double start = Seconds();
        for (int i = 0; i < count; ++i, next = (next + 1) % m_calls.size()) {
            const ViewCalls& view = m_calls[next];
            std::vector<GLuint>& names = follow ? m_following : m_kept;
            if (follow) {
                for (size_t t : view.deleted) {
                    if (names[t]) {
                        glDeleteTextures(1, &names[t]);
                        names[t] = 0;
                    }
                }
                for (size_t t : view.uploaded)
                    Upload(t, names[t]);
            }
            glClearColor(((kBackground >> 16) & 0xFF) / 255.0f, ((kBackground >> 8) & 0xFF) / 255.0f,
                         (kBackground & 0xFF) / 255.0f, 0);
            glClear(GL_COLOR_BUFFER_BIT);
            glMatrixMode(GL_PROJECTION);
            glLoadMatrixf(view.projection);
            glMatrixMode(GL_MODELVIEW);
            glLoadMatrixf(view.modelView);
            for (int f = 0; f < 6; ++f) {
                const CObjeto3D& mesh = m_scene->m_faces[f];
                for (const Range& range : view.ranges[f]) {
                    glBindTexture(GL_TEXTURE_2D, names[TileSlot(f, range.subMesh)]);
                    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
                    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
                    glColor4f(1, 1, 1, 1);
                    glBegin(GL_TRIANGLES);
                    for (int32_t k = range.first; k < range.first + range.count; ++k) {
                        const MeshVertex& vertex = mesh.vertices[mesh.ReadIndex(k)];
                        glTexCoord2f(vertex.u, vertex.v);
                        glVertex3f(vertex.wx, vertex.wy, vertex.wz);
                    }
                    glEnd();
                }
            }
            SwapBuffers(m_device->glDC);
            Pump();
        }
        return Seconds() - start;
    }

    // Tile uploads per frame of the recorded sweep.
    double UploadsPerFrame() const
    {
        size_t uploads = 0;
        for (const ViewCalls& view : m_calls)
            uploads += view.uploaded.size();
        return m_calls.empty() ? 0.0 : static_cast<double>(uploads) / m_calls.size();
    }

private:
    struct Range {
        int subMesh;
        int32_t first, count;
    };
    struct ViewCalls {
        float projection[16], modelView[16];
        std::vector<Range> ranges[6];     // drawn per face
        std::vector<size_t> deleted, uploaded;  // tile slots
    };

    size_t TileSlot(int face, int tile) const
    {
        size_t slot = 0;
        for (int f = 0; f < face; ++f)
            slot += static_cast<size_t>(m_scene->m_images[f].tileCount);
        return slot + static_cast<size_t>(tile);
    }
    const CSprite& Tile(size_t slot) const
    {
        for (const CSprite& image : m_scene->m_images) {
            if (slot < static_cast<size_t>(image.tileCount))
                return *image.tiles[slot];
            slot -= static_cast<size_t>(image.tileCount);
        }
        return m_scene->m_images[0];
    }
    // The device's GL names of every tile, face after face.
    std::vector<GLuint> DeviceNames() const
    {
        std::vector<GLuint> names;
        for (const CSprite& image : m_scene->m_images) {
            for (int t = 0; t < image.tileCount; ++t)
                names.push_back(image.tiles[t]->glTexture);
        }
        return names;
    }
    // The calls with which the device uploads a tile.
    void Upload(size_t slot, GLuint& name)
    {
        const CSprite& tile = Tile(slot);
        const GLenum format = tile.bitsPerPixel == 24 ? 0x80E0 : 0x80E1;  // GL_BGR, GL_BGRA
        if (name) {
            glBindTexture(GL_TEXTURE_2D, name);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, tile.width, tile.height, format,
                            GL_UNSIGNED_BYTE, tile.drawPixels);
            return;
        }
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLfloat>(0x812F));
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLfloat>(0x812F));
        glTexImage2D(GL_TEXTURE_2D, 0, tile.bytesPerPixel, tile.width, tile.height, 0, format,
                     GL_UNSIGNED_BYTE, tile.drawPixels);
    }

    CObjeto2D* m_device = nullptr;
    Scene* m_scene = nullptr;
    std::vector<ViewCalls> m_calls;
    std::vector<GLuint> m_kept, m_following;  // the bare frames' names of every tile
};

// Measured frames in blocks, so that a change in the machine's load falls on all loops alike.
constexpr int kBlocks = 6;

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    int frames = argc > 1 ? std::atoi(argv[1]) : 600;
    if (frames < kBlocks)
        frames = kBlocks;
    const int block = frames / kBlocks;
    frames = block * kBlocks;
    const char* chosen = argc > 2 ? argv[2] : "sgd";

    HWND window = hardware_test::CreateVisibleWindow("LumarixBackEndBench", 0, 0, kWidth, kHeight, 0,
                                                     true);
    if (!window) {
        std::printf("no window\n");
        return 1;
    }
    Pump();

    std::vector<std::vector<uint32_t>> textures;
    for (int f = 0; f < 6; ++f)
        textures.push_back(cube_scene::MakeFaceTexture(f, kFaceSize));
    Scene scene;
    CObjeto2D device;
    if (!scene.Build(textures) || device.CreateDevice(kWidth, kHeight, window) != 0) {
        std::printf("no scene or no device\n");
        return 1;
    }
    device.backgroundColour = kBackground;
    device.culling = 1;  // as the viewer draws panoramas: sub-meshes outside the view are skipped
    std::printf("DirectX level 0x%X, %d x %d, %d frames per back end after %d warm-up frames\n",
                g_directXLevel.load(), device.params->width, device.params->height, frames,
                kWarmUpFrames);

    const std::vector<cube_scene::View> views = cube_scene::SweepViews();
    const int32_t order[] = {RenderSoftware, RenderOpenGL, RenderDirect3D9};
    const char letters[] = {'s', 'g', 'd'};
    Run runs[3];
    double bare = 0, bareKept = 0;
    for (int i = 0; i < 3; ++i) {
        if (!std::strchr(chosen, letters[i]))
            continue;
        const Probes* reference = i > 0 && runs[0].reached ? &runs[0].probes : nullptr;
        size_t next = 0;
        runs[i] = StartDevice(device, scene, order[i], reference, next);
        Run& run = runs[i];
        if (!run.reached) {
            std::printf("%-10s  not reached (the device runs on %s)\n", BackEndName(order[i]),
                        BackEndName(device.backEnd));
            continue;
        }
        double seconds = 0, bareSeconds = 0, bareKeptSeconds = 0, presenting = 0;
        const int64_t uploaded = device.textureUploads;
        if (order[i] == RenderOpenGL) {
            BareGL bareGL;
            bareGL.Record(device, scene, next, run.drew);
            size_t bareNext = 0, keptNext = 0;
            bareGL.Frames(bareNext, static_cast<int>(views.size()), true);
            bareGL.Frames(keptNext, kWarmUpFrames, false);
            const int64_t recorded = device.textureUploads;
            for (int b = 0; b < kBlocks; ++b) {
                seconds += DeviceFrames(device, scene, views, next, block, run.drew, &presenting);
                bareSeconds += bareGL.Frames(bareNext, block, true);
                bareKeptSeconds += bareGL.Frames(keptNext, block, false);
            }
            bare = frames / bareSeconds;
            bareKept = frames / bareKeptSeconds;
            run.uploads = static_cast<double>(device.textureUploads - recorded) / frames;
            std::printf("%-10s  %7.2f tile uploads per frame in the recorded sweep\n", "bare GL",
                        bareGL.UploadsPerFrame());
        } else {
            for (int b = 0; b < kBlocks; ++b)
                seconds += DeviceFrames(device, scene, views, next, block, run.drew, &presenting);
            run.uploads = static_cast<double>(device.textureUploads - uploaded) / frames;
        }
        run.rate = frames / seconds;
        std::printf("%-10s  %7.1f frames/s  meshes %s (%d of %d probes %s)\n",
                    BackEndName(order[i]), run.rate, run.drew ? "drew" : "did NOT draw",
                    run.matching, kProbeCount, reference ? "as on Software" : "show faces");
        std::printf("%-10s  %7.1f %% of the frame time in Present\n", "", 100.0 * presenting / seconds);
        if (order[i] != RenderSoftware)
            std::printf("%-10s  %7.2f tile uploads per frame\n", "", run.uploads);
        if (order[i] == RenderOpenGL) {
            std::printf("%-10s  %7.1f frames/s  (the device's GL calls made bare, its uploads too)\n",
                        "bare GL", bare);
            std::printf("%-10s  %7.1f frames/s  (the same, every tile kept: no uploads)\n",
                        "bare GL", bareKept);
        }
    }
    const double software = runs[0].rate, gl = runs[1].rate, d3d = runs[2].rate;
    std::printf("Software %.1f | OpenGL %.1f | Direct3D 9 %.1f frames/s\n", software, gl, d3d);
    if (software > 0 && gl > 0)
        std::printf("ratio Software/OpenGL %.2f (goal 0.90 or more)\n", software / gl);
    if (bare > 0 && gl > 0) {
        std::printf("ratio device GL/bare GL %.2f (goal 0.90 or more)\n", gl / bare);
        std::printf("ratio device GL/bare GL keeping every tile %.2f\n", gl / bareKept);
    }
    DestroyWindow(window);
    bool drew = true;
    for (const Run& run : runs)
        drew = drew && (!run.reached || run.drew);
    return drew ? 0 : 1;
}
