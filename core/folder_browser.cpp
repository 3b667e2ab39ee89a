// The folder browser over SHBrowseForFolderA, re-laid out on initialisation.
#include "core/folder_browser.h"

#include <shlobj.h>

#include <cstring>

#include "core/system_wrappers.h"

namespace {

constexpr int kStartFolderMax = 518;   // bytes of a start path that are used
constexpr int kMargin = 10;
constexpr int kGrowWidth = 40;
constexpr int kGrowHeight = 30;
constexpr int kGrowHeightWithEdit = 35;   // plus the edit box's own height
constexpr int kEditGap = 5;               // between the edit box and the tree
constexpr int kParkedPosition = 20000;    // an unwanted edit box is moved out of sight here
constexpr int kParkedSize = 10;
constexpr uintptr_t kLargestNumber = 0xFFFF;   // initial-folder values up to this are CSIDLs
// A shell that has not finished building its tree may ignore the first request for the start
// folder; it is asked again this often, for this many times, until the tree has a selection.
constexpr UINT_PTR kStartRetryTimer = 1;
constexpr UINT kStartRetryMs = 100;
constexpr int kStartRetries = 100;
constexpr const char* kSettingsProperty = "LumarixFolderBrowser";

constexpr const char* kTreeClass = "SysTreeView32";
constexpr const char* kNamespaceTreeClass = "SHBrowseForFolder ShellNameSpace Control";
constexpr const char* kEditClass = "Edit";

struct BrowseSettings {
    const char* caption;
    const char* start;
    bool editBox;
    int startRetriesLeft;
};

HWND FindTree(HWND dialog) {
    HWND tree = FindWindowExA(dialog, nullptr, kTreeClass, nullptr);
    if (!tree)
        tree = FindWindowExA(dialog, nullptr, kNamespaceTreeClass, nullptr);
    return tree;
}

// Whether the tree has a selected item; a tree of unknown kind counts as settled.
bool TreeHasSelection(HWND dialog) {
    HWND tree = FindTree(dialog);
    if (HWND inner = tree ? FindWindowExA(tree, nullptr, kTreeClass, nullptr) : nullptr)
        tree = inner;   // the namespace control holds the tree
    return !tree || SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0) != 0;
}

void CALLBACK RetryStartSelection(HWND dialog, UINT, UINT_PTR timer, DWORD) {
    BrowseSettings* settings = static_cast<BrowseSettings*>(GetPropA(dialog, kSettingsProperty));
    // A selection, whether ours or the user's, ends the retries.
    if (!settings || settings->startRetriesLeft-- <= 0 || TreeHasSelection(dialog)) {
        KillTimer(dialog, timer);
        RemovePropA(dialog, kSettingsProperty);
        return;
    }
    SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(settings->start));
}

