// Procedural shapes: planes, cylinders, spheres, discs and fisheye domes as one vertex grid; ribbons.
#include "render/mesh.h"

void CObjeto3D::BuildGeometry(int, int, int, float, float, float, float, float, float, float, float,
                              float, bool) {
    // Not built yet: does nothing.
}

bool CObjeto3D::BuildRibbon(const float*, int, uint32_t, float) {
    // Not built yet: answers false (no ribbon).
    return false;
}
