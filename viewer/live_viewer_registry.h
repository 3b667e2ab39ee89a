// LiveViewerRegistry: the engines alive in this process. Each engine lists itself when it is
// constructed and leaves when it is destroyed; the first and the last one start and stop what
// the engines share. Engines find each other here by their "pluginname".
#pragma once

class CMainWnd;

// Lists the engine unless it is listed already. Answers the number of engines listed
// afterwards; added tells whether this call listed it.
int RegisterLiveViewer(CMainWnd* engine, bool* added = nullptr);
// Removes the engine when it is listed. Answers the number left; removed tells whether it was
// listed.
int UnregisterLiveViewer(CMainWnd* engine, bool* removed = nullptr);
int GetLiveViewerCount();
bool IsLiveViewer(const CMainWnd* engine);
// The engine listed under the name (exact match); null for none or an empty name.
CMainWnd* FindLiveViewer(const char* name);
// Names the engine's entry; false when the engine is not listed.
bool SetLiveViewerName(const CMainWnd* engine, const char* name);
