// Listing a folder on Windows: the wide calls, which take every name and
// paths longer than MAX_PATH; names in the process's code page (UTF-8 as
// the manifest asks).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstring>
#include <cwchar>

#include "folder_walk.h"
#include "win32_path.h"

namespace quorvex::cli {

bool ListFolder(const std::string& path, FolderListing& out) {
  out.Clear();
  WIN32_FIND_DATAW data;
  const std::wstring pattern = WidePath(JoinPath(path, "*"));
  if (pattern.empty()) return false;
  const HANDLE find = ::FindFirstFileW(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  for (;;) {
    if (std::wcscmp(data.cFileName, L".") != 0 && std::wcscmp(data.cFileName, L"..") != 0) {
      // A reparse point (a link or a junction) is never followed.
      EntryType type = EntryType::kFile;
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        type = EntryType::kOther;
      } else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        type = EntryType::kFolder;
      }
      out.Add(NarrowName(data.cFileName), type);
    }
    if (!::FindNextFileW(find, &data)) break;
  }
  const bool ok = ::GetLastError() == ERROR_NO_MORE_FILES;
  ::FindClose(find);
  return ok;
}

bool IsFolder(const std::string& path) {
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return false;
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace quorvex::cli
