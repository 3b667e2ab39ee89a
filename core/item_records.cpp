#include "core/item_records.h"

#include <mmsystem.h>

#include <cstdlib>
#include <cstring>

#include "core/object_item.h"
#include "render/mesh.h"

CompiledCode::~CompiledCode()
{
    ReleaseCode();
}

bool CompiledCode::AssignCode(const void* bytes, int32_t newLength)
{
    ReleaseCode();
    if (!bytes || newLength <= 0)
        return newLength == 0;
    code = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(newLength)));
    if (!code)
        return false;
    std::memcpy(code, bytes, static_cast<size_t>(newLength));
    length = newLength;
    return true;
}

void CompiledCode::ReleaseCode()
{
    std::free(code);
    code = nullptr;
    length = 0;
}

FontItem::FontItem()
{
    std::memset(&logFont, 0, sizeof logFont);
    logFont.lfHeight = 13;
    logFont.lfWeight = FW_NORMAL;
    logFont.lfCharSet = DEFAULT_CHARSET;
    logFont.lfOutPrecision = OUT_TT_PRECIS;
    logFont.lfQuality = ANTIALIASED_QUALITY;
    std::strcpy(logFont.lfFaceName, "Tahoma");
}

FontItem::~FontItem()
{
    if (font)
        DeleteObject(font);
}

ImageItem::ImageItem()
{
    sprite.loadFlags |= SpriteLoadEnabled | SpriteLoadWanted;
}

MeshItem::MeshItem() : mesh(new CObjeto3D) {}

MeshItem::~MeshItem()
{
    delete mesh;
}

LineMeshItem::LineMeshItem() : ribbon(new CObjeto3D) {}

LineMeshItem::~LineMeshItem()
{
    delete ribbon;
    std::free(points);
    std::free(groundPoints);
}

ViewerWindowItem::~ViewerWindowItem()
{
    window.DestroyWindow();
}

SoundItem::~SoundItem()
{
    if (!opened)
        return;
    CTexto command = CTexto("stop ") + name;
    mciSendStringA(command.GetText(), nullptr, 0, nullptr);
    command = CTexto("close ") + name;
    mciSendStringA(command.GetText(), nullptr, 0, nullptr);
}

void FileSearch::Close()
{
    if (handle != INVALID_HANDLE_VALUE)
        FindClose(handle);
    handle = INVALID_HANDLE_VALUE;
}

ObjectItem::ObjectItem() = default;

ObjectItem::~ObjectItem()
{
    delete ownedObject;
}
