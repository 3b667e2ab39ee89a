#include "packer/package_dlg.h"

CPackageDlg::CPackageDlg() = default;

CPackageDlg::~CPackageDlg() = default;
