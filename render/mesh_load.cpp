// Model loading.
#include "render/mesh.h"

CWorkerThread* CObjeto3D::LoadAsync(const char*, HWND, UINT, WPARAM, int) {
    // Not built yet: answers null (no model loader thread is started).
    return nullptr;
}
