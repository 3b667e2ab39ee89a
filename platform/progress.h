// CProgressCtrl: a progress bar ("msctls_progress32"), usually a dialog's control.
#pragma once

#include <windows.h>
#include <commctrl.h>

class CProgressCtrl {
public:
    // The range and position of the bar; nothing without a window.
    void SetRange(int low, int high)
    {
        if (m_hWnd)
            ::SendMessageA(m_hWnd, PBM_SETRANGE32, static_cast<WPARAM>(low), high);
    }
    void SetPos(int position)
    {
        if (m_hWnd)
            ::SendMessageA(m_hWnd, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
    // The range as the control reports it.
    void GetRange(int* low, int* high) const
    {
        PBRANGE range = {};
        if (m_hWnd)
            ::SendMessageA(m_hWnd, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
        *low = range.iLow;
        *high = range.iHigh;
    }

    HWND m_hWnd = nullptr;  // not owned: the dialog destroys its controls
};
