// CProgressDlg: a modeless progress dialog (dialog resource 471) with a cancel button. The owner
// moves the bar and reads the button.
#pragma once

#include "platform/dialog.h"
#include "platform/progress.h"

constexpr int kProgressDialog = 471;
constexpr int kProgressBarControl = 1120;
constexpr int kProgressTextControl = 1121;

class CProgressDlg : public CDialog {
public:
    CProgressDlg();
    ~CProgressDlg() override;

    CProgressCtrl m_progress;   // control 1120

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
};
