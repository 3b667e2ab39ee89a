// CDialog: a window made from a dialog template of the resources, modal (DoModal) or modeless
// (Create). OnInitDialog fills the controls from the members through DoDataExchange; OK takes
// them back (UpdateData) and ends the dialog.
#pragma once

#include <windows.h>

#include "core/text_string.h"
#include "platform/window.h"

class CDialog;

// One pass of DoDataExchange: from the members into the controls, or back with checks.
class CDataExchange {
public:
    CDataExchange(CDialog* dialog, bool saveAndValidate)
        : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

    CDialog* m_pDlgWnd;
    bool m_bSaveAndValidate;  // true: controls into members
    bool m_failed = false;    // a control held no valid value; the exchange stops there
};

// Edit text <-> text.
void DDX_Text(CDataExchange* dx, int controlId, CTexto& value);
// Edit text <-> signed number; a control without a number fails the exchange.
void DDX_Text(CDataExchange* dx, int controlId, int& value);
// Check box <-> 0 / 1 (2 for the third state).
void DDX_Check(CDataExchange* dx, int controlId, int& value);

class CDialog : public CWnd {
public:
    explicit CDialog(int templateId);
    ~CDialog() override;

    // Runs the dialog modally; answers what EndDialog was given, or -1 when the dialog could
    // not be made.
    INT_PTR DoModal(HWND parent = nullptr);
    // Makes the dialog as a modeless window, hidden unless its template says visible.
    BOOL Create(HWND parent);
    // Ends a modal dialog with the result; destroys a modeless one.
    void EndDialog(INT_PTR result);
    // DoDataExchange in the given direction; FALSE when a control held no valid value.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    HWND GetDlgItem(int controlId) const { return ::GetDlgItem(m_hWnd, controlId); }
    int GetTemplateId() const { return m_templateId; }

    // The dialog procedure of every CDialog.
    static INT_PTR CALLBACK StaticDialogProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam);

protected:
    // The default fills the controls (UpdateData(FALSE)); TRUE lets the system set the focus.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange*) {}
    // The default takes the controls into the members and ends the dialog with IDOK; it stays
    // open when a control holds no valid value.
    virtual void OnOK();
    virtual void OnCancel();

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Marks the message as not handled: the dialog manager does its own handling.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    int m_templateId;
    bool m_modal = false;
};
