#ifndef QUORVEX_REPORT_DIALOG_FIELDS_H
#define QUORVEX_REPORT_DIALOG_FIELDS_H

#include "result_panel.h"

namespace quorvex::report {

// What the dialog's OK handler does before every check, for every front
// end that shows or reports the dialog's fields: empties the ErrorList,
// hides the introduction, disables Detail and sets the fields' starting
// texts.
void PrepareForCheck(ResultPanel& panel, ErrorList& errors);

}  // namespace quorvex::report

#endif
