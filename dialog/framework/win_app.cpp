#include "win_app.h"

#include <vector>

namespace {

CWinApp* g_app = nullptr;

std::string ExecutableStem(HINSTANCE instance) {
  std::vector<char> path(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameA(instance, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::string();
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  std::string name(path.begin(), path.end());
  const std::size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

}  // namespace

// clang-format off
BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()
// clang-format on

CWinApp::CWinApp(LPCSTR lpszAppName) {
  if (lpszAppName != nullptr) m_appName = lpszAppName;
  g_app = this;
}

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

int CWinApp::Run() {
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  return ExitInstance();
}

void CWinApp::SetRegistryKey(LPCSTR lpszRegistryKey) {
  m_registryKey = lpszRegistryKey != nullptr ? lpszRegistryKey : "";
  m_pszRegistryKey = m_registryKey.c_str();
  m_pszProfileName = m_pszAppName;
}

void CWinApp::OnHelp() {}

int CWinApp::RunApplication(HINSTANCE hInstance) {
  m_hInstance = hInstance;
  // Without a name of its own, the string AFX_IDS_APP_TITLE would come next;
  // the resources hold none, so the executable's name is the name.
  if (m_appName.empty()) m_appName = ExecutableStem(hInstance);
  m_pszAppName = m_appName.c_str();
  if (!InitInstance()) return ExitInstance();
  return Run();
}

CWinApp* AfxGetApp() { return g_app; }

LPCSTR AfxGetAppName() { return g_app != nullptr ? g_app->m_pszAppName : ""; }

HINSTANCE AfxGetInstanceHandle() {
  return g_app != nullptr && g_app->m_hInstance != nullptr ? g_app->m_hInstance
                                                           : ::GetModuleHandleA(nullptr);
}

HINSTANCE AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

void AfxEnableControlContainer() {}

BOOL AfxLoadString(UINT nID, std::string& text) {
  text.clear();
  // With a zero buffer size the wide call gives the resource's own text and
  // its length, so the 8-bit copy can be sized to fit.
  const wchar_t* resource = nullptr;
  const int wide =
      ::LoadStringW(AfxGetResourceHandle(), nID, reinterpret_cast<LPWSTR>(&resource), 0);
  if (wide <= 0) return FALSE;
  std::vector<char> buffer(static_cast<std::size_t>(wide) * 2 + 1);
  const int n =
      ::LoadStringA(AfxGetResourceHandle(), nID, buffer.data(), static_cast<int>(buffer.size()));
  if (n <= 0) return FALSE;
  text.assign(buffer.data(), static_cast<std::size_t>(n));
  return TRUE;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return -1;
  return app->RunApplication(hInstance);
}
