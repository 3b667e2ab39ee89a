// Drawing meshes on the hardware back ends: the transforms each mesh loads, one index range with
// its texture tiles (Direct3D 9 texture stages, OpenGL immediate mode), the alpha stages and the
// blend states per object.
#include "render/render_device.h"

#include <GL/gl.h>

#include "render/mesh.h"

namespace {

constexpr uint32_t kBlendOn = 0x1;
constexpr uint32_t kBlendAdd = 0x4;
constexpr int32_t kFillWireframe = 1;
constexpr DWORD kVertexStride = sizeof(MeshVertex);

// The texture factor's colour of a colour gain word: 128 plus seven bits of each channel.
DWORD GainFactorColour(uint32_t gain)
{
    const DWORD red = 128 + ((gain >> 17) & 0x7F);
    const DWORD green = 128 + ((gain >> 9) & 0x7F);
    const DWORD blue = 128 + ((gain >> 1) & 0x7F);
    return (red << 16) | (green << 8) | blue;
}

// A Direct3D projection (row vectors, depth 0..1) in GL's form: the same clip x, y and w, the
// depth spread over -1..1 (z' = 2z - w), and the view's depth axis turned round.
void ToGLProjection(const float in[16], float out[16])
{
    for (int i = 0; i < 16; i++)
        out[i] = in[i];
    for (int row = 0; row < 4; row++)
        out[row * 4 + 2] = 2.0f * in[row * 4 + 2] - in[row * 4 + 3];
    for (int column = 0; column < 4; column++)
        out[8 + column] = -out[8 + column];
}

}  // namespace

void CObjeto2D::LoadHardwareTransforms(CObjeto3D* mesh)
{
    if (backEnd == RenderDirect3D9 && device3D) {
        device3D->SetTransform(D3DTS_PROJECTION, reinterpret_cast<const D3DMATRIX*>(
                                                     mode2D ? matrices.projection2D : matrices.projection));
        device3D->SetTransform(D3DTS_VIEW, reinterpret_cast<const D3DMATRIX*>(
                                               mode2D ? matrices.view2D : matrices.view));
    } else if (backEnd == RenderOpenGL && glContext) {
        if (mesh)
            mesh->UpdateWorldVertices();
        MakeGLCurrent();
        float projection[16];
        ToGLProjection(mode2D ? matrices.projection2D : matrices.projection, projection);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(projection);
        glMatrixMode(GL_MODELVIEW);
        // The views look down +z as Direct3D's do: turned round for GL, whose projection turns
        // the depth axis round again.
        const float* source = mode2D ? matrices.view2D : matrices.view;
        float view[16];
        for (int i = 0; i < 16; i++)
            view[i] = source[i];
        for (int row = 0; row < 4; row++)
            view[row * 4 + 2] = -view[row * 4 + 2];
        glLoadMatrixf(view);
    }
}

HRESULT CObjeto2D::DrawRangeHardware(CObjeto3D* mesh, int32_t firstIndex, int32_t indexCount,
                                     CSprite* tile1, CSprite* tile2, int32_t opacity, uint32_t mix)
{
    if (!mesh || !mesh->vertices || !mesh->indices || indexCount <= 0 || firstIndex < 0 ||
        firstIndex + indexCount > mesh->indexCount)
        return 0;
    const bool wireframe = GetRenderState(RenderStateFillMode) == kFillWireframe;
    if (backEnd == RenderDirect3D9) {
        IDirect3DDevice9* d = device3D;
        if (!d)
            return E_FAIL;
        d->SetTransform(D3DTS_WORLD, reinterpret_cast<const D3DMATRIX*>(mesh->modelMatrix));
        d->SetTexture(0, (!wireframe && tile1) ? tile1->deviceTexture : nullptr);
        d->SetTexture(1, (!wireframe && tile2) ? tile2->deviceTexture : nullptr);
        DWORD factor = 0;
        d->GetRenderState(D3DRS_TEXTUREFACTOR, &factor);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        if (params->colourGain == 0) {
            d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
            d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        } else {
            d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
            d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
            factor = (factor & 0xFF000000u) | GainFactorColour(params->colourGain);
        }
        const uint32_t weight = mix & 0xFF;
        if (tile2 && tile2->deviceTexture && weight < 255) {
            // Texture 2 over texture 1 by the mix weight: factor alpha 255 - mix keeps stage 0.
            d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
            d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
            d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_BLENDFACTORALPHA);
            d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
            d->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_TEXTURE);
            factor = (factor & 0x00FFFFFFu) | ((255u - weight) << 24);
        } else {
            d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
        }
        d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
        d->SetRenderState(D3DRS_TEXTUREFACTOR, factor);
        const uint8_t* indices = static_cast<const uint8_t*>(mesh->indices) +
                                 static_cast<size_t>(firstIndex) * mesh->indexWidth;
        return d->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(mesh->vertexCount),
                                         static_cast<UINT>(indexCount / 3), indices,
                                         mesh->indexWidth == 4 ? D3DFMT_INDEX32 : D3DFMT_INDEX16,
                                         mesh->vertices, kVertexStride);
    }
    if (backEnd != RenderOpenGL || !glContext)
        return E_FAIL;
    MakeGLCurrent();
    glBindTexture(GL_TEXTURE_2D, (!wireframe && tile1) ? tile1->glTexture : 0);
    const GLint filter = (params->stateBits & StateBilinear) ? GL_LINEAR : GL_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    const MeshVertex* vertices = mesh->vertices;
    const uint32_t diffuse = vertices[0].diffuse;
    glColor4f(static_cast<float>((diffuse >> 16) & 0xFF) / 255.0f,
              static_cast<float>((diffuse >> 8) & 0xFF) / 255.0f,
              static_cast<float>(diffuse & 0xFF) / 255.0f, static_cast<float>(opacity) / 100.0f);
    glBegin(GL_TRIANGLES);
    for (int32_t i = firstIndex; i < firstIndex + indexCount; i++) {
        const int32_t index = mesh->ReadIndex(i);
        if (index < 0 || index >= mesh->vertexCount)
            continue;
        const MeshVertex& v = vertices[index];
        glTexCoord2f(v.u, v.v);
        glVertex3f(v.wx, v.wy, v.wz);
    }
    glEnd();
    return 0;
}

