// CObjeto3D: model matrix, world positions, normals and boxes.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/matrix_math.h"
#include "render/mesh.h"

namespace {

constexpr float kDegreesToRadians = static_cast<float>(M_PI / 180.0);

void TransformPosition(const float m[16], float x, float y, float z, float out[3]) {
    out[0] = x * m[0] + y * m[4] + z * m[8] + m[12];
    out[1] = x * m[1] + y * m[5] + z * m[9] + m[13];
    out[2] = x * m[2] + y * m[6] + z * m[10] + m[14];
}

uint16_t Widen(uint32_t color, int channel) {
    return static_cast<uint16_t>(((color >> (8 * channel)) & 0xFF) << 8);
}

}  // namespace

void MakeRotationMatrix(float out[16], float angleX, float angleY, float angleZ) {
    const float sx = sinf(angleX * kDegreesToRadians), cx = cosf(angleX * kDegreesToRadians);
    const float sy = sinf(angleY * kDegreesToRadians), cy = cosf(angleY * kDegreesToRadians);
    const float sz = sinf(angleZ * kDegreesToRadians), cz = cosf(angleZ * kDegreesToRadians);
    out[0] = cy * cz;
    out[1] = sx * sy * cz + cx * sz;
    out[2] = -cx * sy * cz + sx * sz;
    out[3] = 0;
    out[4] = -cy * sz;
    out[5] = -sx * sy * sz + cx * cz;
    out[6] = cx * sy * sz + sx * cz;
    out[7] = 0;
    out[8] = sy;
    out[9] = -sx * cy;
    out[10] = cx * cy;
    out[11] = 0;
    out[12] = 0;
    out[13] = 0;
    out[14] = 0;
    out[15] = 1;
}

void MakeTranslationMatrix(float out[16], float x, float y, float z) {
    static const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    memcpy(out, kIdentity, sizeof(kIdentity));
    out[12] = x;
    out[13] = y;
    out[14] = z;
}

void RotateVertices(float angleX, float angleY, float angleZ, MeshVertex* records, int count) {
    float m[16];
    MakeRotationMatrix(m, truncf(WrapAngle360(angleX)), truncf(WrapAngle360(angleY)),
                       truncf(WrapAngle360(angleZ)));
    for (int i = 0; records && i < count; ++i) {
        MeshVertex& v = records[i];
        float p[3];
        TransformPosition(m, v.x, v.y, v.z, p);
        v.x = p[0];
        v.y = p[1];
        v.z = p[2];
    }
}

void ComputeFaceNormal(const float p0[3], const float p1[3], const float p2[3], float out[3]) {
    const float a[3] = {p0[0] - p1[0], p0[1] - p1[1], p0[2] - p1[2]};
    const float b[3] = {p2[0] - p1[0], p2[1] - p1[1], p2[2] - p1[2]};
    const float cross[3] = {-(a[1] * b[2] - a[2] * b[1]), -(a[2] * b[0] - a[0] * b[2]),
                            -(a[0] * b[1] - a[1] * b[0])};
    // A degenerate triangle has no direction and leaves zero.
    NormalizeVector3(out, cross);
}

void MakeBoxCorners(float boxXMin, float boxXMax, float boxYMin, float boxYMax, float boxZMin,
                    float boxZMax, BoxCorners* out) {
    memset(out, 0, sizeof(*out));
    for (int i = 0; i < 8; ++i) {
        MeshVertex& c = out->corner[i];
        c.x = (i & 1) ? boxXMin : boxXMax;
        c.y = i < 4 ? boxYMax : boxYMin;
        c.z = (i % 4) < 2 ? boxZMax : boxZMin;
    }
}

void CObjeto3D::UpdateModelMatrix() {
    rotX = WrapAngle360(rotX);
    rotY = WrapAngle360(rotY);
    rotZ = WrapAngle360(rotZ);
    float rotation[16], translation[16];
    MakeRotationMatrix(rotation, rotX, rotY, rotZ);
    MakeTranslationMatrix(translation, posX, posY, posZ);
    MultiplyMatrix(modelMatrix, rotation, translation);
}

void CObjeto3D::TransformVertices(MeshVertex* records, int count) const {
    for (int i = 0; records && i < count; ++i)
        TransformPosition(modelMatrix, records[i].x, records[i].y, records[i].z, &records[i].wx);
}

