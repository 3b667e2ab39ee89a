#pragma once
// A textured triangle mesh: panorama faces, terrain grids, 3D models, line ribbons.

class CObjeto3D {
public:
    CObjeto3D();
    virtual ~CObjeto3D();

    CObjeto3D(const CObjeto3D&) = delete;
    CObjeto3D& operator=(const CObjeto3D&) = delete;
};
