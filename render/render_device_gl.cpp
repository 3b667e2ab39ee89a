// The OpenGL back end: the window's pixel format and rendering context, the states GL keeps,
// the converted projection, and the frame (clear, swap).
#include "render/render_device.h"

#include <GL/gl.h>

#include "core/system_wrappers.h"

namespace {

constexpr DWORD kPixelFormatFlags =
    PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER | PFD_GENERIC_ACCELERATED;
constexpr BYTE kDepthBits = 16;
constexpr GLenum kFirstDepthFunction = GL_NEVER;  // GL_NEVER ... GL_ALWAYS follow in order
constexpr uint32_t kDepthFuncStep = 0x10000;

}  // namespace

bool CObjeto2D::CreateGLContext(HWND target)
{
    ReleaseGLContext();
    if (!target)
        return false;
    glDC = GetDC(target);
    if (!glDC)
        return false;
    PIXELFORMATDESCRIPTOR descriptor = {};
    descriptor.nSize = sizeof descriptor;
    descriptor.nVersion = 1;
    descriptor.dwFlags = kPixelFormatFlags;
    descriptor.iPixelType = PFD_TYPE_RGBA;
    descriptor.cColorBits = static_cast<BYTE>(params->bitsPerPixel);
    descriptor.cDepthBits = (params->stateBits & StateZBuffer) ? kDepthBits : 0;
    descriptor.iLayerType = PFD_MAIN_PLANE;
    int format = SUCCEEDED(BackEndFault(CallChoosePixelFormat)) ? ChoosePixelFormat(glDC, &descriptor) : 0;
    // A window keeps the first pixel format it was given; a context for it again takes that one.
    bool formatSet = format && (SetPixelFormat(glDC, format, &descriptor) ||
                                GetPixelFormat(glDC) != 0);
    if (formatSet && SUCCEEDED(BackEndFault(CallCreateGLContext)))
        glContext = wglCreateContext(glDC);
    if (!glContext || !wglMakeCurrent(glDC, glContext)) {
        ReleaseGLContext();
        return false;
    }
    glEnable(GL_TEXTURE_2D);
    glShadeModel(GL_SMOOTH);
    glClearDepth(1.0);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    LoadGLExtensions();
    SetDefaultStates();
    UpdateFreeVideoMemory();
    return true;
}

void CObjeto2D::ReleaseGLContext()
{
    if (glContext) {
        if (wglGetCurrentContext() == glContext)
            wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(glContext);
        glContext = nullptr;
    }
    if (glDC) {
        ReleaseDC(WindowFromDC(glDC), glDC);
        glDC = nullptr;
    }
}

void CObjeto2D::MakeGLCurrent()
{
    // Several devices may each hold a context on this thread.
    if (glContext && wglGetCurrentContext() != glContext)
        wglMakeCurrent(glDC, glContext);
}

void CObjeto2D::ApplyGLState(int32_t type)
{
    MakeGLCurrent();
    const uint32_t bits = params->stateBits;
    switch (type) {
    case RenderStateZBuffer:
        // The depth bits belong to the pixel format: a new context for the window.
        AttachWindow(window);
        break;
    case RenderStateDepthTest:
        if (bits & StateDepthTest)
            glEnable(GL_DEPTH_TEST);
        else
            glDisable(GL_DEPTH_TEST);
        break;
    case RenderStateDepthFunc:
        glDepthFunc(kFirstDepthFunction + (bits & StateDepthFuncMask) / kDepthFuncStep);
        break;
    case RenderStateVerticalSync:
        if (g_wglSwapIntervalEXT)
            g_wglSwapIntervalEXT((bits & StateVerticalSync) ? 1 : 0);
        break;
    default:
        break;  // the rest is chosen per mesh draw, or has no GL form
    }
}

void CObjeto2D::LoadGLProjection()
{
    MakeGLCurrent();
    // GL looks down -z and keeps depth in -1..1: the third column and the depth offset change.
    float m[16];
    for (int i = 0; i < 16; i++)
        m[i] = matrices.projection[i];
    m[10] = -m[10];
    m[11] = -m[11];
    m[14] *= 2.0f;
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(m);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
