#include "render/render_device.h"

CObjeto2D::CObjeto2D() = default;

CObjeto2D::~CObjeto2D() = default;

int CObjeto2D::CreateDevice(int, int, HWND)
{
    return 1;
}

void CObjeto2D::ReleaseDevice(int) {}

void CObjeto2D::EvictResources(CFrame*, int) {}
