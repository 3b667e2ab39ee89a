// Thin free functions over the Windows file, registry, message and OpenGL interfaces, and the
// bit, byte and texture-size helpers of the image code. Each is one step; the rest of the program
// names the step rather than the system call.
//
// Implemented by concern in system_wrappers_files.cpp, system_wrappers_registry.cpp,
// system_wrappers_process.cpp, system_wrappers_gl.cpp and system_wrappers_bits.cpp.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// --- Files and folders ---

// True when the path exists (file or folder).
bool FileExists(const char* path);
// The read-only attribute; also true for a missing file, whose attributes read as all bits.
bool IsReadOnlyFile(const char* path);
// Clears the read-only attribute, leaving the others.
void ClearReadOnly(const char* path);
// 1 when the file was deleted, 0 otherwise.
int RemoveFile(const char* path);
// Copies over the destination, read-only or not.
bool CopyFileOverwrite(const char* source, const char* destination);
// Moves or renames, replacing an existing (even read-only) destination, copying across volumes.
bool MoveFileReplace(const char* oldName, const char* newName);
// Creates every folder of the path, parents first (separators within the first four bytes, as
// in "C:\", are skipped). Answers the result of creating the whole path: false when it already
// existed.
bool CreateDirectoryPath(const char* path);

// --- Registry ---

// Size of the text output of ReadRegistryValue when no other size is given.
constexpr size_t kRegistryTextSize = 512;

// Reads a value of root\subKey into the first output given: byteOut (1 byte), else dwordOut
// (4 bytes), else textOut (textSize bytes, always terminated). Answers the bytes read, 0 on any
// failure (key or value missing, value larger than the output, no output).
int ReadRegistryValue(HKEY root, const char* subKey, const char* valueName, DWORD* dwordOut,
                      char* textOut, BYTE* byteOut, size_t textSize = kRegistryTextSize);

// --- Processes and windows ---

// Calls a COM server library's "DllRegisterServer" (register) or "DllUnregisterServer". 0 on
// success, 1 when OLE, the library, the entry or the call fails.
int RegisterComServer(const char* libraryPath, bool registerServer);
BOOL PostMessageTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Every modal message box of the program goes through ShowMessageBox, so that tests can answer
// it instead of a user. Signature and result as MessageBoxA.
typedef int (*MessageBoxFunction)(HWND owner, const char* text, const char* caption, UINT type);
int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type);
// Replaces the function behind ShowMessageBox (null restores MessageBoxA); answers the previous.
MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction function);
// Caption of the program's own questions.
constexpr const char* kMessageBoxCaption = "Lumarix";

// True when the program runs on Wine rather than on Windows (ntdll exports wine_get_version).
// Only for the few places where Wine's libraries behave unlike Windows' and the program must
// take another documented road; answered once per process.
bool RunsOnWine();

// --- OpenGL ---

typedef BOOL(WINAPI* SwapIntervalFunction)(int interval);
typedef void(WINAPI* MultiTexCoord2fFunction)(unsigned target, float s, float t);
typedef void(WINAPI* ActiveTextureFunction)(unsigned texture);

// Entry points fetched by LoadGLExtensions; null when the extension is missing.
extern SwapIntervalFunction g_wglSwapIntervalEXT;
extern MultiTexCoord2fFunction g_glMultiTexCoord2fARB;
extern ActiveTextureFunction g_glActiveTextureARB;

// True when the name occurs anywhere in the current context's extension string; false without a
// current context.
bool IsGLExtensionSupported(const char* name);
// Looks up the extension entry points of the current context.
void LoadGLExtensions();

// --- Texture sizes ---

constexpr int kTextureSizeMin = 32;
constexpr int kTextureSizeMax = 1048576;
constexpr int kTexturePiecesMax = 2048;

// The smallest power of two not below n, within 32..1048576.
int RoundUpPow2Size(int n);
// Splits a length into power-of-two texture pieces, starting from pieceSize and halving while
// the remainder is more than 32 below the piece, the piece is above 32 and the half still covers
// the remainder. Writes at most min(capacity, 2048) sizes; answers their count. The last piece
// may reach past the end.
int SplitIntoPow2Pieces(int length, int pieceSize, int* pieces, int capacity);

// --- Bits and bytes ---

// Bit k of a run is bit (position + k) % 8 of byte (position + k) / 8, counted from the least
// significant bit (Lsb) or from the most significant bit (Msb).
void CopyBitsLsbFirst(void* destination, uint64_t destinationBit, const void* source,
                      uint64_t sourceBit, int count);
void CopyBitsMsbFirst(void* destination, uint64_t destinationBit, const void* source,
                      uint64_t sourceBit, int count);
// The count-bit field at position, as a little-endian integer in out ((count + 7) / 8 bytes,
// zeroed first). Lsb: least significant bit first. Msb: big-endian bit order, read in pieces of
// up to 8 bits from the field's end, the last piece into out's lowest byte.
void ReadBitsLsbFirst(void* out, const void* bytes, uint64_t position, int count);
void ReadBitsMsbFirst(void* out, const void* bytes, uint64_t position, int count);

// Index of the first byte pair whose 8-bit signed difference a - b lies outside
// -tolerance..tolerance; -1 when all lie within.
int64_t FindByteDifference(const uint8_t* a, const uint8_t* b, size_t length, int tolerance);
// Exchanges the lowest and the third byte (0xAARRGGBB <-> 0xAABBGGRR).
uint32_t SwapRedBlue(uint32_t colour);
void SwapBytes32(uint32_t* value);
void SwapBytes16(uint16_t* value);
