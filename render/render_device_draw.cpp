// Drawing meshes and images: the per-mesh preparation (tiles, device form, texture mode,
// culling, transforms), texture detail levels per tile, blending per object, images drawn
// straight through the blitter or as textured quads, and the list of resources that hold copies
// on a hardware device. The software back end hands each mesh range to the rasteriser.
#include "render/render_device.h"

#include <algorithm>
#include <cmath>

#include "core/matrix_math.h"
#include "core/object_item.h"
#include "images/blit.h"
#include "render/mesh.h"
#include "render/raster_vertex.h"
#include "sources/frame.h"

namespace {

// Resident-list item types.
constexpr ItemType kResidentImage = static_cast<ItemType>(16);
constexpr ItemType kResidentFrame = static_cast<ItemType>(17);
constexpr ItemType kResidentMesh = static_cast<ItemType>(19);

// Mix word values of a mesh's two textures.
constexpr uint32_t kMixTextureOneOnly = 0;
constexpr uint32_t kMixTextureTwoAlone = 0xFFFFFF;

// Unused-frames counts of invisible tiles stop falling here.
constexpr int kUnusedFramesFloor = -999;

// The blend-state words: blending on, and the operation add (clear: reverse subtract).
constexpr uint32_t kBlendOn = 0x1;
constexpr uint32_t kBlendAdd = 0x4;

// Render-flag bits of a mesh read while drawing.
constexpr uint32_t kMeshVertexAlpha = 0x8000;

bool HasContent(const CSprite* image) {
    return image && image->contentValid != 0;
}

// The texture mode of the back end's textures.
int32_t TextureModeOf(int32_t backEnd) {
    return backEnd == RenderDirect3D9 ? SpriteTextureDirect3D
           : backEnd == RenderOpenGL  ? SpriteTextureOpenGL
                                      : SpriteTextureMemory;
}

MeshForm FormOf(int32_t backEnd) {
    return backEnd == RenderDirect3D9 ? MeshFormTiledD3D9
           : backEnd == RenderOpenGL  ? MeshFormTiledOpenGL
                                      : MeshFormSingle;
}

// Meshes are drawn with what their loader has published so far.
void TakePublishedCounts(CObjeto3D* mesh) {
    if (!mesh->ready)
        return;
    const int32_t published = mesh->publishedIndexCount.load();
    if (published > mesh->indexCount) {
        mesh->indexCount = std::min(published, mesh->indexCapacity);
        mesh->vertexCount = std::max(mesh->vertexCount,
                                     std::min(mesh->publishedVertexCount.load(), mesh->vertexCapacity));
    }
}

}  // namespace

// --- Detail levels ---

float CObjeto2D::DetailLevelFactor(int32_t geometryType, int32_t subMeshCount) {
    const bool fewParts = geometryType != 0 ? subMeshCount < 300 : subMeshCount < 60;
    return fewParts ? 5.0f : 2.7f;
}

int32_t CObjeto2D::DetailLevelForExtent(float extent, int32_t tileWidth, float factor) {
    const float w = static_cast<float>(tileWidth);
    if (extent > w / factor)
        return 0;
    if (extent > w / (2.0f * factor))
        return 1;
    if (extent > w / (4.0f * factor))
        return 2;
    return 3;
}

