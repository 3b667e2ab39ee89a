// The multimedia I/O procedure for the four-character code "KZR ". The viewer installs it for the
// whole process, so that a sound named with ".KZR+" after its file name ("hall.wav.KZR+") is read
// by the multimedia layer through the program's stream class: local files, package entries and
// web addresses alike.
#pragma once

#include <windows.h>
#include <mmsystem.h>

// Marker that sends an element's reading here; removed from the name before opening.
constexpr const char* kMediaIoMarker = ".KZR+";

// The I/O procedure (mmioInstallIOProcA). Open, read, seek and close; anything else fails.
LRESULT CALLBACK MediaIoProc(LPSTR ioInfo, UINT message, LPARAM parameter1, LPARAM parameter2);
