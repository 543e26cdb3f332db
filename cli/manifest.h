#ifndef QUORVEX_CLI_MANIFEST_H
#define QUORVEX_CLI_MANIFEST_H

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex::cli {

using Digest = std::array<std::uint8_t, 32>;

// How a manifest's lines are written.
enum class ManifestFormat : std::uint8_t {
  kSha256sum,  // "HEX  PATH", "HEX *PATH" or "SHA256 (PATH) = HEX", maybe escaped
  kBagIt,      // a bag's manifest-sha256.txt: "HEX PATH", percent-encoded
  kHashdeep,   // "%%%% HASHDEEP-1.0" and a column line, then CSV rows
};

// One line of a manifest, read.
struct ManifestLine {
  std::string path;  // as listed, unescaped
  Digest sha256{};
  std::optional<std::uint64_t> size;  // hashdeep lists it
};

// Reads one sha256sum or BSD tag line (without its line feed; a trailing
// carriage return is dropped). False when it is neither.
bool ParseSha256sumLine(std::string_view line, ManifestLine& out);
// Reads one payload line of a BagIt manifest.
bool ParseBagItLine(std::string_view line, ManifestLine& out);

// The columns of a hashdeep file that are used.
struct HashdeepColumns {
  std::size_t count = 0;
  std::size_t size = SIZE_MAX;
  std::size_t sha256 = SIZE_MAX;
};
// Reads the "%%%% size,...,filename" line; false without sha256 and a last
// filename column.
bool ParseHashdeepColumns(std::string_view line, HashdeepColumns& out);
bool ParseHashdeepLine(std::string_view line, const HashdeepColumns& columns, ManifestLine& out);

// "HEX  PATH" as sha256sum writes it: a path holding a backslash, a line
// feed or a carriage return escaped and the line marked with a backslash.
// With its line feed.
std::string Sha256sumLine(std::string_view hex, std::string_view path);

std::string HexOf(const Digest& digest);
bool DigestOfHex(std::string_view hex, Digest& out);

// `path` made absolute against the working folder and lexically normal,
// with '/' between its parts ('\\' is a separator too on Windows).
std::string AbsoluteKey(std::string_view path);
// The path that leads from the folder `base` to `path`, both absolute keys:
// "a/b", "../x/y", or "." for the folder itself.
std::string RelativeKey(std::string_view path, std::string_view base);
// The folder part of `path` as given ("" for a bare name).
std::string FolderOf(const std::string& path);

// The entries of a manifest, held compactly: the paths in one block of text,
// an entry of fixed size each, and two sorted indexes, by path and by hash.
// Lookups may run on many threads at once; so may marking entries.
class Manifest {
 public:
  struct Entry {
    std::uint64_t path_at;
    std::uint32_t path_length;
    std::uint32_t line;
    Digest sha256;
    std::uint64_t size;  // kNoSize when the manifest does not say
  };
  static constexpr std::uint64_t kNoSize = UINT64_MAX;
  static constexpr std::uint32_t kNone = UINT32_MAX;

  // Adds an entry whose path is a key relative to the manifest's folder.
  void Add(std::string_view key, const Digest& sha256, std::uint64_t size, std::uint32_t line);
  // Sorts the indexes. An entry listed again with the same hash is dropped;
  // with another hash its line numbers are returned, and it is dropped too,
  // the first one kept.
  std::vector<std::uint32_t> Seal();

  std::size_t size() const { return entries_.size(); }
  const Entry& entry(std::uint32_t i) const { return entries_[i]; }
  std::string_view key(std::uint32_t i) const;
  bool dropped(std::uint32_t i) const { return dropped_[i] != 0; }
  // The entry listed at `key`, or kNone.
  std::uint32_t FindPath(std::string_view key) const;
  // The entries listed with `sha256`, in manifest order.
  std::vector<std::uint32_t> FindHash(const Digest& sha256) const;

  // Marks kept across the run, one byte an entry.
  enum Mark : std::uint8_t { kFound = 1, kMovedAway = 2 };
  void SetMark(std::uint32_t i, Mark mark) { marks_[i].fetch_or(mark); }
  std::uint8_t marks(std::uint32_t i) const { return marks_[i].load(); }

 private:
  std::string paths_;
  std::vector<Entry> entries_;
  std::vector<std::uint8_t> dropped_;
  std::vector<std::uint32_t> by_path_;
  std::vector<std::uint32_t> by_hash_;
  std::unique_ptr<std::atomic<std::uint8_t>[]> marks_;
};

// What reading a manifest file gave.
struct LoadedManifest {
  ManifestFormat format = ManifestFormat::kSha256sum;
  std::string folder;      // the folder its paths are relative to, as given
  std::string payload;     // the folder an audit walks, as given
  std::string folder_key;  // `folder` as an absolute key
  std::string sha256;      // of the manifest's bytes, hex
  Manifest entries;
  // "N: message" lines, for the lines that could not be used, in order.
  std::vector<std::pair<std::uint64_t, std::string>> errors;
};

// Reads the manifest at `path`; false when it cannot be opened or read
// (`error` says why).
bool LoadManifest(const std::string& path, LoadedManifest& out, std::string& error);

}  // namespace quorvex::cli

#endif
