#include "win32_path.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace quorvex {
namespace {

// Below MAX_PATH with room for a file name in a folder: the 8-bit calls
// take such paths as they are, relative ones and "." or ".." included.
constexpr std::size_t kShortPath = MAX_PATH - 12;

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int n =
      ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

}  // namespace

std::wstring WidePath(const std::string& path) {
  std::wstring wide = Widen(path);
  if (wide.size() < kShortPath || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  // The prefix turns off the system's own clean-up of the path: it must be
  // absolute, with backslashes, without "." or "..".
  const DWORD n = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return wide;
  std::wstring full(n, L'\0');
  const DWORD got = ::GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  if (got == 0 || got >= n) return wide;
  full.resize(got);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::string NarrowName(const wchar_t* name) {
  const int n = ::WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string text(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, name, -1, text.data(), n, nullptr, nullptr);
  text.resize(static_cast<std::size_t>(n - 1));
  return text;
}

}  // namespace quorvex
