#include "core/matrix_math.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr float kPi = 3.14159265358979323846f;

void ExpectMatrixNear(const float* actual, const float* expected, float tolerance = 1e-5f)
{
    for (int i = 0; i < 16; i++)
        EXPECT_NEAR(actual[i], expected[i], tolerance) << "element " << i;
}

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

TEST(MatrixMath, MultiplyIsRowMajorAndMayOverwriteItsInput)
{
    const float a[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const float b[16] = {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 1, 2, 3, 1};  // scale, then translate
    const float expected[16] = {6, 14, 24, 4, 18, 34, 52, 8, 30, 54, 80, 12, 42, 74, 108, 16};
    float out[16];
    EXPECT_EQ(MultiplyMatrix(out, a, b), out);
    ExpectMatrixNear(out, expected);

    float inPlace[16];
    std::memcpy(inPlace, a, sizeof a);
    MultiplyMatrix(inPlace, inPlace, b);
    ExpectMatrixNear(inPlace, expected);
    std::memcpy(inPlace, b, sizeof b);
    MultiplyMatrix(inPlace, a, inPlace);
    ExpectMatrixNear(inPlace, expected);

    // A point is a row vector on the left: the translation sits in the last row.
    const float point[3] = {1, 1, 1};
    float transformed[4];
    TransformPoint4(transformed, point, b);
    EXPECT_FLOAT_EQ(transformed[0], 3);
    EXPECT_FLOAT_EQ(transformed[1], 5);
    EXPECT_FLOAT_EQ(transformed[2], 7);
    EXPECT_FLOAT_EQ(transformed[3], 1);
}

TEST(MatrixMath, InvertAffineMatrix)
{
    // Rotation about y by 30 degrees, scale 2, translation (5, -3, 7).
    float c = std::cos(kPi / 6), s = std::sin(kPi / 6);
    const float m[16] = {2 * c, 0, -2 * s, 0, 0, 2, 0, 0, 2 * s, 0, 2 * c, 0, 5, -3, 7, 1};
    float inverse[16];
    ASSERT_EQ(InvertAffineMatrix(inverse, m), S_OK);
    float product[16];
    ExpectMatrixNear(MultiplyMatrix(product, m, inverse), kIdentity);
    ExpectMatrixNear(MultiplyMatrix(product, inverse, m), kIdentity);

    struct Case {
        const char* what;
        float m[16];
    } failures[] = {
        {"last column (0, 0, 0.01, 1)", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0.01f, 0, 0, 0, 1}},
        {"m33 not 1", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1.01f}},
        {"projection", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, -1, 0}},
        {"singular: flattened z", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 4, 5, 6, 1}},
        {"singular: equal rows", {1, 2, 3, 0, 1, 2, 3, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        {"all zero but m33", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
    };
    for (const Case& f : failures) {
        SCOPED_TRACE(f.what);
        float out[16];
        std::fill(out, out + 16, 42.0f);
        EXPECT_EQ(InvertAffineMatrix(out, f.m), E_FAIL);
        for (float v : out)
            EXPECT_EQ(v, 42.0f);  // untouched
    }

    // Within 0.001 of affine still counts as affine.
    float nearly[16];
    std::memcpy(nearly, kIdentity, sizeof nearly);
    nearly[3] = 0.0009f;
    nearly[15] = 1.0009f;
    EXPECT_EQ(InvertAffineMatrix(inverse, nearly), S_OK);
}

TEST(MatrixMath, ProjectionBuilders)
{
    float ortho[16];
    BuildOrthoMatrix(ortho, 200, 100, 1, 11);
    const float expectedOrtho[16] = {0.01f, 0, 0, 0, 0, 0.02f, 0, 0, 0, 0, 0.1f, 0, 0, 0, -0.1f, 1};
    ExpectMatrixNear(ortho, expectedOrtho);

    float perspective[16];
    BuildPerspectiveMatrix(perspective, 2, 1, 1, 101);
    const float expectedPerspective[16] = {1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1.01f, 1, 0, 0, -1.01f, 0};
    ExpectMatrixNear(perspective, expectedPerspective);

    // Left-handed: the near plane maps to depth 0 and the far plane to depth 1.
    const float nearPoint[3] = {0, 0, 1}, farPoint[3] = {0, 0, 101};
    float p[4];
    TransformPoint4(p, nearPoint, perspective);
    EXPECT_NEAR(p[2] / p[3], 0.0f, 1e-5f);
    TransformPoint4(p, farPoint, perspective);
    EXPECT_NEAR(p[2] / p[3], 1.0f, 1e-5f);
}

TEST(MatrixMath, VectorsAndQuaternions)
{
    float v[3] = {3, 0, -4};
    EXPECT_TRUE(NormalizeVector3(v, v));
    EXPECT_FLOAT_EQ(v[0], 0.6f);
    EXPECT_FLOAT_EQ(v[2], -0.8f);

    const float zero[3] = {0, 0, 0};
    float out[3] = {9, 9, 9};
    EXPECT_FALSE(NormalizeVector3(out, zero));
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_EQ(out[2], 0.0f);

    float m[16];
    const float none[4] = {0, 0, 0, 1};
    QuaternionToMatrix(m, none);
    ExpectMatrixNear(m, kIdentity);

    // 90 degrees about z turns x into y for a row vector.
    const float quarter[4] = {0, 0, std::sin(kPi / 4), std::cos(kPi / 4)};
    QuaternionToMatrix(m, quarter);
    const float x[3] = {1, 0, 0};
    float turned[4];
    TransformPoint4(turned, x, m);
    EXPECT_NEAR(turned[0], 0, 1e-6f);
    EXPECT_NEAR(turned[1], 1, 1e-6f);
    EXPECT_NEAR(turned[2], 0, 1e-6f);
    EXPECT_EQ(m[15], 1.0f);
}

TEST(MatrixMath, HeadingToPoint)
{
    struct Case {
        float to[3];
        float expected;
    } cases[] = {
        {{0, 0, -1}, -kPi / 2},
        {{0, 0, 1}, kPi / 2},
        {{0, 0, 0}, -kPi / 2},
        {{-1, 0, 0}, -kPi},
        {{1, 0, 0}, 0},
        {{1, 0, 1}, kPi / 4},
        {{-1, 0, -1}, -3 * kPi / 4},
        {{1, 0, 0.0005f}, 0},  // within 0.001 of 0
    };
    const float origin[3] = {0, 0, 0};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.to[0] << "," << c.to[2]);
        EXPECT_NEAR(HeadingToPoint(origin, c.to), c.expected, 1e-6f);
    }
    const float from[3] = {10, 99, 10};
    const float to[3] = {11, -5, 11};
    EXPECT_NEAR(HeadingToPoint(from, to), kPi / 4, 1e-6f);
}

