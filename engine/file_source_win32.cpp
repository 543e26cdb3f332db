// Reading a file on Windows: open, measure, positional reads. The path is
// in the process's code page and opened with the wide call, which also
// takes paths longer than MAX_PATH.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "byte_source.h"
#include "win32_path.h"

namespace quorvex {
namespace {

class Win32FileSource : public ByteSource {
 public:
  explicit Win32FileSource(HANDLE file) : file_(file) {}
  ~Win32FileSource() override { ::CloseHandle(file_); }
  Win32FileSource(const Win32FileSource&) = delete;
  Win32FileSource& operator=(const Win32FileSource&) = delete;

  bool MeasureSize(std::uint64_t& size) override {
    LARGE_INTEGER li;
    if (!::GetFileSizeEx(file_, &li) || li.QuadPart < 0) return false;
    size = static_cast<std::uint64_t>(li.QuadPart);
    return true;
  }

  std::size_t ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) override {
    last_read_failed_ = false;
    std::size_t done = 0;
    while (done < count) {
      const std::uint64_t at = pos + done;
      OVERLAPPED ov{};
      ov.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
      ov.OffsetHigh = static_cast<DWORD>(at >> 32);
      const std::size_t left = count - done;
      const DWORD want = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
      DWORD got = 0;
      if (!::ReadFile(file_, out + done, want, &got, &ov)) {
        // A read from the end on is no error: the file ended early.
        if (::GetLastError() != ERROR_HANDLE_EOF) last_read_failed_ = true;
        break;
      }
      if (got == 0) break;
      done += got;
    }
    return done;
  }

  bool LastReadFailed() const override { return last_read_failed_; }

  std::uint64_t SeekTo(std::uint64_t pos) override {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(pos);
    LARGE_INTEGER now;
    if (!::SetFilePointerEx(file_, to, &now, FILE_BEGIN)) return pos;
    return static_cast<std::uint64_t>(now.QuadPart);
  }

 private:
  HANDLE file_;
  bool last_read_failed_ = false;
};

}  // namespace

std::unique_ptr<ByteSource> OpenFileSource(const std::string& path) {
  // Others may go on writing or deleting the file; it is only ever read.
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return nullptr;
  const HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    ::CloseHandle(file);
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    ::CloseHandle(file);
    return nullptr;
  }
  return std::make_unique<Win32FileSource>(file);
}

}  // namespace quorvex