void CObjeto2D::ApplyAlphaStages(int32_t alpha, bool textureAlpha, bool vertexAlpha)
{
    const bool blending = textureAlpha || vertexAlpha || alpha < 255;
    if (backEnd == RenderDirect3D9 && device3D) {
        IDirect3DDevice9* d = device3D;
        if (textureAlpha) {
            d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
            d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
            d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
        } else if (blending) {
            if ((params->stateBits & StateDiffuseAlpha) && alpha == 255) {
                d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
                d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
                d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
            } else {
                d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
                d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
            }
        } else {
            d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
            d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
            return;
        }
        d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        DWORD factor = 0;
        d->GetRenderState(D3DRS_TEXTUREFACTOR, &factor);
        d->SetRenderState(D3DRS_TEXTUREFACTOR,
                          (factor & 0x00FFFFFFu) | (static_cast<DWORD>(alpha & 0xFF) << 24));
    } else if (backEnd == RenderOpenGL && glContext) {
        // The opacity travels in the colour's alpha: it blends by source alpha like texture alpha.
        if (blending && (alpha < 255 || textureAlpha)) {
            MakeGLCurrent();
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        }
    }
}

void CObjeto2D::ApplyBlendState(CObjeto3D* mesh, int32_t alpha, uint32_t mode)
{
    const bool multiply = mesh && mesh->texture1 && !mesh->texture1->hasAlpha && (mode & kDrawMultiply);
    if (backEnd == RenderDirect3D9 && device3D) {
        IDirect3DDevice9* d = device3D;
        if (multiply) {
            // (colour + grey of the transparency) x destination: opacity 0 leaves it unchanged.
            // The vertices' specular colours are put back after the draw.
            const uint32_t grey = static_cast<uint32_t>(255 - alpha) & 0xFF;
            const uint32_t specular = (grey << 16) | (grey << 8) | grey;
            savedSpecular.resize(static_cast<size_t>(mesh->vertexCount > 0 ? mesh->vertexCount : 0));
            for (int32_t i = 0; i < mesh->vertexCount; i++) {
                savedSpecular[static_cast<size_t>(i)] = mesh->vertices[i].specular;
                mesh->vertices[i].specular = (mesh->vertices[i].specular & 0xFF000000u) | specular;
            }
            specularMesh = mesh;
            d->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
            d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_DESTCOLOR);
            d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
        } else if (mode & kDrawAdditive) {
            d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
            d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
        } else if (mode & kDrawSubtractive) {
            d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
            d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
        }
        if ((pendingBlendState ^ appliedBlendState) & kBlendAdd)
            d->SetRenderState(D3DRS_BLENDOP, (pendingBlendState & kBlendAdd) ? D3DBLENDOP_ADD
                                                                           : D3DBLENDOP_REVSUBTRACT);
        if ((pendingBlendState ^ appliedBlendState) & kBlendOn)
            d->SetRenderState(D3DRS_ALPHABLENDENABLE, (pendingBlendState & kBlendOn) ? TRUE : FALSE);
    } else if (backEnd == RenderOpenGL && glContext) {
        MakeGLCurrent();
        if (multiply)
            glBlendFunc(GL_DST_COLOR, GL_ZERO);
        else if (mode & kDrawAdditive)
            glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        if ((pendingBlendState ^ appliedBlendState) & kBlendOn) {
            if (pendingBlendState & kBlendOn)
                glEnable(GL_BLEND);
            else
                glDisable(GL_BLEND);
        }
    }
}

void CObjeto2D::FinishHardwareDraw(CObjeto3D* mesh)
{
    if (!mesh || specularMesh != mesh)
        return;
    const int32_t count = static_cast<int32_t>(savedSpecular.size());
    for (int32_t i = 0; i < count && i < mesh->vertexCount; i++)
        mesh->vertices[i].specular = savedSpecular[static_cast<size_t>(i)];
    savedSpecular.clear();
    specularMesh = nullptr;
    if (backEnd == RenderDirect3D9 && device3D)
        ReapplyRenderState(RenderStateSpecular);
}