TEST(MatrixMath, Rounding)
{
    struct Case {
        float x;
        int expected;
    } cases[] = {
        {0.5f, 0}, {1.5f, 2}, {2.5f, 2}, {-0.5f, 0}, {-1.5f, -2}, {-2.5f, -2},
        {2.4999f, 2}, {2.5001f, 3}, {-7.6f, -8}, {3e9f, INT_MAX}, {-3e9f, INT_MIN}, {NAN, 0},
    };
    // The answer must not depend on the processor's rounding mode.
    for (int mode : {FE_TONEAREST, FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO}) {
        std::fesetround(mode);
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.x << " mode " << mode);
            EXPECT_EQ(RoundToInt(c.x), c.expected);
        }
    }
    std::fesetround(FE_TONEAREST);

    EXPECT_FLOAT_EQ(RoundToFraction(1.26f, 10), 1.3f);
    EXPECT_FLOAT_EQ(RoundToFraction(-1.24f, 4), -1.25f);
    EXPECT_FLOAT_EQ(RoundToFraction(1.26f, 0), 1.26f);
    EXPECT_FLOAT_EQ(AbsValue(-2.5f), 2.5f);
}

TEST(MatrixMath, WrapAngles)
{
    struct Case {
        float a;
        float wrap180;
        float wrap360;
    } cases[] = {
        {540, 180, 180},
        {-540, -180, 180},
        {359.9995f, 0, 359.9995f},
        {0.0005f, 0, 0},
        {-90, -90, 270},
        {-0.0004f, 0, 359.9996f},  // the dead zone is tested after adding 360
        {720, 0, 0},
        {190, -170, 190},
        {-190, 170, 170},
        {180, 180, 180},
        {-180, -180, 180},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a);
        EXPECT_NEAR(WrapAngle180(c.a), c.wrap180, 1e-4f);
        EXPECT_NEAR(WrapAngle360(c.a), c.wrap360, 1e-4f);
    }
}

