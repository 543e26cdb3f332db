// Shared pieces of the fuzz targets: how an input chooses the reading
// conditions, a byte source that polices every read, an independent model of
// what a check must show, and the invariants every check must keep.
#ifndef QUORVEX_FUZZ_FUZZ_SUPPORT_H
#define QUORVEX_FUZZ_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "byte_source.h"
#include "check_file.h"
#include "field_panel.h"
#include "read_window.h"

namespace quorvex::fuzz {

using Bytes = std::vector<std::uint8_t>;

// Stops the run with a message; libFuzzer keeps the input that did it.
[[noreturn]] void Fail(const char* what, const std::string& detail = "");
inline void Require(bool holds, const char* what, const std::string& detail = "") {
  if (!holds) Fail(what, detail);
}

// The reading conditions an input asks for with its first kParamBytes bytes:
// the window size, short reads, a size that differs from the data (a file
// that grew or shrank after it was measured), a size that cannot be measured.
inline constexpr std::size_t kParamBytes = 4;
struct ReadParams {
  std::size_t window_bytes = kDefaultWindowBytes;
  std::size_t max_read = 0;  // 0: every read delivers all it can
  int size_delta = 0;        // the measured size is the data's plus this
  bool measure_fails = false;

  std::uint64_t MeasuredSize(std::size_t data_size) const;
};
ReadParams DecodeParams(const std::uint8_t* bytes);
// The prefix that asks for plain reading with the given window.
Bytes PlainParams(std::uint8_t window_code = 0);

// A MemorySource that stops the run when the engine asks for bytes past the
// measured size or more than its window holds.
class PolicedSource : public MemorySource {
 public:
  PolicedSource(const std::uint8_t* data, std::size_t size, const ReadParams& params);
  ReadResult ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) override;

  std::uint64_t measured() const { return measured_; }
  // Bytes the reads delivered.
  std::uint64_t delivered() const { return delivered_; }

 private:
  std::size_t window_limit_;
  std::uint64_t measured_ = 0;
  std::uint64_t delivered_ = 0;
};

// The window a check reads the source through, as the driver sets it up.
struct PolicedWindow {
  PolicedWindow(PolicedSource& source, std::size_t window_bytes);
  std::unique_ptr<std::uint8_t[]> buffer;
  ReadWindow window;
};

// What a check must show: the fields, the Detail state, the ErrorList, the
// trace and the summary. Built from the bytes alone, without the engine.
struct Expected {
  std::string kind;
  std::optional<std::string> verdict;
  std::string video_field = "Video Format: ";
  std::string audio_field = "Audio Format: ";
  std::string progress_field;
  bool detail_enabled = false;
  std::string errors;
  std::string trace;
  CheckStatus status = CheckStatus::kUnknownKind;
  std::int64_t frames_checked = 0;
  std::vector<FailedFrame> failed_frames;
  std::optional<SealCrcs> snapshot_crcs;  // a sealed snapshot's checksums
  std::optional<std::uint64_t> walk_end;
  std::optional<bool> walk_complete;
  std::optional<FrameRate> frame_rate;
  std::uint64_t video_chunks = 0;
  std::uint64_t unchecked_video_chunks = 0;
  std::uint64_t sealed_bytes = 0;
};

// The model over the whole contents of a file, as measured.
Expected ModelCheck(const Bytes& file);
// The snapshot check alone; `e.kind` says which kind the file is taken for.
void ModelSnapshot(const Bytes& file, Expected& e);
std::string ModelKind(const Bytes& file, std::string& trace);

struct CheckRun {
  FieldPanel panel;
  ErrorList errors;
  CheckSummary summary;
  std::string trace;
  // The ranges told to on_sealed_range, in order.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> sealed_ranges;
};

// Runs the whole check over `source` as the console program does.
CheckRun RunCheck(ByteSource* source, const std::string& path, const std::string& name,
                  std::size_t window_bytes);

// Invariants that hold for every check, whatever was read.
void CheckInvariants(const CheckRun& run, const std::string& path, const std::string& name);
// The run shows exactly what the model expects.
void CheckAgainstModel(const CheckRun& run, const Expected& expected);

// A read that ends before the measured size finds the file shrunk: the check
// stops there and says that the file changed. True when the run did so
// (and said it rightly), when no model applies.
bool FoundChanged(const CheckRun& run, const PolicedSource& source, std::size_t size);

// The contents the engine sees: the data cut or zero-extended to the
// measured size (short reads are read again until the data ends). A check
// that reads into the zeros finds the file changed instead.
Bytes SeenContents(const std::uint8_t* data, std::size_t size, const ReadParams& params);

// Work stays linear: the bytes read are bounded by a small multiple of the
// file and the window, and so are the reads when none is short.
void CheckLinearReads(const PolicedSource& source, const ReadParams& params);

}  // namespace quorvex::fuzz

#endif
