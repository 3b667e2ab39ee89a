// Bitmap resources go through GDI, which reads every depth and compression a resource may have,
// into a DIB image that the blitters and GDI both reach.
#include "viewer/bitmap_resource.h"

#include "platform/application.h"
#include "platform/device_context.h"

bool LoadBitmapResource(CSprite& image, int resourceId)
{
    HBITMAP loaded = static_cast<HBITMAP>(
        LoadImageA(GetAppInstance(), MAKEINTRESOURCEA(resourceId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!loaded)
        return false;
    BITMAP info = {};
    bool made = false;
    if (GetObjectA(loaded, sizeof info, &info) && image.CreateDIB(info.bmWidth, info.bmHeight, 32) && image.dc) {
        HDC source = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(source, loaded);
        image.dc->SelectObject(image.dib);
        BitBlt(image.dc->GetSafeHdc(), 0, 0, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
        GdiFlush();
        image.dc->RestoreOriginal();
        SelectObject(source, old);
        DeleteDC(source);
        made = true;
    }
    DeleteObject(loaded);
    return made;
}
