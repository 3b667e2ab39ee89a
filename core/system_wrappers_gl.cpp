#include "core/system_wrappers.h"

#include <cstring>

SwapIntervalFunction g_wglSwapIntervalEXT = nullptr;
MultiTexCoord2fFunction g_glMultiTexCoord2fARB = nullptr;
ActiveTextureFunction g_glActiveTextureARB = nullptr;

namespace {

constexpr unsigned kGlExtensions = 0x1F03;  // GL_EXTENSIONS

typedef const unsigned char*(WINAPI* GetStringFunction)(unsigned name);
typedef HGLRC(WINAPI* GetCurrentContextFunction)();
typedef PROC(WINAPI* GetProcAddressFunction)(const char* name);

// OpenGL is reached through the already loaded opengl32.dll: a process that never loaded it
// has no current context, and the core library needs no link-time tie to OpenGL.
FARPROC OpenGLEntry(const char* name) {
    HMODULE module = GetModuleHandleA("opengl32.dll");
    return module ? GetProcAddress(module, name) : nullptr;
}

template <typename Function>
Function Cast(FARPROC entry) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(entry));
}

const char* CurrentExtensions() {
    auto currentContext = Cast<GetCurrentContextFunction>(OpenGLEntry("wglGetCurrentContext"));
    auto getString = Cast<GetStringFunction>(OpenGLEntry("glGetString"));
    if (!currentContext || !getString || !currentContext())
        return nullptr;
    return reinterpret_cast<const char*>(getString(kGlExtensions));
}

template <typename Function>
Function ContextEntry(const char* name) {
    auto getProc = Cast<GetProcAddressFunction>(OpenGLEntry("wglGetProcAddress"));
    return getProc ? Cast<Function>(reinterpret_cast<FARPROC>(getProc(name))) : nullptr;
}

}  // namespace

bool IsGLExtensionSupported(const char* name) {
    const char* extensions = CurrentExtensions();
    return extensions && name && std::strstr(extensions, name) != nullptr;
}

void LoadGLExtensions() {
    // The pointers always describe the context current now.
    g_wglSwapIntervalEXT = nullptr;
    g_glMultiTexCoord2fARB = nullptr;
    g_glActiveTextureARB = nullptr;
    if (IsGLExtensionSupported("WGL_EXT_swap_control"))
        g_wglSwapIntervalEXT = ContextEntry<SwapIntervalFunction>("wglSwapIntervalEXT");
    if (IsGLExtensionSupported("GL_ARB_multitexture")) {
        g_glMultiTexCoord2fARB = ContextEntry<MultiTexCoord2fFunction>("glMultiTexCoord2fARB");
        g_glActiveTextureARB = ContextEntry<ActiveTextureFunction>("glActiveTextureARB");
    }
}
