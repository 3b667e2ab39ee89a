// The drawn frame of a skinned window: frame pieces, the composed strips, the caption buttons'
// images and the caption text, tinted with the interface colour. Every picture is a 32-bit DIB
// section, so that statics and buttons can show it and GDI can write the caption text into it.
#include "viewer/image_wnd.h"

#include "images/blit.h"
#include "platform/device_context.h"
#include "viewer/bitmap_resource.h"
#include "viewer/viewer_parameters.h"

namespace {

// The picture the frame pieces are cut from: white with a one-pixel outline.
constexpr int kPieceSourceWidth = 176;
constexpr int kPieceSourceHeight = 160;
constexpr uint32_t kPieceFace = 0xFFFFFF;
constexpr uint32_t kPieceOutline = 0xAEAEAE;

// CImageWnd::m_framePieces: 0 the whole picture, then the eight cuts.
enum FramePiece : int {
    PieceSource = 0,
    PieceTopLeft,
    PieceTopRight,
    PieceBottomLeft,
    PieceBottomRight,
    PieceTopEdge,
    PieceBottomEdge,
    PieceLeftEdge,
    PieceRightEdge,
};

struct PieceCut {
    int x, y, width, height;
};

constexpr PieceCut kPieceCuts[] = {
    {0, 0, 80, 80},    // top-left corner
    {96, 0, 80, 80},   // top-right corner
    {0, 80, 80, 80},   // bottom-left corner
    {96, 80, 80, 80},  // bottom-right corner
    {80, 0, 16, 80},   // top edge
    {80, 80, 16, 80},  // bottom edge
    {0, 80, 80, 8},    // left edge
    {96, 80, 80, 8},   // right edge
};

// Caption buttons: background, hover and pressed faces, and the glyph of each group.
constexpr int kButtonBackground = 325;
constexpr int kButtonHoverFace = 902;
constexpr int kButtonPressedFace = 369;
constexpr int kButtonGlyphs[4] = {883, 884, 882, 881};  // minimise, maximise, restore, close
enum ButtonGroup : int { GroupMinimize, GroupMaximize, GroupRestore, GroupClose };
enum ButtonState : int { StateNormal, StateHover, StatePressed, StateDisabled };

constexpr int kCaptionIcon = 289;
constexpr uint32_t kCaptionGradientStart = 0xFDFDFD;
constexpr uint32_t kTextGradientStart = 0xF9F9F9;
constexpr uint32_t kGradientStepLight = 0x010100;   // the first twelve rows
constexpr uint32_t kGradientStepDark = 0x020202;
constexpr int kGradientLightRows = 12;
constexpr uint32_t kCaptionUnderline = 0x919999;
constexpr uint32_t kLeftEdgeLine = 0x888888;
constexpr uint32_t kRightBottomEdgeLine = 0xEEEEEE;
constexpr COLORREF kCaptionTextColour = RGB(0x66, 0x66, 0x66);
// The caption text strip: its height, where it lies in the caption and where the text starts.
constexpr int kTextStripHeight = 18;
constexpr int kTextStripX = 3;
constexpr int kTextStripY = 3;
constexpr int kTextX = 30;
constexpr int kTextY = 6;
constexpr int kCaptionButtonPitch = 25;
constexpr int kCaptionButtonTop = 4;

constexpr int kOpaque = 100;

// A blank 32-bit image of the size (at least 1 x 1).
bool MakeImage(CSprite& image, int width, int height, uint32_t colour)
{
    if (!image.CreateDIB(width > 0 ? width : 1, height > 0 ? height : 1, 32))
        return false;
    image.Fill(colour);
    return true;
}

void Tint(CSprite& image)
{
    image.FillRect(0, 0, image.width - 1, image.height - 1, static_cast<uint32_t>(g_pluginColor.load()), kOpaque,
                   BlitMultiply);
}

// The colour rowsDown rows below the start: each row darker by the light step while its number
// plus offset is at most twelve, by the dark step after.
uint32_t GradientRow(uint32_t start, int rowsDown, int offset)
{
    uint32_t colour = start;
    for (int row = 1; row <= rowsDown; row++)
        colour -= row + offset <= kGradientLightRows ? kGradientStepLight : kGradientStepDark;
    return colour;
}

void DrawPiece(CSprite& target, int x, int y, CSprite& piece)
{
    target.DrawSprite(x, y, &piece, kOpaque, 0, kSpriteNoTint);
}

}  // namespace

HBITMAP SkinBitmap(CSprite& image)
{
    // A bitmap shows in a static or a button only while no other device context holds it.
    if (image.dc)
        image.dc->RestoreOriginal();
    return image.dib;
}

