#include "viewer/progress_dlg.h"

#include <commctrl.h>

namespace {

constexpr int kProgressRangeHigh = 100;

}  // namespace

CProgressDlg::CProgressDlg() : CDialog(kProgressDialog) {}

CProgressDlg::~CProgressDlg() = default;

void CProgressDlg::DoDataExchange(CDataExchange* dx)
{
    m_progress.m_hWnd = dx->m_pDlgWnd->GetDlgItem(kProgressBarControl);
}

BOOL CProgressDlg::OnInitDialog()
{
    BOOL result = CDialog::OnInitDialog();
    if (m_progress.m_hWnd)
        ::SendMessageA(m_progress.m_hWnd, PBM_SETRANGE, 0, MAKELPARAM(0, kProgressRangeHigh));
    return result;
}
