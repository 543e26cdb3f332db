/* Resource and command numbers of the Windows application. Read by the
   resource compiler as well as by C++. */
#ifndef QUORVEX_DIALOG_RESOURCE_H
#define QUORVEX_DIALOG_RESOURCE_H

#include "field_ids.h"

#define IDM_ABOUTBOX 0x0010
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN_DIALOG 102
#define IDR_MAINFRAME 128

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
