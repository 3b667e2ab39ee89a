#include "core/system_wrappers.h"

#include <ole2.h>

#include <atomic>

namespace {

typedef HRESULT(STDAPICALLTYPE* ServerEntry)();

int SystemMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    return MessageBoxA(owner, text, caption, type);
}

std::atomic<MessageBoxFunction> g_messageBox{nullptr};

constexpr int kComServerFailed = 1;

}  // namespace

int RegisterComServer(const char* libraryPath, bool registerServer) {
    if (!libraryPath || FAILED(OleInitialize(nullptr)))
        return kComServerFailed;
    int result = kComServerFailed;
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryExA(libraryPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library) {
        const char* entryName = registerServer ? "DllRegisterServer" : "DllUnregisterServer";
        ServerEntry entry = reinterpret_cast<ServerEntry>(
            reinterpret_cast<void*>(GetProcAddress(library, entryName)));
        if (entry && SUCCEEDED(entry()))
            result = 0;
        FreeLibrary(library);
    }
    SetErrorMode(oldMode);
    OleUninitialize();
    return result;
}

BOOL PostMessageTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageA(window, message, wParam, lParam);
}

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    MessageBoxFunction function = g_messageBox.load();
    if (!function)
        function = &SystemMessageBox;
    return function(owner, text, caption, type);
}

MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction function) {
    return g_messageBox.exchange(function);
}

bool RunsOnWine() {
    static const bool onWine = [] {
        HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return onWine;
}
