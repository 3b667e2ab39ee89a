// CImageButton: an owner-drawn button that shows bitmaps for its states (normal, hover,
// pressed, focused, disabled) with a tooltip. The skinned window's caption buttons and the
// host's toolbar are made of them.
#pragma once

#include <windows.h>

#include "platform/button.h"
#include "platform/tooltip.h"

// Timer of the hover check.
constexpr UINT_PTR kImageButtonHoverTimer = 1;
constexpr UINT kImageButtonHoverMs = 100;
constexpr COLORREF kImageButtonTipColour = 0xF8F8F8;
constexpr int kImageButtonTipWidth = 250;

class CImageButton : public CButton {
public:
    CImageButton();
    ~CImageButton() override;

    // Makes the button and its tooltip (one tool, id 1, empty text).
    BOOL Create(const char* text, DWORD style, const RECT& rect, HWND parent, UINT id);

    // The bitmaps are not owned. The current and the normal bitmap become the first.
    void SetBitmaps(HBITMAP normal, HBITMAP pressed, HBITMAP hover, HBITMAP disabled, HBITMAP focus);
    // Sizes the button to the current bitmap (no move, z-order change, redraw or activation).
    void SizeToBitmap();
    // The tooltip's tool takes the button's client rectangle and the text.
    void SetTooltipText(const char* text);
    // Redraws the button now (invalidate, erase, update).
    void RedrawNow();

    void DrawItem(DRAWITEMSTRUCT* item) override;

    HBITMAP m_current = nullptr;   // drawn now; null draws nothing
    HBITMAP m_hover = nullptr;
    HBITMAP m_pressed = nullptr;   // also the resting bitmap of a latched button
    HBITMAP m_focus = nullptr;
    HBITMAP m_disabled = nullptr;
    HBITMAP m_normal = nullptr;
    bool m_latched = false;
    CToolTipCtrl m_tooltip;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnTimer(UINT_PTR id) override;
};
