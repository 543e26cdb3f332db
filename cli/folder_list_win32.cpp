// The walk's side of the system on Windows, through the wide calls, which
// take every name and paths longer than MAX_PATH (names in the process's
// code page, UTF-8 as the manifest asks). Each folder the walk holds is open
// without delete sharing, so that it cannot be renamed or swapped while it
// is walked, and listed through that handle with each entry's file ID;
// entries are opened by path, confirmed to be the one listed, a reparse
// point (a link or a junction) refused when it is opened, not only when
// listed.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "folder_walk.h"
#include "win32_path.h"

namespace quorvex::cli {
namespace {

HANDLE Handle(const OpenFolder& folder) { return reinterpret_cast<HANDLE>(folder.handle); }

// Opens `path` as a folder; with `own_link` a reparse point itself rather
// than what it leads to.
HANDLE OpenFolderHandle(const std::string& path, bool own_link) {
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
  if (own_link) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return INVALID_HANDLE_VALUE;
  return ::CreateFileW(wide.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags, nullptr);
}

std::uint64_t IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

void Record(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& info, OpenFolder& out) {
  out.handle = reinterpret_cast<std::intptr_t>(handle);
  out.device = info.dwVolumeSerialNumber;
  out.id = IdOf(info);
}

bool IsPlainFolder(const BY_HANDLE_FILE_INFORMATION& info) {
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

}  // namespace

namespace walk_system {

bool OpenRoot(const std::string& path, OpenFolder& out) {
  const HANDLE h = OpenFolderHandle(path, false);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    ::CloseHandle(h);
    return false;
  }
  Record(h, info, out);
  return true;
}

OpenOutcome OpenSubFolder(const OpenFolder&, const std::string& path, std::string_view,
                          std::uint64_t listed_id, OpenFolder& out) {
  const HANDLE h = OpenFolderHandle(path, true);
  if (h == INVALID_HANDLE_VALUE) return OpenOutcome::kFailed;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h, &info)) {
    ::CloseHandle(h);
    return OpenOutcome::kFailed;
  }
  if (!IsPlainFolder(info) || (listed_id != 0 && IdOf(info) != listed_id)) {
    ::CloseHandle(h);
    return OpenOutcome::kChanged;
  }
  Record(h, info, out);
  return OpenOutcome::kOpened;
}

bool OpenParent(const OpenFolder&, const std::string& parent_path, OpenFolder& parent) {
  const HANDLE h = OpenFolderHandle(parent_path, true);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h, &info) || !IsPlainFolder(info) ||
      info.dwVolumeSerialNumber != parent.device || IdOf(info) != parent.id) {
    ::CloseHandle(h);
    return false;
  }
  parent.handle = reinterpret_cast<std::intptr_t>(h);
  return true;
}

// Lists the folder held open, not whatever its path names now, with each
// entry's file ID, so that an entry opened later is known to be the one
// listed.
bool List(const OpenFolder& folder, const std::string&, FolderListing& out) {
  out.Clear();
  // Entries are aligned to 8 bytes; the call fills as many as fit.
  std::vector<std::uint64_t> buffer(8192);
  const DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof buffer[0]);
  FILE_INFO_BY_HANDLE_CLASS what = FileIdBothDirectoryRestartInfo;
  for (;;) {
    if (!::GetFileInformationByHandleEx(Handle(folder), what, buffer.data(), bytes)) {
      return ::GetLastError() == ERROR_NO_MORE_FILES;
    }
    what = FileIdBothDirectoryInfo;
    const auto* at = reinterpret_cast<const std::uint8_t*>(buffer.data());
    const std::uint8_t* const end = at + bytes;
    for (;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
      const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") {
        // A reparse point (a link or a junction) is never followed.
        EntryType type = EntryType::kFile;
        if ((entry->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
          type = EntryType::kOther;
        } else if ((entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
          type = EntryType::kFolder;
        }
        out.Add(NarrowName(name.c_str()), type, static_cast<std::uint64_t>(entry->FileId.QuadPart));
      }
      if (entry->NextEntryOffset == 0 ||
          entry->NextEntryOffset >= static_cast<std::size_t>(end - at))
        break;
      at += entry->NextEntryOffset;
    }
  }
}

OpenOutcome OpenFile(const OpenFolder&, const std::string& path, std::string_view,
                     std::uint64_t listed_id, std::unique_ptr<ByteSource>& out) {
  // Others may go on writing or deleting the file; it is only ever read. A
  // folder opens too (backup semantics), to be found changed rather than
  // unreadable.
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return OpenOutcome::kFailed;
  const HANDLE file = ::CreateFileW(
      wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING,
      FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
      nullptr);
  if (file == INVALID_HANDLE_VALUE) return OpenOutcome::kFailed;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(file, &info)) {
    ::CloseHandle(file);
    return OpenOutcome::kFailed;
  }
  // Where the file system gives no file ID (0 in the listing or here), the
  // type alone is confirmed.
  if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
      (listed_id != 0 && IdOf(info) != 0 && IdOf(info) != listed_id)) {
    ::CloseHandle(file);
    return OpenOutcome::kChanged;
  }
  out = AdoptFileSource(file);
  return out != nullptr ? OpenOutcome::kOpened : OpenOutcome::kFailed;
}

void Close(OpenFolder& folder) {
  if (folder.handle != -1) ::CloseHandle(Handle(folder));
  folder.handle = -1;
}

// Handles are limited by memory only.
void AllowOpenFiles(std::size_t) {}

}  // namespace walk_system

bool IsFolder(const std::string& path) {
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return false;
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace quorvex::cli
