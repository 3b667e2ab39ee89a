// Frames per second of the software rasteriser drawing a cube panorama (six 1024 x 1024 32-bit
// faces, bilinear, z-buffer off, other states default) at 1280 x 720 over a fixed sweep of views,
// clear plus draw; with --llvmpipe the same triangles, textures and views through OpenGL (WGL,
// GL_LINEAR, modulate by white, glFinish per frame, no present). bench/raster_bench.sh runs both
// sides and prints the ratios.
// Usage: bench_raster_bench.exe [--llvmpipe] [rounds]
#include <windows.h>
#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/matrix_math.h"
#include "render/mesh.h"
#include "render/raster_pipeline.h"

#ifndef GL_BGRA_EXT
#define GL_BGRA_EXT 0x80E1
#endif

namespace {

constexpr int kWidth = 1280, kHeight = 720;
constexpr int kFaceSize = 1024;
constexpr float kCubeHalf = 100.0f;
constexpr float kNear = 1.0f, kFar = 10000.0f;
constexpr uint32_t kDefaultState = 0x1834B86;
constexpr uint32_t kBilinear = 0x8;
constexpr uint32_t kFaceFeatures = kMeshRenderFlagsDefault | MeshRenderTextured;
constexpr uint32_t kBackground = 0x00202020;

// Corner positions of each face (seen from inside) with texture coordinates 0..1.
struct Face {
    float p[4][3];
};
const Face kFaces[6] = {
    {{{-1, 1, 1}, {1, 1, 1}, {1, -1, 1}, {-1, -1, 1}}},      // front (+z)
    {{{1, 1, 1}, {1, 1, -1}, {1, -1, -1}, {1, -1, 1}}},      // right (+x)
    {{{1, 1, -1}, {-1, 1, -1}, {-1, -1, -1}, {1, -1, -1}}},  // back (-z)
    {{{-1, 1, -1}, {-1, 1, 1}, {-1, -1, 1}, {-1, -1, -1}}},  // left (-x)
    {{{-1, 1, -1}, {1, 1, -1}, {1, 1, 1}, {-1, 1, 1}}},      // top (+y)
    {{{-1, -1, 1}, {1, -1, 1}, {1, -1, -1}, {-1, -1, -1}}},  // bottom (-y)
};
const float kUv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
const uint16_t kQuadIndices[6] = {0, 1, 2, 0, 2, 3};

std::vector<uint32_t> MakeFaceTexture(int face) {
    std::vector<uint32_t> t(static_cast<size_t>(kFaceSize) * kFaceSize);
    uint32_t hue = 0x00402010u * static_cast<uint32_t>(face + 1);
    for (int y = 0; y < kFaceSize; ++y)
        for (int x = 0; x < kFaceSize; ++x)
            t[static_cast<size_t>(y) * kFaceSize + x] = (((x >> 5) ^ (y >> 5)) & 1 ? hue : 0x00C0C0C0) ^
                                                        static_cast<uint32_t>((x + y) & 0x3F);
    return t;
}

// The views of the sweep: pan all round at three tilts.
struct View {
    float tilt, pan;
};
std::vector<View> Views() {
    std::vector<View> v;
    for (float tilt : {-40.0f, 0.0f, 40.0f})
        for (int pan = 0; pan < 360; pan += 15)
            v.push_back({tilt, static_cast<float>(pan)});
    return v;
}

// view x projection (row vectors), as the device builds them: vertical field of view 45 degrees.
void ViewProjection(const View& view, float out[16]) {
    float rot[16];
    MakeRotationMatrix(rot, view.tilt, view.pan, 0);
    float c = std::cos(static_cast<float>(M_PI) / 8) / std::sin(static_cast<float>(M_PI) / 8);
    float sy = c, sx = c * kHeight / kWidth;
    float proj[16] = {};
    proj[0] = kNear * sx;
    proj[5] = kNear * sy;
    proj[10] = kFar / (kFar - kNear);
    proj[11] = 1;
    proj[14] = kNear * kFar / (kNear - kFar);
    MultiplyMatrix(out, rot, proj);
}

double Seconds() {
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

// --- our side ---

double RunOurs(SimdLevel level, int rounds, const std::vector<std::vector<uint32_t>>& textures) {
    std::vector<uint32_t> frame(static_cast<size_t>(kWidth) * kHeight);
    std::vector<uint8_t> work(kRasterWorkBufferBytes);
    SpanCacheStorage cache;
    SpanCache view = cache.View(level);
    MeshVertex mesh[6][4] = {};
    for (int f = 0; f < 6; ++f) {
        for (int i = 0; i < 4; ++i) {
            MeshVertex& v = mesh[f][i];
            v.wx = kFaces[f].p[i][0] * kCubeHalf;
            v.wy = kFaces[f].p[i][1] * kCubeHalf;
            v.wz = kFaces[f].p[i][2] * kCubeHalf;
            v.u = kUv[i][0];
            v.v = kUv[i][1];
            for (int c = 0; c < 4; ++c)
                v.diffuse16[c] = 0xFF00;
        }
    }
    float viewport[16] = {};
    viewport[0] = kWidth / 2.0f;
    viewport[5] = -kHeight / 2.0f;
    viewport[10] = 1;
    viewport[12] = kWidth / 2.0f;
    viewport[13] = kHeight / 2.0f;
    viewport[15] = 1;
    std::vector<View> views = Views();
    RasterWork w;
    w.pixels = reinterpret_cast<uint8_t*>(frame.data());
    w.stride = kWidth * 4;
    w.bytesPerPixel = 4;
    w.width = kWidth;
    w.height = kHeight;
    w.clip.x1 = kWidth - 1;
    w.clip.y1 = kHeight - 1;
    w.clip.height = kHeight;
    w.workBuffer = work.data();
    w.constants.destBits = 32;
    ScreenVertex screen[4];
    double start = Seconds();
    int frames = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const View& v : views) {
            std::fill(frame.begin(), frame.end(), kBackground);
            float vp[16], m[16];
            ViewProjection(v, vp);
            MultiplyMatrix(m, vp, viewport);
            for (int f = 0; f < 6; ++f) {
                SpanDrawInputs in;
                in.deviceState = kDefaultState | kBilinear;
                in.meshFeatures = kFaceFeatures;
                in.hasTexture1 = true;
                in.texture1Bits = 32;
                in.texture1Width = in.texture1Height = kFaceSize;
                in.destBits = 32;
                int slot = FindSpanRoutine(view, in);
                if (slot < 0)
                    continue;
                w.slot = &cache.slots[slot];
                w.state = EffectiveSpanState(in.deviceState, in.meshFeatures);
                w.constants.texture1 = {reinterpret_cast<const uint8_t*>(textures[f].data()), kFaceSize, kFaceSize,
                                        32, nullptr};
                for (int i = 0; i < 4; ++i) {
                    TransformVertex(mesh[f][i], m, kNear, false, 0, 0, &screen[i]);
                    screen[i].outcode = 0;
                }
                RasterRange range;
                range.vertices = screen;
                range.vertexCount = 4;
                range.indices = kQuadIndices;
                range.indexCount = 6;
                range.cullBackFaces = false;
                RasteriseRange(range, w);
            }
            ++frames;
        }
    }
    return frames / (Seconds() - start);
}

