#pragma once
// The viewer's small numeric toolkit: 4x4 matrices for the render back ends, angle wrapping and
// limited movement for pan and tilt, damped approaches for camera animation, rounding, sorting.
//
// Matrices are 16 floats, row-major (m[r][c] at index 4r + c). Points are row vectors multiplied
// on the left (p' = p x M): the translation sits in the last row and the last column of an affine
// transform is (0, 0, 0, 1). Projections are left-handed. Vectors are 3 floats (x, y, z),
// quaternions 4 floats (x, y, z, w). Camera angles are degrees; only HeadingToPoint answers radians.
#include <windows.h>

#include <cstdint>

// out = a x b; out may be a or b. Answers out.
float* MultiplyMatrix(float out[16], const float a[16], const float b[16]);
// Inverse of an affine matrix: S_OK, or E_FAIL with out untouched when m is not affine (last
// column off (0, 0, 0, 1) by more than 0.001) or its 3x3 part is singular.
HRESULT InvertAffineMatrix(float out[16], const float m[16]);
void BuildOrthoMatrix(float out[16], float width, float height, float nearZ, float farZ);
void BuildPerspectiveMatrix(float out[16], float width, float height, float nearZ, float farZ);
// out = (x, y, z, 1) x m.
void TransformPoint4(float out[4], const float point[3], const float m[16]);
// out = v / |v|; out may be v. A zero (or non-finite) vector has no direction: out becomes
// (0, 0, 0) and the answer is false.
bool NormalizeVector3(float out[3], const float v[3]);
void QuaternionToMatrix(float out[16], const float q[4]);
// Angle in radians, in (-3pi/2, pi/2], of the direction from one point to another in the x-z plane.
float HeadingToPoint(const float from[3], const float to[3]);

float AbsValue(float x);
// Nearest integer, ties to even, whatever the processor's rounding mode; saturates at the int
// range (NaN gives 0).
int RoundToInt(float x);
// x quantised to steps of 1/n (n 0 leaves x unchanged).
float RoundToFraction(float x, float n);

// Into [-180, 180]; results within 0.001 of 0 become 0.
float WrapAngle180(float a);
// Into [0, 360); results within 0.001 of 0 become 0.
float WrapAngle360(float a);

// Moves *angle by delta inside min + margin .. max - margin (min = max = 360: no limits) and
// stores it wrapped to [0, 360). Answers 1 when a limit stopped the move. A delta of 0 does nothing.
int MoveAngleWithinLimits(float* angle, float delta, float min, float max, float margin);
// *value += delta, clamped to max then min unless both are 0; answers 1 when clamped.
int MoveValueWithinLimits(float* value, float delta, float min, float max);
// One damped step of an animation from `from` to `to` at progress t (0..1), the short way round.
int StepAngleTowards(float* angle, float from, float to, float t, float* velocity, float min, float max);
int StepValueTowards(float* value, float from, float to, float t, float* velocity, float min, float max);

// Sorts first..last (both inclusive) ascending by the low 24 bits, in place; not stable. The
// recursion depth stays logarithmic whatever the input.
void SortByLow24Bits(uint32_t* first, uint32_t* last);
