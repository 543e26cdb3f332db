#include "snapshot_check.h"

#include <string_view>

#include "text_format.h"

namespace quorvex {
namespace {

constexpr std::string_view kBmpMarker = "VALKERON";
constexpr std::uint64_t kTrailerBytes = kSnapshotTrailerBytes;
constexpr std::uint64_t kBmpSealBytes = 12;

struct SnapshotTexts {
  std::string_view kind;
  std::string_view no_seal;
  std::string_view correct;
  std::string_view error;
};

// The PNG's no-seal line has no full stop, as the recorder's tool always
// wrote it.
constexpr SnapshotTexts kTexts[] = {
    {"jpg", "Can't find crc code, it's the invalid file.\n", "This JPEG's check sum is correct\n",
     "This JPEG's check sum is error\n"},
    {"png", "Can't find crc code, it's the invalid file\n", "This PNG's check sum is correct\n",
     "This PNG's check sum is error\n"},
    {"bmp", "Can't find crc code, it's the invalid file.\n", "This BMP's check sum is correct\n",
     "This BMP's check sum is error\n"},
};

const SnapshotTexts& TextsFor(const std::string& kind) {
  for (const SnapshotTexts& t : kTexts) {
    if (t.kind == kind) return t;
  }
  return kTexts[0];
}

// Whether the file ends in a seal. A file too short to hold its trailer (and,
// for a BMP, the marker) carries none.
bool HasSeal(const std::string& kind, ReadWindow& contents) {
  const std::uint64_t size = contents.size;
  if (kind == "bmp") {
    return size >= kBmpSealBytes && BytesEqual(contents, size - kBmpSealBytes, kBmpMarker);
  }
  if (size < kTrailerBytes) return false;
  if (kind == "jpg") return !BytesEqual(contents, size - 2, "\xFF\xD9");
  return !BytesEqual(contents, size - 2, "\x60\x82");
}

}  // namespace

std::string CheckSnapshot(const std::string& kind, ReadWindow& contents, TraceSink& trace,
                          CheckStatus& status, std::optional<SealCrcs>* crcs) {
  const SnapshotTexts& texts = TextsFor(kind);
  const bool sealed = HasSeal(kind, contents);
  if (ReadFailed(contents)) return {};
  if (!sealed) {
    status = CheckStatus::kUnsealed;
    return std::string(texts.no_seal);
  }
  const std::uint64_t size = contents.size;
  const std::uint32_t computed = CrcOfRange(contents, 0, size - kTrailerBytes);
  std::uint32_t stored = 0;
  ReadBe32(contents, size - kTrailerBytes, stored);
  // Both values are read before either is printed: a read that fails leaves
  // no half of the pair in the trace.
  if (ReadFailed(contents)) return {};
  if (crcs != nullptr) *crcs = SealCrcs{stored, computed};
  trace.Write(FormatText("check_sum = 0x%x\n", computed));
  trace.Write(FormatText("file_check_sum = 0x%x,tmp_file_size = ", stored) + std::to_string(size) +
              "\n");
  status = stored == computed ? CheckStatus::kIntact : CheckStatus::kDamaged;
  return std::string(stored == computed ? texts.correct : texts.error);
}

}  // namespace quorvex
