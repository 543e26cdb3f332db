// The application object: starts the main dialog and ends with it.
#ifndef QUORVEX_DIALOG_VERIFICATION_TOOL_APP_H
#define QUORVEX_DIALOG_VERIFICATION_TOOL_APP_H

#include "framework/win_app.h"

class CVerificationToolApp : public CWinApp {
 public:
  CVerificationToolApp();
  ~CVerificationToolApp() override;

  BOOL InitInstance() override;

  DECLARE_MESSAGE_MAP()
};

extern CVerificationToolApp theApp;

#endif