int32_t CObjeto2D::ChooseDetailLevel(CObjeto3D* mesh, int32_t subMesh, const CSprite* tile,
                                     uint32_t mode) {
    if (!mesh || !tile || tile->bitsPerPixel < 24)
        return 0;
    if (mode2D && !(mode & kDrawDetailIn2D))
        return 0;
    if (!mesh->subCorners || subMesh < 0 || subMesh >= mesh->subMeshCount)
        return 0;
    // Corners 0, 1, 6 and 7 span the box's diagonal planes.
    const BoxCorners& corners = mesh->subCorners[subMesh];
    const float* m = mode2D ? matrices.projection2DViewport : matrices.worldToScreen;
    float minX = 0, maxX = 0, minY = 0, maxY = 0;
    bool first = true;
    for (int i : {0, 1, 6, 7}) {
        const MeshVertex& c = corners.corner[i];
        const float world[3] = {c.wx, c.wy, c.wz};
        float clip[4];
        TransformPoint4(clip, world, m);
        // A corner at or behind the eye has no screen position; its mirrored projection would
        // give a box of any size, so the finest level is taken.
        if (!(clip[3] > 0.0f))
            return 0;
        float projected[3];
        ProjectPoint(world, projected, false);
        if (first) {
            minX = maxX = projected[0];
            minY = maxY = projected[1];
            first = false;
        } else {
            minX = std::min(minX, projected[0]);
            maxX = std::max(maxX, projected[0]);
            minY = std::min(minY, projected[1]);
            maxY = std::max(maxY, projected[1]);
        }
    }
    const float extent = std::max(maxX - minX, maxY - minY);
    return DetailLevelForExtent(extent, tile->width,
                                DetailLevelFactor(mesh->geometryType, mesh->subMeshCount));
}

// --- The resident list ---

void CObjeto2D::RegisterResident(void* object, int32_t type) {
    if (backEnd == RenderSoftware || !object || residentList.FindByLinkedObject(object))
        return;
    ItemRecord* record = residentList.CreateItem(static_cast<ItemType>(type));
    if (record)
        static_cast<ObjectItem*>(record)->linkedObject = object;
}

// --- Meshes ---

HRESULT CObjeto2D::DrawObject3D(CObjeto3D* mesh, int32_t opacity, uint32_t mode,
                                int32_t onlyWhenReady, void* owner) {
    if (status != 0)
        return 0;
    HRESULT result = 0;
    if (mesh && (!mesh->ready || !mesh->visible)) {
        mesh->visibleInView = 0;
        for (CSprite* texture : {mesh->texture1, mesh->texture2}) {
            if (texture)
                texture->visible = 0;
        }
    } else if (mesh) {
        result = DrawReadyMesh(mesh, opacity, mode, onlyWhenReady != 0, owner);
    }

    if (backEnd == RenderDirect3D9 &&
        (freeVideoMemory == 0 || result == D3DERR_OUTOFVIDEOMEMORY || result == E_OUTOFMEMORY)) {
        // Out of video memory: the frame goes on in software.
        SetRenderState(RenderStateBackEnd, RenderSoftware);
        if (backEnd == RenderSoftware)
            result = 0;
        BeginScene(nullptr);
        direct3DRejected = 0;
        // The mesh that met the shortage is drawn again there, so that the frame loses nothing.
        if (backEnd == RenderSoftware && mesh && mesh->ready && mesh->visible)
            result = DrawReadyMesh(mesh, opacity, mode, onlyWhenReady != 0, owner);
    }
    return result;
}

HRESULT CObjeto2D::DrawReadyMesh(CObjeto3D* mesh, int32_t opacity, uint32_t mode,
                                 bool onlyWhenReady, void* owner) {
    CSprite* const textures[2] = {mesh->texture1, mesh->texture2};
    ++drawingCount;
    for (CSprite* texture : textures) {
        if (!texture)
            continue;
        if (texture->retiredCount > 0 && texture->busyCount.load() == 0)
            texture->FreeRetiredTiles();
        ++texture->busyCount;
        if (texture->aspectChanged == 1)
            mesh->drawing = 0;
    }

    HRESULT result = 0;
    if (!onlyWhenReady || mesh->drawing) {
        MeshBusyGuard::Shared busy(mesh->busy);
        result = PrepareAndDrawMesh(mesh, opacity, mode, owner);
    }

    for (CSprite* texture : textures) {
        if (texture)
            --texture->busyCount;
    }
    --drawingCount;
    return result;
}

