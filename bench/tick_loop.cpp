// Ticks per second and CPU use of the player's update loop beside a bare loop of the same shape.
//
// Player: an engine initialised on the software device in an 800 x 600 window (drawing into a
// child window, as the player's view does), its update loop
// running, the UI thread pumping messages. "busy": the change count is held up before every
// message, so every tick draws and presents; "idle": the count is left at 0 after the first
// passes, so ticks find nothing to draw.
// Bare loop: a thread that sleeps 6 ms and posts one message at a time to a window, whose UI
// thread presents a DIB of the same size with SetDIBitsToDevice ("busy") or does nothing ("idle").
// Prints ticks per second and the process's CPU use (percent of one core) for both and the ratios
// the player aims for: busy ticks at least 0.9 x the bare loop's, idle CPU at most 1.5 x.
// Usage: bench_tick_loop.exe [seconds per run] [document to open first]
// With a document, the busy ticks draw its first frame (the line after the player's run names
// the device and the frame kind; kind -1 means nothing was loaded).
#include <winsock2.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "viewer/main_wnd.h"

namespace {

constexpr int kWidth = 800, kHeight = 600;
constexpr UINT kBareTick = WM_APP + 1;

double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    ULARGE_INTEGER k, u;
    k.LowPart = kernel.dwLowDateTime;
    k.HighPart = kernel.dwHighDateTime;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return static_cast<double>(k.QuadPart + u.QuadPart) / 1e7;
}

struct Figures {
    double ticksPerSecond = 0;
    double cpuPercent = 0;
};

// Pumps messages for the given seconds; before each message calls `before`.
template <typename Before>
Figures Pump(double seconds, const std::atomic<int>& ticks, Before before) {
    const int ticks0 = ticks.load();
    const double cpu0 = ProcessCpuSeconds();
    const DWORD start = GetTickCount();
    const DWORD length = static_cast<DWORD>(seconds * 1000);
    MSG msg;
    while (GetTickCount() - start < length) {
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT) != WAIT_OBJECT_0)
            continue;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            before();
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    const double wall = (GetTickCount() - start) / 1000.0;
    Figures f;
    f.ticksPerSecond = (ticks.load() - ticks0) / wall;
    f.cpuPercent = 100.0 * (ProcessCpuSeconds() - cpu0) / wall;
    return f;
}

HWND MakeWindow(const char* className, WNDPROC proc) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    RegisterClassA(&wc);
    RECT r = {0, 0, kWidth, kHeight};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    HWND wnd = CreateWindowA(className, className, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                             r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    return wnd;
}

// --- The bare loop ---
std::atomic<int> g_bareTicks{0};
std::atomic<int> g_barePending{0};
std::atomic<bool> g_bareStop{false};
bool g_barePresent = true;
std::vector<uint32_t> g_barePixels;

LRESULT CALLBACK BareProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kBareTick) {
        if (g_barePresent) {
            BITMAPINFO bi = {};
            bi.bmiHeader.biSize = sizeof bi.bmiHeader;
            bi.bmiHeader.biWidth = kWidth;
            bi.bmiHeader.biHeight = -kHeight;
            bi.bmiHeader.biPlanes = 1;
            bi.bmiHeader.biBitCount = 32;
            bi.bmiHeader.biCompression = BI_RGB;
            g_barePixels[static_cast<size_t>(g_bareTicks.load() % kHeight) * kWidth] ^= 0xFFFFFF;
            HDC dc = GetDC(wnd);
            SetDIBitsToDevice(dc, 0, 0, kWidth, kHeight, 0, 0, 0, kHeight, g_barePixels.data(), &bi,
                              DIB_RGB_COLORS);
            ReleaseDC(wnd, dc);
        }
        g_bareTicks++;
        g_barePending = 0;
        return 0;
    }
    return DefWindowProcA(wnd, message, wParam, lParam);
}

void BareLoop(HWND wnd) {
    while (!g_bareStop.load()) {
        Sleep(6);
        if (g_barePending.exchange(1) == 0 && !PostMessageA(wnd, kBareTick, 0, 0))
            g_barePending = 0;
    }
}

Figures RunBare(double seconds, bool present) {
    g_barePixels.assign(static_cast<size_t>(kWidth) * kHeight, 0x00406080);
    g_barePresent = present;
    g_bareStop = false;
    g_barePending = 0;
    HWND wnd = MakeWindow(present ? "LumarixBareBusy" : "LumarixBareIdle", BareProc);
    std::thread loop(BareLoop, wnd);
    const Figures f = Pump(seconds, g_bareTicks, [] {});
    g_bareStop = true;
    loop.join();
    DestroyWindow(wnd);
    return f;
}

