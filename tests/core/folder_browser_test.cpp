// The folder browser as a real dialog (under Xvfb), driven by an automation thread while the
// test thread sits in the dialog's modal loop.
#include "core/folder_browser.h"

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

constexpr const char* kCaption = "Select the folder of images";
constexpr int kFindDialogMs = 20000;
constexpr int kMargin = 10;
// How long the dialog may take to act on a request; Wine's shell is slow on a loaded machine.
constexpr int kSettleMs = 15000;

// What the automation thread saw; checked by the test thread once the dialog is gone.
struct Findings {
    bool found = false;
    std::vector<std::string> problems;
    void Check(bool ok, const std::string& what) {
        if (!ok)
            problems.push_back(what);
    }
};

struct FindData {
    std::string caption;
    HWND window = nullptr;
};

BOOL CALLBACK FindDialogProc(HWND window, LPARAM parameter) {
    FindData* data = reinterpret_cast<FindData*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[64] = {};
    char title[256] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    if (process == GetCurrentProcessId() && std::string(className) == "#32770" &&
        data->caption == title && IsWindowVisible(window)) {
        data->window = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindDialog(const std::string& caption, int waitMs) {
    for (int waited = 0; waited < waitMs; waited += 20) {
        FindData data{caption, nullptr};
        EnumWindows(FindDialogProc, reinterpret_cast<LPARAM>(&data));
        if (data.window)
            return data.window;
        Sleep(20);
    }
    return nullptr;
}

// A child's rectangle in the dialog's client coordinates.
RECT ChildRect(HWND dialog, HWND child) {
    RECT r = {};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

HWND Tree(HWND dialog) {
    return FindWindowExA(dialog, nullptr, "SysTreeView32", nullptr);
}

std::string ItemText(HWND tree, HTREEITEM item) {
    char text[MAX_PATH] = {};
    TVITEMA info = {};
    info.mask = TVIF_TEXT;
    info.hItem = item;
    info.pszText = text;
    info.cchTextMax = sizeof text;
    if (!tree || !item || !SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&info)))
        return "";
    return text;
}

HTREEITEM SelectedItem(HWND dialog) {
    return reinterpret_cast<HTREEITEM>(
        SendMessageA(Tree(dialog), TVM_GETNEXTITEM, TVGN_CARET, 0));
}

std::string SelectedItemText(HWND dialog) {
    return ItemText(Tree(dialog), SelectedItem(dialog));
}

// The item beside the selected one that is called name, or null.
HTREEITEM SiblingOfSelection(HWND dialog, const std::string& name) {
    HWND tree = Tree(dialog);
    HTREEITEM parent = reinterpret_cast<HTREEITEM>(
        SendMessageA(tree, TVM_GETNEXTITEM, TVGN_PARENT,
                     reinterpret_cast<LPARAM>(SelectedItem(dialog))));
    HTREEITEM item = parent ? reinterpret_cast<HTREEITEM>(SendMessageA(
                                  tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(parent)))
                            : nullptr;
    while (item && ItemText(tree, item) != name) {
        item = reinterpret_cast<HTREEITEM>(
            SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
    }
    return item;
}

// Selects an item as a click would.
void SelectItem(HWND dialog, HTREEITEM item) {
    if (item)
        SendMessageA(Tree(dialog), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
}

// The tree's selection once the dialog has moved it onto expected (it does so from its
// initialisation callback, which may run after the window shows), or after a bound.
std::string SelectionSettled(HWND dialog, const std::string& expected) {
    std::string text;
    for (int waited = 0; waited <= kSettleMs; waited += 20) {
        text = SelectedItemText(dialog);
        if (text == expected)
            break;
        Sleep(20);
    }
    return text;
}

// OK's state once it has settled on expected (the dialog sets it through a posted message), or
// after a bound.
bool OkStateSettled(HWND dialog, bool expected) {
    bool enabled = false;
    for (int waited = 0; waited <= kSettleMs; waited += 20) {
        enabled = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
        if (enabled == expected)
            break;
        Sleep(20);
    }
    return enabled;
}

void SelectSpecialFolder(HWND dialog, int csidl) {
    PIDLIST_ABSOLUTE list = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(dialog, csidl, &list))) {
        SendMessageA(dialog, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(list));
        CoTaskMemFree(list);
    }
}

void Press(HWND dialog, int button) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

// The layout every dialog gets: no help button, buttons in the bottom-right corner, the tree
// filling the rest, the edit box shown or parked as asked.
void CheckLayout(HWND dialog, bool editBox, Findings* findings) {
    findings->Check(!(GetWindowLongPtrA(dialog, GWL_EXSTYLE) & WS_EX_CONTEXTHELP),
                    "the context-help extended style is still set");
    findings->Check(!(GetWindowLongPtrA(dialog, GWL_STYLE) & DS_CONTEXTHELP),
                    "the context-help style is still set");
    RECT client;
    GetClientRect(dialog, &client);
    HWND ok = GetDlgItem(dialog, IDOK);
    HWND cancel = GetDlgItem(dialog, IDCANCEL);
    HWND tree = Tree(dialog);
    findings->Check(ok && cancel && tree, "OK, Cancel or the tree is missing");
    if (!ok || !cancel || !tree)
        return;
    const RECT c = ChildRect(dialog, cancel);
    const RECT o = ChildRect(dialog, ok);
    const RECT t = ChildRect(dialog, tree);
    findings->Check(c.right == client.right - kMargin && c.bottom == client.bottom - kMargin,
                    "Cancel is not 10 pixels from the bottom-right corner");
    findings->Check(o.right == c.left - kMargin && o.top == c.top && o.bottom == c.bottom &&
                        o.right - o.left == c.right - c.left,
                    "OK does not sit left of Cancel with its size");
    findings->Check(t.left == kMargin && t.right == client.right - kMargin &&
                        t.bottom == o.top - kMargin,
                    "the tree does not fill the dialog above the buttons");
    HWND edit = FindWindowExA(dialog, nullptr, "Edit", nullptr);
    if (editBox) {
        findings->Check(edit && IsWindowVisible(edit), "the edit box is not shown");
        if (edit) {
            const RECT e = ChildRect(dialog, edit);
            findings->Check(e.left == kMargin && e.top == kMargin &&
                                e.right == client.right - kMargin && t.top == e.bottom + 5,
                            "the edit box is not above the tree");
        }
    } else {
        findings->Check(!edit || !IsWindowVisible(edit), "the edit box is shown");
        findings->Check(t.top == kMargin, "the tree does not start at the top");
    }
}

// Runs BrowseForFolder on this thread while drive() acts on the dialog from another.
bool BrowseWith(const char* initial, bool editBox, std::string* chosen, Findings* findings,
                const std::function<void(HWND, Findings*)>& drive) {
    std::thread automation([&] {
        HWND dialog = FindDialog(kCaption, kFindDialogMs);
        findings->found = dialog != nullptr;
        if (dialog)
            drive(dialog, findings);
    });
    char path[2048] = "not cleared";
    const bool result = BrowseForFolder(nullptr, initial, kBrowseWholeNamespace, kCaption, path,
                                        sizeof path, editBox);
    automation.join();
    *chosen = path;
    return result;
}

// Wine's dialog finds a folder in its tree by the times recorded for each folder on the way, so
// a folder under %TEMP%, which other tests change while the dialog is open, may not be found.
// These tests make their folders at the root of the system drive instead.
std::string QuietFolderBase() {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    return std::string(windows, 3);   // "C:\"
}

bool SamePath(std::string a, std::string b) {
    for (std::string* s : {&a, &b}) {
        while (!s->empty() && (s->back() == '\\' || s->back() == '/'))
            s->pop_back();
    }
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

class FolderBrowser : public ::testing::Test {
protected:
    void SetUp() override { OleInitialize(nullptr); }
    void TearDown() override { OleUninitialize(); }
};

}  // namespace

TEST_F(FolderBrowser, OpensOnTheStartFolderAndReturnsTheChosenFolder) {
    TempFolder folders(QuietFolderBase());
    const std::string start = folders.File("start");
    const std::string target = folders.File("chosen");
    ASSERT_TRUE(CreateDirectoryA(start.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));

    bool okOnStart = false;
    bool okOnComputer = true;
    bool okOnTarget = false;
    std::string selectedAtStart;
    Findings findings;
    std::string chosen;
    const bool result = BrowseWith(start.c_str(), false, &chosen, &findings,
                                   [&](HWND dialog, Findings* f) {
        CheckLayout(dialog, false, f);
        selectedAtStart = SelectionSettled(dialog, "start");
        okOnStart = OkStateSettled(dialog, true);
        HTREEITEM chosenItem = SiblingOfSelection(dialog, "chosen");
        f->Check(chosenItem != nullptr, "the chosen folder is not beside the start folder");
        // The computer node has no folder of its own: OK goes grey, and back with a folder.
        SelectSpecialFolder(dialog, CSIDL_DRIVES);
        okOnComputer = OkStateSettled(dialog, false);
        SelectItem(dialog, chosenItem);
        okOnTarget = OkStateSettled(dialog, true);
        Press(dialog, IDOK);
    });
    ASSERT_TRUE(findings.found);
    for (const std::string& problem : findings.problems)
        ADD_FAILURE() << problem;
    EXPECT_EQ(selectedAtStart, "start");
    EXPECT_TRUE(okOnStart);
    EXPECT_FALSE(okOnComputer);
    EXPECT_TRUE(okOnTarget);
    EXPECT_TRUE(result);
    EXPECT_TRUE(SamePath(chosen, target)) << chosen;
}

TEST_F(FolderBrowser, AStartFolderTheShellCannotFindAtOnceIsSelectedWhenItAppears) {
    TempFolder folders(QuietFolderBase());
    const std::string start = folders.File("late");
    std::string selectedAtStart;
    Findings findings;
    std::string chosen;
    const bool result = BrowseWith(start.c_str(), false, &chosen, &findings,
                                   [&](HWND dialog, Findings*) {
        Sleep(300);
        CreateDirectoryA(start.c_str(), nullptr);
        selectedAtStart = SelectionSettled(dialog, "late");
        Press(dialog, IDOK);
    });
    ASSERT_TRUE(findings.found);
    EXPECT_EQ(selectedAtStart, "late");
    EXPECT_TRUE(result);
    EXPECT_TRUE(SamePath(chosen, start)) << chosen;
}

TEST_F(FolderBrowser, CancelWithTheEditBoxAndASpecialFolderStart) {
    char expectedStart[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, expectedStart, CSIDL_COMMON_APPDATA, FALSE));
    const std::string startName = strrchr(expectedStart, '\\') + 1;

    std::string selectedAtStart;
    Findings findings;
    std::string chosen;
    const bool result = BrowseWith(SpecialFolderStart(CSIDL_COMMON_APPDATA), true, &chosen,
                                   &findings, [&](HWND dialog, Findings* f) {
        // Wine's classic dialog has no edit box at all; where there is one it must show.
        CheckLayout(dialog, FindWindowExA(dialog, nullptr, "Edit", nullptr) != nullptr, f);
        selectedAtStart = SelectionSettled(dialog, startName);
        Press(dialog, IDCANCEL);
    });
    ASSERT_TRUE(findings.found);
    for (const std::string& problem : findings.problems)
        ADD_FAILURE() << problem;
    EXPECT_EQ(selectedAtStart, startName);
    EXPECT_FALSE(result);
    EXPECT_EQ(chosen, "");
}