HRESULT CObjeto2D::PrepareAndDrawMesh(CObjeto3D* mesh, int32_t opacity, uint32_t mode,
                                      void* owner) {
    const bool hardware = backEnd != RenderSoftware;
    const MeshForm wantedForm = FormOf(backEnd);
    const int32_t wantedTextureMode = TextureModeOf(backEnd);
    bool failed = false;
    HRESULT result = 0;

    CSprite* texture1 = mesh->texture1;
    if (HasContent(texture1)) {
        if (mesh->subMeshCount != texture1->tileCount || texture1->hadContent) {
            if (texture1->IsKeptInTiles())
                mesh->SplitByTiles();
            texture1->hadContent = 0;
        }
        if (mesh->form != wantedForm) {
            if (mesh->PrepareForBackEnd(wantedForm)) {
                if (hardware)
                    RegisterResident(owner ? owner : mesh,
                                     static_cast<int32_t>(owner ? kResidentFrame : kResidentMesh));
            } else {
                failed = true;
            }
        }
    }
    for (CSprite* texture : {mesh->texture1, mesh->texture2}) {
        if (!HasContent(texture))
            continue;
        if (texture->newFrame)
            texture->RefreshFromSource();
        if (texture->textureMode == wantedTextureMode)
            continue;
        if (mesh->tileOption == 0)
            texture->tilingEnabled = 0;
        if (mode & kDrawTextureAlpha)
            texture->force32 = 1;
        const long moved = texture->SetTextureMode(wantedTextureMode, textureDepth, device3D, 1);
        if (moved == 0) {
            if (hardware)
                RegisterResident(owner ? owner : texture,
                                 static_cast<int32_t>(owner ? kResidentFrame : kResidentImage));
        } else {
            failed = true;
            result = static_cast<HRESULT>(moved);
        }
    }

    const CameraState* camera = params->camera ? params->camera : &ownCamera;
    const bool drawn = !culling || !mesh->cullTriangles || camera->pullBack != 0.0f ||
                       UpdateObjectVisibility(mesh);
    if (!drawn) {
        if (hardware) {
            for (CSprite* texture : {mesh->texture1, mesh->texture2}) {
                if (texture)
                    texture->ReleaseTextures(false);
            }
        }
        return result;
    }
    if (failed)
        return result;
    if (texture1 && mesh->form != wantedForm)
        return result;
    for (CSprite* texture : {mesh->texture1, mesh->texture2}) {
        if (texture && (!HasContent(texture) || texture->textureMode != wantedTextureMode))
            return result;
    }

    TakePublishedCounts(mesh);
    if (!mesh->vertices || !mesh->indices)
        return result;
    switch (backEnd) {
    case RenderSoftware: {
        FrameAccess frame(this);
        if (!frame.pixels && !(params->stateBits & StateAccumulationMask))
            return result;
        if (culling && mesh->cullTriangles)
            CullTriangles(mesh);
        TransformVertices(mesh);
        return DrawMesh(mesh, opacity, mode);
    }
    case RenderDirect3D9:
    case RenderOpenGL:
        LoadHardwareTransforms(mesh);
        return DrawMesh(mesh, opacity, mode);
    default:
        return result;
    }
}

void CObjeto2D::SetObjectTransform(CObjeto3D* mesh, int32_t stage) {
    if (!mesh || stage < 0 || stage > 3)
        return;
    if (!mesh->ready && stage != 3)
        return;
    TakePublishedCounts(mesh);
    if (!mesh->vertices || !mesh->indices)
        return;
    if (stage == 0 || stage == 1) {
        if (backEnd == RenderDirect3D9) {
            mesh->UpdateModelMatrix();
            mesh->UpdateBoxes();
        } else {
            mesh->UpdateWorldVertices();
        }
        if (stage == 1)
            return;
    }
    if (backEnd == RenderSoftware) {
        // Culling and transforming grow the transformed-vertex buffer to the mesh.
        if (stage == 2) {
            if (culling && mesh->cullTriangles)
                CullTriangles(mesh);
            TransformVertices(mesh);
        }
        return;
    }
    LoadHardwareTransforms(mesh);
}

