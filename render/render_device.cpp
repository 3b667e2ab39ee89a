#include "render/render_device.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>

#include "render/directx_probe.h"
#include "render/mesh.h"

std::atomic<uint32_t> g_directXLevel{0};

namespace {

void* AllocateBytes(size_t bytes)
{
    return std::malloc(bytes);
}

void SetIdentity(float m[16])
{
    std::memset(m, 0, 16 * sizeof(float));
    m[0] = m[5] = m[10] = m[15] = 1.0f;
}

}  // namespace

RenderDeviceSystem DefaultRenderDeviceSystem()
{
    RenderDeviceSystem system;
    system.queryProcessorFeature = QueryProcessorFeature;
    system.getDirectXVersion = [] { return GetDirectXVersion(); };
    system.directDrawLibrary = "ddraw.dll";
    system.forcedScreenDepth = 0;
    system.allocate = AllocateBytes;
    system.direct3DLibrary = "d3d9.dll";
    system.backEndFault = nullptr;
    return system;
}

HRESULT BackEndFault(int32_t call)
{
    return g_renderSystem.backEndFault ? g_renderSystem.backEndFault(call) : S_OK;
}

RenderDeviceSystem g_renderSystem = DefaultRenderDeviceSystem();

CObjeto2D::CObjeto2D()
{
    ownCamera.zoom = 1.0f;
    params->camera = &ownCamera;
    params->workBuffer = new (std::nothrow) uint8_t[kRenderWorkBufferSize];
    for (float* m : {matrices.projection, matrices.projection2D, matrices.viewport, matrices.view,
                     matrices.inverseView, matrices.view2D, matrices.projectionViewport,
                     matrices.projection2DViewport, matrices.worldToScreen})
        SetIdentity(m);
    fogStart = params->nearZ + (params->farZ - params->nearZ) / 3.0f;
    fogEnd = params->farZ;
    // The textures of filled rectangles and of the occlusion sphere on Direct3D 9.
    if (whiteImage.Create(kMarkerImageSize, kMarkerImageSize, 32, false, 0, false, false, false))
        whiteImage.Fill(0xFFFFFFFF);
    if (redImage.Create(kMarkerImageSize, kMarkerImageSize, 32, false, 0, false, false, false))
        redImage.Fill(0xFFFF0000);
    // Their pixels are complete: they draw as textures.
    whiteImage.contentValid = redImage.contentValid = 1;
}

CObjeto2D::~CObjeto2D()
{
    ReleaseDevice(1);
    delete occlusionSphere;
    occlusionSphere = nullptr;
    std::free(params->screenVertices);
    params->screenVertices = nullptr;
    params->screenVertexCapacity = 0;
    delete[] params->workBuffer;
    params->workBuffer = nullptr;
}
