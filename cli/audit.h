#ifndef QUORVEX_CLI_AUDIT_H
#define QUORVEX_CLI_AUDIT_H

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "case_report.h"
#include "manifest.h"
#include "report.h"

namespace quorvex::cli {

// An audit run: each checked file held against a manifest, and at the end
// the entries that were not found.
class Audit {
 public:
  // Reads the manifest at `path`. Returns false when it cannot be read at
  // all; `errors` gets the diagnostic lines, one for each line of the
  // manifest that could not be used.
  bool Load(const std::string& path, std::string& errors);
  bool had_line_errors() const { return had_line_errors_; }
  // The folder an audit with no FILE argument walks: the manifest's own, or
  // a bag's payload folder.
  const std::string& payload() const { return manifest_.payload; }
  // The entries that lie outside the manifest's folder ("../...") and whose
  // files are there, to be checked beside the walk of an audit with no FILE
  // argument.
  std::vector<std::string> EntriesOutside() const;
  // Only the entries under `paths` (files or folders) take part.
  void LimitTo(const std::vector<std::string>& paths);
  // Whether `path` is the manifest itself, never part of the walk.
  bool IsManifest(const std::string& path) const;

  // Where a checked file stands against the manifest; counted. Called on
  // any thread.
  report::ManifestMatch Match(const report::FileResult& result);
  // 1 for a state that says the files differ from the manifest, else 0.
  static int ExitStatusOf(const report::ManifestMatch& match);

  // Calls `missing` with the path and listed hash of each entry that takes
  // part and was not found, in manifest order; counts them.
  void ForEachMissing(
      const std::function<void(const std::string& path, const std::string& sha256)>& missing);
  // "manifest FILE (SHA-256 HEX): N listed: ..." with its line feed.
  std::string SummaryLine() const;
  // The same for the case report: the manifest, its hash and the counts.
  report::AuditSummary Summary() const;

 private:
  enum State : std::size_t { kUnchanged, kChanged, kMoved, kNotListed, kCopy, kMissing, kStates };
  bool InScope(std::string_view key) const;
  std::string ShownPath(std::string_view key) const;
  bool FileIsAt(std::string_view key) const;

  std::string path_;
  LoadedManifest manifest_;
  std::string manifest_key_;
  std::string listed_as_;  // the manifest's own path as an entry would list it
  bool had_line_errors_ = false;
  std::vector<std::string> limits_;  // keys; empty: every entry
  std::array<std::atomic<std::uint64_t>, kStates> counts_{};
  std::uint64_t listed_ = 0;
};

}  // namespace quorvex::cli

#endif