TEST(MatrixMath, MoveWithinLimits)
{
    struct Case {
        const char* what;
        float angle, delta, min, max, margin;
        float expected;
        int stopped;
    } cases[] = {
        {"no limits wraps", 355, 10, 360, 360, 0, 5, 0},
        {"no limits backwards", 5, -10, 360, 360, 0, 355, 0},
        {"stopped at max", 30, 30, -45, 45, 0, 45, 1},
        {"inside the limits", 30, 10, -45, 45, 0, 40, 0},
        {"stopped at min", -30, -30, -45, 45, 0, 315, 1},  // stored as 0..360
        {"margin lowers max", 30, 30, -45, 45, 10, 35, 1},
        {"angle stored as 0..360 past max", 350, 20, -45, 45, 0, 10, 0},
        {"zero delta changes nothing", 400, 0, -45, 45, 0, 400, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        float angle = c.angle;
        EXPECT_EQ(MoveAngleWithinLimits(&angle, c.delta, c.min, c.max, c.margin), c.stopped);
        EXPECT_NEAR(angle, c.expected, 1e-4f);
    }

    struct ValueCase {
        float value, delta, min, max, expected;
        int clamped;
    } values[] = {
        {5, 10, 0, 0, 15, 0},  // min = max = 0 never clamps
        {5, -10, 0, 0, -5, 0},
        {5, 10, 0, 12, 12, 1},
        {5, -10, 1, 12, 1, 1},
        {5, 1, 1, 12, 6, 0},
    };
    for (const ValueCase& c : values) {
        float value = c.value;
        EXPECT_EQ(MoveValueWithinLimits(&value, c.delta, c.min, c.max), c.clamped);
        EXPECT_FLOAT_EQ(value, c.expected);
    }
}

TEST(MatrixMath, StepsApproachTheTargetTheShortWayRound)
{
    // From 350 to 10 degrees the short way crosses 0: every step moves up through 360.
    float angle = 350, velocity = 0;
    for (int i = 0; i < 60; i++)
        StepAngleTowards(&angle, 350, 10, 1.0f, &velocity, 360, 360);
    EXPECT_NEAR(WrapAngle180(angle), 10, 0.01f);

    float first = 350;
    velocity = 0;
    StepAngleTowards(&first, 350, 10, 1.0f, &velocity, 360, 360);
    EXPECT_NEAR(velocity, 10, 1e-4f);  // half the 20-degree error
    EXPECT_NEAR(first, 0, 1e-4f);

    // A limit stops the approach and answers 1.
    angle = 0;
    velocity = 0;
    EXPECT_EQ(StepAngleTowards(&angle, 0, 80, 1.0f, &velocity, -45, 45), 0);
    int stopped = 0;
    for (int i = 0; i < 10; i++)
        stopped |= StepAngleTowards(&angle, 0, 80, 1.0f, &velocity, -45, 45);
    EXPECT_EQ(stopped, 1);
    EXPECT_NEAR(angle, 45, 1e-4f);

    float value = 0;
    velocity = 0;
    EXPECT_EQ(StepValueTowards(&value, 0, 10, 0.5f, &velocity, 0, 0), 0);
    EXPECT_FLOAT_EQ(velocity, 2.5f);
    EXPECT_FLOAT_EQ(value, 2.5f);
    for (int i = 0; i < 60; i++)
        StepValueTowards(&value, 0, 10, 1.0f, &velocity, 0, 0);
    EXPECT_NEAR(value, 10, 0.01f);
    value = 0;
    velocity = 0;
    EXPECT_EQ(StepValueTowards(&value, 0, 10, 1.0f, &velocity, 0, 3), 1);
    EXPECT_FLOAT_EQ(value, 3);
}

TEST(MatrixMath, SortByLow24Bits)
{
    std::vector<uint32_t> values = {0xFF000003, 0x00000001, 0x01000002, 0x7F000001, 0x00FFFFFF};
    SortByLow24Bits(values.data(), values.data() + values.size() - 1);
    std::vector<uint32_t> low;
    for (uint32_t v : values)
        low.push_back(v & 0xFFFFFF);
    EXPECT_EQ(low, (std::vector<uint32_t>{1, 1, 2, 3, 0xFFFFFF}));

    uint32_t single = 0xAB000007;
    SortByLow24Bits(&single, &single);
    EXPECT_EQ(single, 0xAB000007u);
    SortByLow24Bits(values.data() + 1, values.data());  // an empty range changes nothing

    // Inputs that drive a plain quicksort to a recursion as deep as the input is long.
    constexpr size_t kCount = 1 << 20;
    std::mt19937 random(7);
    std::vector<std::vector<uint32_t>> inputs(5, std::vector<uint32_t>(kCount));
    for (size_t i = 0; i < kCount; i++) {
        inputs[0][i] = static_cast<uint32_t>(i);                        // sorted
        inputs[1][i] = static_cast<uint32_t>(kCount - i);               // reversed
        inputs[2][i] = 0x5A5A5A | (static_cast<uint32_t>(i) << 24);     // equal keys
        inputs[3][i] = static_cast<uint32_t>(i < kCount / 2 ? i : kCount - i);  // organ pipe
        inputs[4][i] = random();
    }
    for (auto& input : inputs) {
        SortByLow24Bits(input.data(), input.data() + input.size() - 1);
        EXPECT_TRUE(std::is_sorted(input.begin(), input.end(),
                                   [](uint32_t a, uint32_t b) { return (a & 0xFFFFFF) < (b & 0xFFFFFF); }));
    }
}

}  // namespace
