// The About box: its template, shown as it stands.
#ifndef QUORVEX_DIALOG_ABOUT_DLG_H
#define QUORVEX_DIALOG_ABOUT_DLG_H

#include "framework/dialog.h"

class CAboutDlg : public CDialog {
 public:
  CAboutDlg();
  ~CAboutDlg() override;

  DECLARE_MESSAGE_MAP()
};

#endif
