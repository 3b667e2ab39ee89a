#include "platform/dialog.h"

#include <cstdlib>
#include <vector>

#include "platform/application.h"

void DDX_Text(CDataExchange* dx, int controlId, CTexto& value)
{
    if (dx->m_failed)
        return;
    HWND control = dx->m_pDlgWnd->GetDlgItem(controlId);
    if (!control)
        return;
    if (!dx->m_bSaveAndValidate) {
        SetWindowTextA(control, value.GetText());
        return;
    }
    int length = GetWindowTextLengthA(control);
    std::vector<char> text(static_cast<size_t>(length > 0 ? length : 0) + 1, 0);
    GetWindowTextA(control, text.data(), static_cast<int>(text.size()));
    value = text.data();
}

void DDX_Text(CDataExchange* dx, int controlId, int& value)
{
    if (dx->m_failed)
        return;
    HWND dialog = dx->m_pDlgWnd->m_hWnd;
    if (!dx->m_bSaveAndValidate) {
        SetDlgItemInt(dialog, controlId, static_cast<UINT>(value), TRUE);
        return;
    }
    BOOL valid = FALSE;
    int read = static_cast<int>(GetDlgItemInt(dialog, controlId, &valid, TRUE));
    if (valid)
        value = read;
    else
        dx->m_failed = true;
}

void DDX_Check(CDataExchange* dx, int controlId, int& value)
{
    if (dx->m_failed)
        return;
    HWND dialog = dx->m_pDlgWnd->m_hWnd;
    if (!dx->m_bSaveAndValidate)
        CheckDlgButton(dialog, controlId, static_cast<UINT>(value));
    else
        value = static_cast<int>(IsDlgButtonChecked(dialog, controlId));
}

CDialog::CDialog(int templateId) : m_templateId(templateId) {}

CDialog::~CDialog()
{
    if (m_hWnd && IsWindow(m_hWnd) && !m_modal)
        RemoveModelessDialog(m_hWnd);
}

INT_PTR CDialog::DoModal(HWND parent)
{
    if (m_hWnd)
        return -1;
    m_modal = true;
    INT_PTR result = DialogBoxParamA(GetAppInstance(), MAKEINTRESOURCEA(m_templateId), parent,
                                     &CDialog::StaticDialogProc, reinterpret_cast<LPARAM>(this));
    m_modal = false;
    return result;
}

BOOL CDialog::Create(HWND parent)
{
    if (m_hWnd)
        return FALSE;
    m_modal = false;
    HWND window = CreateDialogParamA(GetAppInstance(), MAKEINTRESOURCEA(m_templateId), parent,
                                     &CDialog::StaticDialogProc, reinterpret_cast<LPARAM>(this));
    return window != nullptr;
}

void CDialog::EndDialog(INT_PTR result)
{
    if (!m_hWnd)
        return;
    if (m_modal)
        ::EndDialog(m_hWnd, result);
    else
        DestroyWindow();
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    if (!m_hWnd)
        return FALSE;
    CDataExchange dx(this, saveAndValidate != FALSE);
    DoDataExchange(&dx);
    return dx.m_failed ? FALSE : TRUE;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        return OnInitDialog();
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return 0;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return 0;
        }
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

LRESULT CDialog::DefWindowProc(UINT, WPARAM, LPARAM)
{
    if (m_current)
        m_current->unhandled = true;
    return 0;
}

INT_PTR CALLBACK CDialog::StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CDialog* dialog = nullptr;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialog*>(lParam);
        if (dialog) {
            dialog->m_hWnd = window;
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(dialog));
            if (!dialog->m_modal)
                AddModelessDialog(window);
        }
    } else {
        dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    }
    if (!dialog)
        return FALSE;
    if (message == WM_NCDESTROY) {
        RemoveModelessDialog(window);
        dialog->Dispatch(message, wParam, lParam);  // the object may be gone after this
        return FALSE;
    }
    bool unhandled = false;
    LRESULT result = dialog->Dispatch(message, wParam, lParam, &unhandled);
    // These answer through the procedure's own result.
    if (message == WM_INITDIALOG || (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC))
        return static_cast<INT_PTR>(result);
    if (unhandled)
        return FALSE;
    SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
    return TRUE;
}
