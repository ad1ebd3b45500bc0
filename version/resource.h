// Resource, control and string numbers of the version utility, shared by its .rc
// files, its code and its tests.
#pragma once

#define IDD_VERSION 102
#define IDI_VERSION 128

// Upper group: the installed driver.
#define IDC_DRIVER_VERSION 1000
#define IDC_DRIVER_LABEL 1002
#define IDC_DRIVER_GROUP 1004
#define IDC_DRIVER_LINE 1006

// Lower group: the first connected controller, or the not-connected text.
#define IDC_FIRMWARE_VERSION 1001
#define IDC_MODEL_NAME 1003
#define IDC_FIRMWARE_GROUP 1005
#define IDC_FIRMWARE_LINE 1007
#define IDC_NOT_CONNECTED 1011

// The second, third and fourth firmware rows: in the template, always hidden.
#define IDC_MODEL_NAME_2 1008
#define IDC_FIRMWARE_VERSION_2 1009
#define IDC_FIRMWARE_LINE_2 1010
#define IDC_MODEL_NAME_3 1012
#define IDC_FIRMWARE_LINE_3 1014
#define IDC_FIRMWARE_VERSION_3 1016
#define IDC_MODEL_NAME_4 1015
#define IDC_FIRMWARE_LINE_4 1017
#define IDC_FIRMWARE_VERSION_4 1019

// String table numbers; every language carries the same ones.
#define IDS_DRIVER_PROBLEM 1
#define IDS_DRIVER_VERSION 2
#define IDS_NOT_CONNECTED 4
#define IDS_CAPTION 5
#define IDS_DRIVER_PACK 6
#define IDS_DRIVER_GROUP 7
#define IDS_FIRMWARE_GROUP 8
#define IDS_FIRMWARE_VERSION 10
