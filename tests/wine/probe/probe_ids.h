// Control ids shared by the probe dialog (.rc + .cpp) and the run script.
#ifndef CHANWIZ_PROBE_IDS_H
#define CHANWIZ_PROBE_IDS_H

#define IDD_PROBE      100
#define IDC_STATUS     1001
#define IDC_LIST       1003
#define IDC_COMBO      1004
#define IDC_NEXT       1005
#define IDC_PROGRESS   1006

#endif
