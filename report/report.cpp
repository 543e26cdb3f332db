#include "report.h"

#include <charconv>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>

#include "escape.h"
#include "status.h"

namespace quorvex::report {

std::string BareName(const std::string& path) {
#if defined(_WIN32)
  // The code page is UTF-8, whose characters never hold a 0x5C or 0x2F byte
  // inside them: a plain search finds the separators.
  const std::size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? path : path.substr(sep + 1);
#else
  const std::size_t sep = path.find_last_of('/');
  return sep == std::string::npos ? path : path.substr(sep + 1);
#endif
}

const char* StatusName(CheckStatus status) { return InfoOf(status).json_name; }

std::string TerminalName(std::string_view name) { return EscapeName(name); }

// part / whole in tenths of a per cent, rounded down: 1000 only when the
// part is the whole.
std::uint64_t PerMille(std::uint64_t part, std::uint64_t whole) {
  if (whole == 0) return 0;
#if defined(__SIZEOF_INT128__)
  __extension__ typedef unsigned __int128 Wide;
  return static_cast<std::uint64_t>(static_cast<Wide>(part) * 1000u / whole);
#else
  return static_cast<std::uint64_t>(static_cast<long double>(part) * 1000 / whole);
#endif
}

// When a video chunk is shown, from the start, at the recording's rate:
// chunk * scale / rate seconds, in whole milliseconds rounded down.
std::uint64_t ChunkMilliseconds(std::uint64_t chunk, const FrameRate& r) {
#if defined(__SIZEOF_INT128__)
  __extension__ typedef unsigned __int128 Wide;
  return static_cast<std::uint64_t>(static_cast<Wide>(chunk) * r.scale * 1000u / r.rate);
#else
  return static_cast<std::uint64_t>(static_cast<long double>(chunk) * r.scale * 1000 / r.rate);
#endif
}

// The same time in seconds, for JSON.
double ChunkSeconds(std::uint64_t chunk, const FrameRate& r) {
  return static_cast<double>(chunk) * static_cast<double>(r.scale) / static_cast<double>(r.rate);
}

std::string CrcHex(std::uint32_t crc) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(crc));
  return text;
}

std::string ClockTime(std::uint64_t milliseconds) {
  const std::uint64_t seconds = milliseconds / 1000;
  char text[48];
  std::snprintf(text, sizeof text, "%02llu:%02llu:%02llu.%03llu",
                static_cast<unsigned long long>(seconds / 3600),
                static_cast<unsigned long long>(seconds / 60 % 60),
                static_cast<unsigned long long>(seconds % 60),
                static_cast<unsigned long long>(milliseconds % 1000));
  return text;
}

