#pragma once
// Resource ids shared by the resource script and the code.

#define IDI_APP 102
#define IDR_TRAYMENU 103
#define IDD_WEBDLG 9

#define ID_SHOW_MAIN 40004
#define ID_FEEDBACK 40005
#define ID_EXIT 40006
