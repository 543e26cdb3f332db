#include "audit.h"

#include <filesystem>
#include <system_error>

#include "folder_walk.h"

namespace quorvex::cli {
namespace {

constexpr const char* kStateNames[] = {"unchanged",  "changed", "moved",
                                       "not_listed", "copy",    "missing"};

}  // namespace

bool Audit::Load(const std::string& path, std::string& errors) {
  path_ = path;
  std::string error;
  if (!LoadManifest(path, manifest_, error)) {
    errors = "quorvex-check: " + report::TerminalName(path) + ": " + error + "\n";
    return false;
  }
  manifest_key_ = AbsoluteKey(path);
  listed_as_ = RelativeKey(manifest_key_, manifest_.folder_key);
  for (const auto& [line, message] : manifest_.errors) {
    errors += "quorvex-check: " + report::TerminalName(path) + ":" + std::to_string(line) + ": " +
              message + "\n";
  }
  had_line_errors_ = !manifest_.errors.empty();
  return true;
}

std::vector<std::string> Audit::EntriesOutside() const {
  std::vector<std::string> paths;
  const Manifest& m = manifest_.entries;
  for (std::uint32_t i = 0; i < m.size(); ++i) {
    const bool outside = m.key(i) == ".." || m.key(i).starts_with("../");
    // One that is not there is reported missing, not as a file that
    // cannot be opened.
    if (!m.dropped(i) && outside && FileIsAt(m.key(i))) {
      paths.push_back(ShownPath(m.key(i)));
    }
  }
  return paths;
}

void Audit::LimitTo(const std::vector<std::string>& paths) {
  for (const std::string& p : paths) {
    limits_.push_back(RelativeKey(AbsoluteKey(p), manifest_.folder_key));
  }
}

bool Audit::InScope(std::string_view key) const {
  if (limits_.empty()) return true;
  for (const std::string& limit : limits_) {
    if (limit == "." || key == limit ||
        (key.size() > limit.size() && key.starts_with(limit) && key[limit.size()] == '/')) {
      return true;
    }
  }
  return false;
}

bool Audit::IsManifest(const std::string& path) const { return AbsoluteKey(path) == manifest_key_; }

std::string Audit::ShownPath(std::string_view key) const {
  std::string relative(key);
#if defined(_WIN32)
  for (char& c : relative) {
    if (c == '/') c = '\\';
  }
#endif
  return manifest_.folder.empty() ? relative : JoinPath(manifest_.folder, relative);
}

bool Audit::FileIsAt(std::string_view key) const {
  std::error_code ec;
  return std::filesystem::exists(manifest_.folder_key + "/" + std::string(key), ec);
}

report::ManifestMatch Audit::Match(const report::FileResult& r) {
  const Manifest& m = manifest_.entries;
  const std::string key = RelativeKey(AbsoluteKey(r.path), manifest_.folder_key);
  const std::uint32_t at = m.FindPath(key);
  report::ManifestMatch match;
  Digest digest{};
  if (r.sha256.empty() || !DigestOfHex(r.sha256, digest)) {
    match.state = "unreadable";
    if (at != Manifest::kNone) {
      manifest_.entries.SetMark(at, Manifest::kFound);
      match.listed_sha256 = HexOf(m.entry(at).sha256);
    }
    return match;
  }
  State state;
  if (at != Manifest::kNone) {
    manifest_.entries.SetMark(at, Manifest::kFound);
    const Manifest::Entry& e = m.entry(at);
    const bool same_size = e.size == Manifest::kNoSize || e.size == r.summary.size;
    state = e.sha256 == digest && same_size ? kUnchanged : kChanged;
    match.listed_sha256 = HexOf(e.sha256);
  } else {
    const std::vector<std::uint32_t> same = m.FindHash(digest);
    state = same.empty() ? kNotListed : kCopy;
    for (const std::uint32_t e : same) {
      if (!FileIsAt(m.key(e))) {
        // Every file whose bytes were at a path now empty is moved from it,
        // so the answer does not hang on which thread came first.
        state = kMoved;
        manifest_.entries.SetMark(e, Manifest::kMovedAway);
        match.listed_path = ShownPath(m.key(e));
        break;
      }
    }
    if (state == kCopy) match.listed_path = ShownPath(m.key(same.front()));
    if (state != kNotListed) match.listed_sha256 = r.sha256;
  }
  ++counts_[state];
  match.state = kStateNames[state];
  return match;
}

int Audit::ExitStatusOf(const report::ManifestMatch& match) {
  return match.state == "unchanged" || match.state == "unreadable" ? 0 : 1;
}

void Audit::ForEachMissing(
    const std::function<void(const std::string& path, const std::string& sha256)>& missing) {
  const Manifest& m = manifest_.entries;
  listed_ = 0;
  for (std::uint32_t i = 0; i < m.size(); ++i) {
    // A manifest that lists itself lists bytes it was still being written
    // into; it is no part of the audit.
    if (m.dropped(i) || !InScope(m.key(i)) || m.key(i) == listed_as_) continue;
    ++listed_;
    if (m.marks(i) != 0) continue;
    ++counts_[kMissing];
    missing(ShownPath(m.key(i)), HexOf(m.entry(i).sha256));
  }
}

std::string Audit::SummaryLine() const {
  return "manifest " + report::TerminalName(path_) + " (SHA-256 " + manifest_.sha256 +
         "): " + std::to_string(listed_) + " listed: " + std::to_string(counts_[kUnchanged]) +
         " unchanged, " + std::to_string(counts_[kChanged]) + " changed, " +
         std::to_string(counts_[kMoved]) + " moved, " + std::to_string(counts_[kMissing]) +
         " missing; " + std::to_string(counts_[kNotListed]) + " not listed, " +
         std::to_string(counts_[kCopy]) + " copies\n";
}

report::AuditSummary Audit::Summary() const {
  report::AuditSummary summary;
  summary.manifest_path = path_;
  summary.manifest_sha256 = manifest_.sha256;
  summary.listed = listed_;
  for (std::size_t state = 0; state < kStates; ++state) {
    summary.states.emplace_back(kStateNames[state], counts_[state].load());
  }
  return summary;
}

}  // namespace quorvex::cli
