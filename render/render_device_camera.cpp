// The camera side of the device: projection, viewport, view matrix, clip rectangle, frustum
// planes and tests, projecting points and unprojecting rays, depth read-back, lights.
#include "render/render_device.h"

#include <GL/gl.h>

#include <cmath>
#include <initializer_list>

#include "core/matrix_math.h"
#include "render/mesh.h"
#include "sources/frame.h"

namespace {

constexpr float kOrthoFar = 100000.0f;
constexpr float kDepthScale = 32767.0f;

}  // namespace

void CObjeto2D::UpdateProjection()
{
    const float width = static_cast<float>(params->width);
    const float height = static_cast<float>(params->height);
    const float fieldWidth = projectionWidth ? static_cast<float>(projectionWidth) : width;
    const float fieldHeight = projectionHeight ? static_cast<float>(projectionHeight) : height;
    if (axisMode == -1)
        fixedVertical = fieldWidth <= fieldHeight ? 1 : 0;

    const float zoom = params->camera ? params->camera->zoom : 1.0f;
    const double half = M_PI / (8.0 * zoom);
    const float c = static_cast<float>(std::cos(half) / std::sin(half));
    float sx, sy;
    if (fixedVertical) {
        sy = c;
        sx = c * fieldHeight / fieldWidth;
    } else {
        sx = c;
        sy = c * fieldWidth / fieldHeight;
    }
    if (projectionWidth)
        sx *= fieldWidth / width;
    if (projectionHeight)
        sy *= fieldHeight / height;

    float* m = matrices.projection;
    BuildPerspectiveMatrix(m, width, height, params->nearZ, params->farZ);
    // The scales themselves: scaled by near they would be right only for a near plane at 1.
    m[0] = sx;
    m[5] = sy;
    m[8] = 2.0f * static_cast<float>(centreOffsetX) / width;
    m[9] = -2.0f * static_cast<float>(centreOffsetY) / height;
    MultiplyMatrix(matrices.projectionViewport, matrices.projection, matrices.viewport);
    if (backEnd == RenderOpenGL && glContext)
        LoadGLProjection();
}

HRESULT CObjeto2D::UpdateViewport()
{
    ResetClipRect();
    const float width = static_cast<float>(params->width);
    const float height = static_cast<float>(params->height);
    viewport3D = {0, 0, static_cast<DWORD>(params->width), static_cast<DWORD>(params->height), 0.0f, 1.0f};
    float* v = matrices.viewport;
    for (int i = 0; i < 16; i++)
        v[i] = 0.0f;
    v[0] = width / 2.0f;
    v[5] = -height / 2.0f;
    v[10] = viewport3D.MaxZ - viewport3D.MinZ;
    v[12] = static_cast<float>(viewport3D.X) + width / 2.0f;
    v[13] = static_cast<float>(viewport3D.Y) + height / 2.0f;
    v[14] = viewport3D.MinZ;
    v[15] = 1.0f;
    BuildOrthoMatrix(matrices.projection2D, width, height, 0.0f, kOrthoFar);
    MultiplyMatrix(matrices.projection2DViewport, matrices.projection2D, matrices.viewport);
    if (culling)
        ExtractFrustumPlanes(matrices.view2D, matrices.projection2D, planes2D);
    if (backEnd == RenderDirect3D9 && device3D)
        return device3D->SetViewport(&viewport3D);
    if (backEnd == RenderOpenGL && glContext) {
        MakeGLCurrent();
        glViewport(0, 0, params->width, params->height);
    }
    return S_OK;
}

HRESULT CObjeto2D::UpdateViewportAndProjection()
{
    HRESULT result = UpdateViewport();
    UpdateProjection();
    return result;
}

void CObjeto2D::UpdateViewMatrix()
{
    const CameraState& camera = params->camera ? *params->camera : ownCamera;
    float rotation[16];
    MakeRotationMatrix(rotation, WrapAngle360(camera.tilt), WrapAngle360(camera.pan),
                       WrapAngle360(camera.roll));
    if (camera.pullBack != 0.0f) {
        float pull[16];
        MakeTranslationMatrix(pull, 0.0f, 0.0f, camera.pullBack);
        MultiplyMatrix(rotation, rotation, pull);
    }
    float eye[16];
    MakeTranslationMatrix(eye, -camera.x, -camera.y, -camera.z);
    MultiplyMatrix(matrices.view, eye, rotation);
    InvertAffineMatrix(matrices.inverseView, matrices.view);
    MultiplyMatrix(matrices.worldToScreen, matrices.view, matrices.projectionViewport);
    // The view keeps this one form on every back end (GL takes it with its depth axis turned
    // round as it loads it), so the culling planes, the inverse and the camera's axes read from it
    // agree with what GL draws, roll and camera position included.
    if (culling)
        ExtractFrustumPlanes(matrices.view, matrices.projection, planes3D);
}

void CObjeto2D::SetCenterOffset(int32_t x, int32_t y)
{
    centreOffsetX = x;
    centreOffsetY = y;
    UpdateProjection();
    UpdateViewMatrix();
}

void CObjeto2D::Set2DMode(bool on)
{
    mode2D = on ? 1 : 0;
    activePlanes = on ? planes2D : planes3D;
}

