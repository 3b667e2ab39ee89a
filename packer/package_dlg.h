// CPackageDlg: the dialog in which the user assembles a packed player. The host window keeps one
// by value; its parameters page holds the parameter text that goes into the package.
#pragma once

#include "core/text_string.h"

class CPackageDlg {
public:
    CPackageDlg();
    ~CPackageDlg();

    CPackageDlg(const CPackageDlg&) = delete;
    CPackageDlg& operator=(const CPackageDlg&) = delete;

    // The parameters page's text (name=value words) as it was last loaded or typed.
    CTexto m_parameterText;
};
