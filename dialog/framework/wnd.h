// One window handle and the Win32 (ANSI) calls made on it; a menu handle; the
// device context of one WM_PAINT.
#ifndef QUORVEX_DIALOG_FRAMEWORK_WND_H
#define QUORVEX_DIALOG_FRAMEWORK_WND_H

#include <windows.h>

#include <map>
#include <memory>

#include "message_map.h"

// Something that has a message map.
class CCmdTarget {
 public:
  virtual ~CCmdTarget() = default;

  // Searches this object's maps, most derived first; true when an entry took
  // the message.
  bool DispatchToMaps(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

 protected:
  static const MessageMap* GetThisMessageMap();
  virtual const MessageMap* GetMessageMap() const;
};

class CMenu {
 public:
  HMENU m_hMenu = nullptr;

  BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCSTR lpszNewItem = nullptr) {
    return ::AppendMenuA(m_hMenu, nFlags, nIDNewItem, lpszNewItem);
  }
};

class CWnd : public CCmdTarget {
 public:
  HWND m_hWnd = nullptr;

  CWnd() = default;
  explicit CWnd(HWND hWnd) : m_hWnd(hWnd) {}
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  // The control with this id. The object is one per id and lives as long as
  // this window object.
  CWnd* GetDlgItem(int nID);
  CMenu* GetSystemMenu(BOOL bRevert);

  void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE) {
    ::MoveWindow(m_hWnd, x, y, nWidth, nHeight, bRepaint);
  }
  void SetWindowText(LPCSTR lpszString) { ::SetWindowTextA(m_hWnd, lpszString); }
  BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
  BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
  }
  HICON SetIcon(HICON hIcon, BOOL bBigIcon) {
    return reinterpret_cast<HICON>(
        SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
  }
  // A message box owned by this window; a null caption stands for the
  // application's name.
  int MessageBox(LPCSTR lpszText, LPCSTR lpszCaption = nullptr, UINT nType = MB_OK);

  // Handlers of the base classes, reached when a derived handler passes a
  // message on.
  void OnSysCommand(UINT nID, LPARAM lParam);
  void OnPaint();

 protected:
  // Asks for the window's default processing of the message being handled.
  void Default() { m_defaultRequested = true; }

  // Dispatches one message through the maps; false when the window's default
  // processing should handle it.
  bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

 private:
  std::map<int, std::unique_ptr<CWnd>> m_children;
  CMenu m_sysMenu;
  bool m_defaultRequested = false;
};

class CPaintDC {
 public:
  explicit CPaintDC(CWnd* pWnd) : m_hWnd(pWnd->m_hWnd) { m_hDC = ::BeginPaint(m_hWnd, &m_ps); }
  ~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;

  HDC GetSafeHdc() const { return m_hDC; }
  BOOL DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }

  PAINTSTRUCT m_ps;

 private:
  HWND m_hWnd;
  HDC m_hDC;
};

#endif