HRESULT CObjeto2D::DrawMesh(CObjeto3D* mesh, int32_t opacity, uint32_t mode) {
    if (!mesh)
        return 0;
    SetBlendMode(mesh, opacity, mode);

    CSprite* t1 = mesh->texture1;
    CSprite* t2 = mesh->texture2;
    const uint32_t mix = mesh->modulationColor;
    if (mix == kMixTextureTwoAlone && t2) {
        t1 = t2;
        t2 = nullptr;
    } else if (mix == kMixTextureOneOnly) {
        t2 = nullptr;
    }

    const bool whole = mesh->subMeshCount <= 0 || !mesh->subIndexCount || !t1 || t1->tileCount <= 0 || !t1->tiles;
    const int32_t ranges = whole ? 1 : mesh->subMeshCount;
    int32_t first = 0;
    HRESULT result = 0;
    for (int32_t s = 0; s < ranges && result == 0; ++s) {
        const int32_t count = whole ? mesh->indexCount : mesh->subIndexCount[s];
        const int32_t start = first;
        first += std::max(count, 0);
        CSprite* tile1 = t1;
        CSprite* tile2 = t2;
        if (!whole) {
            tile1 = s < t1->tileCount ? t1->tiles[s] : nullptr;
            tile2 = (t2 && t2->tiles && s < t2->tileCount) ? t2->tiles[s] : nullptr;
        }
        if (tile1) {
            const bool visible = whole || mesh->subMeshCount <= 1 || !culling || !mesh->subBoxes ||
                                 IsBoxInFrustum(mesh->subBoxes[s]);
            if (!visible) {
                if (tile1->unusedFrames > kUnusedFramesFloor)
                    --tile1->unusedFrames;
                if (backEnd != RenderSoftware)
                    tile1->ReleaseTextures(false);
                continue;
            }
            if (backEnd != RenderSoftware) {
                // OpenGL textures are uploaded whole.
                const int32_t level =
                    backEnd == RenderOpenGL ? 0 : ChooseDetailLevel(mesh, s, tile1, mode);
                for (CSprite* tile : {tile1, tile2}) {
                    if (!tile)
                        continue;
                    const bool stale = tile->generation != 0 || tile->deviceTextureLevel != level ||
                                       (backEnd == RenderDirect3D9 && !tile->deviceTexture) ||
                                       (backEnd == RenderOpenGL && !tile->glTexture);
                    if (!stale)
                        continue;
                    const long uploaded = tile->UploadTexture(device3D, level);
                    ++textureUploads;
                    if (uploaded != 0) {
                        result = static_cast<HRESULT>(uploaded);
                        break;
                    }
                    tile->generation = tile->generation > 1 ? 1 : 0;
                }
                if (result != 0)
                    break;
            }
            tile1->unusedFrames = 1;
        }
        if (count <= 0)
            continue;
        const int32_t triangle = start / 3;
        uint8_t* flag = mesh->triangleFlags ? mesh->triangleFlags + triangle : nullptr;
        switch (backEnd) {
        case RenderSoftware:
            RasteriseMesh(mesh, params, start, count, flag, tile1, tile2, opacity, mix);
            break;
        default:
            result = DrawRangeHardware(mesh, start, count, tile1, tile2, opacity, mix);
            break;
        }
    }
    FinishHardwareDraw(mesh);
    return result;
}

void CObjeto2D::SetBlendMode(CObjeto3D* mesh, int32_t opacity, uint32_t mode) {
    if (!mesh || !mesh->texture1)
        return;
    const CSprite* image = mesh->texture1;
    const int32_t alpha = opacity * 255 / 100;
    pendingBlendState = kBlendAdd;
    const bool textureAlpha = image->hasAlpha || image->force32;
    const bool vertexAlpha = (mesh->renderFlags & kMeshVertexAlpha) || (mode & kDrawVertexAlpha);
    SetAlpha(alpha, textureAlpha, vertexAlpha);
    if (!image->hasAlpha && (mode & kDrawMultiply)) {
        pendingBlendState |= kBlendOn;
    } else if (mode & kDrawAdditive) {
        pendingBlendState |= kBlendOn;
    } else if (mode & kDrawSubtractive) {
        pendingBlendState = (pendingBlendState | kBlendOn) & ~kBlendAdd;
    }
    ApplyBlendState(mesh, alpha, mode);
    appliedBlendState = pendingBlendState;
}

