// Resource identifiers of Tallyset, shared by the resource description and
// the program.
#pragma once

#define IDS_APP_TITLE 1
#define IDS_APP_CLASS 2
#define IDS_OPTIONS 3
#define IDS_SAVE 133

#define IDR_ACCELERATORS 2
#define IDI_APP 101
#define IDI_COMPLETE 129
#define IDI_INCOMPLETE 130
#define IDI_NOTICE 131  // the notice bubble's icon; IDI_WARNING is the system's own
#define IDM_MENU 132
#define IDR_MENUBAR 132

#define CMD_NEW_ITEM 32771
#define CMD_EXIT 32772
#define CMD_EDIT_ITEM 32775
#define CMD_SAVE 40000
#define CMD_OPTIONS 40001
#define CMD_NOTHING 40002