namespace {

using json = nlohmann::ordered_json;

std::string WithoutLineFeed(const std::string& line) {
  return !line.empty() && line.back() == '\n' ? line.substr(0, line.size() - 1) : line;
}

std::string Plural(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "  frames 120-135 at 00:00:04.800-00:00:05.400, chunks at 123456-234567"
// for a run of failed frames, "  frame 7 at 00:00:00.240, chunk
// at 123456" for one; without a frame rate the times are left out.
std::string FrameRunLine(const FailedFrame& first, const FailedFrame& last,
                         const std::optional<FrameRate>& rate) {
  const bool one = first.frame == last.frame;
  std::string line =
      one ? "  frame " + std::to_string(first.frame)
          : "  frames " + std::to_string(first.frame) + "-" + std::to_string(last.frame);
  if (rate.has_value()) {
    line += " at " + ClockTime(ChunkMilliseconds(first.chunk, *rate));
    if (!one) line += "-" + ClockTime(ChunkMilliseconds(last.chunk, *rate));
  }
  line += one ? ", chunk at " + std::to_string(first.offset)
              : ", chunks at " + std::to_string(first.offset) + "-" + std::to_string(last.offset);
  return line + "\n";
}

std::string FrameRuns(const CheckSummary& s) {
  std::string out;
  auto it = s.failed_frames.begin();
  const auto end = s.failed_frames.end();
  while (it != end) {
    const FailedFrame first = *it;
    FailedFrame last = first;
    // A run has no video chunk between its frames, checked or not.
    for (++it; it != end && (*it).frame == last.frame + 1 && (*it).chunk == last.chunk + 1; ++it) {
      last = *it;
    }
    out += FrameRunLine(first, last, s.frame_rate);
  }
  return out;
}

json CrcOrNull(const std::optional<std::uint32_t>& crc) {
  return crc.has_value() ? json(CrcHex(*crc)) : json(nullptr);
}

// A whole rate stays a whole number, as it was written before rates had a
// scale.
json FrameRateJson(const std::optional<FrameRate>& r) {
  if (!r.has_value()) return nullptr;
  if (r->rate % r->scale == 0) return r->rate / r->scale;
  return FramesPerSecond(*r);
}

// "  manifest: ..." for a result of an audit run.
std::string ManifestLine(const ManifestMatch& m) {
  std::string line = "  manifest: ";
  if (m.state == "changed") {
    line += "changed, listed SHA-256 " + m.listed_sha256.value_or("");
  } else if (m.state == "moved") {
    line += "moved from " + TerminalName(m.listed_path.value_or(""));
  } else if (m.state == "not_listed") {
    line += "not listed";
  } else if (m.state == "copy") {
    line += "a copy of " + TerminalName(m.listed_path.value_or(""));
  } else {
    line += m.state;
  }
  return line + "\n";
}

// Paths and texts are 8-bit; bytes that are not UTF-8 become U+FFFD. The
// object one level deeper, as inside the array. A line feed inside a JSON
// text is always escaped, so every raw one starts a line.
std::string IndentedElement(const json& o) {
  const std::string text = o.dump(2, ' ', false, json::error_handler_t::replace);
  std::string element = "  ";
  for (const char c : text) {
    element += c;
    if (c == '\n') element += "  ";
  }
  return element;
}

template <typename T>
json OrNull(const std::optional<T>& value) {
  return value.has_value() ? json(*value) : json(nullptr);
}

}  // namespace

std::string TextReport(const FileResult& r, bool detail) {
  const CheckSummary& s = r.summary;
  // A name that is not plain is escaped and marks its line with a leading
  // backslash, so that no name can forge a line or reach the terminal.
  std::string out = EscapeName(r.path) + ": ";
  if (s.verdict.has_value()) {
    out += WithoutLineFeed(*s.verdict);
  } else if (s.status == CheckStatus::kUnknownKind) {
    out += "not a snapshot or recording of a known kind";
  } else {
    out += "cannot be checked: out of memory";
  }
  out += "\n";
  if (s.video_format.has_value()) {
    const std::uint64_t per_mille = PerMille(s.sealed_bytes, s.size);
    out += "  video " + *s.video_format + ", audio " + s.audio_format.value_or("None") + ", " +
           Plural(s.frames_failed, "failed frame", "failed frames") + " of " +
           Plural(s.frames_checked, "checked", "checked") + "; seals cover " +
           std::to_string(per_mille / 10) + "." + std::to_string(per_mille % 10) + "% of the file";
    // Nothing behind this point was looked at; a read error says so itself.
    if (s.walk_complete == false && s.walk_end.has_value() && !s.read_error.has_value()) {
      out += "; the check stopped at byte " + std::to_string(*s.walk_end) + " of " +
             std::to_string(s.size);
    }
    out += "\n";
  }
  if (!r.sha256.empty()) out += "  sha256 " + r.sha256 + "\n";
  if (detail) out += FrameRuns(s);
  if (r.manifest.has_value()) out += ManifestLine(*r.manifest);
  return out;
}

namespace {

// Output gathered into pieces of about this size before it is written.
constexpr std::size_t kJsonPieceBytes = 16384;

// A frame's time as the rest of the JSON writes a number with a fraction:
// the shortest digits that read back as the same value, and ".0" for a
// whole number. Times are never so small or large that they would take an
// exponent.
std::string_view TimeText(double seconds, char (&text)[64]) {
  const auto [end, ec] = std::to_chars(text, text + 60, seconds, std::chars_format::fixed);
  char* last = ec == std::errc() ? end : text;
  if (std::string_view(text, static_cast<std::size_t>(last - text)).find('.') ==
      std::string_view::npos) {
    *last++ = '.';
    *last++ = '0';
  }
  return std::string_view(text, static_cast<std::size_t>(last - text));
}

void AppendNumber(std::string& out, std::uint64_t n) {
  char text[24];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, n);
  out.append(text, end);
}

}  // namespace

