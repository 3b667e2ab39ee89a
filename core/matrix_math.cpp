#include "core/matrix_math.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace {

constexpr float kPi = 3.14159265358979323846f;
constexpr float kAngleDeadZone = 0.001f;

// Round half to even without consulting the floating-point environment.
double RoundHalfEven(double x)
{
    double lower = std::floor(x);
    double fraction = x - lower;
    if (fraction > 0.5)
        return lower + 1.0;
    if (fraction < 0.5)
        return lower;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

bool Low24Less(uint32_t a, uint32_t b)
{
    return (a & 0xFFFFFF) < (b & 0xFFFFFF);
}

}  // namespace

float* MultiplyMatrix(float out[16], const float a[16], const float b[16])
{
    float product[16];
    for (int r = 0; r < 4; r++) {
        for (int c = 0; c < 4; c++) {
            float sum = 0;
            for (int k = 0; k < 4; k++)
                sum += a[4 * r + k] * b[4 * k + c];
            product[4 * r + c] = sum;
        }
    }
    std::memcpy(out, product, sizeof product);
    return out;
}

HRESULT InvertAffineMatrix(float out[16], const float m[16])
{
    if (std::fabs(m[15] - 1.0f) > 0.001f || std::fabs(m[3]) > 0.001f || std::fabs(m[7]) > 0.001f ||
        std::fabs(m[11]) > 0.001f)
        return E_FAIL;

    // Cofactors of the upper 3x3.
    double c00 = double(m[5]) * m[10] - double(m[6]) * m[9];
    double c01 = double(m[6]) * m[8] - double(m[4]) * m[10];
    double c02 = double(m[4]) * m[9] - double(m[5]) * m[8];
    double det = m[0] * c00 + m[1] * c01 + m[2] * c02;
    if (det == 0.0 || !std::isfinite(det))
        return E_FAIL;
    double inv = 1.0 / det;
    if (!std::isfinite(inv))
        return E_FAIL;

    double r[9];
    r[0] = c00 * inv;
    r[1] = (double(m[2]) * m[9] - double(m[1]) * m[10]) * inv;
    r[2] = (double(m[1]) * m[6] - double(m[2]) * m[5]) * inv;
    r[3] = c01 * inv;
    r[4] = (double(m[0]) * m[10] - double(m[2]) * m[8]) * inv;
    r[5] = (double(m[2]) * m[4] - double(m[0]) * m[6]) * inv;
    r[6] = c02 * inv;
    r[7] = (double(m[1]) * m[8] - double(m[0]) * m[9]) * inv;
    r[8] = (double(m[0]) * m[5] - double(m[1]) * m[4]) * inv;

    float result[16];
    for (int row = 0; row < 3; row++) {
        for (int col = 0; col < 3; col++) {
            double v = r[3 * row + col];
            if (!std::isfinite(v))
                return E_FAIL;
            result[4 * row + col] = static_cast<float>(v);
        }
        result[4 * row + 3] = 0;
    }
    // Translation row: -(t x inverse).
    for (int col = 0; col < 3; col++) {
        double v = -(m[12] * r[col] + m[13] * r[3 + col] + m[14] * r[6 + col]);
        result[12 + col] = static_cast<float>(v);
    }
    result[15] = 1;
    std::memcpy(out, result, sizeof result);
    return S_OK;
}

void BuildOrthoMatrix(float out[16], float width, float height, float nearZ, float farZ)
{
    std::memset(out, 0, 16 * sizeof(float));
    out[0] = 2.0f / width;
    out[5] = 2.0f / height;
    out[10] = 1.0f / (farZ - nearZ);
    out[14] = nearZ / (nearZ - farZ);
    out[15] = 1.0f;
}

void BuildPerspectiveMatrix(float out[16], float width, float height, float nearZ, float farZ)
{
    std::memset(out, 0, 16 * sizeof(float));
    out[0] = 2.0f * nearZ / width;
    out[5] = 2.0f * nearZ / height;
    out[10] = farZ / (farZ - nearZ);
    out[11] = 1.0f;
    out[14] = nearZ * farZ / (nearZ - farZ);
}

void TransformPoint4(float out[4], const float point[3], const float m[16])
{
    float p[4] = {point[0], point[1], point[2], 1.0f};
    float result[4];
    for (int c = 0; c < 4; c++)
        result[c] = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + p[3] * m[12 + c];
    std::memcpy(out, result, sizeof result);
}

bool NormalizeVector3(float out[3], const float v[3])
{
    float lengthSquared = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
    if (!(lengthSquared > 0.0f) || !std::isfinite(lengthSquared)) {
        out[0] = out[1] = out[2] = 0.0f;
        return false;
    }
    float s = std::sqrt(1.0f / lengthSquared);
    out[0] = v[0] * s;
    out[1] = v[1] * s;
    out[2] = v[2] * s;
    return true;
}

