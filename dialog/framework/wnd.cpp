#include "wnd.h"

#include "win_app.h"

const MessageMap* CCmdTarget::GetThisMessageMap() {
  static const MessageMap map = {nullptr, nullptr, 0};
  return &map;
}

const MessageMap* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

bool CCmdTarget::DispatchToMaps(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  const UINT code = HIWORD(wParam);
  const UINT id = LOWORD(wParam);
  for (const MessageMap* map = GetMessageMap(); map != nullptr;
       map = map->base != nullptr ? map->base() : nullptr) {
    for (std::size_t i = 0; i < map->count; ++i) {
      const MessageMapEntry& entry = map->entries[i];
      if (entry.message != message) continue;
      if (message == WM_COMMAND && (entry.code != code || entry.id != id)) continue;
      result = entry.call(*this, wParam, lParam);
      return true;
    }
  }
  return false;
}

CWnd* CWnd::GetDlgItem(int nID) {
  const HWND child = ::GetDlgItem(m_hWnd, nID);
  if (child == nullptr) return nullptr;
  std::unique_ptr<CWnd>& wnd = m_children[nID];
  if (!wnd) wnd = std::make_unique<CWnd>(child);
  wnd->m_hWnd = child;
  return wnd.get();
}

CMenu* CWnd::GetSystemMenu(BOOL bRevert) {
  m_sysMenu.m_hMenu = ::GetSystemMenu(m_hWnd, bRevert);
  return m_sysMenu.m_hMenu != nullptr ? &m_sysMenu : nullptr;
}

int CWnd::MessageBox(LPCSTR lpszText, LPCSTR lpszCaption, UINT nType) {
  if (lpszCaption == nullptr) lpszCaption = AfxGetAppName();
  return ::MessageBoxA(m_hWnd, lpszText, lpszCaption, nType);
}

void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }

void CWnd::OnPaint() { Default(); }

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  // Handlers run nested modal loops (message boxes, the file dialog) that
  // dispatch further messages to this window.
  const bool outer = m_defaultRequested;
  m_defaultRequested = false;
  bool handled = DispatchToMaps(message, wParam, lParam, result);
  // Commands that no window map takes go on to the application.
  if (!handled && message == WM_COMMAND && AfxGetApp() != nullptr) {
    handled = AfxGetApp()->DispatchToMaps(message, wParam, lParam, result);
  }
  if (m_defaultRequested) handled = false;
  m_defaultRequested = outer;
  return handled;
}