void PlaceChild(HWND child, int x, int y, int width, int height) {
    SetWindowPos(child, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

SIZE WindowSize(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM parameter, LPARAM data) {
    BrowseSettings* settings = reinterpret_cast<BrowseSettings*>(data);
    switch (message) {
    case BFFM_INITIALIZED: {
        const LONG_PTR style = GetWindowLongPtrA(dialog, GWL_STYLE);
        SetWindowLongPtrA(dialog, GWL_STYLE, style & ~static_cast<LONG_PTR>(DS_CONTEXTHELP));
        const LONG_PTR exStyle = GetWindowLongPtrA(dialog, GWL_EXSTYLE);
        SetWindowLongPtrA(dialog, GWL_EXSTYLE, exStyle & ~static_cast<LONG_PTR>(WS_EX_CONTEXTHELP));
        SetWindowPos(dialog, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        if (settings->start[0]) {
            SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(settings->start));
            if (!TreeHasSelection(dialog) && SetPropA(dialog, kSettingsProperty, settings))
                SetTimer(dialog, kStartRetryTimer, kStartRetryMs, RetryStartSelection);
        }
        if (settings->caption && settings->caption[0])
            SetWindowTextA(dialog, settings->caption);
        LayOutFolderDialog(dialog, settings->editBox);
        break;
    }
    case BFFM_SELCHANGED: {
        // Virtual items (the computer, the network) have no folder to hand back.
        char path[MAX_PATH];
        const bool real = parameter &&
                          SHGetPathFromIDListA(reinterpret_cast<PCIDLIST_ABSOLUTE>(parameter), path) &&
                          path[0] && FileExists(path);
        // Posted: some shells run their own check of the selection after calling us, and ours
        // must be the one that stays.
        PostMessageA(dialog, BFFM_ENABLEOK, 0, real ? TRUE : FALSE);
        break;
    }
    default:
        break;
    }
    return 0;
}

}  // namespace

void LayOutFolderDialog(HWND dialog, bool editBox) {
    HWND tree = FindTree(dialog);
    if (!tree)
        return;
    HWND edit = FindWindowExA(dialog, nullptr, kEditClass, nullptr);
    const bool showEdit = edit && editBox;
    int editHeight = 0;
    if (showEdit) {
        editHeight = WindowSize(edit).cy;
    } else if (edit) {
        PlaceChild(edit, kParkedPosition, kParkedPosition, kParkedSize, kParkedSize);
        ShowWindow(edit, SW_HIDE);
    }

    const SIZE outer = WindowSize(dialog);
    const int growHeight = showEdit ? editHeight + kGrowHeightWithEdit : kGrowHeight;
    SetWindowPos(dialog, nullptr, 0, 0, outer.cx + kGrowWidth, outer.cy + growHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(dialog, &client);
    const int width = client.right;
    const int height = client.bottom;

    int buttonsTop = height - kMargin;
    HWND cancel = GetDlgItem(dialog, IDCANCEL);
    if (cancel) {
        const SIZE size = WindowSize(cancel);
        const int x = width - kMargin - size.cx;
        buttonsTop = height - kMargin - size.cy;
        PlaceChild(cancel, x, buttonsTop, size.cx, size.cy);
        if (HWND ok = GetDlgItem(dialog, IDOK))
            PlaceChild(ok, x - kMargin - size.cx, buttonsTop, size.cx, size.cy);
    }
    int treeTop = kMargin;
    if (showEdit) {
        PlaceChild(edit, kMargin, kMargin, width - 2 * kMargin, editHeight);
        treeTop = kMargin + editHeight + kEditGap;
    }
    PlaceChild(tree, kMargin, treeTop, width - 2 * kMargin, buttonsTop - kMargin - treeTop);
}

bool BrowseForFolder(HWND owner, const char* initialFolder, int root, const char* caption,
                     char* outPath, int outSize, bool editBox) {
    if (!outPath || outSize < kBrowseResultMinSize)
        return false;
    std::memset(outPath, 0, static_cast<size_t>(outSize));

    PIDLIST_ABSOLUTE rootList = nullptr;
    if (root != kBrowseWholeNamespace && FAILED(SHGetSpecialFolderLocation(owner, root, &rootList)))
        rootList = nullptr;   // the desktop

    char start[kStartFolderMax + 2] = {};
    const uintptr_t initial = reinterpret_cast<uintptr_t>(initialFolder);
    if (initial > kLargestNumber) {
        std::memcpy(start, initialFolder, strnlen(initialFolder, kStartFolderMax));
    } else if (initialFolder) {
        if (!SHGetSpecialFolderPathA(owner, start, static_cast<int>(initial), FALSE))
            start[0] = '\0';
    }
    if (!start[0] && root == kBrowseWholeNamespace) {
        const DWORD n = GetCurrentDirectoryA(sizeof start, start);
        if (n == 0 || n >= sizeof start)
            start[0] = '\0';
    }

    BrowseSettings settings{caption, start, editBox, kStartRetries};
    char displayName[MAX_PATH] = {};
    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.pidlRoot = rootList;
    info.pszDisplayName = displayName;
    info.ulFlags = editBox ? BIF_EDITBOX : 0;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(&settings);

    bool chosen = false;
    PIDLIST_ABSOLUTE result = SHBrowseForFolderA(&info);
    if (result) {
        char path[MAX_PATH] = {};
        if (SHGetPathFromIDListA(result, path) && path[0]) {
            std::memcpy(outPath, path, strnlen(path, static_cast<size_t>(outSize) - 1));
            chosen = true;
        }
        CoTaskMemFree(result);
    }
    if (rootList)
        CoTaskMemFree(rootList);
    return chosen;
}