void CObjeto2D::SetAlpha(int32_t alpha, bool textureAlpha, bool vertexAlpha) {
    if (textureAlpha || vertexAlpha || alpha < 255)
        pendingBlendState |= kBlendOn;
    else
        pendingBlendState &= ~kBlendOn;
    ApplyAlphaStages(alpha, textureAlpha, vertexAlpha);
}

void CObjeto2D::GetScreenBounds(CObjeto3D* mesh, float* minX, float* minY, float* maxX,
                                float* maxY) {
    float x0 = 100000.0f, y0 = 100000.0f, x1 = -100000.0f, y1 = -100000.0f;
    if (mesh && params->screenVertices) {
        const bool onlyUsed = culling && mesh->cullTriangles;
        const int32_t count = std::min(mesh->VisibleVertexCount(), params->screenVertexCapacity);
        for (int32_t i = 0; i < count; ++i) {
            const ScreenVertex& v = params->screenVertices[i];
            if (onlyUsed && !(v.outcode & kOutcodeUsed))
                continue;
            x0 = std::min(x0, v.sx);
            x1 = std::max(x1, v.sx);
            y0 = std::min(y0, v.sy);
            y1 = std::max(y1, v.sy);
        }
    }
    *minX = x0;
    *minY = y0;
    *maxX = x1;
    *maxY = y1;
}

// --- Images ---

void CObjeto2D::DrawSprite(float x, float y, CSprite* image, int32_t opacity, uint32_t mode,
                           uint32_t colour, int32_t width, int32_t height, int32_t clipX0,
                           int32_t clipY0, int32_t clipX1, int32_t clipY1) {
    if (status != 0 || !image)
        return;
    if (backEnd != RenderSoftware) {
        DrawSpriteQuad(x, y, static_cast<float>(width), static_cast<float>(height), image, opacity,
                       mode, colour, 0.0f);
        return;
    }
    if (image->newFrame)
        image->RefreshFromSource();
    if (clipX0 == -1 && clipY0 == -1) {
        clipX0 = params->clipX0;
        clipY0 = params->clipY0;
        clipX1 = params->clipX1;
        clipY1 = params->clipY1;
    }
    FrameAccess frame(this);
    if (!frame.pixels)
        return;
    const RenderParams& p = *params;
    const int32_t rows = p.bottomUp ? p.height : 0;
    // The clip never leaves the frame.
    clipX0 = std::max(clipX0, 0);
    clipY0 = std::max(clipY0, 0);
    clipX1 = std::min(clipX1, p.width - 1);
    clipY1 = std::min(clipY1, p.height - 1);
    ++image->busyCount;
    if (!image->drawPixels && image->IsKeptInTiles()) {
        if (width == 0 && height == 0) {
            width = image->width;
            height = image->height;
        }
        if (image->width > 0 && image->height > 0 && width > 0 && height > 0) {
            const double sx = static_cast<double>(width) / image->width;
            const double sy = static_cast<double>(height) / image->height;
            clipX1 = std::min(clipX1, static_cast<int32_t>(std::floor(x)) + width - 1);
            clipY1 = std::min(clipY1, static_cast<int32_t>(std::floor(y)) + height - 1);
            for (int i = 0; clipX1 >= clipX0 && clipY1 >= clipY0 && i < image->tileCount; ++i) {
                const CSprite* tile = image->tiles[i];
                if (!tile || !tile->drawPixels)
                    continue;
                int tx, ty, tw, th;
                ScaleTileSpan((tile->originX - image->originX) * sx + x, tile->width * sx, &tx, &tw);
                ScaleTileSpan((tile->originY - image->originY) * sy + y, tile->height * sy, &ty, &th);
                if (tw < 1 || th < 1)
                    continue;
                BlitPixels(frame.pixels, p.stride, rows, p.bitsPerPixel, tw, th, clipX0, clipY0,
                           clipX1, clipY1, tx, ty, tile->drawPixels, tile->width, tile->height,
                           tile->bitsPerPixel, tile->palette, static_cast<uint32_t>(opacity), mode,
                           colour, image->hasAlpha);
            }
        }
    } else if (image->drawPixels && clipX1 >= clipX0 && clipY1 >= clipY0) {
        BlitPixels(frame.pixels, p.stride, rows, p.bitsPerPixel, width, height, clipX0, clipY0,
                   clipX1, clipY1, static_cast<int32_t>(x), static_cast<int32_t>(y),
                   image->drawPixels, image->width, image->height, image->bitsPerPixel,
                   image->palette, static_cast<uint32_t>(opacity), mode, colour, image->hasAlpha);
    }
    --image->busyCount;
    image->generation = 0;
}