JsonElementWriter::JsonElementWriter(const FileResult& r) : r_(r) {
  const CheckSummary& s = r.summary;
  json o = json::object();
  o["path"] = r.path;
  // A path that is not UTF-8 loses bytes in the string above; its bytes in
  // base64 name exactly the file that was checked.
  if (!IsValidUtf8(r.path)) o["path_bytes"] = Base64(r.path);
  o["name"] = r.name;
  o["size"] = s.size;
  o["kind"] = s.kind;
  o["status"] = InfoOf(s).json_name;
  o["verdict"] = s.verdict.has_value() ? json(WithoutLineFeed(*s.verdict)) : json(nullptr);
  o["video_format"] = OrNull(s.video_format);
  o["audio_format"] = OrNull(s.audio_format);
  o["frames_checked"] = s.frames_checked;
  o["frames_failed"] = s.frames_failed;
  // The failed frames and the ErrorList can hold millions of lines: they are
  // written into their places as the object is written, never held whole.
  o["failed_frames"] = json::array();
  o["walk_end"] = OrNull(s.walk_end);
  o["walk_complete"] = OrNull(s.walk_complete);
  o["frame_rate"] = FrameRateJson(s.frame_rate);
  o["video_chunks"] = s.video_chunks;
  o["unchecked_video_chunks"] = s.unchecked_video_chunks;
  o["sealed_bytes"] = s.sealed_bytes;
  o["coverage"] =
      s.size == 0 ? 0.0 : static_cast<double>(s.sealed_bytes) / static_cast<double>(s.size);
  o["read_error"] = OrNull(s.read_error);
  const std::optional<SealCrcs>& crcs = s.snapshot_crcs;
  o["stored_crc"] = crcs.has_value() ? json(CrcHex(crcs->stored)) : json(nullptr);
  o["computed_crc"] = crcs.has_value() ? CrcOrNull(crcs->computed) : json(nullptr);
  if (r.sha256_wanted) o["sha256"] = r.sha256.empty() ? json(nullptr) : json(r.sha256);
  if (r.manifest.has_value()) {
    o["manifest"] = {{"state", r.manifest->state},
                     {"listed_path", OrNull(r.manifest->listed_path)},
                     {"listed_sha256", OrNull(r.manifest->listed_sha256)}};
  }
  o["fields"] = {
      {"IDC_NAME", r.panel.text(IDC_NAME)},
      {"IDC_PATH", r.panel.text(IDC_PATH)},
      {"IDC_VIDEO_FORMAT", r.panel.text(IDC_VIDEO_FORMAT)},
      {"IDC_AUDIO_FORMAT", r.panel.text(IDC_AUDIO_FORMAT)},
      {"IDC_PROGRESS", r.panel.text(IDC_PROGRESS)},
      {"IDC_RESULT", r.panel.text(IDC_RESULT)},
      {"detail_enabled", r.panel.detail_enabled()},
      {"error_list", ""},
  };
  // Paths and texts are 8-bit; bytes that are not UTF-8 become U+FFFD (the
  // path's own bytes are in path_bytes).
  text_ = o.dump(2, ' ', false, json::error_handler_t::replace);
  // A string's quotes inside the text are escaped, so these keys are found
  // only where they stand as keys.
  constexpr std::string_view kFrames = "\"failed_frames\": [";
  constexpr std::string_view kErrors = "\"error_list\": \"";
  frames_at_ = text_.find(kFrames) + kFrames.size();
  errors_at_ = text_.find(kErrors, frames_at_) + kErrors.size();
  // All the memory the writing needs, taken before anything is written.
  piece_.reserve(2 * kJsonPieceBytes + 2 * text_.size());
  item_.reserve(256);
  escaped_.reserve(2 * ErrorList::kPieceBytes + 128);
  list_piece_.reserve(ErrorList::kPieceBytes + 64);
}

void JsonElementWriter::Write(std::string_view text, const JsonOut& out) {
  // One level deeper, as inside the array. A line feed inside a JSON text
  // is always escaped, so every raw one starts a line.
  for (const char c : text) {
    piece_ += c;
    if (c == '\n') piece_ += "  ";
  }
  if (piece_.size() >= kJsonPieceBytes) {
    out(piece_);
    piece_.clear();
  }
}

