/* Control numbers of the result fields and buttons of the main dialog, through
   which the engine reports. Plain macros, so that the resource compiler can
   read this file as well as C++. */
#ifndef QUORVEX_ENGINE_FIELD_IDS_H
#define QUORVEX_ENGINE_FIELD_IDS_H

#define IDC_NAME 1001
#define IDC_PATH 1002
#define IDC_VIDEO_FORMAT 1003
#define IDC_AUDIO_FORMAT 1004
#define IDC_PROGRESS 1005
#define IDC_RESULT 1006
#define IDC_DETAIL 1007
#define IDC_INTRO 1008

#endif