void CObjeto2D::DrawSpriteQuad(float x, float y, float width, float height, CSprite* image,
                               int32_t opacity, uint32_t mode, uint32_t colour, float rotation) {
    if (!image || !HasContent(image))
        return;
    if (!(width > 0.0f))
        width = static_cast<float>(image->width);
    if (!(height > 0.0f))
        height = static_cast<float>(image->height);
    Set2DMode(true);

    if (!image->quadMesh) {
        image->quadMesh = new (std::nothrow) CObjeto3D;
        if (!image->quadMesh) {
            Set2DMode(false);
            return;
        }
        image->quadMesh->texture1 = image;
        image->quadMeshWidth = -1.0f;
    }
    CObjeto3D* quad = image->quadMesh;
    const uint32_t savedGain = params->colourGain;
    params->colourGain = 0;

    const int32_t viewWidth = params->width, viewHeight = params->height;
    float qx = x + width / 2.0f - static_cast<float>(viewWidth / 2);
    float qy = static_cast<float>(viewHeight / 2) - (y + height / 2.0f);
    if (backEnd == RenderDirect3D9) {
        qx -= 0.7f;
        qy += 0.7f;
    } else if (backEnd == RenderOpenGL) {
        qx -= 0.3f;
        qy += 0.3f;
    }
    quad->posX = qx;
    quad->posY = qy;
    quad->posZ = 1.0f;
    quad->rotX = 270.0f;
    quad->rotY = rotation;
    quad->rotZ = 0.0f;

    if (width == image->quadMeshWidth && height == image->quadMeshHeight && quad->vertices) {
        quad->UpdateWorldVertices();
    } else {
        if (backEnd == RenderSoftware) {
            // Two by two cells: three by three vertices.
            quad->BuildGeometry(MeshGeometryPlane, 3, 3, width, height, 0.0f, 0.0f, 1.0f, 0.0f,
                                1.0f, 0.5f, 0.0f, true);
        } else {
            quad->BuildTiledGeometry(MeshGeometryPlane, width, height, 0.0f, 0.0f, 1.0f, 0.0f,
                                     1.0f, 0.5f, 0.0f);
            for (int32_t s = 0; s < quad->subMeshCount && quad->subIndexCount; ++s)
                quad->subIndexCount[s] = quad->subFullIndexCount[s];
        }
        quad->texture1 = image;
        quad->renderFlags |= MeshRenderTextured;
        quad->UpdateWorldVertices();
        image->quadMeshWidth = width;
        image->quadMeshHeight = height;
    }
    if ((colour & 0xFFFFFF) != kSpriteNoTint)
        quad->SetVertexColor(0xFF000000u | colour, true);

    const int32_t bilinear = SetRenderState(RenderStateBilinear, (mode & kDrawBilinearQuad) ? 1 : 0);
    const int32_t depthTest = SetRenderState(RenderStateDepthTest, 0);
    image->hadContent = 0;
    quad->form = FormOf(backEnd);
    DrawObject3D(quad, opacity, mode, 0, nullptr);
    SetRenderState(RenderStateDepthTest, depthTest);
    SetRenderState(RenderStateBilinear, bilinear);
    params->colourGain = savedGain;
    Set2DMode(false);
}

