#pragma once
// Resource ids shared by the resource script and the code.

#define IDI_APP 102
#define IDR_TRAYMENU 103
#define IDR_TABKEYS 104
#define IDD_WEBDLG 9

#define ID_SHOW_MAIN 40004
#define ID_FEEDBACK 40005
#define ID_EXIT 40006

// Tab keys: the next and the previous tab, and tab 1 to 9 by its number. The window takes the
// whole range from ID_TAB_FIRST_COMMAND to ID_TAB_LAST_COMMAND as tab keys: other commands stay
// outside it.
#define ID_TAB_NEXT 40010
#define ID_TAB_PREV 40011
#define ID_TAB_NUMBER_FIRST 40021
#define ID_TAB_NUMBER_LAST 40029
#define ID_TAB_FIRST_COMMAND ID_TAB_NEXT
#define ID_TAB_LAST_COMMAND ID_TAB_NUMBER_LAST

// What a screen reader says: the tabs' names (in the tab table's order), the caption buttons'
// and the home link's, and their default actions.
#define IDS_TAB_HOT 200
#define IDS_TAB_OPENING 201
#define IDS_TAB_GAMES 202
#define IDS_TAB_PLATFORMS 203
#define IDS_TAB_GIFTS 204
#define IDS_TAB_TESTING 205
#define IDS_FEEDBACK 220
#define IDS_MINIMISE 221
#define IDS_MAXIMISE 222
#define IDS_RESTORE 223
#define IDS_CLOSE 224
#define IDS_HOME_LINK 225
#define IDS_ACTION_PRESS 230
#define IDS_ACTION_SWITCH 231
#define IDS_ACTION_JUMP 232
