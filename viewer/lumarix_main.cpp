// Program entry: the one application object runs the program.
#include <windows.h>

#include "viewer/lumarix_app.h"

namespace {

CLumarixApp g_application;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    return RunApplication(instance, commandLine);
}
