#include "dialog.h"

#include "win_app.h"

// clang-format off
BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_WM_INITDIALOG()
  ON_COMMAND(IDOK, &CDialog::OnOK)
  ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()
// clang-format on

INT_PTR CDialog::DoModal() {
  // A dialog without a parent is owned by the application's main window, so
  // that the main window stays disabled while it runs.
  HWND owner = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
  if (owner == nullptr && AfxGetApp() != nullptr && AfxGetApp()->m_pMainWnd != nullptr &&
      AfxGetApp()->m_pMainWnd != this) {
    owner = AfxGetApp()->m_pMainWnd->m_hWnd;
  }
  const INT_PTR result =
      ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), owner,
                        &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  m_hWnd = nullptr;
  return result;
}

BOOL CDialog::OnInitDialog() { return TRUE; }

BOOL CDialog::HandleInitDialog() { return OnInitDialog(); }

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<CDialog*>(lParam);
    dialog->m_hWnd = hWnd;
    ::SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
  }
  auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
  // Messages that come before WM_INITDIALOG (WM_SETFONT) get the default.
  if (dialog == nullptr) return FALSE;

  LRESULT result = 0;
  if (!dialog->OnWndMsg(message, wParam, lParam, result)) return FALSE;
  switch (message) {
    // These messages take their result as the dialog procedure's return value.
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
      return static_cast<INT_PTR>(result);
    default:
      ::SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, result);
      return TRUE;
  }
}
