// CMainFrame: the program's one host window (in the screensaver preview, a child of the preview
// window). It carries the whole viewer engine by value, gives the engine its window when it is
// created and shuts the engine down when it is destroyed.
#pragma once

#include <cstdint>

#include "core/item_list.h"
#include "core/text_string.h"
#include "platform/window.h"
#include "viewer/main_wnd.h"

// Icon resource of the host window.
constexpr int kMainFrameIcon = 104;

class CMainFrame : public CWnd {
public:
    explicit CMainFrame(const char* commandLine);
    ~CMainFrame() override;

    CMainWnd m_engine;
    CTexto m_startFolder;
    CTexto m_commandLine;
    CTexto m_programName;
    CTexto m_parameterText;
    CObjeto m_parameterList;
    uint8_t m_handedOver = 0;      // the command line went to a running instance: no window
    int32_t m_pointerOverView = 0;

protected:
    BOOL PreCreateWindow(CREATESTRUCTA& cs) override;
    int OnCreate(CREATESTRUCTA* cs) override;
    void OnDestroy() override;
};
