// CTransparentWnd: the viewfinder popup. Its mouse messages go to the engine's viewfinder relay.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/window.h"

class CMainWnd;

class CTransparentWnd : public CWnd {
public:
    CTransparentWnd();
    ~CTransparentWnd() override;

    int32_t m_word = 0;
    CMainWnd* m_engine = nullptr;   // not owned

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};
