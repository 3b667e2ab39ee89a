#pragma once
// Two process-wide questions asked before the first render device is created: does the processor
// have MMX, and which DirectX level does the system have. The level is read from the fixed file
// versions of the system's DirectX files.
#include <windows.h>

#include <cstdint>

// Query numbers of QueryProcessorFeature.
constexpr int32_t kProcessorFeatureMmx = 11;

// DirectX levels: major version in the high byte, minor in the low byte; 0 = unknown.
constexpr uint32_t kDirectXLevelDirectDraw = 0x500;  // the software back end uses DirectDraw
constexpr uint32_t kDirectXLevelDirect3D9 = 0x900;   // Direct3D 9 may be tried

// 1 when the processor has the feature (query 11: MMX, bit 23 of the standard feature word),
// else 0; 0 for every query on a processor without the identification instruction and for
// unknown queries.
int32_t QueryProcessorFeature(int32_t query);

// The DirectX level of the system folder's files, or of the files in folder when one is given
// (a path without the trailing backslash). 0 when the folder is unknown or ddraw.dll is missing.
uint32_t GetDirectXVersion(const char* folder = nullptr);

// The fixed file version of the file's version resource: high = a.b (a in the upper 16 bits),
// low = c.d. S_OK; E_INVALIDARG without path or outputs; E_FAIL without a version resource;
// E_OUTOFMEMORY.
HRESULT GetFileVersion(const char* path, DWORD* low, DWORD* high);

// Orders the versions high1:low1 and high2:low2 as unsigned 64-bit numbers: 1, 0 or -1.
int32_t CompareFileVersion(DWORD low1, DWORD high1, DWORD low2, DWORD high2);
