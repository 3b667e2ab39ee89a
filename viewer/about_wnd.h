// CAboutWnd: the small skinned window that shows the page about the program and its version.
// The engine makes it at start-up, hidden, and shows or hides it on the about command.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/text_string.h"
#include "viewer/image_wnd.h"

class CDocHostHtmlView;

class CAboutWnd : public CImageWnd {
public:
    CAboutWnd();
    ~CAboutWnd() override;

    // Shows the page: the named one, which then stays in use for later showings, or the one
    // named before; with none the program's own page with m_versionText.
    void ShowAbout(const char* page);

    CTexto m_aboutUrl;             // empty: the program's own page
    char m_versionText[40] = {};   // filled by the engine before each showing
    CDocHostHtmlView* m_view = nullptr;  // owned; null while hidden
    uint8_t m_created = 0;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(CREATESTRUCTA* cs) override;
    void OnDestroy() override;
    // Hides the window, gives the focus back to its owner and lets the page view go.
    void OnClose() override;
};

// The program's FileVersion text (at most 39 characters into text when given) packed as
// PackVersion does; 0 without a version resource or its FileVersion.
uint32_t GetProgramVersion(char* text);
// Up to four numbers separated by '.' or ',' (blanks allowed before each), the last in the
// lowest byte: "a.b.c.d" gives a x 2^24 + b x 2^16 + c x 2^8 + d.
uint32_t PackVersion(const char* text);