void CObjeto2D::SetClipRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    params->clipX0 = x0 < 0 ? 0 : x0;
    params->clipY0 = y0 < 0 ? 0 : y0;
    params->clipX1 = x1 > params->width - 1 ? params->width - 1 : x1;
    params->clipY1 = y1 > params->height - 1 ? params->height - 1 : y1;
    params->wholeSurfaceClip = params->clipX0 == 0 && params->clipY0 == 0 &&
                               params->clipX1 == params->width - 1 &&
                               params->clipY1 == params->height - 1;
}

void CObjeto2D::ResetClipRect()
{
    SetClipRect(0, 0, params->width - 1, params->height - 1);
}

void CObjeto2D::ExtractFrustumPlanes(const float view[16], const float projection[16],
                                     float planes[6][4])
{
    float m[16];
    MultiplyMatrix(m, view, projection);
    // Column k of m is (m[k], m[4 + k], m[8 + k], m[12 + k]).
    const int columns[6] = {0, 0, 1, 1, 2, 2};
    const float signs[6] = {-1.0f, 1.0f, 1.0f, -1.0f, -1.0f, 1.0f};
    for (int p = 0; p < 6; p++) {
        for (int row = 0; row < 4; row++)
            planes[p][row] = m[4 * row + 3] + signs[p] * m[4 * row + columns[p]];
    }
}

bool CObjeto2D::IsPointInFrustum(const float point[3])
{
    for (int p = 0; p < 6; p++) {
        const float* plane = activePlanes[p];
        if (plane[0] * point[0] + plane[1] * point[1] + plane[2] * point[2] + plane[3] <= 0.0f)
            return false;
    }
    return true;
}

bool CObjeto2D::IsBoxInFrustum(const BoundingBox& box)
{
    const float* c = box.center;
    const float* h = box.halfExtent;
    for (int p = 0; p < 6; p++) {
        const float* plane = activePlanes[p];
        float distance = plane[0] * c[0] + plane[1] * c[1] + plane[2] * c[2] + plane[3] +
                         std::fabs(plane[0]) * h[0] + std::fabs(plane[1]) * h[1] +
                         std::fabs(plane[2]) * h[2];
        if (!(distance >= 0.0f))  // negative or not a number
            return false;
    }
    return true;
}

bool CObjeto2D::UpdateObjectVisibility(CObjeto3D* mesh)
{
    if (!mesh)
        return false;
    bool inside = IsBoxInFrustum(mesh->objectBox);
    mesh->visibleInView = inside ? 1 : 0;
    for (CSprite* texture : {mesh->texture1, mesh->texture2}) {
        if (texture)
            texture->visible = inside ? 1 : 0;
    }
    return inside;
}

void CObjeto2D::ProjectPoint(const float point[3], float out[3], bool round)
{
    const float* m = mode2D ? matrices.projection2DViewport : matrices.worldToScreen;
    float p[4];
    TransformPoint4(p, point, m);
    if (p[3] != 0.0f) {
        p[0] /= p[3];
        p[1] /= p[3];
    }
    out[0] = round ? static_cast<float>(RoundToInt(p[0])) : p[0];
    out[1] = round ? static_cast<float>(RoundToInt(p[1])) : p[1];
    out[2] = p[2];
}

void CObjeto2D::ProjectToScreen(const float point[3], float* x, float* y, bool round)
{
    float out[3];
    ProjectPoint(point, out, round);
    if (x)
        *x = out[0];
    if (y)
        *y = out[1];
}

void CObjeto2D::ScreenToRay(float x, float y, float origin[3], float direction[3])
{
    const float* p = matrices.projection;
    const float* inverse = matrices.inverseView;
    float nx = (2.0f * x / static_cast<float>(params->width) - 1.0f) / p[0];
    float ny = -(2.0f * y / static_cast<float>(params->height) - 1.0f) / p[5];
    for (int i = 0; i < 3; i++) {
        direction[i] = nx * inverse[i] + ny * inverse[4 + i] + inverse[8 + i];
        origin[i] = inverse[12 + i];
    }
}

float CObjeto2D::GetDepthAt(int32_t x, int32_t y)
{
    if (backEnd != RenderSoftware || !params->depthBuffer || x < 0 || y < 0 ||
        x >= params->width || y >= params->height)
        return 0.0f;
    uint16_t value = params->depthBuffer[static_cast<size_t>(y) * static_cast<size_t>(params->width) +
                                         static_cast<size_t>(x)];
    if (value == 0)
        return 0.0f;
    return static_cast<float>(static_cast<int32_t>(1.0f / (static_cast<float>(value) / kDepthScale)));
}

bool CObjeto2D::AddLight(CFrame* frame, D3DLIGHT9* light)
{
    if (!frame || !light || frame->lightCount < 0 || frame->lightCount >= kFrameLightCapacity)
        return false;
    light->Falloff = 1.0f;
    light->Attenuation0 = 1.0f;
    light->Attenuation1 = 0.0f;
    light->Attenuation2 = 0.0f;
    float position[3] = {light->Position.x, light->Position.y, light->Position.z};
    float direction[3] = {light->Direction.x, light->Direction.y, light->Direction.z};
    NormalizeVector3(position, position);
    NormalizeVector3(direction, direction);
    light->Position = {position[0], position[1], position[2]};
    light->Direction = {direction[0], direction[1], direction[2]};
    int32_t index = frame->lightCount;
    frame->lights[index] = light;
    if (backEnd == RenderDirect3D9 && device3D) {
        device3D->SetLight(static_cast<DWORD>(index), light);
        device3D->LightEnable(static_cast<DWORD>(index), TRUE);
    }
    frame->lightCount = index + 1;
    return true;
}
