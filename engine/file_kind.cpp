#include "file_kind.h"

#include <string_view>

namespace quorvex {
namespace {

constexpr std::string_view kRiffFound = "read RIFF sucess\r\n";
constexpr std::string_view kPictureFound = "read picture sucess\n";
constexpr std::string_view kNoKind = "read RIFF or picture error\r\n";

// A test whose bytes lie past the end of the file does not hold.
std::string KindOf(ReadWindow& contents) {
  if (BytesEqual(contents, 0, "RIFF")) return "avi";
  if (BytesEqual(contents, 0, "\xFF\xD8")) return "jpg";
  if (BytesEqual(contents, 0, "\x89\x50\x4E\x47")) return "png";
  if (BytesEqual(contents, 0, "BM")) {
    const auto third = ByteAt(contents, 2);
    if (third.has_value() && *third != 0) return "bmp";
  }
  return "";
}

}  // namespace

std::string DetectFileKind(ReadWindow& contents, TraceSink& trace) {
  std::string kind = KindOf(contents);
  // A read that failed decides nothing, and the check stops.
  if (ReadFailed(contents)) return "";
  if (kind == "avi") {
    trace.Write(kRiffFound);
  } else if (kind == "jpg") {
    trace.Write(kPictureFound);
  } else if (kind.empty()) {
    trace.Write(kNoKind);
  }
  return kind;
}

}  // namespace quorvex
