#ifndef QUORVEX_ENGINE_FIELD_PANEL_H
#define QUORVEX_ENGINE_FIELD_PANEL_H

#include <map>
#include <string>
#include <vector>

#include "result_panel.h"

namespace quorvex {

// A ResultPanel held in memory: the texts, visibility and Detail state that
// the dialog would show, and the log of every operation in order.
class FieldPanel : public ResultPanel {
 public:
  void SetFieldText(int id, const std::string& text) override;
  void ShowField(int id, bool show) override;
  void EnableDetail(bool enable) override;

  std::string text(int id) const;
  bool visible(int id) const;
  bool detail_enabled() const { return detail_enabled_; }
  // One entry per operation: "text 1001 Name: x\n", "show 1002", "hide 1008",
  // "enable 1007", "disable 1007".
  const std::vector<std::string>& log() const { return log_; }
  void clear_log() { log_.clear(); }

 private:
  std::map<int, std::string> texts_;
  std::map<int, bool> visible_;
  bool detail_enabled_ = false;
  std::vector<std::string> log_;
};

// What the OK handler does before every check: empties the ErrorList, hides
// the introduction, disables Detail and sets the fields' starting texts.
void PrepareForCheck(ResultPanel& panel, ErrorList& errors);

}  // namespace quorvex

#endif
