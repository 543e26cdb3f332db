#include "verification_tool_app.h"

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "verification_tool_dlg.h"

// clang-format off
BEGIN_MESSAGE_MAP(CVerificationToolApp, CWinApp)
  ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()
// clang-format on

CVerificationToolApp::CVerificationToolApp() {
  // The trace goes to standard output byte for byte, its "\r\n" and "\n"
  // line ends as they are, not turned into text-mode line ends.
  _setmode(_fileno(stdout), _O_BINARY);
}

CVerificationToolApp::~CVerificationToolApp() = default;

CVerificationToolApp theApp;

BOOL CVerificationToolApp::InitInstance() {
  INITCOMMONCONTROLSEX InitCtrls;
  InitCtrls.dwSize = sizeof(InitCtrls);
  InitCtrls.dwICC = ICC_WIN95_CLASSES;
  InitCommonControlsEx(&InitCtrls);

  CWinApp::InitInstance();

  AfxEnableControlContainer();

  SetRegistryKey("Local AppWizard-Generated Applications");

  CVerificationToolDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;

  // The dialog has closed: end the application rather than start its
  // message loop.
  return FALSE;
}