// --- Resources on the device ---

void CObjeto2D::MoveOffDevice(ItemType type, void* object, bool discard) {
    if (type == kResidentImage) {
        CSprite* image = static_cast<CSprite*>(object);
        if (discard)
            image->Clear();
        else
            image->SetTextureMode(SpriteTextureMemory, 0, device3D, 0);
    } else if (type == kResidentMesh) {
        CObjeto3D* mesh = static_cast<CObjeto3D*>(object);
        if (discard)
            mesh->Clear();
        else
            mesh->PrepareForBackEnd(MeshFormSingle);
    }
}

void CObjeto2D::EvictResources(CFrame* frame, int32_t discard) {
    if (backEnd == RenderSoftware)
        return;
    if (!frame) {
        for (int32_t i = residentList.GetCount() - 1; i >= 0; --i) {
            ObjectItem* item = static_cast<ObjectItem*>(residentList.GetItem(i));
            if (!item || !item->linkedObject)
                continue;
            const ItemType type = residentList.GetItemType(i);
            if (type == kResidentFrame)
                EvictFrameResources(static_cast<CFrame*>(item->linkedObject), false);
            else
                MoveOffDevice(type, item->linkedObject, false);
        }
        while (residentList.GetCount() > 0)
            residentList.RemoveAt(-1);
        return;
    }
    EvictFrameResources(frame, discard != 0);
    while (ObjectItem* tag = residentList.FindByLinkedObject(frame))
        residentList.RemoveItem(tag);
}

void CObjeto2D::EvictFrameResources(CFrame* frame, bool discard) {
    if (!frame)
        return;
    const int32_t meshes = std::min(frame->meshCount.load(), kFrameSlotCapacity);
    const int32_t images = std::min(frame->spriteCount.load(), kFrameSlotCapacity);
    for (int32_t i = 0; i < meshes; ++i) {
        CObjeto3D* mesh = frame->meshes[i];
        if (!mesh)
            continue;
        while (ObjectItem* item = residentList.FindByLinkedObject(mesh))
            residentList.RemoveItem(item);
        MoveOffDevice(kResidentMesh, mesh, discard);
    }
    for (int32_t i = 0; i < images; ++i) {
        CSprite* image = frame->sprites[i];
        if (!image)
            continue;
        while (ObjectItem* item = residentList.FindByLinkedObject(image))
            residentList.RemoveItem(item);
        // Images another owner holds go back to plain memory but are not freed here.
        MoveOffDevice(kResidentImage, image, discard && !frame->spriteBorrowed[i]);
    }
}

void CObjeto2D::ReleaseAllTextures(int32_t flag) {
    if (backEnd == RenderOpenGL)
        MakeGLCurrent();  // GL names are deleted in the device's context
    auto release = [flag](CSprite* image) {
        if (!image)
            return;
        image->ReleaseTextures(flag != 0);
        image->FreeRetiredTiles();
    };
    for (int32_t i = 0; i < residentList.GetCount(); ++i) {
        ObjectItem* item = static_cast<ObjectItem*>(residentList.GetItem(i));
        if (!item || !item->linkedObject)
            continue;
        const ItemType type = residentList.GetItemType(i);
        if (type == kResidentImage) {
            release(static_cast<CSprite*>(item->linkedObject));
        } else if (type == kResidentFrame) {
            CFrame* frame = static_cast<CFrame*>(item->linkedObject);
            const int32_t images = std::min(frame->spriteCount.load(), kFrameSlotCapacity);
            for (int32_t s = 0; s < images; ++s)
                release(frame->sprites[s]);
        }
    }
    UpdateFreeVideoMemory();
}
