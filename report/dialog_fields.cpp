#include "dialog_fields.h"

namespace quorvex::report {

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

}  // namespace quorvex::report