void CImageWnd::BuildFramePieces()
{
    CSprite& source = m_framePieces[PieceSource];
    if (!MakeImage(source, kPieceSourceWidth, kPieceSourceHeight, kPieceFace))
        return;
    source.FillRect(0, 0, kPieceSourceWidth - 1, 0, kPieceOutline, kOpaque, 0);
    source.FillRect(0, kPieceSourceHeight - 1, kPieceSourceWidth - 1, kPieceSourceHeight - 1, kPieceOutline,
                    kOpaque, 0);
    source.FillRect(0, 0, 0, kPieceSourceHeight - 1, kPieceOutline, kOpaque, 0);
    source.FillRect(kPieceSourceWidth - 1, 0, kPieceSourceWidth - 1, kPieceSourceHeight - 1, kPieceOutline,
                    kOpaque, 0);
    for (int i = 0; i < 8; i++) {
        const PieceCut& cut = kPieceCuts[i];
        CSprite& piece = m_framePieces[PieceTopLeft + i];
        if (piece.CreateDIB(cut.width, cut.height, 32))
            piece.DrawSprite(-cut.x, -cut.y, &source, kOpaque, 0, kSpriteNoTint);
    }
    LoadBitmapResource(m_icon, kCaptionIcon);
    m_iconButton.SetBitmaps(SkinBitmap(m_icon), nullptr, nullptr, nullptr, nullptr);
}

void CImageWnd::BuildCaptionButtonImages()
{
    CSprite background;
    CSprite hover;
    CSprite pressed;
    if (!LoadBitmapResource(background, kButtonBackground))
        return;
    LoadBitmapResource(hover, kButtonHoverFace);
    LoadBitmapResource(pressed, kButtonPressedFace);
    for (int group = 0; group < 4; group++) {
        CSprite glyph;
        LoadBitmapResource(glyph, kButtonGlyphs[group]);
        for (int state = 0; state < 4; state++) {
            CSprite& image = m_buttonImages[group][state];
            if (!image.CreateDIB(background.width, background.height, 32))
                continue;
            DrawPiece(image, 0, 0, background);
            if (state == StateHover && hover.dib)
                image.DrawSprite(0, 0, &hover, kOpaque, BlitColourKey, kSpriteNoTint);
            if (state == StatePressed && pressed.dib)
                image.DrawSprite(0, 0, &pressed, kOpaque, BlitColourKey, kSpriteNoTint);
            if (glyph.dib)
                image.DrawSprite(0, 0, &glyph, kOpaque, BlitColourKey, kSpriteNoTint);
            Tint(image);
        }
    }
    struct {
        CImageButton* button;
        int group;
    } buttons[] = {
        {&m_minimizeButton, GroupMinimize},
        {&m_maximizeButton, m_maximized ? GroupRestore : GroupMaximize},
        {&m_closeButton, GroupClose},
    };
    for (const auto& entry : buttons) {
        CSprite* images = m_buttonImages[entry.group];
        entry.button->SetBitmaps(SkinBitmap(images[StateNormal]), SkinBitmap(images[StatePressed]),
                                 SkinBitmap(images[StateHover]), SkinBitmap(images[StateDisabled]), nullptr);
        entry.button->SizeToBitmap();
    }
}

