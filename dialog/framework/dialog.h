// A dialog made from a template in the resources and run modally.
#ifndef QUORVEX_DIALOG_FRAMEWORK_DIALOG_H
#define QUORVEX_DIALOG_FRAMEWORK_DIALOG_H

#include "wnd.h"

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr)
      : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

  // Creates the window from the template, runs its modal loop until it is
  // ended, destroys it and returns the end code (-1 when it could not be
  // created).
  virtual INT_PTR DoModal();
  virtual BOOL OnInitDialog();
  void EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }

 protected:
  virtual void OnOK();
  virtual void OnCancel();

 private:
  static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  BOOL HandleInitDialog();

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;

  DECLARE_MESSAGE_MAP()
};

#endif
