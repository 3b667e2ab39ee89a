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

#include "tests/render/raster_cube_scene.h"

#ifndef GL_BGRA_EXT
#define GL_BGRA_EXT 0x80E1
#endif

namespace {

constexpr int kWidth = 1280, kHeight = 720;
constexpr int kFaceSize = 1024;
constexpr float kCubeHalf = 100.0f;
constexpr uint32_t kDefaultState = 0x1834B86;
constexpr uint32_t kBilinear = 0x8;
constexpr uint32_t kFaceFeatures = kMeshRenderFlagsDefault | MeshRenderTextured;
constexpr uint32_t kBackground = 0x00202020;

using cube_scene::View;

std::vector<uint32_t> MakeFaceTexture(int face) { return cube_scene::MakeFaceTexture(face, kFaceSize); }
std::vector<View> Views() { return cube_scene::SweepViews(); }

double Seconds() {
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

// CPU seconds of this thread (less disturbed than the clock on a loaded machine).
double ThreadSeconds() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    ULARGE_INTEGER u;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return static_cast<double>(u.QuadPart) / 1e7;
}

struct Rate {
    double wall, cpu;
};

// --- our side ---

Rate RunOurs(SimdLevel level, int rounds, const std::vector<std::vector<uint32_t>>& textures) {
    std::vector<uint32_t> frame(static_cast<size_t>(kWidth) * kHeight);
    std::vector<uint8_t> work(kRasterWorkBytesNeeded);
    SpanCacheStorage cache;
    SpanCache view = cache.View(level);
    MeshVertex mesh[6][4];
    for (int f = 0; f < 6; ++f)
        cube_scene::FaceVertices(f, kCubeHalf, mesh[f]);
    RasterWork w = cube_scene::FrameWork(reinterpret_cast<uint8_t*>(frame.data()), kWidth * 4, 32, kWidth, kHeight,
                                         work.data());
    std::vector<View> views = Views();
    double start = Seconds(), cpuStart = ThreadSeconds();
    int frames = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const View& v : views) {
            std::fill(frame.begin(), frame.end(), kBackground);
            float m[16];
            cube_scene::WorldToScreen(v.tilt, v.pan, kWidth, kHeight, m);
            for (int f = 0; f < 6; ++f)
                cube_scene::DrawFace(w, view, kDefaultState | kBilinear, kFaceFeatures, m, mesh[f],
                                     textures[f].data(), kFaceSize);
            ++frames;
        }
    }
    return {frames / (Seconds() - start), frames / (ThreadSeconds() - cpuStart)};
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
            cube_scene::ViewProjection(v.tilt, v.pan, kWidth, kHeight, vp);
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
                for (uint16_t i : cube_scene::kQuad) {
                    const float* p = cube_scene::kFaces[f].p[i];
                    glTexCoord2f(cube_scene::kUv[i][0], cube_scene::kUv[i][1]);
                    glVertex3f(p[0] * kCubeHalf, p[1] * kCubeHalf, p[2] * kCubeHalf);
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
    std::setvbuf(stdout, nullptr, _IONBF, 0);  // figures reach a pipe even if the GL driver ends the process
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
    for (int level = 0; level <= static_cast<int>(chosen); ++level) {
        Rate rate = RunOurs(static_cast<SimdLevel>(level), rounds, textures);
        std::printf("lumarix %s %.1f frames/s (%.1f per CPU second, %d frames)\n",
                    SimdLevelName(static_cast<SimdLevel>(level)), rate.wall, rate.cpu, rounds * viewCount);
    }
    Rate rate = RunOurs(chosen, rounds, textures);
    std::printf("lumarix %.1f frames/s (%s, %.1f per CPU second)\n", rate.wall, SimdLevelName(chosen), rate.cpu);
    return 0;
}
