#ifndef QUORVEX_ENGINE_FIELD_PANEL_H
#define QUORVEX_ENGINE_FIELD_PANEL_H

#include <map>
#include <string>

#include "result_panel.h"

namespace quorvex {

// A ResultPanel held in memory: the texts, visibility and Detail state that
// the dialog would show. It keeps only the latest state of each field, so its
// memory does not grow with the writes a long check makes.
class FieldPanel : public ResultPanel {
 public:
  void SetFieldText(int id, const std::string& text) override;
  void ShowField(int id, bool show) override;
  void EnableDetail(bool enable) override;

  std::string text(int id) const;
  bool visible(int id) const;
  bool detail_enabled() const { return detail_enabled_; }

 private:
  std::map<int, std::string> texts_;
  std::map<int, bool> visible_;
  bool detail_enabled_ = false;
};

}  // namespace quorvex

#endif
