// Listing a folder on Windows (ANSI names).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstring>

#include "folder_walk.h"

namespace quorvex::cli {

bool ListFolder(const std::string& path, FolderListing& out) {
  out.Clear();
  WIN32_FIND_DATAA data;
  const HANDLE find = ::FindFirstFileA(JoinPath(path, "*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  for (;;) {
    if (std::strcmp(data.cFileName, ".") != 0 && std::strcmp(data.cFileName, "..") != 0) {
      // A reparse point (a link or a junction) is never followed.
      EntryType type = EntryType::kFile;
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        type = EntryType::kOther;
      } else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        type = EntryType::kFolder;
      }
      out.Add(data.cFileName, type);
    }
    if (!::FindNextFileA(find, &data)) break;
  }
  const bool ok = ::GetLastError() == ERROR_NO_MORE_FILES;
  ::FindClose(find);
  return ok;
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace quorvex::cli
