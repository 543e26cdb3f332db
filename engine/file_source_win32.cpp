// Reading a file on Windows: open, measure, positional reads, and a look at
// the file after the check to see whether it changed meanwhile. The path is
// in the process's code page and opened with the wide call, which also takes
// paths longer than MAX_PATH.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "byte_source.h"
#include "win32_path.h"

namespace quorvex {
namespace {

// What tells one state of a file from another: its volume and file ID, its
// size and when its data and its attributes last changed.
struct FileState {
  DWORD volume = 0;
  ULONGLONG file_id = 0;
  ULONGLONG size = 0;
  LONGLONG modified = 0;
  LONGLONG changed = 0;

  bool operator==(const FileState&) const = default;
};

ULONGLONG Join(DWORD high, DWORD low) { return static_cast<ULONGLONG>(high) << 32 | low; }

bool StateOf(HANDLE file, FileState& state) {
  BY_HANDLE_FILE_INFORMATION info;
  FILE_BASIC_INFO basic;
  if (!::GetFileInformationByHandle(file, &info) ||
      !::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
    return false;
  }
  state.volume = info.dwVolumeSerialNumber;
  state.file_id = Join(info.nFileIndexHigh, info.nFileIndexLow);
  state.size = Join(info.nFileSizeHigh, info.nFileSizeLow);
  state.modified = basic.LastWriteTime.QuadPart;
  state.changed = basic.ChangeTime.QuadPart;
  return true;
}

// Others may go on writing or deleting the file; it is only ever read.
// Others may go on writing or deleting the file; it is only ever read.
HANDLE OpenForReading(const std::string& path) {
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return INVALID_HANDLE_VALUE;
  return ::CreateFileW(wide.c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

class Win32FileSource : public ByteSource {
 public:
  Win32FileSource(HANDLE file, std::string path, const FileState& opened)
      : file_(file), path_(std::move(path)), opened_(opened) {}
  ~Win32FileSource() override { ::CloseHandle(file_); }
  Win32FileSource(const Win32FileSource&) = delete;
  Win32FileSource& operator=(const Win32FileSource&) = delete;

  bool MeasureSize(std::uint64_t& size) override {
    LARGE_INTEGER li;
    if (!::GetFileSizeEx(file_, &li) || li.QuadPart < 0) return false;
    size = static_cast<std::uint64_t>(li.QuadPart);
    return true;
  }

  ReadResult ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) override {
    ReadResult r;
    while (r.count < count) {
      const std::uint64_t at = pos + r.count;
      OVERLAPPED ov{};
      ov.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
      ov.OffsetHigh = static_cast<DWORD>(at >> 32);
      const std::size_t left = count - r.count;
      const DWORD want = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
      DWORD got = 0;
      if (!::ReadFile(file_, out + r.count, want, &got, &ov)) {
        // A read from the end on is no error: the file ended early.
        if (::GetLastError() != ERROR_HANDLE_EOF) r.error_at = at;
        break;
      }
      if (got == 0) break;
      r.count += got;
    }
    return r;
  }

  std::uint64_t SeekTo(std::uint64_t pos) override {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(pos);
    LARGE_INTEGER now;
    if (!::SetFilePointerEx(file_, to, &now, FILE_BEGIN)) return pos;
    return static_cast<std::uint64_t>(now.QuadPart);
  }

  // The open file must be as it was opened, and its path must still name it:
  // a file renamed over it or written to meanwhile is not what was checked.
  bool Unchanged() override {
    FileState now;
    if (!StateOf(file_, now) || !(now == opened_)) return false;
    if (path_.empty()) return true;
    const HANDLE named = OpenForReading(path_);
    if (named == INVALID_HANDLE_VALUE) return false;
    FileState there;
    const bool got = StateOf(named, there);
    ::CloseHandle(named);
    return got && there.volume == opened_.volume && there.file_id == opened_.file_id;
  }

 private:
  HANDLE file_;
  std::string path_;
  FileState opened_;
};

}  // namespace

std::unique_ptr<ByteSource> OpenFileSource(const std::string& path) {
  const HANDLE file = OpenForReading(path);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    ::CloseHandle(file);
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION info;
  FileState opened;
  if (!::GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !StateOf(file, opened)) {
    ::CloseHandle(file);
    return nullptr;
  }
  return std::make_unique<Win32FileSource>(file, path, opened);
}

std::unique_ptr<ByteSource> AdoptFileSource(void* handle) {
  const HANDLE file = static_cast<HANDLE>(handle);
  if (file == nullptr || file == INVALID_HANDLE_VALUE) return nullptr;
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    ::CloseHandle(file);
    return nullptr;
  }
  FileState opened;
  if (!StateOf(file, opened)) {
    ::CloseHandle(file);
    return nullptr;
  }
  // Found through its folder, it has no path of its own to look at again:
  // the open file itself must stay as it was.
  return std::make_unique<Win32FileSource>(file, std::string(), opened);
}

}  // namespace quorvex
