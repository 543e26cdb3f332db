#include "manifest.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "folder_walk.h"
#include "sha256.h"

namespace quorvex::cli {
namespace {

constexpr std::size_t kHexDigits = 64;
constexpr std::string_view kHashdeepHeader = "%%%% HASHDEEP-1.0";
constexpr std::string_view kHashdeepColumns = "%%%% ";
constexpr std::string_view kTagStart = "SHA256 (";
constexpr std::string_view kTagMiddle = ") = ";
constexpr std::string_view kNotAManifestLine = "not a manifest line";

bool IsSeparator(char c) {
#if defined(_WIN32)
  return c == '/' || c == '\\';
#else
  return c == '/';
#endif
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view WithoutCarriageReturn(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// sha256sum's escapes: "\\", "\n" and "\r"; anything else after a backslash
// is not a line it writes.
bool Unescape(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out.push_back(text[i]);
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case '\\':
        out.push_back('\\');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case 'r':
        out.push_back('\r');
        break;
      default:
        return false;
    }
  }
  return true;
}

// The parts of a path, without empty and "." parts; ".." kept only where it
// climbs above the start of a relative path.
std::vector<std::string_view> Parts(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t at = 0;
  while (at <= path.size()) {
    std::size_t end = at;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::string_view part = path.substr(at, end - at);
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") {
        parts.pop_back();
      } else {
        parts.push_back(part);
      }
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  return parts;
}

// The root of an absolute path ("/", "C:/", "//"), or empty.
std::string_view RootOf(std::string_view path) {
#if defined(_WIN32)
  if (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2])) return path.substr(0, 3);
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return "//";
  if (!path.empty() && IsSeparator(path[0])) return "/";
#else
  if (!path.empty() && path[0] == '/') return "/";
#endif
  return {};
}

// Asked once: a run does not change its working folder.
const std::string& WorkingFolder() {
  static const std::string folder = [] {
    std::error_code ec;
    const std::filesystem::path here = std::filesystem::current_path(ec);
    return ec ? std::string("/") : here.generic_string();
  }();
  return folder;
}

std::string KeyOfListed(std::string_view folder_key, std::string_view listed) {
  std::string joined;
  if (RootOf(listed).empty()) {
    joined = std::string(folder_key) + "/";
  }
  joined.append(listed);
  return RelativeKey(AbsoluteKey(joined), folder_key);
}

}  // namespace

std::string HexOf(const Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(kHexDigits);
  for (const std::uint8_t b : digest) {
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 15]);
  }
  return hex;
}

