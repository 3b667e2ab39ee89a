// The render states on Direct3D 9, the states every new hardware device or context starts with,
// and the occlusion test.
#include "render/render_device.h"

#include <cstring>

#include "render/mesh.h"

namespace {

constexpr uint32_t kDepthFuncStep = 0x10000;
constexpr uint32_t kCullModeStep = 0x1000000;

// The occlusion probe: a small red sphere.
constexpr int kSphereShape = 2;
constexpr int kSphereCells = 4;
constexpr float kSphereSize = 20.0f;
constexpr int32_t kSphereOpacity = 100;

DWORD FloatBits(float value)
{
    DWORD bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

}  // namespace

void CObjeto2D::ApplyDirect3DState(int32_t type)
{
    IDirect3DDevice9* d = device3D;
    const uint32_t bits = params->stateBits;
    auto flag = [bits](uint32_t bit) -> DWORD { return (bits & bit) ? TRUE : FALSE; };
    switch (type) {
    case RenderStateZBuffer:
    case RenderStateVerticalSync:
        // The depth buffer and the presentation interval belong to the presentation parameters.
        ResetDevice(0);
        break;
    case RenderStateDepthTest:
        d->SetRenderState(D3DRS_ZWRITEENABLE, flag(StateDepthTest));
        break;
    case RenderStateDepthFunc:
        d->SetRenderState(D3DRS_ZFUNC, (bits & StateDepthFuncMask) / kDepthFuncStep + D3DCMP_NEVER);
        break;
    case RenderStateBilinear: {
        const DWORD filter = (bits & StateBilinear) ? D3DTEXF_LINEAR : D3DTEXF_POINT;
        for (DWORD sampler = 0; sampler < 2; sampler++) {
            d->SetSamplerState(sampler, D3DSAMP_MAGFILTER, filter);
            d->SetSamplerState(sampler, D3DSAMP_MINFILTER, filter);
        }
        break;
    }
    case RenderStateFillMode:
        d->SetRenderState(D3DRS_FILLMODE, (bits & StateFillModeMask) + D3DFILL_POINT);
        break;
    case RenderStateCullMode:
        d->SetRenderState(D3DRS_CULLMODE, (bits & StateCullMask) / kCullModeStep + D3DCULL_NONE);
        break;
    case RenderStateAmbient:
        d->SetRenderState(D3DRS_AMBIENT, ambientColour);
        break;
    case RenderStateColorVertex:
        d->SetRenderState(D3DRS_COLORVERTEX, flag(StateColorVertex));
        break;
    case RenderStateLighting:
        d->SetRenderState(D3DRS_LIGHTING, flag(StateLighting));
        break;
    case RenderStateSpecular:
        d->SetRenderState(D3DRS_SPECULARENABLE, flag(StateSpecular));
        break;
    case RenderStateFog:
        d->SetRenderState(D3DRS_FOGENABLE, flag(StateFog));
        if (bits & StateFog) {
            d->SetRenderState(D3DRS_FOGSTART, FloatBits(fogStart));
            d->SetRenderState(D3DRS_FOGEND, FloatBits(fogEnd));
            d->SetRenderState(D3DRS_FOGCOLOR, fogColour);
            d->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
            d->SetRenderState(D3DRS_RANGEFOGENABLE, TRUE);
        }
        break;
    case RenderStateFogStart:
        d->SetRenderState(D3DRS_FOGSTART, FloatBits(fogStart));
        break;
    case RenderStateFogEnd:
        d->SetRenderState(D3DRS_FOGEND, FloatBits(fogEnd));
        break;
    case RenderStateFogColor:
        d->SetRenderState(D3DRS_FOGCOLOR, fogColour);
        break;
    case RenderStateDepthBias: {
        float bias;
        std::memcpy(&bias, &depthBias, sizeof bias);
        // Outside the integers a truncation has no meaning: no bias.
        const bool usable = bias > -2147483648.0f && bias < 2147483648.0f;
        d->SetRenderState(D3DRS_DEPTHBIAS, static_cast<DWORD>(usable ? static_cast<int32_t>(bias) : 0));
        break;
    }
    default:
        break;  // the same on every back end, or set up per mesh draw
    }
}

void CObjeto2D::SetDefaultStates()
{
    for (int32_t type : {RenderStateBilinear, RenderStateFillMode, RenderStateVerticalSync,
                         RenderStateLighting, RenderStateColorVertex, RenderStateSpecular,
                         RenderStateDepthTest})
        ReapplyRenderState(type);
    if (backEnd == RenderDirect3D9 && device3D) {
        IDirect3DDevice9* d = device3D;
        d->SetFVF(kMeshVertexFormat);
        d->SetRenderState(D3DRS_ZENABLE, (params->stateBits & StateZBuffer) ? D3DZB_TRUE : D3DZB_FALSE);
        material = {};
        material.Diffuse = material.Ambient = material.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
        d->SetMaterial(&material);
        d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
        for (DWORD sampler = 0; sampler < 2; sampler++) {
            d->SetSamplerState(sampler, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
            d->SetSamplerState(sampler, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
            d->SetSamplerState(sampler, D3DSAMP_ADDRESSW, D3DTADDRESS_CLAMP);
        }
        d->SetRenderState(D3DRS_AMBIENT, ambientColour);
        d->SetRenderState(D3DRS_COLORVERTEX, TRUE);
        if (params->stateBits & StateFog)
            ApplyDirect3DState(RenderStateFog);
    }
    appliedBlendState = 4;
}

bool CObjeto2D::TestOcclusion(const float point[3])
{
    if (backEnd != RenderDirect3D9 || !device3D || !occlusionQuery || !point)
        return false;
    if (!occlusionSphere) {
        occlusionSphere = new (std::nothrow) CObjeto3D();
        if (!occlusionSphere)
            return false;
        occlusionSphere->BuildGeometry(kSphereShape, kSphereCells, kSphereCells, kSphereSize,
                                       kSphereSize, kSphereSize, 0.0f, 1.0f, 0.0f, 1.0f, 0.5f, 0.0f,
                                       true);
        occlusionSphere->SetTexture(&redImage, -1, 1, -1, false);
    }
    occlusionSphere->posX = point[0];
    occlusionSphere->posY = point[1] + 1.0f;
    occlusionSphere->posZ = point[2];
    SetObjectTransform(occlusionSphere, 0);

    const int32_t depthTest = SetRenderState(RenderStateDepthTest, 0);
    occlusionQuery->Issue(D3DISSUE_BEGIN);
    DrawObject3D(occlusionSphere, kSphereOpacity, 0, 0, nullptr);
    occlusionQuery->Issue(D3DISSUE_END);
    SetRenderState(RenderStateDepthTest, depthTest);
    DWORD pixels = 0;
    HRESULT result;
    // The answer comes once the queued drawing is done; a lost device answers a failure.
    while ((result = occlusionQuery->GetData(&pixels, sizeof pixels, D3DGETDATA_FLUSH)) == S_FALSE)
        Sleep(0);
    return result == S_OK && pixels > 0;
}
