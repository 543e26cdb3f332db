// The system's open-file (or save-file) dialog over GetOpenFileNameA.
#ifndef QUORVEX_DIALOG_FRAMEWORK_FILE_DIALOG_H
#define QUORVEX_DIALOG_FRAMEWORK_FILE_DIALOG_H

#include <windows.h>
// After windows.h, which it needs.
#include <commdlg.h>

#include <string>

#include "wnd.h"

// A walk position over the chosen paths; null when none is left.
using POSITION = const char*;

class CFileDialog {
 public:
  // dwSize 0 takes the system's standard record; bVistaStyle asks for the
  // newer system dialog where the system has one.
  CFileDialog(BOOL bOpenFileDialog, LPCSTR lpszDefExt = nullptr, LPCSTR lpszFileName = nullptr,
              DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCSTR lpszFilter = nullptr,
              CWnd* pParentWnd = nullptr, DWORD dwSize = 0, BOOL bVistaStyle = TRUE);
  CFileDialog(const CFileDialog&) = delete;
  CFileDialog& operator=(const CFileDialog&) = delete;
  virtual ~CFileDialog() = default;

  OPENFILENAMEA& GetOFN() { return m_ofn; }
  // IDOK when a file was chosen; IDCANCEL when the user cancelled or the
  // dialog could not be shown.
  virtual INT_PTR DoModal();

  POSITION GetStartPosition() const;
  std::string GetNextPathName(POSITION& pos) const;

 private:
  BOOL m_bOpenFileDialog;
  OPENFILENAMEA m_ofn;
  std::string m_defExt;
  std::string m_filter;
  char m_szFileName[MAX_PATH] = {};
};

#endif