void JsonElementWriter::WriteTo(const JsonOut& out) {
  const CheckSummary& s = r_.summary;
  const std::string_view all(text_);
  piece_.clear();
  Write("  ", out);
  Write(all.substr(0, frames_at_), out);
  // The members of the `failed_frames` array, formatted as the rest of the
  // object is: two spaces a level.
  bool first = true;
  char time[64];
  for (const FailedFrame f : s.failed_frames) {
    item_ = first ? "\n    {\n      \"frame\": " : ",\n    {\n      \"frame\": ";
    if (f.frame < 0) {
      item_ += '-';
      AppendNumber(item_, 0 - static_cast<std::uint64_t>(f.frame));
    } else {
      AppendNumber(item_, static_cast<std::uint64_t>(f.frame));
    }
    item_ += ",\n      \"offset\": ";
    AppendNumber(item_, f.offset);
    item_ += ",\n      \"chunk\": ";
    AppendNumber(item_, f.chunk);
    item_ += ",\n      \"time\": ";
    if (s.frame_rate.has_value()) {
      item_ += TimeText(ChunkSeconds(f.chunk, *s.frame_rate), time);
    } else {
      item_ += "null";
    }
    item_ += ",\n      \"stored_crc\": \"";
    item_ += CrcHex(f.crcs.stored);
    item_ += "\",\n      \"computed_crc\": ";
    if (f.crcs.computed.has_value()) {
      item_ += '"';
      item_ += CrcHex(*f.crcs.computed);
      item_ += '"';
    } else {
      item_ += "null";
    }
    item_ += "\n    }";
    Write(item_, out);
    first = false;
  }
  if (!first) Write("\n  ", out);
  Write(all.substr(frames_at_, errors_at_ - frames_at_), out);
  // The ErrorList's text as the inside of a JSON string: only its line
  // feeds need escaping.
  r_.errors.WriteText(list_piece_, [&](std::string_view piece) {
    escaped_.clear();
    for (const char c : piece) {
      if (c == '\n') {
        escaped_ += "\\n";
      } else {
        escaped_ += c;
      }
    }
    Write(escaped_, out);
  });
  Write(all.substr(errors_at_), out);
  if (!piece_.empty()) out(piece_);
  piece_.clear();
}

void WriteJsonElement(const FileResult& r, const JsonOut& out) {
  JsonElementWriter(r).WriteTo(out);
}

std::string JsonElement(const FileResult& r) {
  std::string element;
  WriteJsonElement(r, [&element](std::string_view piece) { element.append(piece); });
  return element;
}

std::string MissingTextLine(const std::string& path) {
  return TerminalName(path) + ": listed in the manifest, not found\n";
}

std::string MissingJsonElement(const std::string& path, const std::string& listed_sha256) {
  json o = json::object();
  o["path"] = path;
  if (!IsValidUtf8(path)) o["path_bytes"] = Base64(path);
  o["name"] = nullptr;
  o["size"] = 0;
  o["kind"] = nullptr;
  o["status"] = "missing";
  for (const char* key : {"verdict", "video_format", "audio_format"}) o[key] = nullptr;
  o["frames_checked"] = 0;
  o["frames_failed"] = 0;
  o["failed_frames"] = nullptr;
  o["walk_end"] = nullptr;
  o["walk_complete"] = nullptr;
  o["frame_rate"] = nullptr;
  o["video_chunks"] = 0;
  o["unchecked_video_chunks"] = 0;
  o["sealed_bytes"] = 0;
  o["coverage"] = 0;
  o["read_error"] = nullptr;
  o["stored_crc"] = nullptr;
  o["computed_crc"] = nullptr;
  o["sha256"] = nullptr;
  o["manifest"] = {
      {"state", "missing"}, {"listed_path", nullptr}, {"listed_sha256", listed_sha256}};
  o["fields"] = nullptr;
  return IndentedElement(o);
}

std::string JsonArrayWriter::Next() {
  const bool first = !any_;
  any_ = true;
  return first ? "\n" : ",\n";
}

std::string JsonArrayWriter::Close() const { return any_ ? "\n]\n" : "]\n"; }

std::string JsonReport(const std::vector<FileResult>& results) {
  JsonArrayWriter writer;
  std::string out = JsonArrayWriter::Open();
  for (const FileResult& r : results) out += writer.Next() + JsonElement(r);
  return out + writer.Close();
}

}  // namespace quorvex::report
