// The main dialog: the fields that a check reports into, and the buttons.
#ifndef QUORVEX_DIALOG_VERIFICATION_TOOL_DLG_H
#define QUORVEX_DIALOG_VERIFICATION_TOOL_DLG_H

#include <string>

#include "framework/dialog.h"
#include "result_panel.h"

class CVerificationToolDlg : public CDialog, public quorvex::ResultPanel {
 public:
  CVerificationToolDlg();
  ~CVerificationToolDlg() override;

  void SetFieldText(int id, const std::string& text) override;
  void ShowField(int id, bool show) override;
  void EnableDetail(bool enable) override;

 protected:
  BOOL OnInitDialog() override;
  void OnSysCommand(UINT nID, LPARAM lParam);
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnBnClickedOk();
  void OnBnClickedDetail();

  HICON m_hIcon;
  quorvex::ErrorList m_errorList;

  DECLARE_MESSAGE_MAP()
};

#endif