void CObjeto3D::UpdateWorldVertices() {
    UpdateModelMatrix();
    const int count = std::min(vertexCount, vertexCapacity);
    for (int i = 0; vertices && i < count; ++i) {
        MeshVertex& v = vertices[i];
        for (int c = 0; c < 4; ++c) {
            v.diffuse16[c] = Widen(v.diffuse, c);
            v.specular16[c] = Widen(v.specular, c);
        }
    }
    TransformVertices(vertices, count);
    ComputeNormals();
    UpdateBoxes();
}

void CObjeto3D::UpdateFaceNormal(int firstSlot) {
    if (firstSlot < 0 || firstSlot + 2 >= indexCapacity || !faceNormals || IsTriangleRemoved(firstSlot))
        return;
    const float* p0 = GetVertexPosition(firstSlot, false);
    const float* p1 = GetVertexPosition(firstSlot + 1, false);
    const float* p2 = GetVertexPosition(firstSlot + 2, false);
    if (!p0 || !p1 || !p2)
        return;
    ComputeFaceNormal(p0, p1, p2, &faceNormals[(firstSlot / 3) * 3]);
}

void CObjeto3D::ComputeNormals() {
    const int count = std::min(vertexCount, vertexCapacity);
    if (!vertices)
        return;
    for (int i = 0; i < count; ++i)
        vertices[i].nx = vertices[i].ny = vertices[i].nz = 0;
    const int triangles = std::min(indexCount, indexCapacity) / 3;
    for (int t = 0; faceNormals && t < triangles; ++t) {
        const int slot = t * 3;
        if (IsTriangleRemoved(slot))
            continue;
        MeshVertex* corner[3];
        for (int k = 0; k < 3; ++k) {
            const int index = GetIndex(slot + k, false);
            corner[k] = index >= 0 && index < count ? &vertices[index] : nullptr;
        }
        if (!corner[0] || !corner[1] || !corner[2])
            continue;
        float* normal = &faceNormals[slot];
        ComputeFaceNormal(&corner[0]->wx, &corner[1]->wx, &corner[2]->wx, normal);
        for (MeshVertex* v : corner) {
            v->nx += normal[0];
            v->ny += normal[1];
            v->nz += normal[2];
        }
    }
    for (int i = 0; i < count; ++i) {
        MeshVertex& v = vertices[i];
        if (v.flags & MeshVertexBorder)
            continue;  // border vertices keep the plain sum, so that neighbouring grids can add theirs
        float n[3] = {v.nx, v.ny, v.nz};
        if (NormalizeVector3(n, n)) {
            v.nx = n[0];
            v.ny = n[1];
            v.nz = n[2];
        }
    }
}

void CObjeto3D::ComputeBoundingCorners(const MeshVertex* records, int count, BoxCorners* out) const {
    if (!records) {
        records = vertices;
        count = std::min(vertexCount, vertexCapacity);
    }
    if (!records || count <= 0) {
        MakeBoxCorners(0, 0, 0, 0, 0, 0, out);
        return;
    }
    float lo[3] = {records[0].x, records[0].y, records[0].z};
    float hi[3] = {lo[0], lo[1], lo[2]};
    for (int i = 1; i < count; ++i) {
        const float p[3] = {records[i].x, records[i].y, records[i].z};
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], p[k]);
            hi[k] = std::max(hi[k], p[k]);
        }
    }
    MakeBoxCorners(lo[0], hi[0], lo[1], hi[1], lo[2], hi[2], out);
}

void CObjeto3D::TransformBox(BoxCorners* corners, BoundingBox* out) {
    TransformVertices(corners->corner, 8);
    const MeshVertex* c = corners->corner;
    float lo[3] = {c[0].wx, c[0].wy, c[0].wz};
    float hi[3] = {lo[0], lo[1], lo[2]};
    for (int i = 1; i < 8; ++i) {
        const float p[3] = {c[i].wx, c[i].wy, c[i].wz};
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], p[k]);
            hi[k] = std::max(hi[k], p[k]);
        }
    }
    for (int k = 0; k < 3; ++k) {
        out->center[k] = (lo[k] + hi[k]) * 0.5f;
        out->halfExtent[k] = (hi[k] - lo[k]) * 0.5f;
    }
    if (corners == &objectCorners) {
        xMin = lo[0];
        xMax = hi[0];
        yMin = lo[1];
        yMax = hi[1];
        zMin = lo[2];
        zMax = hi[2];
    }
}

void CObjeto3D::UpdateBoxes() {
    TransformBox(&objectCorners, &objectBox);
    for (int i = 0; subCorners && subBoxes && i < subMeshCount; ++i)
        TransformBox(&subCorners[i], &subBoxes[i]);
}
