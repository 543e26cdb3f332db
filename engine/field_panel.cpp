#include "field_panel.h"

namespace quorvex {

void FieldPanel::SetFieldText(int id, const std::string& text) { texts_[id] = text; }

void FieldPanel::ShowField(int id, bool show) { visible_[id] = show; }

void FieldPanel::EnableDetail(bool enable) { detail_enabled_ = enable; }

std::string FieldPanel::text(int id) const {
  const auto it = texts_.find(id);
  return it == texts_.end() ? std::string() : it->second;
}

bool FieldPanel::visible(int id) const {
  const auto it = visible_.find(id);
  return it != visible_.end() && it->second;
}

}  // namespace quorvex