TEST_F(FolderBrowser, ABufferBelow260BytesAnswersFalseWithoutADialog) {
    // Should a dialog appear anyway, this thread closes it so that the test ends.
    std::atomic<bool> done{false};
    std::atomic<bool> appeared{false};
    std::thread watcher([&] {
        while (!done) {
            if (HWND dialog = FindDialog(kCaption, 50)) {
                appeared = true;
                Press(dialog, IDCANCEL);
            }
        }
    });
    char small[kBrowseResultMinSize - 1];
    char large[kBrowseResultMinSize];
    EXPECT_FALSE(BrowseForFolder(nullptr, nullptr, kBrowseWholeNamespace, kCaption, small,
                                 sizeof small, false));
    EXPECT_FALSE(BrowseForFolder(nullptr, nullptr, kBrowseWholeNamespace, kCaption, nullptr,
                                 sizeof large, false));
    done = true;
    watcher.join();
    EXPECT_FALSE(appeared);
}

TEST_F(FolderBrowser, LayoutWithAndWithoutTheEditBox) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    for (bool editBox : {true, false}) {
        SCOPED_TRACE(editBox ? "edit box" : "no edit box");
        // A stand-in with the shell dialog's children in their own places.
        HWND dialog = CreateWindowExA(WS_EX_CONTEXTHELP, "#32770", "stand-in",
                                      WS_POPUP | WS_CAPTION | WS_VISIBLE, 50, 50, 300, 350,
                                      nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(dialog, nullptr);
        const DWORD childStyle = WS_CHILD | WS_VISIBLE;
        CreateWindowExA(0, "SysTreeView32", "", childStyle, 5, 60, 200, 150, dialog,
                        reinterpret_cast<HMENU>(100), nullptr, nullptr);
        HWND edit = CreateWindowExA(0, "Edit", "", childStyle, 5, 220, 200, 21, dialog,
                                    reinterpret_cast<HMENU>(101), nullptr, nullptr);
        CreateWindowExA(0, "Button", "OK", childStyle, 5, 260, 70, 25, dialog,
                        reinterpret_cast<HMENU>(IDOK), nullptr, nullptr);
        CreateWindowExA(0, "Button", "Cancel", childStyle, 90, 260, 80, 24, dialog,
                        reinterpret_cast<HMENU>(IDCANCEL), nullptr, nullptr);
        RECT before;
        GetWindowRect(dialog, &before);

        LayOutFolderDialog(dialog, editBox);
        RECT after;
        GetWindowRect(dialog, &after);
        EXPECT_EQ(after.right - after.left, before.right - before.left + 40);
        EXPECT_EQ(after.bottom - after.top, before.bottom - before.top + (editBox ? 21 + 35 : 30));
        Findings findings;
        // The help style is the shell callback's to drop, not the layout's.
        SetWindowLongPtrA(dialog, GWL_EXSTYLE, 0);
        CheckLayout(dialog, editBox, &findings);
        for (const std::string& problem : findings.problems)
            ADD_FAILURE() << problem;
        const RECT cancel = ChildRect(dialog, GetDlgItem(dialog, IDCANCEL));
        EXPECT_EQ(cancel.right - cancel.left, 80);   // Cancel keeps its size
        EXPECT_EQ(cancel.bottom - cancel.top, 24);
        if (!editBox) {
            const RECT parked = ChildRect(dialog, edit);
            EXPECT_EQ(parked.left, 20000);
            EXPECT_EQ(parked.right - parked.left, 10);
        }
        DestroyWindow(dialog);
    }
}
