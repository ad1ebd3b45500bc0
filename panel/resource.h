// Resource and control numbers of the settings panel, shared by its .rc file and
// its code.
#pragma once

#define IDD_CONFIG 102
#define IDI_PANEL 128

#define IDC_BIT16 1001
#define IDC_LATENCY 1002
#define IDC_BUFFER_LABEL 1003
#define IDC_SAMPLES 1004
#define IDC_LATENCY_LABEL 1005
#define IDC_STANDARD 1006
#define IDC_BUFFER_SLIDER 1007
#define IDC_DESCRIPTION 1008
#define IDC_BIT24 1011
#define IDC_BIT_LABEL 1012
#define IDC_APPLY 1013
#define IDC_KERNEL_BUFFERS 1014
#define IDC_KERNEL_LABEL 1015

// String table numbers; every language carries the same ones.
#define IDS_OK 1
#define IDS_CANCEL 2
#define IDS_BUFFER_SIZE 3
#define IDS_SAMPLES 4
#define IDS_LATENCY 5
#define IDS_CAPTION 6
#define IDS_DESCRIPTION 7
#define IDS_STANDARD 8
#define IDS_LATENCY_VALUE 10
#define IDS_NOT_INSTALLED 11
#define IDS_BIT_DEPTH 13
#define IDS_BIT16 14
#define IDS_BIT24 15
#define IDS_APPLY 16
#define IDS_KERNEL_BUFFERS 17
