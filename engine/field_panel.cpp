#include "field_panel.h"

namespace quorvex {

void FieldPanel::SetFieldText(int id, const std::string& text) {
  texts_[id] = text;
  log_.push_back("text " + std::to_string(id) + " " + text);
}

void FieldPanel::ShowField(int id, bool show) {
  visible_[id] = show;
  log_.push_back((show ? "show " : "hide ") + std::to_string(id));
}

void FieldPanel::EnableDetail(bool enable) {
  detail_enabled_ = enable;
  log_.push_back((enable ? "enable " : "disable ") + std::to_string(IDC_DETAIL));
}

std::string FieldPanel::text(int id) const {
  const auto it = texts_.find(id);
  return it == texts_.end() ? std::string() : it->second;
}

bool FieldPanel::visible(int id) const {
  const auto it = visible_.find(id);
  return it != visible_.end() && it->second;
}

void PrepareForCheck(ResultPanel& panel, ErrorList& errors) {
  errors.Clear();
  panel.ShowField(IDC_INTRO, false);
  panel.EnableDetail(false);
  panel.SetFieldText(IDC_NAME, "Name: ");
  panel.SetFieldText(IDC_PATH, "Path: ");
  panel.SetFieldText(IDC_VIDEO_FORMAT, "Video Format: ");
  panel.SetFieldText(IDC_AUDIO_FORMAT, "Audio Format: ");
  panel.SetFieldText(IDC_PROGRESS, "");
  panel.SetFieldText(IDC_RESULT, "");
}

}  // namespace quorvex
