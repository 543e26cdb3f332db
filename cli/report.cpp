#include "report.h"

#include <nlohmann/json.hpp>

#if defined(_WIN32)
#include <mbstring.h>
#endif

namespace quorvex::cli {

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

const char* StatusName(CheckStatus status) {
  switch (status) {
    case CheckStatus::kIntact:
      return "intact";
    case CheckStatus::kDamaged:
      return "damaged";
    case CheckStatus::kUnsealed:
      return "unsealed";
    case CheckStatus::kInvalid:
      return "invalid";
    case CheckStatus::kUnsupportedVersion:
      return "unsupported_version";
    case CheckStatus::kUnknownKind:
      return "unknown_kind";
    case CheckStatus::kUnreadable:
      break;
  }
  return "unreadable";
}

namespace {

std::string WithoutLineFeed(const std::string& line) {
  return !line.empty() && line.back() == '\n' ? line.substr(0, line.size() - 1) : line;
}

std::string Plural(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
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
    out += "  video " + *s.video_format + ", audio " + s.audio_format.value_or("None") + ", " +
           Plural(s.frames_failed, "failed frame", "failed frames") + " of " +
           Plural(s.frames_checked, "checked", "checked") + "\n";
  }
  if (detail) {
    for (const FailedFrame& f : s.failed_frames) {
      out += "  frame error(frame_num = " + std::to_string(f.frame) + ") at offset " +
             std::to_string(f.offset) + "\n";
    }
  }
  return out;
}

std::string JsonElement(const FileResult& r) {
  using json = nlohmann::ordered_json;
  const CheckSummary& s = r.summary;
  json failed = json::array();
  for (const FailedFrame& f : s.failed_frames)
    failed.push_back({{"frame", f.frame}, {"offset", f.offset}});
  json o = json::object();
  o["path"] = r.path;
  o["name"] = r.name;
  o["size"] = s.size;
  o["kind"] = s.kind;
  o["status"] = StatusName(s.status);
  o["verdict"] = s.verdict.has_value() ? json(WithoutLineFeed(*s.verdict)) : json(nullptr);
  o["video_format"] = s.video_format.has_value() ? json(*s.video_format) : json(nullptr);
  o["audio_format"] = s.audio_format.has_value() ? json(*s.audio_format) : json(nullptr);
  o["frames_checked"] = s.frames_checked;
  o["frames_failed"] = s.frames_failed;
  o["failed_frames"] = failed;
  o["walk_end"] = s.walk_end.has_value() ? json(*s.walk_end) : json(nullptr);
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
  return first ? "[\n" : ",\n";
}

std::string JsonArrayWriter::Close() const { return any_ ? "\n]\n" : "[]\n"; }

std::string JsonReport(const std::vector<FileResult>& results) {
  JsonArrayWriter writer;
  std::string out;
  for (const FileResult& r : results) out += writer.Next() + JsonElement(r);
  return out + writer.Close();
}

}  // namespace quorvex::cli
