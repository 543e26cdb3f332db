#include "manifest_write.h"

#include <mutex>

#include "manifest.h"

namespace quorvex::cli {

ManifestWriter::~ManifestWriter() {
  if (file_ != nullptr) std::fclose(file_);
}

bool ManifestWriter::Open(const std::string& path) {
  key_ = AbsoluteKey(path);
  const std::string folder = FolderOf(path);
  folder_ = AbsoluteKey(folder.empty() ? std::string(".") : folder);
  file_ = std::fopen(path.c_str(), "wb");
  return file_ != nullptr;
}

bool ManifestWriter::IsManifest(const std::string& path) const { return AbsoluteKey(path) == key_; }

void ManifestWriter::WriteLine(const std::string& line) {
  if (failed_ || line.empty()) return;
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size()) failed_ = true;
}

void ManifestWriter::Put(std::uint64_t place, const std::string& path, const std::string& sha256) {
  std::string line;
  if (!sha256.empty()) line = Sha256sumLine(sha256, RelativeKey(AbsoluteKey(path), folder_));
  std::lock_guard<std::mutex> lock(mutex_);
  if (place != next_) {
    waiting_.emplace(place, std::move(line));
    return;
  }
  WriteLine(line);
  ++next_;
  // The places after it that were done first follow it now.
  for (auto it = waiting_.begin(); it != waiting_.end() && it->first == next_;
       it = waiting_.erase(it)) {
    WriteLine(it->second);
    ++next_;
  }
}

bool ManifestWriter::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [place, line] : waiting_) WriteLine(line);
  waiting_.clear();
  if (file_ == nullptr) return false;
  if (std::fflush(file_) != 0) failed_ = true;
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

}  // namespace quorvex::cli
