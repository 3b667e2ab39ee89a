// The meshes of a spherical camera's sensors.
#include "sources/frame.h"

bool CFrame::BuildSensorGeometry(int) {
    // Not built yet: answers false (the sensor's mesh stays unshaped).
    return false;
}
