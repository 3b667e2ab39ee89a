#pragma once
// The camera record: where the eye is, where it looks, how far it is zoomed and, while a camera
// path plays, where on the path it is. Angles are degrees.
#include <cstdint>

struct CameraSequence;

enum CameraPathState : int32_t {
    CameraPathPlaying = 0,
    CameraPathStartNearest = 1,  // start at the key nearest to the current view
    CameraPathStartFirst = 2,    // start from the first key
};

struct CameraState {
    float x = 0, y = 0, z = 0;
    float tilt = 0;   // about x: -90 looks down, +90 up
    float pan = 0;    // about y
    float roll = 0;   // about z
    float zoom = 0;   // vertical field of view = 45 / zoom degrees
    float pullBack = 0;

    // Camera path playback.
    int32_t pathKey = 0;
    int32_t pathState = CameraPathPlaying;
    float pathStartTime = 0;
    float pathVelocity[12] = {};  // x, y, z at [1..3], zoom at [4], tilt, pan, roll at [5..7]; the rest unused
    CameraSequence* sequence = nullptr;  // the path being played, none = no path
    int32_t startFromFirstKey = 0;
    int32_t loopCount = 0;  // 0 = endless
    int32_t loopsLeft = 0;
};
