// The 3D mouse: a small adapter over the device's own component, so that the engine reads keys
// and motion the same way from the real device and from a stand-in.
#pragma once

// One reading of the device's sensor: translation as a vector with its length, rotation as an
// axis with its angle.
struct Mouse3DMotion {
    double x = 0, y = 0, z = 0, length = 0;
    double axisX = 0, axisY = 0, axisZ = 0, angle = 0;
};

class C3DMouse {
public:
    virtual ~C3DMouse() = default;
    // Number of programmable keys; -1 when the device could not tell.
    virtual int ProgrammableKeys() = 0;
    // 1 when key number key is down, 0 when up, -1 when the device could not tell.
    virtual int IsKeyDown(int key) = 0;
    // False when the device could not be read.
    virtual bool ReadMotion(Mouse3DMotion* motion) = 0;
};

// Creates the device's component, names this program to it and connects it. Null when the
// component is not installed or any step fails (COM must be initialised on this thread).
C3DMouse* Connect3DMouseDevice();