// --- The player ---
LRESULT CALLBACK HostProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(wnd, message, wParam, lParam);
}

struct PlayerFigures {
    Figures busy, idle;
    bool ok = false;
};

PlayerFigures RunPlayer(double seconds, const char* document) {
    PlayerFigures out;
    HWND host = MakeWindow("LumarixTickBenchHost", HostProc);
    // As in the player, the view draws into a child window that fills the host.
    RECT client;
    GetClientRect(host, &client);
    HWND view = CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, client.right, client.bottom,
                              host, nullptr, GetModuleHandleA(nullptr), nullptr);
    auto engine = std::make_unique<CMainWnd>();
    engine->m_viewWnd = view;
    if (engine->Initialize(kWidth, kHeight, host, 0) != 1) {
        std::printf("player: Initialize failed\n");
        DestroyWindow(host);
        return out;
    }
    std::atomic<int> ticks{0};
    auto countTicks = [&] { ticks = engine->m_tickCount; };
    if (document) {
        // As the parameter reader does: the document opened is m_documentFile.
        engine->m_params.file = document;
        engine->m_documentFile = document;
        engine->PostApplyParameters();
    }
    engine->StartUpdateLoop();
    // Let the document (if any) load and the first passes settle.
    Pump(document ? 3.0 : 0.5, ticks, countTicks);
    out.busy = Pump(seconds, ticks, [&] {
        engine->m_changeCount = 1;
        ticks = engine->m_tickCount;
    });
    // What the busy ticks drew: the device and the frame shown.
    const CFrame* frame = engine->m_currentFrame;
    std::printf("busy ticks drew on the %s device, frame kind %d%s, at %.1f frames/s\n",
                engine->m_view.backEnd == RenderSoftware ? "software" : "hardware",
                frame ? frame->kind : -1, frame && frame->IsLoading() ? " (still loading)" : "",
                engine->m_fps);
    engine->m_changeCount = 0;
    Pump(0.5, ticks, countTicks);
    out.idle = Pump(seconds, ticks, countTicks);
    // Printed before the engine ends, so that a fault there still leaves the figures.
    std::printf("player: busy %.1f t/s %.1f %% cpu, idle %.1f t/s %.1f %% cpu\n",
                out.busy.ticksPerSecond, out.busy.cpuPercent, out.idle.ticksPerSecond,
                out.idle.cpuPercent);
    std::fflush(stdout);
    engine->Shutdown();
    engine.reset();
    DestroyWindow(host);
    out.ok = true;
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    const char* document = argc > 2 ? argv[2] : nullptr;
    std::printf("tick loop, %d x %d, %.1f s per run%s%s\n", kWidth, kHeight, seconds,
                document ? ", document " : ", empty scene", document ? document : "");
    const PlayerFigures player = RunPlayer(seconds, document);
    if (!player.ok)
        return 1;
    const Figures bareBusy = RunBare(seconds, true);
    const Figures bareIdle = RunBare(seconds, false);
    std::printf("%-8s %14s %10s %14s %10s\n", "", "player t/s", "cpu %", "bare t/s", "cpu %");
    std::printf("%-8s %14.1f %10.1f %14.1f %10.1f\n", "busy", player.busy.ticksPerSecond,
                player.busy.cpuPercent, bareBusy.ticksPerSecond, bareBusy.cpuPercent);
    std::printf("%-8s %14.1f %10.1f %14.1f %10.1f\n", "idle", player.idle.ticksPerSecond,
                player.idle.cpuPercent, bareIdle.ticksPerSecond, bareIdle.cpuPercent);
    const double tickRatio = bareBusy.ticksPerSecond > 0
                                 ? player.busy.ticksPerSecond / bareBusy.ticksPerSecond
                                 : 0.0;
    const double idleRatio = bareIdle.cpuPercent > 0 ? player.idle.cpuPercent / bareIdle.cpuPercent : 0.0;
    std::printf("busy ticks: %.2f x the bare loop (goal at least 0.9)\n", tickRatio);
    std::printf("idle CPU:   %.2f x the bare loop (goal at most 1.5)\n", idleRatio);
    return 0;
}
