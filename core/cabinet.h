// Cabinet (CAB) extraction through the system's cabinet library (FDI), loaded at run time. All of
// the library's file access goes through CFicheroHttp, so an archive may be a local file, an
// http:// URL or one of the program's "CAB" resources.
#pragma once

class CFicheroHttp;

#include <windows.h>

#include <cstdint>

// Resource type of cabinets built into the program.
constexpr const char* kCabinetResourceType = "CAB";
// The installer tool the screensaver installation unpacks.
constexpr int kInstallerCabinetResourceId = 448;

// Extracts every file of the archive into the destination folder (with or without a trailing
// '\'), replacing files that exist. The archive is a file name or URL, or, when its text is at
// most 4 bytes long, the little-endian bytes of a "CAB" resource id (ExtractCabinetResource
// builds them). Entries whose names would leave the folder ("..", a drive, a leading separator)
// end the extraction with failure. Non-zero when every file was extracted whole.
int ExtractCabinet(const char* archive, const char* destination);
// The same for the program's "CAB" resource resourceId (1..65535 with a low byte other than 0,
// since a 0 byte would end the id's text).
int ExtractCabinetResource(int resourceId, const char* destination);

// False for entry names that could write outside the destination folder: empty, a leading '\'
// or '/', a ':' anywhere (drives, streams), a path part made only of dots and blanks, a trailing
// separator, or control characters.
bool IsSafeCabinetEntryName(const char* name);
// True when the archive's header, folder table and file table are whole and consistent: every
// offset inside the archive and every count backed by its entries. The cabinet library trusts
// them, so extraction refuses any other archive.
bool IsCabinetLayoutSound(CFicheroHttp& stream);

// The library's flag and mode bits that CabinetOpen looks at (C runtime values).
constexpr int kCabinetOpenCreate = 0x100;       // _O_CREAT
constexpr int kCabinetReadPermission = 0x100;   // _S_IREAD

// --- The library's callbacks. A handle is a CFicheroHttp made by CabinetOpen. ---

// A name of more than 4 bytes is opened as a file or URL: for writing, truncated and without a
// question when oflag asks to create (plus reading when pmode allows it), else for reading. A
// shorter name is a resource id (its bytes, little-endian). -1 on failure.
INT_PTR __cdecl CabinetOpen(char* name, int oflag, int pmode);
// Bytes read; 0 at the end or on failure.
UINT __cdecl CabinetRead(INT_PTR handle, void* buffer, UINT count);
// count when all bytes were written, else (UINT)-1 so that the library stops with an error.
UINT __cdecl CabinetWrite(INT_PTR handle, void* data, UINT count);
// origin 0 from the start, 1 from the current position, 2 from the length; the new position,
// -1 on failure.
long __cdecl CabinetSeek(INT_PTR handle, long distance, int origin);
// Closes and deletes the stream; 0.
int __cdecl CabinetClose(INT_PTR handle);
void* __cdecl CabinetAlloc(ULONG size);
void __cdecl CabinetFree(void* block);