// --- llvmpipe through WGL ---

double RunGl(int rounds, const std::vector<std::vector<uint32_t>>& textures) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "LumarixRasterBench";
    RegisterClassA(&wc);
    HWND wnd = CreateWindowA(wc.lpszClassName, "bench", WS_POPUP, 0, 0, kWidth, kHeight, nullptr, nullptr,
                             wc.hInstance, nullptr);
    if (!wnd)
        return 0;
    ShowWindow(wnd, SW_SHOWNOACTIVATE);
    HDC dc = GetDC(wnd);
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof(pfd);
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 32;
    int format = ChoosePixelFormat(dc, &pfd);
    HGLRC rc = nullptr;
    if (format && SetPixelFormat(dc, format, &pfd))
        rc = wglCreateContext(dc);
    if (!rc || !wglMakeCurrent(dc, rc)) {
        std::printf("llvmpipe: no OpenGL context\n");
        return 0;
    }
    std::printf("llvmpipe renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    GLuint names[6];
    glGenTextures(6, names);
    for (int f = 0; f < 6; ++f) {
        glBindTexture(GL_TEXTURE_2D, names[f]);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kFaceSize, kFaceSize, 0, GL_BGRA_EXT, GL_UNSIGNED_BYTE,
                     textures[f].data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    }
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glViewport(0, 0, kWidth, kHeight);
    glClearColor(0.125f, 0.125f, 0.125f, 0);
    glDrawBuffer(GL_BACK);
    std::vector<View> views = Views();
    glFinish();
    double start = Seconds();
    int frames = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const View& v : views) {
            glClear(GL_COLOR_BUFFER_BIT);
            float vp[16];
            ViewProjection(v, vp);
            // Row vectors, row-major: the same array is the column-major matrix GL expects; z to
            // GL's -w..w range: z' = 2z - w.
            for (int r = 0; r < 4; ++r)
                vp[r * 4 + 2] = 2 * vp[r * 4 + 2] - vp[r * 4 + 3];
            glMatrixMode(GL_PROJECTION);
            glLoadMatrixf(vp);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            glColor4f(1, 1, 1, 1);
            for (int f = 0; f < 6; ++f) {
                glBindTexture(GL_TEXTURE_2D, names[f]);
                glBegin(GL_TRIANGLES);
                for (uint16_t i : kQuadIndices) {
                    glTexCoord2f(kUv[i][0], kUv[i][1]);
                    glVertex3f(kFaces[f].p[i][0] * kCubeHalf, kFaces[f].p[i][1] * kCubeHalf,
                               kFaces[f].p[i][2] * kCubeHalf);
                }
                glEnd();
            }
            glFinish();
            ++frames;
        }
    }
    double rate = frames / (Seconds() - start);
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(rc);
    ReleaseDC(wnd, dc);
    DestroyWindow(wnd);
    return rate;
}

}  // namespace

