#ifndef QUORVEX_ENGINE_BYTE_SOURCE_H
#define QUORVEX_ENGINE_BYTE_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvex {

// What one read delivered: the count of bytes, and, when a read error (a bad
// sector, a device gone) stopped it, the position of the byte that could not
// be read. Fewer bytes than asked without an error means the data ended.
struct ReadResult {
  std::size_t count = 0;
  std::optional<std::uint64_t> error_at;
};

// The contents of the file being checked, read by position. A check measures
// the size once and then reads ranges of it through a bounded window; it never
// holds the whole file.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // The size in bytes; false when it cannot be measured.
  virtual bool MeasureSize(std::uint64_t& size) = 0;
  // Reads up to `count` bytes at `pos` into `out`. A read of no bytes at
  // `pos` is allowed: it delivers nothing.
  virtual ReadResult ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) = 0;
  // Sets the position of the open file, counted from its start, and returns
  // the position read back.
  virtual std::uint64_t SeekTo(std::uint64_t pos) = 0;
  // Advice that the data will be read once, front to back.
  virtual void AdviseSequential() {}
  // Whether the file is still the one that was opened, as it was when it was
  // opened: the same size, modification and change time, and the path still
  // naming the same file. Asked once, after the check has read all it reads.
  virtual bool Unchanged() { return true; }
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
  ReadResult ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) override;
  std::uint64_t SeekTo(std::uint64_t pos) override;
  bool Unchanged() override { return !changed_; }

  // A read that reaches byte `pos` delivers the bytes in front of it and then
  // fails there; reads that start behind it succeed.
  void set_unreadable_at(std::uint64_t pos) { unreadable_at_ = pos; }
  void set_claimed_size(std::uint64_t size) {
    claimed_size_ = size;
    has_claimed_size_ = true;
  }
  void set_max_read(std::size_t max_read) { max_read_ = max_read; }
  void set_measure_fails(bool fails) { measure_fails_ = fails; }
  // What Unchanged answers: false as if the file had been written to.
  void set_changed(bool changed) { changed_ = changed; }

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
  bool changed_ = false;
  std::size_t max_read_ = SIZE_MAX;
  std::optional<std::uint64_t> unreadable_at_;
  std::uint64_t position_ = 0;
  std::uint64_t read_calls_ = 0;
  std::uint64_t bytes_requested_ = 0;
};

// A source that passes everything on to another, owned by the caller.
class SourceWrapper : public ByteSource {
 public:
  explicit SourceWrapper(ByteSource& inner) : inner_(inner) {}
  bool MeasureSize(std::uint64_t& size) override { return inner_.MeasureSize(size); }
  ReadResult ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) override {
    return inner_.ReadAt(pos, out, count);
  }
  std::uint64_t SeekTo(std::uint64_t pos) override { return inner_.SeekTo(pos); }
  void AdviseSequential() override { inner_.AdviseSequential(); }
  bool Unchanged() override { return inner_.Unchanged(); }

 protected:
  ByteSource& inner_;
};

// Tells `on_progress` how far the reads have got: the end of each read, and
// the measured size.
class ProgressSource : public SourceWrapper {
 public:
  using Hook = std::function<void(std::uint64_t done, std::uint64_t total)>;
  ProgressSource(ByteSource& inner, Hook on_progress)
      : SourceWrapper(inner), on_progress_(std::move(on_progress)) {}
  bool MeasureSize(std::uint64_t& size) override;
  ReadResult ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) override;

 private:
  Hook on_progress_;
  std::uint64_t size_ = 0;
};

// Gives `on_bytes` every byte of the measured size once and in order (for a
// hash of the file). A read at `pos` first reads, into a buffer of its own,
// whatever in front of `pos` has not been given yet, so the stretches that a
// check skips are read too; a read of no bytes at the end of the file reads
// all that is left. A read error in front of `pos` fails the read there.
class InOrderSource : public SourceWrapper {
 public:
  using Hook = std::function<void(const std::uint8_t* data, std::size_t size)>;
  InOrderSource(ByteSource& inner, Hook on_bytes)
      : SourceWrapper(inner), on_bytes_(std::move(on_bytes)) {}
  ReadResult ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) override;
  // The bytes that went to on_bytes: everything in front of this.
  std::uint64_t fed() const { return fed_; }

 private:
  Hook on_bytes_;
  std::uint64_t fed_ = 0;
  std::unique_ptr<std::uint8_t[]> gap_;
};

// Opens a regular file for reading, never for writing, without moving its
// access time where the system allows it. Returns null when the file cannot
// be opened or is not a regular file. Defined once per platform.
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
