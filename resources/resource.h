// Resource identifiers of Chanwiz.exe, shared by the resource script and the
// program. Plain macros so the resource compiler can read them.
#ifndef CHANWIZ_RESOURCE_H
#define CHANWIZ_RESOURCE_H

#define IDD_START_PAGE 102
#define IDR_APP_ICON 128
#define IDD_STANDARD_PAGE 129
#define IDD_COUNTRY_PAGE 130
#define IDD_RESTART_PAGE 131

#define IDC_SYSTEM_LIST 1012
#define IDC_TVSYSTEM_BUTTON 1015
#define IDC_COUNTRY_BUTTON 1016
#define IDC_COUNTRY_LIST 1019
#define IDC_SYSTEM_NAME 1020
#define IDC_LETTER_BOX 1021
#define IDC_RESTART_YES 1022
#define IDC_START_TIP 1023
#define IDC_RESTART_NO 1023
#define IDC_COUNTRY_TIP 1024
#define IDC_SYSTEM_LABEL 1025
#define IDC_RESTART_NOTE 1026

#endif
