#include "platform/application.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

CWinApp* g_app = nullptr;
HINSTANCE g_instance = nullptr;

struct ModelessDialogs {
    std::mutex lock;
    std::vector<HWND> windows;
};

ModelessDialogs& Dialogs()
{
    static ModelessDialogs dialogs;
    return dialogs;
}

// The file name of a path without folder and extension.
CTexto BaseName(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    }
    CTexto result(name);
    int dot = result.ReverseFind('.');
    if (dot > 0)
        result = result.Mid(0, dot);
    return result;
}

}  // namespace

CWinApp::CWinApp()
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

int CWinApp::Run()
{
    MSG message;
    for (;;) {
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0 || got == -1)
            break;
        if (PreTranslateDialogMessage(&message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

CWinApp* GetApp()
{
    return g_app;
}

HINSTANCE GetAppInstance()
{
    return g_instance ? g_instance : GetModuleHandleA(nullptr);
}

void SetAppInstance(HINSTANCE instance)
{
    g_instance = instance;
}

const char* SkipProgramName(const char* commandLine)
{
    if (!commandLine)
        return "";
    const char* p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"')
            ++p;
        if (*p == '"')
            ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t')
            ++p;
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

int RunApplication(HINSTANCE instance, const char* commandLine)
{
    CWinApp* app = GetApp();
    if (!app)
        return 1;
    SetAppInstance(instance);
    app->m_hInstance = instance;
    app->m_commandLine = commandLine ? commandLine : "";
    app->m_lpCmdLine = app->m_commandLine.GetText() ? app->m_commandLine.GetText() : "";
    char path[MAX_PATH] = {};
    GetModuleFileNameA(instance, path, sizeof path - 1);
    app->m_exeName = BaseName(path);

    if (app->InitInstance())
        app->Run();
    return app->ExitInstance();
}

void AddModelessDialog(HWND dialog)
{
    std::lock_guard<std::mutex> hold(Dialogs().lock);
    Dialogs().windows.push_back(dialog);
}

void RemoveModelessDialog(HWND dialog)
{
    std::lock_guard<std::mutex> hold(Dialogs().lock);
    std::vector<HWND>& windows = Dialogs().windows;
    windows.erase(std::remove(windows.begin(), windows.end(), dialog), windows.end());
}

bool PreTranslateDialogMessage(MSG* message)
{
    if (message->message < WM_KEYFIRST || message->message > WM_KEYLAST)
        return false;
    std::vector<HWND> windows;
    {
        std::lock_guard<std::mutex> hold(Dialogs().lock);
        windows = Dialogs().windows;
    }
    for (HWND dialog : windows) {
        if (IsWindow(dialog) && IsDialogMessageA(dialog, message))
            return true;
    }
    return false;
}
