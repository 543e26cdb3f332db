#ifndef QUORVEX_REPORT_REPORT_H
#define QUORVEX_REPORT_REPORT_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check_file.h"
#include "field_panel.h"

namespace quorvex::report {

// A checked file held against a manifest of hashes.
struct ManifestMatch {
  // "unchanged", "changed", "moved", "not_listed", "copy", "missing" or
  // "unreadable".
  std::string state;
  std::optional<std::string> listed_path;    // the entry's path, where it is another
  std::optional<std::string> listed_sha256;  // the entry's hash, lower-case hex
};

// One checked file, as the reports need it.
struct FileResult {
  std::string path;
  std::string name;
  CheckSummary summary;
  FieldPanel panel;
  ErrorList errors;
  bool sha256_wanted = false;
  // The file's SHA-256 in lower-case hex; empty when it could not be read
  // whole.
  std::string sha256;
  // Where the file stands against the manifest of an audit run; empty in
  // other runs.
  std::optional<ManifestMatch> manifest;
};

// The part of `path` behind its last separator.
std::string BareName(const std::string& path);

const char* StatusName(CheckStatus status);

// A file's name as the text reports write it: EscapeName's escaping, so
// that a name cannot start a line or move the cursor.
std::string TerminalName(std::string_view name);

// A time in seconds, to the millisecond: "HH:MM:SS.mmm".
std::string ClockTime(std::uint64_t milliseconds);

// part / whole in tenths of a per cent, rounded down: 1000 only when the
// part is the whole.
std::uint64_t PerMille(std::uint64_t part, std::uint64_t whole);

// When a video chunk is shown, from the start, at the recording's rate:
// chunk * scale / rate seconds, in whole milliseconds rounded down.
std::uint64_t ChunkMilliseconds(std::uint64_t chunk, const FrameRate& rate);
// The same time in seconds.
double ChunkSeconds(std::uint64_t chunk, const FrameRate& rate);

// A CRC-32 as 8 lower-case hex digits.
std::string CrcHex(std::uint32_t crc);

// The report for people: the path and verdict, the formats, failed frames
// and seal coverage of a recording, the hash when asked for, and with
// `detail` the failed frames as runs of consecutive frame numbers in
// consecutive video chunks.
std::string TextReport(const FileResult& result, bool detail);

// Where a JSON text is written, piece by piece.
using JsonOut = std::function<void(std::string_view piece)>;

// The JSON object of one result, as it stands inside the report's array:
// indented one level, without the separator that comes before it.
std::string JsonElement(const FileResult& result);
// The same text, written to `out` in pieces of some KiB as it is made, so
// that a result with millions of failed frames is never held whole.
void WriteJsonElement(const FileResult& result, const JsonOut& out);

// Writes the JSON object of one result in pieces. The constructor takes all
// the memory the writing needs (and throws std::bad_alloc when there is
// none), so that once a piece is out the object is written whole.
class JsonElementWriter {
 public:
  explicit JsonElementWriter(const FileResult& result);
  void WriteTo(const JsonOut& out);

 private:
  void Write(std::string_view text, const JsonOut& out);

  const FileResult& r_;
  std::string text_;  // the object without its failed frames and ErrorList
  std::size_t frames_at_ = 0;
  std::size_t errors_at_ = 0;
  std::string piece_;
  std::string item_;
  std::string escaped_;
  std::string list_piece_;
};

// A manifest entry that was not found, in the text report: one line.
std::string MissingTextLine(const std::string& path);
// The same as an element of the JSON array: the path, status "missing", the
// listed hash in `manifest`, every other key null or 0.
std::string MissingJsonElement(const std::string& path, const std::string& listed_sha256);

// Writes the JSON array one element at a time, so that a result can be
// written as soon as it is ready: the same bytes as the whole array
// formatted at once.
class JsonArrayWriter {
 public:
  // The text that opens the array, written before any element is ready.
  static std::string Open() { return "["; }
  // The text that goes before an element.
  std::string Next();
  // The text that closes the array.
  std::string Close() const;

 private:
  bool any_ = false;
};

// The JSON array of all results, one object per file.
std::string JsonReport(const std::vector<FileResult>& results);

}  // namespace quorvex::report

#endif