void QuaternionToMatrix(float out[16], const float q[4])
{
    float x = q[0], y = q[1], z = q[2], w = q[3];
    std::memset(out, 0, 16 * sizeof(float));
    out[0] = 1 - 2 * (y * y + z * z);
    out[1] = 2 * (x * y + z * w);
    out[2] = 2 * (x * z - y * w);
    out[4] = 2 * (x * y - z * w);
    out[5] = 1 - 2 * (x * x + z * z);
    out[6] = 2 * (y * z + x * w);
    out[8] = 2 * (x * z + y * w);
    out[9] = 2 * (y * z - x * w);
    out[10] = 1 - 2 * (x * x + y * y);
    out[15] = 1;
}

float HeadingToPoint(const float from[3], const float to[3])
{
    float dx = to[0] - from[0];
    float dz = to[2] - from[2];
    float heading;
    if (dx == 0.0f) {
        heading = dz > 0.0f ? kPi / 2 : -kPi / 2;
    } else {
        heading = std::atan(dz / dx);
        if (dx < 0.0f)
            heading -= kPi;
    }
    if (std::fabs(heading) < kAngleDeadZone)
        heading = 0.0f;
    return heading;
}

float AbsValue(float x)
{
    return std::fabs(x);
}

int RoundToInt(float x)
{
    if (std::isnan(x))
        return 0;
    double r = RoundHalfEven(x);
    if (r >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (r <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(r);
}

float RoundToFraction(float x, float n)
{
    if (n == 0.0f)
        return x;
    return static_cast<float>(RoundHalfEven(double(x) * n) / n);
}

float WrapAngle180(float a)
{
    float r = std::fmod(a, 360.0f);
    if (r > 180.0f)
        r -= 360.0f;
    if (r < -180.0f)
        r += 360.0f;
    if (r > -kAngleDeadZone && r < kAngleDeadZone)
        r = 0.0f;
    return r;
}

float WrapAngle360(float a)
{
    float r = std::fmod(a, 360.0f);
    if (r < 0.0f)
        r += 360.0f;
    if (r > -kAngleDeadZone && r < kAngleDeadZone)
        r = 0.0f;
    return r;
}

int MoveAngleWithinLimits(float* angle, float delta, float min, float max, float margin)
{
    if (delta == 0.0f)
        return 0;
    int stopped = 0;
    float moved;
    if (min == 360.0f && max == 360.0f) {
        moved = *angle + delta;
    } else {
        float hi = WrapAngle180(max - margin);
        float lo = WrapAngle180(min + margin);
        if (delta > 0.0f) {
            float c = WrapAngle180(*angle - margin);
            if (c > hi + 0.01f)
                c -= 360.0f;
            moved = delta + margin + c;
            if (moved > hi) {
                moved = hi;
                stopped = 1;
            }
        } else {
            float c = WrapAngle180(*angle + margin);
            if (lo - 0.01f > c)
                c += 360.0f;
            moved = delta - margin + c;
            if (lo > moved) {
                moved = lo;
                stopped = 1;
            }
        }
    }
    *angle = WrapAngle360(moved);
    return stopped;
}

int MoveValueWithinLimits(float* value, float delta, float min, float max)
{
    float v = *value + delta;
    int clamped = 0;
    if (!(min == 0.0f && max == 0.0f)) {
        if (v > max) {
            v = max;
            clamped = 1;
        }
        if (v < min) {
            v = min;
            clamped = 1;
        }
    }
    *value = v;
    return clamped;
}

int StepAngleTowards(float* angle, float from, float to, float t, float* velocity, float min, float max)
{
    float target = WrapAngle180(from + WrapAngle180(to - from) * t);
    float error = WrapAngle180(target - WrapAngle180(*angle));
    *velocity = (error - *velocity) * 0.5f;
    return MoveAngleWithinLimits(angle, *velocity, min, max, 0.0f);
}

int StepValueTowards(float* value, float from, float to, float t, float* velocity, float min, float max)
{
    *velocity = ((to - from) * t + from - *value - *velocity) * 0.5f;
    return MoveValueWithinLimits(value, *velocity, min, max);
}

void SortByLow24Bits(uint32_t* first, uint32_t* last)
{
    if (!first || !last || last <= first)
        return;
    // Introsort: its recursion stays logarithmic and its time O(n log n) on any input, where a
    // plain quicksort recurses n deep on sorted or organ-pipe data.
    std::sort(first, last + 1, Low24Less);
}
