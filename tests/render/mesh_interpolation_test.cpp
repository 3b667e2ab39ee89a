#include <gtest/gtest.h>

#include "render/mesh.h"

TEST(MeshInterpolation, BetweenTwoVertices) {
    MeshVertex a = {}, b = {};
    a.x = 0;
    b.x = 10;
    a.u = 0.8f;
    b.u = 1.6f;  // beyond the texture: clamped
    a.v = 0.5f;
    b.v = 0.0f;
    a.diffuse = 0x000000FFu;
    b.diffuse = 0xFF000000u;
    a.specular = 0x00FF0000u;
    a.parent = 42;
    a.flags = MeshVertexPresent | MeshVertexFirstRow;
    struct Case {
        float t;
        float x, u, v;
        uint32_t diffuse;
    };
    const Case cases[] = {
        {0.0f, 0, 0.8f, 0.5f, 0x000000FFu},
        {0.5f, 5, 1.0f, 0.25f, 0x7F00007Fu},  // 127.5 truncated
        {1.0f, 10, 1.0f, 0.0f, 0xFF000000u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.t);
        MeshVertex out;
        InterpolateVertex(a, b, &out, c.t);
        EXPECT_FLOAT_EQ(out.x, c.x);
        EXPECT_FLOAT_EQ(out.u, c.u);
        EXPECT_FLOAT_EQ(out.v, c.v);
        EXPECT_EQ(out.diffuse, c.diffuse);
        EXPECT_EQ(out.parent, 42) << "the rest is a's";
        EXPECT_EQ(out.flags, a.flags);
    }
    MeshVertex same = a;
    InterpolateVertex(same, b, &same, 0.5f);  // out may be an input
    EXPECT_FLOAT_EQ(same.x, 5.0f);
    EXPECT_EQ(same.specular, 0x007F0000u);
}
