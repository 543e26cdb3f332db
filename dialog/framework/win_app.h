// The one application object and the entry point that drives it.
#ifndef QUORVEX_DIALOG_FRAMEWORK_WIN_APP_H
#define QUORVEX_DIALOG_FRAMEWORK_WIN_APP_H

#include <windows.h>

#include <string>

#include "wnd.h"

// The standard help command.
#define ID_HELP 0xE146

class CWinApp : public CCmdTarget {
 public:
  // The application's name; null takes the name of the executable file
  // without its extension.
  explicit CWinApp(LPCSTR lpszAppName = nullptr);
  ~CWinApp() override;
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Returns FALSE to end the application without a message loop.
  virtual BOOL InitInstance();
  virtual int ExitInstance();
  // Runs the message loop until WM_QUIT; returns its exit code.
  virtual int Run();

  // Names the key under HKEY_CURRENT_USER\Software that settings would be
  // kept under. Nothing is read or written there.
  void SetRegistryKey(LPCSTR lpszRegistryKey);

  // The application's name, set once before InitInstance runs.
  LPCSTR m_pszAppName = nullptr;
  LPCSTR m_pszRegistryKey = nullptr;
  LPCSTR m_pszProfileName = nullptr;
  HINSTANCE m_hInstance = nullptr;
  CWnd* m_pMainWnd = nullptr;

  // Runs the application; called by the entry point.
  int RunApplication(HINSTANCE hInstance);

  // The standard handler of ID_HELP, for an application's message map. There
  // is no help file, so it does nothing.
  void OnHelp();

 private:
  std::string m_appName;
  std::string m_registryKey;

  DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
LPCSTR AfxGetAppName();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();

// The dialogs host no ActiveX controls; this is kept for the start-up order.
void AfxEnableControlContainer();

// Loads a string resource in the thread's 8-bit code page; FALSE, with an
// empty text, when the resource is missing or empty.
BOOL AfxLoadString(UINT nID, std::string& text);

#endif
