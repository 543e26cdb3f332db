#ifndef QUORVEX_ENGINE_CHECK_FILE_H
#define QUORVEX_ENGINE_CHECK_FILE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "byte_source.h"
#include "result_panel.h"
#include "trace.h"

namespace quorvex {

// What one check found, in a form for programs (the console program's JSON).
// The user-facing outcome is what the check writes into the ResultPanel.
enum class CheckStatus {
  kIntact,              // a correct snapshot, or a recording with no failed frame
  kDamaged,             // a snapshot checksum error, or failed frames
  kUnsealed,            // a snapshot without its seal
  kInvalid,             // "It's the invalid file."
  kUnsupportedVersion,  // "Error version video file."
  kUnknownKind,         // no known kind: no verdict
  kUnreadable,          // cannot be opened or measured, or no window buffer
};

struct FailedFrame {
  std::int64_t frame = 0;    // frame number, as listed in the ErrorList
  std::uint64_t offset = 0;  // position of its chunk in the file
};

struct CheckSummary {
  std::uint64_t size = 0;
  std::string kind;  // "avi", "jpg", "png", "bmp" or empty
  CheckStatus status = CheckStatus::kUnreadable;
  std::optional<std::string> verdict;       // the verdict line, with its line feed
  std::optional<std::string> video_format;  // "h264", "mpg4", "mjpg"
  std::optional<std::string> audio_format;  // "G711", "None", ...
  std::int64_t frames_checked = 0;
  std::int64_t frames_failed = 0;
  std::vector<FailedFrame> failed_frames;
  // Where the walk of a recording stopped; empty when no walk took place.
  std::optional<std::uint64_t> walk_end;
};

// Half of a typical 1 MiB second-level cache: the CRC then reads the bytes
// that the read has just copied from that cache. Measured fastest of 64 KiB
// to 4 MiB for a recording in the page cache.
inline constexpr std::size_t kDefaultWindowBytes = std::size_t{512} << 10;

struct CheckOptions {
  TraceSink* trace = nullptr;       // standard output when null
  CheckSummary* summary = nullptr;  // filled when given
  std::size_t window_bytes = kDefaultWindowBytes;
  // Told how far the reading has got, for a progress display.
  std::function<void(std::uint64_t done, std::uint64_t total)> on_progress;
};

// Checks one file: shows its name and path, decides its kind, checks its seal
// or walks its frames, and sets the report into IDC_RESULT. The caller has
// emptied the ErrorList and set the fields' starting texts.
void CheckFile(const std::string& full_path, const std::string& bare_name, ResultPanel& panel,
               ErrorList& errors);
void CheckFile(const std::string& full_path, const std::string& bare_name, ResultPanel& panel,
               ErrorList& errors, const CheckOptions& options);

// The same check over contents that the caller has opened (in memory for
// tests and fuzzing). A null source stands for a file that could not be
// opened.
void CheckContents(ByteSource* source, const std::string& full_path, const std::string& bare_name,
                   ResultPanel& panel, ErrorList& errors, const CheckOptions& options);

}  // namespace quorvex

#endif
