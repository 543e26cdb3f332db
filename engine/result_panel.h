#ifndef QUORVEX_ENGINE_RESULT_PANEL_H
#define QUORVEX_ENGINE_RESULT_PANEL_H

#include <cstdint>
#include <string>
#include <string_view>

#include "delta_list.h"
#include "field_ids.h"

namespace quorvex {

// The display fields that a check reports through, each addressed by its
// control number (field_ids.h). The main dialog is one; the console program
// and the tests keep the fields in memory (FieldPanel).
class ResultPanel {
 public:
  virtual ~ResultPanel() = default;
  // Replaces the whole text of a field with 8-bit text.
  virtual void SetFieldText(int id, const std::string& text) = 0;
  virtual void ShowField(int id, bool show) = 0;
  // Enables or disables the Detail button (IDC_DETAIL).
  virtual void EnableDetail(bool enable) = 0;
};

// The list of failed frames, one line per frame ("frame error(frame_num =
// 7)\n"), owned by the caller of a check and shown whole by the Detail
// button. It keeps the frame numbers, a byte or two each, and makes the text
// when it is asked for.
class ErrorList {
 public:
  void AddFrame(std::int64_t frame_number) {
    numbers_.push_back({static_cast<std::uint64_t>(frame_number)});
  }
  void Clear() { numbers_.clear(); }
  std::size_t size() const { return numbers_.size(); }
  bool empty() const { return numbers_.empty(); }
  // The whole text.
  std::string Text() const;
  // The text in pieces of a few KiB, for writing it out without holding it,
  // made in `piece` (reserve kPieceBytes + 64 bytes in it, and making them
  // takes no more memory).
  static constexpr std::size_t kPieceBytes = 16384;
  template <typename Out>
  void WriteText(std::string& piece, Out&& out) const {
    piece.clear();
    for (const auto& n : numbers_) {
      piece += "frame error(frame_num = ";
      piece += std::to_string(static_cast<std::int64_t>(n[0]));
      piece += ")\n";
      if (piece.size() >= kPieceBytes) {
        out(std::string_view(piece));
        piece.clear();
      }
    }
    if (!piece.empty()) out(std::string_view(piece));
  }

 private:
  DeltaList<1> numbers_;
};

inline std::string ErrorList::Text() const {
  std::string text;
  std::string piece;
  WriteText(piece, [&text](std::string_view p) { text.append(p); });
  return text;
}

}  // namespace quorvex

#endif