int main(int argc, char** argv) {
    bool gl = argc > 1 && std::strcmp(argv[1], "--llvmpipe") == 0;
    int rounds = argc > (gl ? 2 : 1) ? std::atoi(argv[gl ? 2 : 1]) : 3;
    if (rounds < 1)
        rounds = 1;
    std::vector<std::vector<uint32_t>> textures;
    for (int f = 0; f < 6; ++f)
        textures.push_back(MakeFaceTexture(f));
    int viewCount = static_cast<int>(Views().size());
    if (gl) {
        const char* threads = std::getenv("LP_NUM_THREADS");
        double rate = RunGl(rounds, textures);
        std::printf("llvmpipe %.1f frames/s (LP_NUM_THREADS=%s, %d frames)\n", rate, threads ? threads : "default",
                    rounds * viewCount);
        return rate > 0 ? 0 : 1;
    }
    SimdLevel chosen = ChosenSimdLevel();
    double plain = RunOurs(SimdLevel::Plain, rounds, textures);
    std::printf("lumarix plain %.1f frames/s (%d frames)\n", plain, rounds * viewCount);
    if (chosen != SimdLevel::Plain) {
        double rate = RunOurs(chosen, rounds, textures);
        std::printf("lumarix %s %.1f frames/s (%d frames)\n", SimdLevelName(chosen), rate, rounds * viewCount);
    }
    std::printf("lumarix %.1f frames/s\n", chosen != SimdLevel::Plain ? RunOurs(chosen, rounds, textures) : plain);
    return 0;
}
