#ifndef QUORVEX_ENGINE_RESULT_PANEL_H
#define QUORVEX_ENGINE_RESULT_PANEL_H

#include <string>
#include <string_view>

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

// The list of failed frames, one line per frame, owned by the caller of a
// check and shown whole by the Detail button.
struct ErrorList {
  std::string text;

  void Append(std::string_view line) { text.append(line); }
  void Clear() { text.clear(); }
};

}  // namespace quorvex

#endif
