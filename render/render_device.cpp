#include "render/render_device.h"

CObjeto2D::CObjeto2D() = default;

CObjeto2D::~CObjeto2D() = default;
