#include "case_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "escape.h"

namespace quorvex::report {
namespace {

// One code point of a UTF-8 text; an invalid or cut sequence is one byte
// that stands for U+FFFD.
struct CodePoint {
  std::uint32_t value;
  std::size_t bytes;
};

CodePoint NextCodePoint(std::string_view text, std::size_t i) {
  std::uint32_t value = 0;
  const std::size_t n = Utf8SequenceAt(text, i, value);
  return n == 0 ? CodePoint{0xFFFD, 1} : CodePoint{value, n};
}

// Code points that HTML does not allow as text: controls other than the
// white space it knows, and noncharacters.
bool HtmlForbids(std::uint32_t c) {
  if (c < 0x20) return c != '\t' && c != '\n';
  if (c >= 0x7F && c <= 0x9F) return true;
  if (c >= 0xFDD0 && c <= 0xFDEF) return true;
  return (c & 0xFFFE) == 0xFFFE;
}

void AppendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*x", digits, static_cast<unsigned>(value));
  return text;
}

// The JSON as it stands inside the report's <pre>, and in `text` as a reader
// extracts it from there: HTML's markup characters as references. The
// characters HTML cannot carry can only stand inside JSON strings; they are
// written as \u escapes there, which keeps the value.
std::string JsonAsHtml(std::string_view json, std::string& text) {
  std::string out;
  out.reserve(json.size() + json.size() / 16);
  text.clear();
  text.reserve(json.size());
  for (std::size_t i = 0; i < json.size();) {
    // Plain characters, nearly all of the text, go in runs.
    std::size_t plain = i;
    while (plain < json.size()) {
      const auto b = static_cast<unsigned char>(json[plain]);
      if (b < 0x20 || b > 0x7E || b == '&' || b == '<' || b == '>') break;
      ++plain;
    }
    if (plain > i) {
      out.append(json.substr(i, plain - i));
      text.append(json.substr(i, plain - i));
      i = plain;
      continue;
    }
    const CodePoint cp = NextCodePoint(json, i);
    const char c = json[i];
    if (c == '&') {
      out += "&amp;";
      text += c;
    } else if (c == '<') {
      out += "&lt;";
      text += c;
    } else if (c == '>') {
      out += "&gt;";
      text += c;
    } else if (HtmlForbids(cp.value)) {
      std::string escaped;
      if (cp.value < 0x10000) {
        escaped = "\\u" + Hex(cp.value, 4);
      } else {
        const std::uint32_t v = cp.value - 0x10000;
        escaped = "\\u" + Hex(0xD800 + (v >> 10), 4) + "\\u" + Hex(0xDC00 + (v & 0x3FF), 4);
      }
      out += escaped;
      text += escaped;
    } else {
      out.append(json.substr(i, cp.bytes));
      text.append(json.substr(i, cp.bytes));
    }
    i += cp.bytes;
  }
  return out;
}

// A text inside a CSS string: everything but letters, digits and spaces as
// a hex escape, so that nothing can end the string or the style.
std::string CssString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const CodePoint cp = NextCodePoint(text, i);
    const std::uint32_t c = HtmlForbids(cp.value) || cp.value == '\n' || cp.value == '\t'
                                ? std::uint32_t{' '}
                                : cp.value;
    const bool plain =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      char esc[16];
      // The space ends the escape and is not part of the text.
      std::snprintf(esc, sizeof esc, "\\%06x ", static_cast<unsigned>(c));
      out += esc;
    }
    i += cp.bytes;
  }
  return out + "\"";
}

std::string Base64OfHex(const std::string& hex) {
  std::string bytes;
  const auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(nibble(hex[i]) << 4 | nibble(hex[i + 1]));
  }
  return Base64(bytes);
}