bool DigestOfHex(std::string_view hex, Digest& out) {
  if (hex.size() != kHexDigits) return false;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const int high = HexValue(hex[2 * i]);
    const int low = HexValue(hex[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    out[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return true;
}

bool ParseSha256sumLine(std::string_view line, ManifestLine& out) {
  line = WithoutCarriageReturn(line);
  const bool escaped = !line.empty() && line[0] == '\\';
  if (escaped) line.remove_prefix(1);
  std::string_view path;
  if (line.starts_with(kTagStart)) {
    const std::size_t middle = line.rfind(kTagMiddle);
    if (middle == std::string_view::npos || middle < kTagStart.size()) return false;
    path = line.substr(kTagStart.size(), middle - kTagStart.size());
    if (!DigestOfHex(line.substr(middle + kTagMiddle.size()), out.sha256)) return false;
  } else {
    if (line.size() < kHexDigits + 3 || line[kHexDigits] != ' ' ||
        (line[kHexDigits + 1] != ' ' && line[kHexDigits + 1] != '*')) {
      return false;
    }
    if (!DigestOfHex(line.substr(0, kHexDigits), out.sha256)) return false;
    path = line.substr(kHexDigits + 2);
  }
  if (path.empty()) return false;
  out.size.reset();
  if (!escaped) {
    out.path.assign(path);
    return true;
  }
  return Unescape(path, out.path);
}

bool ParseBagItLine(std::string_view line, ManifestLine& out) {
  line = WithoutCarriageReturn(line);
  if (line.size() < kHexDigits + 2 || !DigestOfHex(line.substr(0, kHexDigits), out.sha256)) {
    return false;
  }
  std::size_t at = kHexDigits;
  if (line[at] != ' ' && line[at] != '\t') return false;
  while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
  if (at == line.size()) return false;
  // A bag encodes only these three in its paths.
  out.path.clear();
  for (; at < line.size(); ++at) {
    const std::string_view rest = line.substr(at, 3);
    if (line[at] == '%' && rest.size() == 3) {
      const int value = HexValue(rest[1]) * 16 + HexValue(rest[2]);
      if (HexValue(rest[1]) >= 0 && HexValue(rest[2]) >= 0 &&
          (value == '\n' || value == '\r' || value == '%')) {
        out.path.push_back(static_cast<char>(value));
        at += 2;
        continue;
      }
    }
    out.path.push_back(line[at]);
  }
  out.size.reset();
  return true;
}

bool ParseHashdeepColumns(std::string_view line, HashdeepColumns& out) {
  line = WithoutCarriageReturn(line);
  if (!line.starts_with(kHashdeepColumns)) return false;
  line.remove_prefix(kHashdeepColumns.size());
  HashdeepColumns columns;
  std::string_view last;
  while (true) {
    const std::size_t comma = line.find(',');
    last = line.substr(0, comma);
    if (last == "size") columns.size = columns.count;
    if (last == "sha256") columns.sha256 = columns.count;
    ++columns.count;
    if (comma == std::string_view::npos) break;
    line.remove_prefix(comma + 1);
  }
  if (last != "filename" || columns.sha256 == SIZE_MAX) return false;
  out = columns;
  return true;
}

bool ParseHashdeepLine(std::string_view line, const HashdeepColumns& columns, ManifestLine& out) {
  line = WithoutCarriageReturn(line);
  bool have_hash = false;
  out.size.reset();
  // The file name is the last column and may hold commas itself.
  for (std::size_t column = 0; column + 1 < columns.count; ++column) {
    const std::size_t comma = line.find(',');
    if (comma == std::string_view::npos) return false;
    const std::string_view field = line.substr(0, comma);
    if (column == columns.sha256) {
      if (!DigestOfHex(field, out.sha256)) return false;
      have_hash = true;
    } else if (column == columns.size) {
      std::uint64_t size = 0;
      const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), size);
      if (ec != std::errc() || end != field.data() + field.size() || field.empty()) return false;
      out.size = size;
    }
    line.remove_prefix(comma + 1);
  }
  if (!have_hash || line.empty()) return false;
  out.path.assign(line);
  return true;
}

std::string Sha256sumLine(std::string_view hex, std::string_view path) {
  const bool escape = path.find_first_of("\\\n\r") != std::string_view::npos;
  std::string line;
  line.reserve(hex.size() + path.size() + 4);
  if (escape) line.push_back('\\');
  line.append(hex);
  line.append("  ");
  for (const char c : path) {
    if (!escape) {
      line.push_back(c);
    } else if (c == '\\') {
      line.append("\\\\");
    } else if (c == '\n') {
      line.append("\\n");
    } else if (c == '\r') {
      line.append("\\r");
    } else {
      line.push_back(c);
    }
  }
  line.push_back('\n');
  return line;
}

std::string AbsoluteKey(std::string_view path) {
  std::string whole;
  if (RootOf(path).empty()) {
    whole = WorkingFolder();
    whole.push_back('/');
  }
  whole.append(path);
  const std::string_view root = RootOf(whole);
  std::string key(root);
  for (char& c : key) {
    if (IsSeparator(c)) c = '/';
  }
  bool first = true;
  for (const std::string_view part : Parts(std::string_view(whole).substr(root.size()))) {
    // Nothing is above the root.
    if (part == "..") continue;
    if (!first) key.push_back('/');
    key.append(part);
    first = false;
  }
  return key;
}

std::string RelativeKey(std::string_view path, std::string_view base) {
  const std::string_view path_root = RootOf(path);
  const std::string_view base_root = RootOf(base);
  if (path_root != base_root) return std::string(path);
  const std::vector<std::string_view> to = Parts(path.substr(path_root.size()));
  const std::vector<std::string_view> from = Parts(base.substr(base_root.size()));
  std::size_t same = 0;
  while (same < to.size() && same < from.size() && to[same] == from[same]) ++same;
  std::string key;
  for (std::size_t i = same; i < from.size(); ++i) key.append(key.empty() ? ".." : "/..");
  for (std::size_t i = same; i < to.size(); ++i) {
    if (!key.empty()) key.push_back('/');
    key.append(to[i]);
  }
  return key.empty() ? "." : key;
}

std::string FolderOf(const std::string& path) {
  std::size_t sep = path.size();
  while (sep > 0 && !IsSeparator(path[sep - 1])) --sep;
  if (sep == 0) return {};
  std::string folder = path.substr(0, sep - 1);
  // Keep a root's separator: "/x" lies in "/", "C:\\x" in "C:\\".
  if (folder.empty() || folder.back() == ':') folder = path.substr(0, sep);
  return folder;
}

void Manifest::Add(std::string_view key, const Digest& sha256, std::uint64_t size,
                   std::uint32_t line) {
  entries_.push_back(
      Entry{paths_.size(), static_cast<std::uint32_t>(key.size()), line, sha256, size});
  paths_.append(key);
}

std::string_view Manifest::key(std::uint32_t i) const {
  return std::string_view(paths_).substr(entries_[i].path_at, entries_[i].path_length);
}

std::vector<std::uint32_t> Manifest::Seal() {
  const auto n = static_cast<std::uint32_t>(entries_.size());
  entries_.shrink_to_fit();
  paths_.shrink_to_fit();
  dropped_.assign(n, 0);
  by_path_.resize(n);
  for (std::uint32_t i = 0; i < n; ++i) by_path_[i] = i;
  std::stable_sort(by_path_.begin(), by_path_.end(),
                   [this](std::uint32_t a, std::uint32_t b) { return key(a) < key(b); });
  std::vector<std::uint32_t> conflicts;
  std::vector<std::uint32_t> kept;
  kept.reserve(n);
  for (std::uint32_t i = 0; i < n; ++i) {
    const std::uint32_t e = by_path_[i];
    if (!kept.empty() && key(kept.back()) == key(e)) {
      dropped_[e] = 1;
      if (entries_[kept.back()].sha256 != entries_[e].sha256) conflicts.push_back(entries_[e].line);
      continue;
    }
    kept.push_back(e);
  }
  by_path_ = std::move(kept);
  by_path_.shrink_to_fit();
  by_hash_ = by_path_;
  std::sort(by_hash_.begin(), by_hash_.end(), [this](std::uint32_t a, std::uint32_t b) {
    return entries_[a].sha256 != entries_[b].sha256 ? entries_[a].sha256 < entries_[b].sha256
                                                    : a < b;
  });
  marks_ = std::make_unique<std::atomic<std::uint8_t>[]>(n);
  std::sort(conflicts.begin(), conflicts.end());
  return conflicts;
}

std::uint32_t Manifest::FindPath(std::string_view wanted) const {
  const auto it =
      std::lower_bound(by_path_.begin(), by_path_.end(), wanted,
                       [this](std::uint32_t e, std::string_view k) { return key(e) < k; });
  return it != by_path_.end() && key(*it) == wanted ? *it : kNone;
}

std::vector<std::uint32_t> Manifest::FindHash(const Digest& sha256) const {
  auto it =
      std::lower_bound(by_hash_.begin(), by_hash_.end(), sha256,
                       [this](std::uint32_t e, const Digest& d) { return entries_[e].sha256 < d; });
  std::vector<std::uint32_t> found;
  for (; it != by_hash_.end() && entries_[*it].sha256 == sha256; ++it) found.push_back(*it);
  return found;
}

bool LoadManifest(const std::string& path, LoadedManifest& out, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = "cannot open the manifest";
    return false;
  }
  out.folder = FolderOf(path);
  out.folder_key = AbsoluteKey(out.folder.empty() ? std::string(".") : out.folder);
  std::size_t name_at = path.size();
  while (name_at > 0 && !IsSeparator(path[name_at - 1])) --name_at;
  const std::string bare = path.substr(name_at);
  std::error_code ec;
  const std::string bagit_txt = out.folder_key + "/bagit.txt";
  const bool bag = bare == "manifest-sha256.txt" && std::filesystem::is_regular_file(bagit_txt, ec);
  out.format = bag ? ManifestFormat::kBagIt : ManifestFormat::kSha256sum;
  if (bag) {
    out.payload = out.folder.empty() ? std::string("data") : JoinPath(out.folder, "data");
  } else {
    out.payload = out.folder.empty() ? std::string(".") : out.folder;
  }

  report::Sha256 hash;
  std::string pending;
  std::vector<char> buffer(1 << 16);
  std::uint64_t line_number = 0;
  bool format_known = bag;
  HashdeepColumns columns;
  bool have_columns = false;
  ManifestLine parsed;
  auto use_line = [&](std::string_view line) {
    ++line_number;
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) return;
    if (!format_known) {
      format_known = true;
      if (line.starts_with(kHashdeepHeader)) out.format = ManifestFormat::kHashdeep;
    }
    bool ok = false;
    switch (out.format) {
      case ManifestFormat::kSha256sum:
        ok = ParseSha256sumLine(line, parsed);
        break;
      case ManifestFormat::kBagIt:
        ok = ParseBagItLine(line, parsed);
        break;
      case ManifestFormat::kHashdeep:
        if (line.starts_with(kHashdeepHeader) || line.starts_with("##")) return;
        if (line.starts_with(kHashdeepColumns)) {
          have_columns = ParseHashdeepColumns(line, columns);
          if (!have_columns) out.errors.emplace_back(line_number, "no sha256 and filename columns");
          return;
        }
        ok = have_columns && ParseHashdeepLine(line, columns, parsed);
        break;
    }
    if (!ok || line_number > UINT32_MAX) {
      out.errors.emplace_back(line_number, std::string(kNotAManifestLine));
      return;
    }
    out.entries.Add(KeyOfListed(out.folder_key, parsed.path), parsed.sha256,
                    parsed.size.value_or(Manifest::kNoSize),
                    static_cast<std::uint32_t>(line_number));
  };
  std::size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
    hash.Update(reinterpret_cast<const std::uint8_t*>(buffer.data()), n);
    std::string_view chunk(buffer.data(), n);
    std::size_t feed;
    while ((feed = chunk.find('\n')) != std::string_view::npos) {
      if (pending.empty()) {
        use_line(chunk.substr(0, feed));
      } else {
        pending.append(chunk.substr(0, feed));
        use_line(pending);
        pending.clear();
      }
      chunk.remove_prefix(feed + 1);
    }
    pending.append(chunk);
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    error = "cannot read the manifest";
    return false;
  }
  if (!pending.empty()) use_line(pending);
  out.sha256 = hash.HexDigest();
  for (const std::uint32_t line : out.entries.Seal()) {
    out.errors.emplace_back(line, "listed before with another hash");
  }
  std::stable_sort(out.errors.begin(), out.errors.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  return true;
}

}  // namespace quorvex::cli
