#include "report.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>

#if defined(_WIN32)
#include <mbstring.h>
#endif

#include "status.h"

namespace quorvex::report {

std::string BareName(const std::string& path) {
#if defined(_WIN32)
  // In a double-byte code page a 0x5C byte may be the second half of a
  // character, not a separator: search character by character.
  const auto* text = reinterpret_cast<const unsigned char*>(path.c_str());
  const unsigned char* back = _mbsrchr(text, '\\');
  const unsigned char* slash = _mbsrchr(text, '/');
  const unsigned char* sep = back == nullptr || (slash != nullptr && slash > back) ? slash : back;
  return sep == nullptr ? path : path.substr(static_cast<std::size_t>(sep - text) + 1);
#else
  const std::size_t sep = path.find_last_of('/');
  return sep == std::string::npos ? path : path.substr(sep + 1);
#endif
}

const char* StatusName(CheckStatus status) { return InfoOf(status).json_name; }

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

// When a video chunk is shown, from the start, at the recording's rate.
std::uint64_t ChunkMilliseconds(std::uint64_t chunk, std::uint32_t rate) {
  return chunk / rate * 1000 + chunk % rate * 1000 / rate;
}

// "  frames 120-135 at 00:00:04.800-00:00:05.400, chunks at 123456-234567"
// for a run of consecutive frame numbers, "  frame 7 at 00:00:00.240, chunk
// at 123456" for one; without a frame rate the times are left out.
std::string FrameRunLine(const FailedFrame& first, const FailedFrame& last,
                         std::optional<std::uint32_t> rate) {
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
  const std::vector<FailedFrame>& f = s.failed_frames;
  for (std::size_t begin = 0; begin < f.size();) {
    std::size_t end = begin + 1;
    while (end < f.size() && f[end].frame == f[end - 1].frame + 1) ++end;
    out += FrameRunLine(f[begin], f[end - 1], s.frame_rate);
    begin = end;
  }
  return out;
}

std::string CrcHex(std::uint32_t crc) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(crc));
  return text;
}

json CrcOrNull(const std::optional<std::uint32_t>& crc) {
  return crc.has_value() ? json(CrcHex(*crc)) : json(nullptr);
}

template <typename T>
json OrNull(const std::optional<T>& value) {
  return value.has_value() ? json(*value) : json(nullptr);
}

}  // namespace

std::string TextReport(const FileResult& r, bool detail) {
  const CheckSummary& s = r.summary;
  std::string out = r.path + ": ";
  if (s.verdict.has_value()) {
    out += WithoutLineFeed(*s.verdict);
  } else if (s.status == CheckStatus::kUnknownKind) {
    out += "not a snapshot or recording of a known kind";
  } else {
    out += "cannot be checked: no memory for the read buffer";
  }
  out += "\n";
  if (s.video_format.has_value()) {
    const std::uint64_t per_mille = PerMille(s.sealed_bytes, s.size);
    out += "  video " + *s.video_format + ", audio " + s.audio_format.value_or("None") + ", " +
           Plural(s.frames_failed, "failed frame", "failed frames") + " of " +
           Plural(s.frames_checked, "checked", "checked") + "; seals cover " +
           std::to_string(per_mille / 10) + "." + std::to_string(per_mille % 10) +
           "% of the file\n";
  }
  if (!r.sha256.empty()) out += "  sha256 " + r.sha256 + "\n";
  if (detail) out += FrameRuns(s);
  return out;
}

std::string JsonElement(const FileResult& r) {
  const CheckSummary& s = r.summary;
  json failed = json::array();
  for (const FailedFrame& f : s.failed_frames) {
    const json time = s.frame_rate.has_value() ? json(static_cast<double>(f.chunk) / *s.frame_rate)
                                               : json(nullptr);
    failed.push_back({{"frame", f.frame},
                      {"offset", f.offset},
                      {"chunk", f.chunk},
                      {"time", time},
                      {"stored_crc", CrcHex(f.crcs.stored)},
                      {"computed_crc", CrcOrNull(f.crcs.computed)}});
  }
  json o = json::object();
  o["path"] = r.path;
  o["name"] = r.name;
  o["size"] = s.size;
  o["kind"] = s.kind;
  o["status"] = StatusName(s.status);
  o["verdict"] = s.verdict.has_value() ? json(WithoutLineFeed(*s.verdict)) : json(nullptr);
  o["video_format"] = OrNull(s.video_format);
  o["audio_format"] = OrNull(s.audio_format);
  o["frames_checked"] = s.frames_checked;
  o["frames_failed"] = s.frames_failed;
  o["failed_frames"] = failed;
  o["walk_end"] = OrNull(s.walk_end);
  o["frame_rate"] = OrNull(s.frame_rate);
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
  o["fields"] = {
      {"IDC_NAME", r.panel.text(IDC_NAME)},
      {"IDC_PATH", r.panel.text(IDC_PATH)},
      {"IDC_VIDEO_FORMAT", r.panel.text(IDC_VIDEO_FORMAT)},
      {"IDC_AUDIO_FORMAT", r.panel.text(IDC_AUDIO_FORMAT)},
      {"IDC_PROGRESS", r.panel.text(IDC_PROGRESS)},
      {"IDC_RESULT", r.panel.text(IDC_RESULT)},
      {"detail_enabled", r.panel.detail_enabled()},
      {"error_list", r.errors.text},
  };
  // Paths and texts are 8-bit; bytes that are not UTF-8 become U+FFFD.
  const std::string text = o.dump(2, ' ', false, json::error_handler_t::replace);
  // One level deeper, as inside the array. A line feed inside a JSON text
  // is always escaped, so every raw one starts a line.
  std::string element = "  ";
  for (const char c : text) {
    element += c;
    if (c == '\n') element += "  ";
  }
  return element;
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
