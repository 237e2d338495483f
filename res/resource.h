/* Resource ids of UNTARN32.EXE, shared by the resource scripts and the code: dialogs,
   their controls, icons, bitmaps and the texts the code names. Plain defines, so that
   windres reads it as well as the compiler. */
#ifndef UNTARN_RESOURCE_H
#define UNTARN_RESOURCE_H

/* Icons and bitmaps. */
#define IDI_PROGRAM 101
#define IDB_BANNER 106
#define IDI_ANIMATION_BASE 107 /* 107 to 127: the base icon and frames 1 to 20 */
#define IDI_ANIMATION_LAST 127

/* Dialogs. */
#define IDD_SHARED_FILE 104
#define IDD_WIZARD 106
#define IDD_PROMPT 107
#define IDD_INITIALIZING 112

/* Buttons every dialog shares. */
#define IDC_NEXT 1 /* IDOK: Next / Finish, the default button */
#define IDC_CANCEL 2
#define IDC_SELECT_ALL 3
#define IDC_SELECT_NONE 4
#define IDC_BACK 5

/* Dialog 106 (the wizard) and dialog 112 (the initializing window). */
#define IDC_RADIO_FIRST 1000  /* "&Automatic" or "&Yes" */
#define IDC_RADIO_SECOND 1001 /* "&Custom" or "N&o" */
#define IDC_TEXT 1002         /* description or main text; the initializing text in 112 */
#define IDC_ITEM_LIST 1003
#define IDC_SECOND_TEXT 1004
#define IDC_HEADING 1005 /* progress mode */
#define IDC_ANIMATION_AREA 1006
#define IDC_ACTION 1007 /* progress mode: the current action */
#define IDC_BOTTOM_LINE 1008
#define IDC_RADIO_REPAIR 1009
#define IDC_HEADER_LINE 1010
#define IDC_TITLE 1011
#define IDC_PROGRESS_BAR 3830

/* Dialog 104 (the four-button question). */
#define IDC_QUESTION_TEXT 1002
#define IDC_ANSWER_YES 1005
#define IDC_ANSWER_NO 1006
#define IDC_ANSWER_YES_TO_ALL 1007
#define IDC_ANSWER_NO_TO_ALL 1

/* Dialog 107 (the repair's path prompt). */
#define IDC_PROMPT_TEXT 1002
#define IDC_PROMPT_PATH 1010

/* Timers. */
#define IDT_ANIMATION 25
#define IDT_WAIT 8298

/* Texts of the string table (ids 1 to 82). */
#define IDS_LOG_FILTER 1
#define IDS_PROGRAM_TITLE 2
#define IDS_LOG_UNREADABLE 3
#define IDS_LOG_INVALID 4
#define IDS_PRIVATE_FILES_TITLE 5
#define IDS_PRIVATE_FILES_TEXT 6
#define IDS_METHOD_TEXT 7
#define IDS_SYSTEM_FILES_TITLE 8
#define IDS_SYSTEM_FILES_TEXT 9
#define IDS_METHOD_SECOND_TEXT 10
#define IDS_DIRECTORIES_TITLE 11
#define IDS_DIRECTORIES_TEXT 12
#define IDS_FINAL_TEXT 13
#define IDS_INI_FILES_TITLE 14
#define IDS_INI_FILES_TEXT 15
#define IDS_METHOD_TITLE 16
#define IDS_INI_EDITS_TITLE 17
#define IDS_INI_EDITS_TEXT 18
#define IDS_FINAL_TITLE 19
#define IDS_REG_KEYS_TITLE 20
#define IDS_REG_KEYS_TEXT 21
#define IDS_FINAL_SECOND_TEXT 22
#define IDS_REG_EDITS_TITLE 23
#define IDS_REG_EDITS_TEXT 24
#define IDS_UNINSTALL_CAPTION 25
#define IDS_ICONS_TITLE 26
#define IDS_ICONS_TEXT 27
#define IDS_ENGINE_SERVER_RUNNING 28
#define IDS_LABEL_FILE 29
#define IDS_LABEL_SYSTEM_FILE 30
#define IDS_LABEL_DIRECTORY 31
#define IDS_LABEL_EMPTY_DIRECTORIES 32
#define IDS_LABEL_INI_FILE 33
#define IDS_LABEL_INI_EDIT 34
#define IDS_LABEL_REG_KEY 35
#define IDS_LABEL_REG_EDIT 36
#define IDS_LABEL_ICON 37
#define IDS_SHARED_QUESTION 38
#define IDS_SHARED_ADVICE 39
#define IDS_LABEL_UNREGISTER 40
#define IDS_SUB_SYSTEMS_TEXT 41
#define IDS_SUB_SYSTEMS_TITLE 42
#define IDS_SUB_SYSTEMS_CONTINUE 43
#define IDS_LABEL_SUB_SYSTEM 44
#define IDS_UNINSTALL_HEADING 45
#define IDS_NEXT 46
#define IDS_BACK 47
#define IDS_CANCEL 48
#define IDS_SELECT_ALL 49
#define IDS_SELECT_NONE 50
#define IDS_YES 51
#define IDS_NO 52
#define IDS_NO_TO_ALL 53
#define IDS_REG_TREES_TITLE 54
#define IDS_REG_TREES_TEXT 55
#define IDS_LABEL_REG_TREE 56
#define IDS_LABEL_PROGRAM 57
#define IDS_LABEL_SERVICE 58
#define IDS_CANCEL_QUESTION 59
#define IDS_AUTOMATIC 60
#define IDS_CUSTOM 61
#define IDS_SHARED_CAPTION 62
#define IDS_FINISH 63
#define IDS_ROLLBACK_TITLE 64
#define IDS_ROLLBACK_TEXT 65
#define IDS_ROLLBACK_SECOND_TEXT 66
#define IDS_ADMIN_ACCOUNT 67
#define IDS_REBOOT_QUESTION 68
#define IDS_YES_TO_ALL 69
#define IDS_INITIALIZING 70
#define IDS_INITIALIZING_WIZARD 71
#define IDS_REPAIR 72
#define IDS_REPAIR_FINAL_TEXT 73
#define IDS_REPAIR_FINAL_TITLE 74
#define IDS_REPAIR_FINAL_SECOND_TEXT 75
#define IDS_NEWER_FILE_CAPTION 76
#define IDS_NEWER_FILE_QUESTION 77
#define IDS_PROMPT_CAPTION 78
#define IDS_PROMPT_TEXT 79
#define IDS_OK 80
#define IDS_DAMAGED_QUESTION 81
#define IDS_REPAIR_HEADING 82
#define IDS_REPAIR_LIST_FAILED 83
#define IDS_REPAIR_STEP 84
#define IDS_ANOTHER_RUN 85
#define IDS_JOURNAL_UNREADABLE 86

#endif
