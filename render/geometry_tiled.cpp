// Tiled shapes for the hardware back ends and the splitter of meshes along texture tiles.
#include "render/mesh.h"

bool CObjeto3D::SplitByTiles() {
    // Not built yet: answers false (not split).
    return false;
}
