#include "file_dialog.h"

#include <cstring>

namespace {

// Hooking the dialog keeps the older Explorer-style dialog.
UINT_PTR CALLBACK KeepClassicHook(HWND, UINT, WPARAM, LPARAM) { return 0; }

}  // namespace

CFileDialog::CFileDialog(BOOL bOpenFileDialog, LPCSTR lpszDefExt, LPCSTR lpszFileName,
                         DWORD dwFlags, LPCSTR lpszFilter, CWnd* pParentWnd, DWORD dwSize,
                         BOOL bVistaStyle)
    : m_bOpenFileDialog(bOpenFileDialog) {
  std::memset(&m_ofn, 0, sizeof(m_ofn));
  m_ofn.lStructSize = dwSize != 0 ? dwSize : sizeof(m_ofn);
  m_ofn.hwndOwner = pParentWnd != nullptr ? pParentWnd->m_hWnd : nullptr;
  m_ofn.Flags = dwFlags | OFN_EXPLORER | OFN_ENABLESIZING;
  if (!bVistaStyle) {
    m_ofn.Flags |= OFN_ENABLEHOOK;
    m_ofn.lpfnHook = &KeepClassicHook;
  }
  if (lpszDefExt != nullptr) {
    m_defExt = lpszDefExt;
    m_ofn.lpstrDefExt = m_defExt.c_str();
  }
  if (lpszFileName != nullptr) {
    std::strncpy(m_szFileName, lpszFileName, sizeof(m_szFileName) - 1);
  }
  m_ofn.lpstrFile = m_szFileName;
  m_ofn.nMaxFile = sizeof(m_szFileName);
  if (lpszFilter != nullptr) {
    // "Text|*.txt|All|*.*||" in the framework's form; the system wants zeros.
    m_filter = lpszFilter;
    for (char& c : m_filter) {
      if (c == '|') c = '\0';
    }
    m_filter.push_back('\0');
    m_ofn.lpstrFilter = m_filter.c_str();
  }
}

INT_PTR CFileDialog::DoModal() {
  const BOOL chosen = m_bOpenFileDialog ? ::GetOpenFileNameA(&m_ofn) : ::GetSaveFileNameA(&m_ofn);
  return chosen ? IDOK : IDCANCEL;
}

POSITION CFileDialog::GetStartPosition() const {
  return m_ofn.lpstrFile != nullptr && m_ofn.lpstrFile[0] != '\0' ? m_ofn.lpstrFile : nullptr;
}

std::string CFileDialog::GetNextPathName(POSITION& pos) const {
  if (pos == nullptr) return std::string();
  if ((m_ofn.Flags & OFN_ALLOWMULTISELECT) == 0) {
    std::string path(pos);
    pos = nullptr;
    return path;
  }
  // Several files come as the folder, then each name, each ending in a zero,
  // and an empty text at the end; a single file comes as its full path.
  const char* const buffer = m_ofn.lpstrFile;
  const char* const folder_end = buffer + std::strlen(buffer);
  if (pos == buffer) {
    if (folder_end[1] == '\0') {
      pos = nullptr;
      return std::string(buffer);
    }
    pos = folder_end + 1;
  }
  std::string path(buffer, folder_end);
  if (!path.empty() && path.back() != '\\') path.push_back('\\');
  path.append(pos);
  pos += std::strlen(pos) + 1;
  if (*pos == '\0') pos = nullptr;
  return path;
}
