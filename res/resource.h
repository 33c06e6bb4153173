// Resource ids of the client.
#pragma once

// Icons
#define IDI_MAINFRAME 128
#define IDI_FAVOURITE 155
#define IDI_SHOT_CURSOR 173

// Dialog templates
#define IDD_MAIN 102
#define IDD_BLANK 157
#define IDD_MESSAGEBOX 190
#define IDD_SKIN_PROBE 191
#define IDD_FAVOURITE 192
#define IDR_LOGO_MOVIE 193
#define IDC_FAV_NAME 1018

// Settings dialog (its control ids are fixed by the dialog's layout)
#define IDD_SETTING 210
#define IDC_SET_BOSS_PROMPT 1006
#define IDC_SET_BOSS_KEY 1007
#define IDC_SET_BOSS_EXAMPLE 1008
#define IDC_SET_SWITCH_PROMPT 1009
#define IDC_SET_SWITCH_KEY 1010
#define IDC_SET_SWITCH_EXAMPLE 1011
#define IDC_SET_SWITCH_GROUP 1012
#define IDC_SET_SOUND_GROUP 1013
#define IDC_SET_SOUND_KEY 1014
#define IDC_SET_SOUND_EXAMPLE 1015
#define IDC_SET_SOUND_PROMPT 1016
#define IDC_SET_BOSS_GROUP 1017

// Main window controls
#define IDC_BOSS 1001
#define IDC_MUTE 1002
#define IDC_MENU 1003
#define IDC_NEW_PAGE 1026
#define IDC_REFRESH 1027
#define IDC_SCREENSHOT 1028
#define IDC_SERVICE 1029
#define IDC_CARD 1030
#define IDC_PAY 1031
#define IDC_MESSAGE 1032
#define IDC_ACCOUNT 1033

// Skin images (resource type "PNG")
#define IDB_LOGIN_BACKGROUND 129
#define IDB_SKIN_BOX 131
#define IDB_SKIN_CLOSE 132
#define IDB_SKIN_BOX_BUTTON 133
#define IDB_SKIN_MAIN 134
#define IDB_SKIN_MAXIMIZE 135
#define IDB_SKIN_MINIMIZE 136
#define IDB_SKIN_RESTORE 137
#define IDB_TOOL_BOSS 138
#define IDB_TOOL_MENU 139
#define IDB_TABS 140
#define IDB_TAB_CLOSE 141
#define IDB_TOOL_MUTED 148
#define IDB_TOOL_SOUND 149
#define IDB_TOOL_NEW_PAGE 164
#define IDB_SKIN_BOX_CLOSE 165
#define IDB_TOOL_REFRESH 166
#define IDB_TOOL_SCREENSHOT 167
#define IDB_TOOL_SERVICE 168
#define IDB_TOOL_CARD 169
#define IDB_TOOL_PAY 170
#define IDB_TOOL_MESSAGE 171
#define IDB_ACCOUNT_LABEL 172
#define IDB_SHOT_TOOLBAR 177
#define IDB_SHOT_CANCEL 178
#define IDB_SHOT_DONE 179
#define IDB_SHOT_SAVE 180

// Screenshot tool: an empty pop-up for the overlay, the selection and the
// magnifier; the toolbar's template and buttons
#define IDD_SHOT_OPERA 262
#define IDD_SHOT 263
#define IDC_SHOT_DONE 1031
#define IDC_SHOT_CANCEL 1034
#define IDC_SHOT_SAVE 1035
