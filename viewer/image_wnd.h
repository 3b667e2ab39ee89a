// CImageWnd: the look the viewer's top-level windows share. A borderless window whose frame,
// caption strip and caption buttons the program draws itself, tinted with the interface colour
// ("plugincolor"), with its own hit-testing for dragging and resizing. Its content static in
// the middle holds the owner's view. Methods by concern:
//   image_wnd.cpp         creation, layout, messages, zones, caption buttons
//   image_wnd_skin.cpp    the drawn frame: pieces, strips, caption text, tint
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "core/text_string.h"
#include "images/sprite.h"
#include "platform/brush.h"
#include "platform/font.h"
#include "platform/static.h"
#include "platform/window.h"
#include "viewer/image_button.h"

// Command ids of the caption buttons.
enum CaptionCommand : UINT {
    CaptionMinimize = 870,
    CaptionMaximize = 871,
    CaptionClose = 872,
    CaptionIcon = 873,
};

// Resize zones under the pointer (the system's hit-test codes).
enum ResizeZone : int {
    ZoneNone = 0,
    ZoneLeft = HTLEFT,              // 10
    ZoneRight = HTRIGHT,            // 11
    ZoneTop = HTTOP,                // 12
    ZoneTopLeft = HTTOPLEFT,        // 13
    ZoneTopRight = HTTOPRIGHT,      // 14
    ZoneBottom = HTBOTTOM,          // 15
    ZoneBottomLeft = HTBOTTOMLEFT,  // 16
    ZoneBottomRight = HTBOTTOMRIGHT // 17
};

// The zone of a client point of a w x h skinned window.
int ResizeZoneAt(int x, int y, int width, int height);

// How a title is drawn in the caption: the part before its first hyphen, then " ..." when
// characters were dropped from the front of the rest, then what is left of the rest.
struct CaptionText {
    CTexto first;
    bool trimmed = false;
    CTexto rest;
};
// Splits the title and drops characters from the front of the rest until it fits into the
// room the strip leaves (strip width - first part's width - 60); never loops past an empty
// rest, even when the first part alone does not fit. measure answers a text's pixel width.
CaptionText LayoutCaptionText(const char* title, int stripWidth,
                              const std::function<int(const char*)>& measure);

// The language lines of the caption buttons' tips.
enum CaptionTipLine : int {
    kLineMinimize = 64,
    kLineMaximize = 65,
    kLineClose = 67,
    kLineRestore = 81,
};

constexpr const char* kCaptionIconTip = "Lumarix 3D Plugin...";
constexpr const char* kCaptionFontFace = "Tahoma";
constexpr int kCaptionFontHeight = 13;

// The GDI bitmap of a skin image, free to be shown by a static or blitted by a button; null
// while the image has none.
HBITMAP SkinBitmap(CSprite& image);

// Interface colour 0xRRGGBB as a GDI colour (red and blue exchanged).
inline COLORREF InterfaceColourRef(int32_t colour)
{
    return RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

class CImageWnd : public CWnd {
public:
    CImageWnd();
    ~CImageWnd() override;

    // Switches the drawn frame on (laid out for width x height, caption buttons as their
    // flags say) or off (border statics and caption buttons hidden).
    void SetSkinned(bool on, int width, int height);
    // The client rectangle less the frame thicknesses.
    RECT GetContentRect() const;
    // 1 when the window is not skinned or the client point lies in the content (edges
    // included), else 0.
    int HitContent(int x, int y) const;
    // Moves and sizes the window so that its client area takes the rectangle (screen
    // coordinates for a top-level window, the parent's client coordinates for a child).
    void SetClientRect(const RECT& rect, HWND insertAfter, UINT flags);
    // Tips of the caption buttons in the current language.
    void UpdateButtonTips();
    // Lays the frame out for a client size.
    void LayoutFrame(int width, int height);

    // --- Frame state ---
    CStatic m_content;
    CFont m_captionFont;
    CFont m_captionBoldFont;
    CBrush m_tintBrush;
    CSprite m_framePieces[9];
    CSprite m_captionStrip;
    CSprite m_leftStrip;
    CSprite m_rightStrip;
    CSprite m_bottomStrip;
    CSprite m_buttonImages[4][4];     // minimise, maximise, restore, close x four states
    CSprite m_icon;
    CStatic m_captionStatic;
    CStatic m_leftStatic;
    CStatic m_rightStatic;
    CStatic m_bottomStatic;
    CImageButton m_minimizeButton;
    CImageButton m_maximizeButton;
    CImageButton m_closeButton;
    CImageButton m_iconButton;
    uint8_t m_plain = 0;
    uint8_t m_systemFrame = 0;        // the window keeps the system's frame and caption
    uint8_t m_skinned = 1;
    uint8_t m_resizable = 1;
    uint8_t m_showMinimize = 0;
    uint8_t m_showMaximize = 0;
    uint8_t m_showClose = 1;
    uint8_t m_maximized = 0;
    uint8_t m_minimized = 0;
    uint8_t m_firstLayout = 1;
    int32_t m_hitCode = ZoneNone;
    int32_t m_savedLeft = 1;
    int32_t m_savedRight = 1;
    int32_t m_left = 1;
    int32_t m_right = 1;
    int32_t m_caption = 24;
    int32_t m_bottom = 1;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(CREATESTRUCTA* cs) override;
    void OnDestroy() override;
    void OnSize(UINT type, int width, int height) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnMove(int x, int y);
    BOOL OnSetCursor(HWND window, UINT hitTest, UINT message);
    void OnLButtonDown(int x, int y);
    void OnLButtonDblClk(int x, int y);
    void OnGetMinMaxInfo(MINMAXINFO* info);

private:
    // image_wnd.cpp
    void PlaceCaptionButtons(int width);
    void ShowCaptionButtons();
    void ShowBorderStatics();

    // image_wnd_skin.cpp
    void BuildFramePieces();
    void BuildCaptionButtonImages();
    void DrawFrameStrips(int width, int height);
    void DrawCaptionText();
};
