#ifndef QUORVEX_ENGINE_CHECK_FILE_H
#define QUORVEX_ENGINE_CHECK_FILE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "byte_source.h"
#include "failed_frames.h"
#include "result_panel.h"
#include "trace.h"

namespace quorvex {

// What one check found, in a form for programs (the console program's JSON).
// The user-facing outcome is what the check writes into the ResultPanel.
enum class CheckStatus {
  kIntact,              // a correct snapshot, or a recording with no failed frame
  kDamaged,             // a snapshot checksum error, or failed frames
  kUnsealed,            // a snapshot without its seal; in the reports also a
                        // recording in which no frame was checked
  kInvalid,             // "It's the invalid file."
  kUnsupportedVersion,  // "Error version video file."
  kUnknownKind,         // no known kind: no verdict
  kUnreadable,          // cannot be opened, measured or read, or out of memory
  kChanged,             // the file changed while it was checked
  // Given by the reports, never by the check: a recording with no failed
  // frame whose walk stopped before its end (the check says kIntact).
  kPartlyChecked,
};

// A rate of `rate` / `scale` frames per second; `scale` is 1 or more.
struct FrameRate {
  std::uint32_t rate = 0;
  std::uint32_t scale = 1;
  friend bool operator==(const FrameRate&, const FrameRate&) = default;
};

// The rate as a number, not always whole (30000/1001 is 29.97002997...).
inline double FramesPerSecond(const FrameRate& r) {
  return static_cast<double>(r.rate) / static_cast<double>(r.scale);
}

struct CheckSummary {
  std::uint64_t size = 0;
  std::string kind;  // "avi", "jpg", "png", "bmp" or empty
  CheckStatus status = CheckStatus::kUnreadable;
  std::optional<std::string> verdict;       // the verdict line, with its line feed
  std::optional<std::string> video_format;  // "h264", "mpg4", "mjpg"
  std::optional<std::string> audio_format;  // "G711", "None", ...
  std::int64_t frames_checked = 0;
  std::int64_t frames_failed = 0;
  FailedFrameList failed_frames;
  // Where the walk of a recording stopped; empty when no walk took place.
  std::optional<std::uint64_t> walk_end;
  // Whether the walk ended where the movie data ends: at the end of the file
  // (no chunk head fits behind it) or at the index (a chunk id beginning with
  // 'i'). False when it stopped at anything else, a refused frame or a read
  // error; empty when no walk took place.
  std::optional<bool> walk_complete;
  // The recording's rate, when its header holds a plausible one (above 0 and
  // at most 1000 frames per second): the rate field over the time scale
  // field, the rate alone when the scale is 0.
  std::optional<FrameRate> frame_rate;
  // The video chunks the walk met up to where it stopped, and how many of
  // them carry no frame that was checked (data shorter than the seal, or a
  // payload of no known start).
  std::uint64_t video_chunks = 0;
  std::uint64_t unchecked_video_chunks = 0;
  // The bytes that a seal covers and the check compared, whether they
  // matched or not.
  std::uint64_t sealed_bytes = 0;
  // Where reading the file failed; the check stopped there.
  std::optional<std::uint64_t> read_error;
  // A snapshot whose seal was found: its checksums.
  std::optional<SealCrcs> snapshot_crcs;
  // The memory the check needed could not be had; the check stopped.
  bool out_of_memory = false;
};

// Half of a typical 1 MiB second-level cache: the CRC then reads the bytes
// that the read has just copied from that cache. Measured fastest of 64 KiB
// to 4 MiB for a recording in the page cache.
inline constexpr std::size_t kDefaultWindowBytes = std::size_t{512} << 10;

struct CheckOptions {
  TraceSink* trace = nullptr;       // standard output when null
  CheckSummary* summary = nullptr;  // filled when given
  std::size_t window_bytes = kDefaultWindowBytes;
  // Told of every byte range [begin, end) that a seal covers and the check
  // compared: a checked frame's payload inside the file, a sealed snapshot's
  // covered bytes. The ranges add up to the summary's sealed_bytes.
  std::function<void(std::uint64_t begin, std::uint64_t end)> on_sealed_range;
};

// Checks one file: shows its name and path, decides its kind, checks its seal
// or walks its frames, and sets the report into IDC_RESULT. The caller has
// emptied the ErrorList and set the fields' starting texts.
void CheckFile(const std::string& full_path, const std::string& bare_name, ResultPanel& panel,
               ErrorList& errors);
void CheckFile(const std::string& full_path, const std::string& bare_name, ResultPanel& panel,
               ErrorList& errors, const CheckOptions& options);

// The same check over contents that the caller has opened (in memory for
// tests and fuzzing, or wrapped to report progress or hash the bytes in
// order). A null source stands for a file that could not be opened.
void CheckContents(ByteSource* source, const std::string& full_path, const std::string& bare_name,
                   ResultPanel& panel, ErrorList& errors, const CheckOptions& options);

}  // namespace quorvex

#endif