std::string HexOfSha256(std::string_view text) {
  Sha256 hash;
  hash.Update(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  return hash.HexDigest();
}

// 1234567 as "1,234,567".
std::string Grouped(std::uint64_t n) {
  std::string digits = std::to_string(n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string Grouped(std::int64_t n) {
  return n < 0 ? "-" + Grouped(static_cast<std::uint64_t>(-(n + 1)) + 1)
               : Grouped(static_cast<std::uint64_t>(n));
}

const char* KindWords(const std::string& kind) {
  if (kind == "avi") return "Recording (AVI)";
  if (kind == "jpg") return "Snapshot (JPEG)";
  if (kind == "png") return "Snapshot (PNG)";
  if (kind == "bmp") return "Snapshot (BMP)";
  return "Unknown";
}

std::string Row(std::string_view term, const std::string& value_html) {
  return "<tr><th scope=\"row\">" + std::string(term) + "</th><td>" + value_html + "</td></tr>\n";
}

// Text gathered into pieces of some KiB before it goes out, so that a file
// with millions of failed frames is never held whole.
class PieceOut {
 public:
  static constexpr std::size_t kPieceBytes = 16384;
  explicit PieceOut(const JsonOut& out) : out_(out) {}
  void Add(std::string_view text) {
    text_ += text;
    if (text_.size() >= kPieceBytes) Flush();
  }
  void Flush() {
    if (!text_.empty()) out_(text_);
    text_.clear();
  }

 private:
  const JsonOut& out_;
  std::string text_;
};

std::string FrameRateWords(const FrameRate& r) {
  if (r.rate % r.scale == 0) return std::to_string(r.rate / r.scale) + " per second";
  char text[96];
  std::snprintf(text, sizeof text, "%.3f (%u/%u) per second", FramesPerSecond(r),
                static_cast<unsigned>(r.rate), static_cast<unsigned>(r.scale));
  return text;
}

// The timeline of a recording as static SVG: stretches no seal covers
// shaded, failed frames marked at their time, or at their chunk's position
// without a frame rate, as the page draws it. Failed frames that fall on the
// same mark share it, so the picture stays small whatever their number.
std::string TimelineSvg(const FileResult& r, const std::vector<float>& bins) {
  const CheckSummary& s = r.summary;
  constexpr double kWidth = 1000;
  constexpr double kHeight = 48;
  const bool by_time = s.frame_rate.has_value();
  double length = 1;
  if (by_time) {
    length = ChunkSeconds(s.video_chunks, *s.frame_rate);
    if (!s.failed_frames.empty()) {
      length = std::max(length, ChunkSeconds(s.failed_frames.back().chunk, *s.frame_rate));
    }
    length = std::max(length, 1e-9);
  } else {
    length = std::max<double>(static_cast<double>(s.size), 1);
  }
  const std::string label =
      "Timeline: " + Grouped(static_cast<std::uint64_t>(s.failed_frames.size())) +
      " failed frames, seals cover the unshaded stretches";
  std::string svg =
      "<svg class=\"timeline\" viewBox=\"0 0 1000 48\" preserveAspectRatio=\"none\" "
      "role=\"img\" aria-label=\"" +
      label + "\" xmlns=\"http://www.w3.org/2000/svg\">\n";
  svg += "<rect class=\"track\" x=\"0\" y=\"0\" width=\"1000\" height=\"48\"/>\n";
  // Bins drawn alike share one shape.
  const auto opacity = [](float f) { return static_cast<int>((0.25 + 0.75 * (1 - f)) * 100); };
  for (std::size_t i = 0; i < bins.size();) {
    const int o = opacity(bins[i]);
    std::size_t j = i + 1;
    while (j < bins.size() && opacity(bins[j]) == o) ++j;
    if (bins[i] < 0.999f) {
      const double x = static_cast<double>(i) * kWidth / static_cast<double>(bins.size());
      const double w = static_cast<double>(j - i) * kWidth / static_cast<double>(bins.size());
      char rect[160];
      std::snprintf(rect, sizeof rect,
                    "<rect class=\"uncovered\" x=\"%.2f\" y=\"0\" width=\"%.2f\" height=\"48\" "
                    "fill-opacity=\"%.2f\"/>\n",
                    x, w, o / 100.0);
      svg += rect;
    }
    i = j;
  }
  const auto where = [&](const FailedFrame& f) {
    return by_time ? " at " + ClockTime(ChunkMilliseconds(f.chunk, *s.frame_rate))
                   : " at byte " + Grouped(f.offset);
  };
  const auto mark_x = [&](const FailedFrame& f) {
    const double at = by_time ? ChunkSeconds(f.chunk, *s.frame_rate) / length
                              : static_cast<double>(f.offset) / length;
    return std::min(kWidth - 1, std::max(1.0, std::round(at * kWidth)));
  };
  const auto add_mark = [&](const FailedFrame& first, const FailedFrame& last, std::uint64_t n) {
    const double x = mark_x(first);
    const std::string title =
        n == 1 ? "frame " + std::to_string(first.frame) + where(first)
               : Grouped(n) + " failed frames, " + std::to_string(first.frame) + "\u2013" +
                     std::to_string(last.frame) + where(first) + "\u2013" +
                     (by_time ? ClockTime(ChunkMilliseconds(last.chunk, *s.frame_rate))
                              : Grouped(last.offset));
    char mark[512];
    std::snprintf(mark, sizeof mark,
                  "<g class=\"failed\"><title>%s</title><line x1=\"%.0f\" x2=\"%.0f\" y1=\"0\" "
                  "y2=\"48\"/><path d=\"M%.0f %.0f L%.0f %.0f L%.0f %.0f Z\"/></g>\n",
                  title.c_str(), x, x, x - 8, kHeight, x + 8, kHeight, x, kHeight - 10);
    svg += mark;
  };
  auto it = s.failed_frames.begin();
  const auto end = s.failed_frames.end();
  while (it != end) {
    const FailedFrame first = *it;
    FailedFrame last = first;
    std::uint64_t n = 1;
    for (++it; it != end && mark_x(*it) == mark_x(first); ++it, ++n) last = *it;
    add_mark(first, last, n);
  }
  svg += "</svg>\n";
  const std::string span_end =
      by_time ? ClockTime(static_cast<std::uint64_t>(length * 1000)) : Grouped(s.size) + " bytes";
  return "<figure class=\"timeline\">\n" + svg + "<div class=\"axis\"><span>" +
         (by_time ? "00:00:00.000" : "0") + "</span><span>" + span_end + "</span></div>\n" +
         "<figcaption>Timeline " + (by_time ? "by time" : "by position in the file") +
         ". <span class=\"key-failed\">\u25B2 line</span>: a failed frame. "
         "<span class=\"key-uncovered\">Shaded</span>: a stretch no seal covers; the darker, "
         "the less of it is covered.</figcaption>\n</figure>\n";
}

// The failed frames as runs (consecutive frames in consecutive video
// chunks, as the text report's runs), then each with the checksum its seal
// holds and the one computed from its bytes.
void WriteFailedFrames(const CheckSummary& s, PieceOut& out) {
  const auto time_of = [&](const FailedFrame& frame) {
    return s.frame_rate.has_value() ? ClockTime(ChunkMilliseconds(frame.chunk, *s.frame_rate))
                                    : std::string("\u2014");
  };
  out.Add(
      "<h4>Failed frames, as runs</h4>\n<table class=\"runs\">\n<thead><tr>"
      "<th scope=\"col\">Frames</th><th scope=\"col\">Time</th>"
      "<th scope=\"col\">Chunks at byte</th></tr></thead>\n<tbody>\n");
  const auto end = s.failed_frames.end();
  for (auto it = s.failed_frames.begin(); it != end;) {
    const FailedFrame a = *it;
    FailedFrame b = a;
    for (++it; it != end && (*it).frame == b.frame + 1 && (*it).chunk == b.chunk + 1; ++it) {
      b = *it;
    }
    const bool one = a.frame == b.frame;
    out.Add("<tr><td>" + std::to_string(a.frame) + (one ? "" : "\u2013" + std::to_string(b.frame)) +
            "</td><td>" + time_of(a) + (one ? "" : "\u2013" + time_of(b)) + "</td><td>" +
            Grouped(a.offset) + (one ? "" : "\u2013" + Grouped(b.offset)) + "</td></tr>\n");
  }
  out.Add(
      "</tbody>\n</table>\n<h4>Checksums of the failed frames</h4>\n<table class=\"crcs\">\n"
      "<thead><tr><th scope=\"col\">Frame</th><th scope=\"col\">Time</th>"
      "<th scope=\"col\">Chunk at byte</th><th scope=\"col\">Seal holds</th>"
      "<th scope=\"col\">Computed from the bytes</th></tr></thead>\n<tbody>\n");
  for (const FailedFrame frame : s.failed_frames) {
    out.Add("<tr><td>" + std::to_string(frame.frame) + "</td><td>" + time_of(frame) + "</td><td>" +
            Grouped(frame.offset) + "</td><td><code>" + CrcHex(frame.crcs.stored) +
            "</code></td><td>" +
            (frame.crcs.computed.has_value()
                 ? "<code>" + CrcHex(*frame.crcs.computed) + "</code>"
                 : std::string("none: the frame runs past the end of the file")) +
            "</td></tr>\n");
  }
  out.Add("</tbody>\n</table>\n");
}

std::string StatusClass(CheckStatus status) {
  std::string name = InfoOf(status).json_name;
  std::replace(name.begin(), name.end(), '_', '-');
  return "status-" + name;
}

// The style of the report; the case is written into every page's head.
std::string Style(const std::string& case_name) {
  const std::string running = case_name.empty()
                                  ? std::string("\"Quorvex case report\"")
                                  : CssString("Quorvex case report \u2014 case: " + case_name);
  return R"(
:root { color: #111; background: #fff; font: 10.5pt/1.4 system-ui, sans-serif; }
body { margin: 1.5em auto; max-width: 60em; padding: 0 1em; }
h1 { font-size: 1.6em; margin: 0 0 .4em; }
h2 { font-size: 1.3em; border-bottom: 2px solid #444; margin: 1.4em 0 .5em; }
h3 { font-size: 1.1em; margin: 0 0 .3em; overflow-wrap: anywhere; }
h4 { font-size: 1em; margin: .8em 0 .2em; }
table { border-collapse: collapse; width: 100%; }
th, td { text-align: left; vertical-align: top; padding: .15em .5em .15em 0; }
table.facts th { width: 11em; font-weight: 600; }
table.facts td, td code, pre { overflow-wrap: anywhere; }
table.runs td, table.crcs td, table.counts td { border-top: 1px solid #ccc; }
thead th { border-bottom: 1px solid #444; }
code, pre { font-family: ui-monospace, monospace; font-size: .95em; }
pre { white-space: pre-wrap; margin: .2em 0; }
pre.verdict { border-left: 3px solid #888; padding-left: .6em; }
.esc { border: 1px solid #999; border-radius: 2px; font-family: ui-monospace, monospace; }
section.file { border: 1px solid #bbb; border-radius: 4px; padding: .6em .8em; margin: .8em 0;
  break-inside: avoid; }
.outcome { font-weight: 600; margin: .2em 0 .4em; }
.mark { display: inline-block; min-width: 1.2em; }
.status-intact .mark { color: #176b2c; }
.status-damaged .mark, .status-unsealed .mark, .status-invalid .mark,
.status-unsupported-version .mark { color: #b3261e; }
figure.timeline { margin: .6em 0; }
svg.timeline { display: block; width: 100%; height: 3em; }
svg.timeline .track { fill: #e8f3ea; stroke: #555; stroke-width: 1; }
svg.timeline .uncovered { fill: #6b6b6b; }
svg.timeline .failed line { stroke: #c00; stroke-width: 2; }
svg.timeline .failed path { fill: #000; }
.axis { display: flex; justify-content: space-between; font-size: .85em; }
figcaption { font-size: .9em; }
.key-failed { font-weight: 600; }
.key-uncovered { background: #9a9a9a; color: #000; padding: 0 .3em; }
#results pre { font-size: .8em; max-height: 30em; overflow: auto; border: 1px solid #ccc; }
.printed-note { display: none; }
@page { margin: 20mm 14mm 18mm;
  @top-left { content: )" +
         running + R"(; font: 8.5pt system-ui, sans-serif; }
  @bottom-right { content: "Page " counter(page) " of " counter(pages);
    font: 8.5pt system-ui, sans-serif; } }
@media print {
  :root { font-size: 9.5pt; }
  body { margin: 0; max-width: none; padding: 0; }
  h2 { break-after: avoid; }
  #results pre { display: none; }
  .printed-note { display: block; }
}
)";
}

constexpr std::string_view kMethod = R"(<section id="method">
<h2>Method and limits</h2>
<p>Each file was read once, in full, from the start. Its SHA-256 was computed over every byte
read; the same bytes were checked against the recorder's seals. Each file's kind was decided
from its first bytes, not from its name.</p>
<h3>What is sealed</h3>
<p>Every seal is a CRC-32 checksum as used by zlib and PNG (ISO 3309, ITU-T V.42): the
reflected polynomial 0xEDB88320 (0x04C11DB7), initial value 0xFFFFFFFF, the final value
complemented; the checksum of the nine bytes "123456789" is cbf43926. A stored checksum is read
as a big-endian 32-bit value and compared for equality.</p>
<ul>
<li>A JPEG, PNG or BMP snapshot carries one checksum in its last four bytes. It covers every
byte in front of them, the whole image included; a BMP's seal is marked by the eight bytes
"VALKERON" in front of the checksum.</li>
<li>An AVI recording carries a 20-byte seal in front of every encoded video frame, inside the
frame's chunk; its last four bytes are the checksum of that frame's encoded bytes. Only those
bytes are sealed: the file's headers and index, the chunk headers, the seals themselves and
the audio are not covered by any seal. A video chunk whose payload does not begin as a frame of
the recording's video format is not checked.</li>
</ul>
<h3>What the results mean</h3>
<ul>
<li>The <em>seal coverage</em> is the share of the file's bytes that a seal covers and that
were compared, whether they matched or not. A stretch that no seal covers is not vouched for
by this check: it may have been changed without any sign here.</li>
<li>A matching seal is consistent with a file that has not been modified since it was sealed;
it is not proof of it. A CRC-32 seal shows accidental changes and naive edits, but it is not a
signature: anyone who knows the scheme can change a file and seal it again, and such a file
cannot be told apart from an original by this check.</li>
<li>A seal that does not match shows that the sealed bytes are not those that were sealed. It
does not say how or when they changed.</li>
<li>A file's SHA-256 identifies the bytes that were examined; it lets a later examiner show
that a copy holds the same bytes. It says nothing of where the file came from.</li>
<li>The verdict text is the text the recorder maker's dialog shows for the file, quoted
exactly, misspellings included.</li>
</ul>
</section>
)";

}  // namespace

std::string HtmlText(std::string_view text, bool multiline) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const CodePoint cp = NextCodePoint(text, i);
    const std::uint32_t c = cp.value;
    if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else if (c == '"') {
      out += "&quot;";
    } else if (c == '\'') {
      out += "&#39;";
    } else if (HtmlForbids(c) || (!multiline && (c == '\n' || c == '\t'))) {
      out += "<span class=\"esc\">" + (c < 0x100 ? "\\x" + Hex(c, 2) : "\\u{" + Hex(c, 4) + "}") +
             "</span>";
    } else {
      AppendUtf8(out, c);
    }
    i += cp.bytes;
  }
  return out;
}

std::string UtcTime(std::int64_t seconds) {
  // Days since 1970 to a civil date (Howard Hinnant's algorithm): no time
  // zone or locale of the machine enters.
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) rest += 86400, --days;
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ",
                static_cast<long long>(year), static_cast<long long>(month),
                static_cast<long long>(day), static_cast<long long>(rest / 3600),
                static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
  return text;
}

bool StringCaseReportOutput::Write(std::string_view text) {
  text_.append(text);
  return true;
}
bool StringCaseReportOutput::Keep(std::string_view text) {
  kept_.append(text);
  return true;
}
bool StringCaseReportOutput::WriteKept() {
  text_.append(kept_);
  std::string().swap(kept_);
  return true;
}

namespace {

void WriteFileSection(const FileResult& r, const std::vector<float>& bins, bool skipped,
                      const JsonOut& write) {
  const CheckSummary& s = r.summary;
  const CheckStatus status = StatusOf(s);
  const StatusInfo& info = InfoOf(status);
  std::string h = "<section class=\"file " + StatusClass(status) + "\">\n<h3>" + HtmlText(r.path) +
                  "</h3>\n<p class=\"outcome\"><span class=\"mark\" aria-hidden=\"true\">" +
                  info.mark + "</span>" + info.words +
                  (skipped ? " (skipped in the folder walk)" : "") +
                  "</p>\n<table class=\"facts\">\n";
  h += Row("Path", HtmlText(r.path));
  h += Row("Size", Grouped(s.size) + " bytes");
  h += Row("SHA-256", !r.sha256_wanted   ? std::string("not computed")
                      : r.sha256.empty() ? std::string("none: the file was not read whole")
                                         : "<code>" + r.sha256 + "</code>");
  h += Row("Kind", KindWords(s.kind));
  if (s.video_format.has_value()) h += Row("Video format", HtmlText(*s.video_format));
  if (s.audio_format.has_value()) h += Row("Audio format", HtmlText(*s.audio_format));
  if (s.video_format.has_value()) {
    std::string frames =
        Grouped(s.frames_failed) + " failed of " + Grouped(s.frames_checked) + " checked";
    if (s.unchecked_video_chunks > 0) {
      frames += "; " + Grouped(s.unchecked_video_chunks) + " of " + Grouped(s.video_chunks) +
                " video chunks not checked";
    }
    h += Row("Frames", frames);
    if (s.frame_rate.has_value()) h += Row("Frame rate", FrameRateWords(*s.frame_rate));
  }
  if (s.status != CheckStatus::kUnreadable && s.status != CheckStatus::kUnknownKind &&
      s.status != CheckStatus::kChanged) {
    const std::uint64_t per_mille = PerMille(s.sealed_bytes, s.size);
    h += Row("Seal coverage", std::to_string(per_mille / 10) + "." +
                                  std::to_string(per_mille % 10) + "% of the file (" +
                                  Grouped(s.sealed_bytes) + " of " + Grouped(s.size) + " bytes)");
  }
  if (s.snapshot_crcs.has_value()) {
    const SealCrcs& c = *s.snapshot_crcs;
    h += Row("Checksum", "the seal holds <code>" + CrcHex(c.stored) +
                             "</code>, computed from the bytes <code>" +
                             (c.computed.has_value() ? CrcHex(*c.computed) : "none") + "</code>");
  }
  if (s.read_error.has_value()) {
    h += Row("Read error", "at byte " + Grouped(*s.read_error) + "; the check stopped there");
  }
  if (s.status == CheckStatus::kChanged) {
    h += Row("Changed", "the file changed while it was checked; nothing is said of its seals");
  }
  if (s.out_of_memory) h += Row("Not checked", "the memory the check needed could not be had");
  if (r.manifest.has_value()) {
    const ManifestMatch& m = *r.manifest;
    std::string value = HtmlText(m.state);
    if (m.listed_path.has_value()) value += "; listed as " + HtmlText(*m.listed_path);
    if (m.listed_sha256.has_value()) {
      value += "; listed SHA-256 <code>" + HtmlText(*m.listed_sha256) + "</code>";
    }
    h += Row("Manifest", value);
  }
  h += "</table>\n<h4>Result as the dialog shows it</h4>\n";
  const std::string& result_text = r.panel.text(IDC_RESULT);
  h += result_text.empty()
           ? std::string("<p>(no result: the dialog shows none for this file)</p>\n")
           : "<pre class=\"verdict\">" + HtmlText(result_text, true) + "</pre>\n";
  if (s.kind == "avi" && s.walk_end.has_value()) h += TimelineSvg(r, bins);
  PieceOut out(write);
  out.Add(h);
  if (!s.failed_frames.empty()) WriteFailedFrames(s, out);
  out.Add("</section>\n");
  out.Flush();
}

}  // namespace

CaseFileSection MakeCaseFileSection(const FileResult& r, const std::vector<float>& bins,
                                    bool skipped) {
  CaseFileSection section;
  section.status = StatusOf(r.summary);
  section.skipped = skipped;
  WriteFileSection(r, bins, skipped,
                   [&section](std::string_view piece) { section.html.append(piece); });
  section.json_element = JsonElement(r);
  return section;
}

CaseReportWriter::CaseReportWriter(CaseDetails details, CaseReportOutput& output)
    : details_(std::move(details)), output_(output) {}

void CaseReportWriter::Write(std::string_view text) {
  if (ok_ && !output_.Write(text)) ok_ = false;
}

void CaseReportWriter::KeepJson(std::string_view json) {
  // A UTF-8 sequence cut between two pieces waits for the rest of it, so
  // that it is judged whole.
  std::string joined;
  if (!json_cut_.empty()) {
    joined = json_cut_ + std::string(json);
    json = joined;
    json_cut_.clear();
  }
  std::size_t whole = json.size();
  for (std::size_t back = 1; back <= 3 && back <= json.size(); ++back) {
    const auto c = static_cast<unsigned char>(json[json.size() - back]);
    if ((c & 0xC0) == 0x80) continue;
    const std::size_t needs = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (needs > back) whole = json.size() - back;
    break;
  }
  json_cut_.assign(json.substr(whole));
  json = json.substr(0, whole);
  // The hash is of the text as a reader extracts it from the element.
  std::string text;
  const std::string html = JsonAsHtml(json, text);
  json_hash_.Update(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  if (ok_ && !output_.Keep(html)) ok_ = false;
}

void CaseReportWriter::Begin() {
  const CaseDetails& d = details_;
  const std::string style = Style(d.case_name);
  std::string h = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  // Nothing from elsewhere, no script and no other style than this one.
  h += "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src "
       "'sha256-" +
       Base64OfHex(HexOfSha256(style)) + "'; base-uri 'none'; form-action 'none'\">\n";
  h += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  h += "<meta name=\"generator\" content=\"" + HtmlText(d.tool + " " + d.version) + "\">\n";
  h += "<title>" +
       HtmlText(d.case_name.empty() ? "Quorvex case report"
                                    : "Quorvex case report: " + d.case_name) +
       "</title>\n";
  h += "<style>" + style + "</style>\n</head>\n<body>\n<header>\n<h1>Quorvex case report</h1>\n";
  h += "<table class=\"facts\">\n";
  const auto given = [](const std::string& text, bool multiline) {
    return text.empty() ? std::string("<i>not given</i>") : HtmlText(text, multiline);
  };
  h += Row("Case", given(d.case_name, false));
  h += Row("Examiner", given(d.examiner, false));
  h += Row("Note",
           d.note.empty() ? given(d.note, false) : "<pre>" + HtmlText(d.note, true) + "</pre>");
  h += Row("Tool", HtmlText(d.tool) + " " + HtmlText(d.version));
  h += Row("Platform", HtmlText(d.platform));
  h += Row("Command line", "<code>" + HtmlText(d.command_line) + "</code>");
  h += Row("Run started", HtmlText(d.started) + " (UTC)");
  h += "</table>\n<p>Each file checked has a section below, in the order checked. The summary, "
       "the method and its limits, and the results as JSON with their SHA-256 follow the "
       "files.</p>\n</header>\n<main>\n<h2 id=\"files\">Files</h2>\n";
  Write(h);
  KeepJson(JsonArrayWriter::Open());
}

void CaseReportWriter::Count(CheckStatus status, bool skipped) {
  ++files_;
  if (skipped) {
    ++skipped_;
  } else {
    ++outcomes_[static_cast<std::size_t>(InfoOf(status).outcome)];
  }
}

void CaseReportWriter::AddFile(const FileResult& result, const std::vector<float>& bins,
                               bool skipped) {
  Count(StatusOf(result.summary), skipped);
  WriteFileSection(result, bins, skipped, [this](std::string_view piece) { Write(piece); });
  KeepJson(json_array_.Next());
  WriteJsonElement(result, [this](std::string_view piece) { KeepJson(piece); });
}

void CaseReportWriter::AddSection(const CaseFileSection& section) {
  Count(section.status, section.skipped);
  Write(section.html);
  KeepJson(json_array_.Next());
  KeepJson(section.json_element);
}

void CaseReportWriter::AddMissing(const std::string& path, const std::string& listed_sha256) {
  ++missing_;
  Write("<section class=\"file status-missing\">\n<h3>" + HtmlText(path) +
        "</h3>\n<p class=\"outcome\"><span class=\"mark\" aria-hidden=\"true\">!</span>"
        "Listed in the manifest, not found</p>\n<table class=\"facts\">\n" +
        Row("Path", HtmlText(path)) +
        Row("Manifest", "missing; listed SHA-256 <code>" + HtmlText(listed_sha256) + "</code>") +
        "</table>\n</section>\n");
  KeepJson(json_array_.Next());
  KeepJson(MissingJsonElement(path, listed_sha256));
}

void CaseReportWriter::End(const CaseEnd& end) {
  KeepJson(json_array_.Close());
  KeepJson({});
  if (!json_cut_.empty()) {
    // Only a text that is not UTF-8 ends inside a sequence; its bytes go
    // out as they are.
    std::string text;
    const std::string html = JsonAsHtml(json_cut_, text);
    json_hash_.Update(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    if (ok_ && !output_.Keep(html)) ok_ = false;
  }
  json_sha256_ = json_hash_.HexDigest();
  std::string h;
  if (files_ == 0) h += "<p>No file was checked.</p>\n";
  h += "<section id=\"summary\">\n<h2>Summary</h2>\n<table class=\"facts\">\n";
  h += Row("Run started", HtmlText(details_.started) + " (UTC)");
  h += Row("Run ended", HtmlText(end.ended) + " (UTC)");
  h += Row("Files", Grouped(files_));
  if (missing_ > 0) h += Row("Listed in the manifest, not found", Grouped(missing_));
  h += "</table>\n<table class=\"counts\">\n<thead><tr><th scope=\"col\">Outcome</th>"
       "<th scope=\"col\">Files</th></tr></thead>\n<tbody>\n";
  for (std::size_t i = 0; i < outcomes_.size(); ++i) {
    h += "<tr><td>" + std::string(OutcomeWords(static_cast<Outcome>(i))) + "</td><td>" +
         Grouped(outcomes_[i]) + "</td></tr>\n";
  }
  if (skipped_ > 0) {
    h += "<tr><td>of no known kind, skipped in a folder walk</td><td>" + Grouped(skipped_) +
         "</td></tr>\n";
  }
  h += "</tbody>\n</table>\n";
  if (end.audit.has_value()) {
    const AuditSummary& a = *end.audit;
    h += "<h3>Audit against a manifest</h3>\n<table class=\"facts\">\n";
    h += Row("Manifest", HtmlText(a.manifest_path));
    h += Row("Its SHA-256", "<code>" + HtmlText(a.manifest_sha256) + "</code>");
    h += Row("Entries listed", Grouped(a.listed));
    h += "</table>\n<table class=\"counts\">\n<thead><tr><th scope=\"col\">Manifest state</th>"
         "<th scope=\"col\">Files</th></tr></thead>\n<tbody>\n";
    for (const auto& [state, count] : a.states) {
      h += "<tr><td>" + HtmlText(state) + "</td><td>" + Grouped(count) + "</td></tr>\n";
    }
    h += "</tbody>\n</table>\n";
  }
  h += "</section>\n";
  h += kMethod;
  h += "<section id=\"results\">\n<h2>Results as JSON</h2>\n<p>The results above as the console "
       "program's JSON array (<code>--json</code>), in the element "
       "<code>pre#quorvex-results</code>. The SHA-256 of its text is <code id=\"results-sha256\">" +
       json_sha256_ +
       "</code>.</p>\n<p class=\"printed-note\">The JSON is in the report's HTML file and is not "
       "printed.</p>\n<pre id=\"quorvex-results\">";
  Write(h);
  if (ok_ && !output_.WriteKept()) ok_ = false;
  Write("</pre>\n</section>\n</main>\n</body>\n</html>\n");
}

void CaseReportWriter::Interrupted(const std::string& when) {
  Write(
      "<section id=\"summary\">\n<h2>Run interrupted</h2>\n<p class=\"interrupted\">The run was "
      "interrupted at " +
      HtmlText(when) +
      " (UTC). This report is incomplete: it has no summary and no results as JSON, and "
      "files after the last section above were not checked.</p>\n</section>\n</main>\n"
      "</body>\n</html>\n");
}

}  // namespace quorvex::report