void CImageWnd::DrawFrameStrips(int width, int height)
{
    const int sideHeight = height - m_caption - m_bottom;

    // Caption: corners at the ends, the top edge repeated between.
    if (m_caption > 0 && MakeImage(m_captionStrip, width, m_caption, kPieceFace)) {
        const int cornerWidth = kPieceCuts[0].width;
        for (int x = cornerWidth; x < width - cornerWidth; x += kPieceCuts[4].width)
            DrawPiece(m_captionStrip, x, 0, m_framePieces[PieceTopEdge]);
        DrawPiece(m_captionStrip, 0, 0, m_framePieces[PieceTopLeft]);
        DrawPiece(m_captionStrip, width - cornerWidth, 0, m_framePieces[PieceTopRight]);
        if (!m_plain) {
            for (int row = 1; row < m_caption; row++)
                m_captionStrip.FillRect(1, row, width - 2, row, GradientRow(kCaptionGradientStart, row - 1, 1),
                                        kOpaque, 0);
            m_captionStrip.FillRect(0, m_caption - 1, width - 1, m_caption - 1, kCaptionUnderline, kOpaque, 0);
        }
        Tint(m_captionStrip);
        if (m_firstLayout) {
            BuildCaptionButtonImages();
            m_firstLayout = 0;
        }
        if (!m_plain)
            DrawCaptionText();
        struct {
            bool shown;
            CImageButton* button;
            int x;
        } buttons[] = {
            {m_showMinimize != 0, &m_minimizeButton, width - 56},
            {m_showMaximize != 0, &m_maximizeButton, width - 38},
            {m_showClose != 0, &m_closeButton, width - 20},
        };
        for (const auto& entry : buttons) {
            CSprite& image = m_buttonImages[entry.button == &m_minimizeButton ? GroupMinimize
                                            : entry.button == &m_closeButton  ? GroupClose
                                            : m_maximized                     ? GroupRestore
                                                                              : GroupMaximize][StateNormal];
            if (entry.shown && image.dib)
                DrawPiece(m_captionStrip, entry.x, kCaptionButtonTop, image);
        }
        m_captionStatic.SetBitmap(SkinBitmap(m_captionStrip));
    }

    // Left and right sides: their edge pieces repeated downwards, with an edge line outside.
    if (m_left > 0 && sideHeight > 0 && MakeImage(m_leftStrip, m_left, sideHeight, kPieceFace)) {
        for (int y = 0; y < sideHeight; y += kPieceCuts[6].height)
            DrawPiece(m_leftStrip, 0, y, m_framePieces[PieceLeftEdge]);
        m_leftStrip.FillRect(0, 0, 0, sideHeight - 1, kLeftEdgeLine, kOpaque, 0);
        Tint(m_leftStrip);
        m_leftStatic.SetBitmap(SkinBitmap(m_leftStrip));
    }
    if (m_right > 0 && sideHeight > 0 && MakeImage(m_rightStrip, m_right, sideHeight, kPieceFace)) {
        for (int y = 0; y < sideHeight; y += kPieceCuts[7].height)
            DrawPiece(m_rightStrip, m_right - kPieceCuts[7].width, y, m_framePieces[PieceRightEdge]);
        m_rightStrip.FillRect(m_right - 1, 0, m_right - 1, sideHeight - 1, kRightBottomEdgeLine, kOpaque, 0);
        Tint(m_rightStrip);
        m_rightStatic.SetBitmap(SkinBitmap(m_rightStrip));
    }

    // Bottom: corners at the ends, the bottom edge repeated between, the edge line below.
    if (m_bottom > 0 && MakeImage(m_bottomStrip, width, m_bottom, kPieceFace)) {
        const int cornerWidth = kPieceCuts[2].width;
        const int pieceTop = m_bottom - kPieceCuts[2].height;
        for (int x = cornerWidth; x < width - cornerWidth; x += kPieceCuts[5].width)
            DrawPiece(m_bottomStrip, x, pieceTop, m_framePieces[PieceBottomEdge]);
        DrawPiece(m_bottomStrip, 0, pieceTop, m_framePieces[PieceBottomLeft]);
        DrawPiece(m_bottomStrip, width - cornerWidth, pieceTop, m_framePieces[PieceBottomRight]);
        m_bottomStrip.FillRect(0, m_bottom - 1, width - 1, m_bottom - 1, kRightBottomEdgeLine, kOpaque, 0);
        Tint(m_bottomStrip);
        m_bottomStatic.SetBitmap(SkinBitmap(m_bottomStrip));
    }
}

void CImageWnd::DrawCaptionText()
{
    if (!m_captionStrip.dib || !m_hWnd)
        return;
    RECT client;
    GetClientRect(&client);
    const int stripWidth = client.right - (m_showMinimize + m_showMaximize + 2) * kCaptionButtonPitch;
    CSprite strip;
    if (stripWidth <= 0 || !MakeImage(strip, stripWidth, kTextStripHeight, kTextGradientStart) || !strip.dc)
        return;
    for (int row = 1; row < kTextStripHeight; row++)
        strip.FillRect(0, row, stripWidth - 1, row, GradientRow(kTextGradientStart, row, kTextStripY), kOpaque, 0);
    if (m_icon.dib)
        DrawPiece(strip, 0, 0, m_icon);
    Tint(strip);

    char title[512] = {};
    GetWindowTextA(m_hWnd, title, sizeof title);
    HDC dc = strip.dc->GetSafeHdc();
    strip.dc->SelectObject(strip.dib);
    HGDIOBJ oldFont = SelectObject(dc, m_captionBoldFont.GetSafeHandle());
    auto measure = [dc](const char* text) {
        SIZE size = {};
        GetTextExtentPoint32A(dc, text, lstrlenA(text), &size);
        return static_cast<int>(size.cx);
    };
    const CaptionText text = LayoutCaptionText(title, stripWidth, measure);
    CTexto shown = text.first;
    if (text.trimmed)
        shown += " ...";
    shown += text.rest;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kCaptionTextColour);
    TextOutA(dc, kTextX, kTextY, shown.GetText(), shown.GetLength());
    GdiFlush();
    SelectObject(dc, oldFont);
    strip.dc->RestoreOriginal();

    m_captionStrip.DrawSprite(kTextStripX, kTextStripY, &strip, kOpaque, 0, kSpriteNoTint);
}
