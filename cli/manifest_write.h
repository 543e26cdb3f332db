#ifndef QUORVEX_CLI_MANIFEST_WRITE_H
#define QUORVEX_CLI_MANIFEST_WRITE_H

#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

namespace quorvex::cli {

// Writes a manifest in sha256sum's format while a run checks the files, the
// lines in the order the files were added, whichever thread finishes first.
class ManifestWriter {
 public:
  ManifestWriter() = default;
  ~ManifestWriter();
  ManifestWriter(const ManifestWriter&) = delete;
  ManifestWriter& operator=(const ManifestWriter&) = delete;

  // Creates the file at `path`; false when it cannot be created.
  bool Open(const std::string& path);
  // Whether `path` names the manifest being written.
  bool IsManifest(const std::string& path) const;
  // Gives the file of place `place` (0, 1, ...) its line: `sha256` empty for
  // one that was not read whole, and then no line. Every place is given
  // once.
  void Put(std::uint64_t place, const std::string& path, const std::string& sha256);
  // Writes the rest and closes the file; false when a write failed.
  bool Close();

 private:
  void WriteLine(const std::string& line);

  std::FILE* file_ = nullptr;
  std::string key_;     // of the manifest itself
  std::string folder_;  // the folder its paths are relative to, as a key
  std::mutex mutex_;
  std::uint64_t next_ = 0;
  std::map<std::uint64_t, std::string> waiting_;
  bool failed_ = false;
};

}  // namespace quorvex::cli

#endif
