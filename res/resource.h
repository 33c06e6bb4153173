// Resource ids of the client.
#pragma once

#define IDI_MAINFRAME 128
#define IDD_MAIN 102
#define IDD_BLANK 157
#define IDC_MAIN_TITLE 1000
