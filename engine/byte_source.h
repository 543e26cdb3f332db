#ifndef QUORVEX_ENGINE_BYTE_SOURCE_H
#define QUORVEX_ENGINE_BYTE_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvex {

// The contents of the file being checked, read by position. A check measures
// the size once and then reads ranges of it through a bounded window; it never
// holds the whole file.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // The size in bytes; false when it cannot be measured.
  virtual bool MeasureSize(std::uint64_t& size) = 0;
  // Reads up to `count` bytes at `pos` into `out` and returns how many were
  // delivered; fewer (down to none) at the end of the data or on an error.
  virtual std::size_t ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) = 0;
  // Whether the last ReadAt stopped at a read error (a bad sector, a device
  // gone) rather than at the end of the data. The bytes it delivered are
  // those in front of the one it could not read.
  virtual bool LastReadFailed() const { return false; }
  // Sets the position of the open file, counted from its start, and returns
  // the position read back.
  virtual std::uint64_t SeekTo(std::uint64_t pos) = 0;
  // Advice that the data will be read once, front to back.
  virtual void AdviseSequential() {}
};

// Contents held in memory, for tests and fuzzing. It can claim another size
// than the bytes it holds (a file that grew or shrank after it was measured),
// deliver at most `max_read` bytes per read and fail to read one byte as a
// bad sector would, and it counts what it was asked for.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::vector<std::uint8_t> bytes);
  MemorySource(const std::uint8_t* data, std::size_t size);

  bool MeasureSize(std::uint64_t& size) override;
  std::size_t ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) override;
  bool LastReadFailed() const override { return last_read_failed_; }
  std::uint64_t SeekTo(std::uint64_t pos) override;

  // A read that reaches byte `pos` delivers the bytes in front of it and then
  // fails there; reads that start behind it succeed.
  void set_unreadable_at(std::uint64_t pos) { unreadable_at_ = pos; }
  void set_claimed_size(std::uint64_t size) {
    claimed_size_ = size;
    has_claimed_size_ = true;
  }
  void set_max_read(std::size_t max_read) { max_read_ = max_read; }
  void set_measure_fails(bool fails) { measure_fails_ = fails; }

  std::uint64_t read_calls() const { return read_calls_; }
  std::uint64_t bytes_requested() const { return bytes_requested_; }
  std::uint64_t position() const { return position_; }

 private:
  std::vector<std::uint8_t> owned_;
  const std::uint8_t* data_;
  std::size_t size_;
  std::uint64_t claimed_size_ = 0;
  bool has_claimed_size_ = false;
  bool measure_fails_ = false;
  std::size_t max_read_ = SIZE_MAX;
  std::optional<std::uint64_t> unreadable_at_;
  bool last_read_failed_ = false;
  std::uint64_t position_ = 0;
  std::uint64_t read_calls_ = 0;
  std::uint64_t bytes_requested_ = 0;
};

// Opens a regular file for reading, never for writing. Returns null when the
// file cannot be opened or is not a regular file. Defined once per platform.
std::unique_ptr<ByteSource> OpenFileSource(const std::string& path);

// Takes over a file the caller has opened for reading (a descriptor on POSIX,
// a HANDLE on Windows), so that what is checked is what the caller opened and
// confirmed, not whatever a path names later. Returns null, the file closed,
// when it is not a regular file.
#if defined(_WIN32)
std::unique_ptr<ByteSource> AdoptFileSource(void* handle);
#else
std::unique_ptr<ByteSource> AdoptFileSource(int fd);
#endif

}  // namespace quorvex

#endif
