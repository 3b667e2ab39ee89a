#include "render/mesh.h"

CObjeto3D::CObjeto3D() = default;

CObjeto3D::~CObjeto3D() = default;
