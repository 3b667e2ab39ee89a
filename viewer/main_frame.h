// CMainFrame: the program's one host window (in the screensaver preview, a child of the preview
// window). A skinned window that carries the whole viewer engine by value, the packer dialog,
// the start-up texts and a row of toolbar buttons in its caption. It gives the engine its
// windows when it is created, routes mouse messages over the view and every other message to
// the engine's dispatcher first, and shuts the engine down when it is destroyed. Methods:
//   main_frame.cpp          construction, creation and destruction, routing, toolbar, title
//   main_frame_startup.cpp  start-up parameters, window class and geometry, hand-over
//   main_frame_package.cpp  the package appended to the program
#pragma once

#include <cstdint>

#include "core/item_list.h"
#include "core/package.h"
#include "core/text_string.h"
#include "images/sprite.h"
#include "packer/package_dlg.h"
#include "platform/edit.h"
#include "viewer/image_button.h"
#include "viewer/image_wnd.h"
#include "viewer/main_wnd.h"

// Resources of the host window.
constexpr int kMainFrameIcon = 104;
constexpr int kMainFrameMenu = 107;
constexpr int kToolbarButtonCount = 12;
constexpr int kToolbarImagesPerButton = 4;
// Caption height of the host's skinned frame before the interface mode sets it.
constexpr int kMainFrameCaption = 59;

// The package of a packed player as read from its program file.
struct PlayerPackage {
    PackageKey key;
    CTexto parameterText;
    CObjeto entries;   // PackageEntry items with absolute names
};

// The lParam a mouse message of the host carries to the engine: a point inside the view
// window (left and top inclusive) or any point while dragging goes on in view coordinates (the
// wheel's, already in screen coordinates, unchanged). False when the message stays with the
// host. Points are signed 16-bit, so that a drag left of or above the window stays there.
bool HostMouseToView(UINT message, LPARAM lParam, HWND host, HWND view, bool dragging, LPARAM* viewLParam);

// Reads the package appended to the file at path, entry names made absolute against the start
// folder. False, package untouched, when there is none or any length, count or position in it
// fails its check.
bool ReadPlayerPackage(const char* path, const char* startFolder, PlayerPackage* package);
// The same from an open stream holding the program file (from its first byte).
bool ReadPlayerPackage(CFicheroHttp& stream, const char* startFolder, PlayerPackage* package);

// Takes the four texts of a hand-over record ('start folder','command line','program name',
// 'program path') out of size bytes (no terminator needed). The start folder ends at the first
// "','", the name and path are the last two fields, the command line lies between. False,
// texts untouched, for a malformed record.
bool ParseHandOverText(const char* data, size_t size, CTexto* texts);

// The Windows version that decides whether the skinned modes become system-frame modes: the
// registry's "CurrentVersion" or the system's major version, whichever is higher.
double ReadWindowsVersion(const CMainWnd& engine);

class CMainFrame : public CImageWnd {
public:
    explicit CMainFrame(const char* commandLine);
    ~CMainFrame() override;

    // Fills the start-up texts, reads the package or the first parameter file found, merges
    // it with the command line and applies the result to the engine.
    void LoadStartupParameters(const char* startFolder, const char* programName, const char* commandLine);
    // True when no window of the class g_windowClassName runs (this process goes on); false
    // when one does: the start-up texts were sent to it.
    bool HandOverToRunningInstance();
    // Opens files chosen by the user (joined with ','): they become the "files" parameter and
    // the engine is asked to apply its parameters.
    void OpenFile(const char* path);
    // Shows a toolbar button with its pressed image (non-zero) or its normal one, redrawn now.
    void SetToolbarButtonState(int button, int pressed);
    // The title from "viewertitle", else the application's name and the path (" ..." for
    // several files); set as the window text.
    void UpdateTitle(const char* path);
    // WM_USER + 117: the caption buttons' and the toolbar's tips in the current language.
    LRESULT OnRefreshToolbarTips();
    // One toolbar button: its images from the bitmap resource, its window with the command id.
    void MakeToolbarButton(CImageButton& button, CSprite* images, const int32_t* rect, int bitmapId,
                           UINT commandId);

    CMainWnd m_engine;
    CPackageDlg m_packageDialog;
    CTexto m_startFolder;
    CTexto m_commandLine;
    CTexto m_programName;
    CTexto m_parameterText;
    CObjeto m_parameterList;
    CTexto m_packerFileName;
    int32_t m_toolbarRects[kToolbarButtonCount][4] = {};   // left, top, width, height
    CImageButton m_toolbarButtons[kToolbarButtonCount];
    CSprite m_toolbarImages[kToolbarButtonCount * kToolbarImagesPerButton];
    CEdit m_codeEdit;

    uint8_t m_handedOver = 0;      // the command line went to a running instance: no window
    int32_t m_pointerOverView = 0;
    uint8_t m_recording = 0;
    int32_t m_sampleCount = 0;
    float m_sampleInterval = 0.1f;
    int32_t m_renderMode = 2;
    uint8_t m_hotspotEditorFlag = 0;
    uint8_t m_packerFlag = 0;
    // The full-screen screensaver's window is made topmost.
    bool m_createTopmost = false;
    // Where the Windows version comes from; tests put in a fixed one.
    double (*m_windowsVersion)(const CMainWnd&) = &ReadWindowsVersion;

protected:
    BOOL PreCreateWindow(CREATESTRUCTA& cs) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(CREATESTRUCTA* cs) override;
    void OnDestroy() override;
    BOOL OnCopyData(HWND sender, COPYDATASTRUCT* data) override;

private:
    // main_frame_startup.cpp
    bool UsesSystemFrameModes() const;
    // The skinned frame's caption, borders and caption buttons for an interface mode; true
    // when the mode keeps the system's frame.
    bool ApplyInterfaceMode(int mode);

    // main_frame.cpp
    // A mouse message over the view (or during a view drag) goes to the engine in view
    // coordinates; true when it went there.
    bool RouteMouseToView(UINT message, WPARAM wParam, LPARAM lParam);

    HBITMAP m_toolbarGlyphs[kToolbarButtonCount] = {};   // owned
};
